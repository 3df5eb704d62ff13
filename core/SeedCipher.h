// The SEED block cipher of RFC 4269 (128-bit block and key, 16 rounds), with
// one difference in byte order: the key and every block are read as four
// 32-bit little-endian words and results are stored the same way. Put
// another way: reverse each group of four bytes of key and block, apply the
// cipher of the RFC, and reverse each group of four bytes of the result.
#pragma once

#include <cstdint>

class CSeedCipher {
public:
    static const int kBlockSize = 16;
    static const int kKeySize = 16;

    explicit CSeedCipher(const uint8_t key[kKeySize]);

    // One block; in and out may be the same block.
    void EncryptBlock(const uint8_t in[kBlockSize], uint8_t out[kBlockSize]) const { Crypt(in, out, false); }
    void DecryptBlock(const uint8_t in[kBlockSize], uint8_t out[kBlockSize]) const { Crypt(in, out, true); }

private:
    static const int kRounds = 16;

    void Crypt(const uint8_t in[kBlockSize], uint8_t out[kBlockSize], bool decrypt) const;

    uint32_t roundKeys_[2 * kRounds];
};
