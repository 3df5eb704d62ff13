#include "core/DataCodec.h"

#include <cstring>

#include "core/Rc4.h"
#include "core/ReadableMemory.h"
#include "core/SeedFraming.h"
#include "core/ZlibBlock.h"

namespace {

// Built-in key material. The 24 key bytes are made at run time: byte i is
// byte (i mod 4) of constant i / 4, taken little-endian, XOR a counter that
// starts at kKeyCounterStart and falls by one per byte (mod 256).
// The update server's files are written with the same material: changing any
// of these values makes every published table file unreadable.
const uint32_t kKeyMaterial[6] = {0x2438672Fu, 0x20B40A46u, 0xED8F9A2Bu, 0x696C9B7Cu, 0x371180CFu, 0x0B660063u};
const uint8_t kKeyCounterStart = 0xF6;

const size_t kSeedKeySize = 16;

} // namespace

CDataCodec::CDataCodec() { memcpy(material_, kKeyMaterial, sizeof(material_)); }

CDataCodec::~CDataCodec() = default;

void CDataCodec::BuiltInKey(uint8_t key[kBuiltInKeySize]) const
{
    uint8_t counter = kKeyCounterStart;
    for (size_t i = 0; i < kBuiltInKeySize; ++i, --counter)
        key[i] = static_cast<uint8_t>(material_[i / 4] >> (8 * (i % 4))) ^ counter;
}

namespace {

// Runs RC4 over data in place with the caller's key or the built-in bytes.
void ApplyRc4(unsigned char* data, size_t length, const void* key, size_t keyLength, const uint8_t* builtIn)
{
    if (keyLength > 0 && IsReadableBlock(key, keyLength)) {
        CRc4(static_cast<const unsigned char*>(key), keyLength).Apply(data, length);
        return;
    }
    CRc4(builtIn, CDataCodec::kBuiltInKeySize).Apply(data, length);
}

// The 16-byte SEED key: the caller's when at least 16 readable bytes were
// given, otherwise the start of the built-in bytes.
const uint8_t* SeedKey(const void* key, size_t keyLength, const uint8_t* builtIn)
{
    if (keyLength >= kSeedKeySize && IsReadableBlock(key, kSeedKeySize))
        return static_cast<const uint8_t*>(key);
    return builtIn;
}

} // namespace

bool CDataCodec::Encode(const void* data, size_t length, CByteBuffer& out, const void* key, size_t keyLength,
                        int mode, CBlockPacker& packer) const
{
    if (length == 0 || !IsReadableBlock(data, length))
        return false;
    CByteBuffer stream;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    if (!packer.Pack(bytes, length, stream))
        return false;
    uint8_t builtIn[kBuiltInKeySize];
    BuiltInKey(builtIn);
    if (mode == CODEC_SEED)
        return SeedFrameEncrypt(stream.Data(), stream.Size(), SeedKey(key, keyLength, builtIn), out);
    if (mode == CODEC_RC4)
        ApplyRc4(stream.Data(), stream.Size(), key, keyLength, builtIn);
    out.Swap(stream);
    return true;
}

bool CDataCodec::Decode(void* data, size_t length, CByteBuffer& out, const void* key, size_t keyLength,
                        int mode, bool* overLimit) const
{
    if (overLimit)
        *overLimit = false;
    if (length == 0 || !IsReadableBlock(data, length))
        return false;
    CInflater inflater;
    if (!Decode(data, length, inflater, key, keyLength, mode, overLimit))
        return false;
    inflater.TakeOutput(out);
    return true;
}

bool CDataCodec::Decode(void* data, size_t length, CInflater& inflater, const void* key, size_t keyLength,
                        int mode, bool* overLimit) const
{
    if (overLimit)
        *overLimit = false;
    if (!data || length == 0)
        return false;
    unsigned char* bytes = static_cast<unsigned char*>(data);
    if (mode != CODEC_SEED && mode != CODEC_RC4)
        return inflater.Inflate(bytes, length, overLimit);
    uint8_t builtIn[kBuiltInKeySize];
    BuiltInKey(builtIn);
    if (mode == CODEC_SEED) {
        CByteBuffer plain;
        if (!SeedFrameDecrypt(bytes, length, SeedKey(key, keyLength, builtIn), plain))
            return false;
        return inflater.Inflate(plain.Data(), plain.Size(), overLimit);
    }
    if (mode == CODEC_RC4)
        ApplyRc4(bytes, length, key, keyLength, builtIn);
    return inflater.Inflate(bytes, length, overLimit);
}
