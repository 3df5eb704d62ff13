// SEED in electronic-codebook framing, the stored form of codec mode 2.
//
// Ciphertext of a plaintext of L bytes (L >= 1):
//   [1 byte: L mod 16][16 * ceil(L / 16) bytes: the plaintext in 16-byte
//   blocks, each encrypted on its own; the last partial block zero-padded]
// so 17 bytes for L < 16, L + 1 when L is a multiple of 16, and
// (L rounded down to a multiple of 16) + 17 otherwise. A ciphertext whose
// length is a multiple of 16 (no length byte) also decrypts, to a plaintext
// of exactly its own length.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/ByteBuffer.h"

// Length of the framed ciphertext of a plaintext of length bytes (0 for 0 or
// when it would not fit in size_t).
size_t SeedFramedLength(size_t length);

// Encrypts length bytes at data into out. False for empty or unreadable
// input or a failed allocation; out is then left as it was.
bool SeedFrameEncrypt(const unsigned char* data, size_t length, const uint8_t key[16], CByteBuffer& out);

// Decrypts a framed ciphertext into out. False for input shorter than 16
// bytes, a length that is neither 1 nor 0 modulo 16, a length byte of 16 or
// more, or a failed allocation; out is then left as it was.
bool SeedFrameDecrypt(const unsigned char* data, size_t length, const uint8_t key[16], CByteBuffer& out);
