// Turns a table-file row into its stored form and back: zlib first, then,
// by the mode, nothing, RC4 or SEED. The codec carries built-in key
// material, so files can be written and read without a caller's key.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/ByteBuffer.h"
#include "core/ZlibBlock.h"

// Codec modes: the seventh byte of a table file. Any other value acts as
// CODEC_DEFLATE.
enum {
    CODEC_DEFLATE = 0,
    CODEC_RC4 = 1,
    CODEC_SEED = 2,
};

class CDataCodec {
public:
    static const size_t kBuiltInKeySize = 24;

    CDataCodec();
    virtual ~CDataCodec();

    // Packs length bytes at data into a zlib stream with packer, then
    // encrypts them by mode, into out. False for empty input or any failing
    // step; out is then left as it was.
    bool Encode(const void* data, size_t length, CByteBuffer& out, const void* key, size_t keyLength,
                int mode, CBlockPacker& packer) const;

    // Decrypts by mode, then inflates, into out. In mode CODEC_RC4 the input
    // is decrypted in place, so the caller's block changes. False for empty
    // input or any failing step; out is then left as it was. *overLimit
    // (when given) is set when the block would inflate past kMaxInflatedBlock.
    bool Decode(void* data, size_t length, CByteBuffer& out, const void* key, size_t keyLength, int mode,
                bool* overLimit = nullptr) const;
    // The same into inflater's output (a reader of many blocks keeps one
    // inflater for all of them). data must be readable: the caller owns it.
    bool Decode(void* data, size_t length, CInflater& inflater, const void* key, size_t keyLength, int mode,
                bool* overLimit = nullptr) const;

    // Keys, as Encode and Decode take them:
    // - RC4: keyLength bytes of key, repeated over the 256 schedule
    //   positions; a null or unreadable key, or keyLength 0, selects the 24
    //   built-in key bytes.
    // - SEED: the first 16 bytes of key when it is readable and keyLength is
    //   at least 16; otherwise the first 16 built-in key bytes.

    // The 24 built-in key bytes (for the tools and tests that check them).
    void BuiltInKey(uint8_t key[kBuiltInKeySize]) const;

private:
    uint32_t material_[6];
};
