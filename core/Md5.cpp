#include "core/Md5.h"

#include "core/Coding.h"
#include "core/HandleHolder.h"
#include "core/ReadableMemory.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#include <cstdlib>
#endif

namespace {

inline uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }


// The sine-derived constants of RFC 1321.
const uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

const size_t kFileReadPiece = 512;
const size_t kFileStreamBuffer = 65536;

// One piece from the stream. The stream is this function's alone, so where
// the C library has a read without the stream lock (glibc), that one is used:
// taking the lock for every 512 bytes cost a fifth of the time of a digest.
inline size_t ReadPiece(unsigned char* piece, size_t size, FILE* file)
{
#ifdef __GLIBC__
    return fread_unlocked(piece, 1, size, file);
#else
    return fread(piece, 1, size, file);
#endif
}

} // namespace

void CMd5::Init()
{
    state_[0] = 0x67452301;
    state_[1] = 0xefcdab89;
    state_[2] = 0x98badcfe;
    state_[3] = 0x10325476;
    bitCount_ = 0;
    memset(buffer_, 0, sizeof(buffer_));
}

// One round step: a = b + ((a + f(b, c, d) + m + t) <<< s). The 64 steps are
// written out so that every shift and constant is known to the compiler.
// The message word and constant are added first: they do not wait on the
// previous step, so the processor adds them while that step finishes.
#define QV_MD5_STEP(f, a, b, c, d, m, t, s) \
    a += (m) + (t);                         \
    a += f(b, c, d);                        \
    a = RotateLeft(a, s) + b

// G(b, c, d) = (b & d) | (c & ~d): the two halves never share a bit, so they
// are added one after the other, and c & ~d does not wait on b.
#define QV_MD5_STEP_G(a, b, c, d, m, t, s) \
    a += (m) + (t);                        \
    a += (c) & ~(d);                       \
    a += (b) & (d);                        \
    a = RotateLeft(a, s) + b

#define QV_MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define QV_MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define QV_MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

void CMd5::Transform(const uint8_t block[64])
{
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = ReadLe32(block + 4 * i);
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    const uint32_t* t = kSine;

    QV_MD5_STEP(QV_MD5_F, a, b, c, d, m[0], t[0], 7);
    QV_MD5_STEP(QV_MD5_F, d, a, b, c, m[1], t[1], 12);
    QV_MD5_STEP(QV_MD5_F, c, d, a, b, m[2], t[2], 17);
    QV_MD5_STEP(QV_MD5_F, b, c, d, a, m[3], t[3], 22);
    QV_MD5_STEP(QV_MD5_F, a, b, c, d, m[4], t[4], 7);
    QV_MD5_STEP(QV_MD5_F, d, a, b, c, m[5], t[5], 12);
    QV_MD5_STEP(QV_MD5_F, c, d, a, b, m[6], t[6], 17);
    QV_MD5_STEP(QV_MD5_F, b, c, d, a, m[7], t[7], 22);
    QV_MD5_STEP(QV_MD5_F, a, b, c, d, m[8], t[8], 7);
    QV_MD5_STEP(QV_MD5_F, d, a, b, c, m[9], t[9], 12);
    QV_MD5_STEP(QV_MD5_F, c, d, a, b, m[10], t[10], 17);
    QV_MD5_STEP(QV_MD5_F, b, c, d, a, m[11], t[11], 22);
    QV_MD5_STEP(QV_MD5_F, a, b, c, d, m[12], t[12], 7);
    QV_MD5_STEP(QV_MD5_F, d, a, b, c, m[13], t[13], 12);
    QV_MD5_STEP(QV_MD5_F, c, d, a, b, m[14], t[14], 17);
    QV_MD5_STEP(QV_MD5_F, b, c, d, a, m[15], t[15], 22);

    QV_MD5_STEP_G(a, b, c, d, m[1], t[16], 5);
    QV_MD5_STEP_G(d, a, b, c, m[6], t[17], 9);
    QV_MD5_STEP_G(c, d, a, b, m[11], t[18], 14);
    QV_MD5_STEP_G(b, c, d, a, m[0], t[19], 20);
    QV_MD5_STEP_G(a, b, c, d, m[5], t[20], 5);
    QV_MD5_STEP_G(d, a, b, c, m[10], t[21], 9);
    QV_MD5_STEP_G(c, d, a, b, m[15], t[22], 14);
    QV_MD5_STEP_G(b, c, d, a, m[4], t[23], 20);
    QV_MD5_STEP_G(a, b, c, d, m[9], t[24], 5);
    QV_MD5_STEP_G(d, a, b, c, m[14], t[25], 9);
    QV_MD5_STEP_G(c, d, a, b, m[3], t[26], 14);
    QV_MD5_STEP_G(b, c, d, a, m[8], t[27], 20);
    QV_MD5_STEP_G(a, b, c, d, m[13], t[28], 5);
    QV_MD5_STEP_G(d, a, b, c, m[2], t[29], 9);
    QV_MD5_STEP_G(c, d, a, b, m[7], t[30], 14);
    QV_MD5_STEP_G(b, c, d, a, m[12], t[31], 20);

    QV_MD5_STEP(QV_MD5_H, a, b, c, d, m[5], t[32], 4);
    QV_MD5_STEP(QV_MD5_H, d, a, b, c, m[8], t[33], 11);
    QV_MD5_STEP(QV_MD5_H, c, d, a, b, m[11], t[34], 16);
    QV_MD5_STEP(QV_MD5_H, b, c, d, a, m[14], t[35], 23);
    QV_MD5_STEP(QV_MD5_H, a, b, c, d, m[1], t[36], 4);
    QV_MD5_STEP(QV_MD5_H, d, a, b, c, m[4], t[37], 11);
    QV_MD5_STEP(QV_MD5_H, c, d, a, b, m[7], t[38], 16);
    QV_MD5_STEP(QV_MD5_H, b, c, d, a, m[10], t[39], 23);
    QV_MD5_STEP(QV_MD5_H, a, b, c, d, m[13], t[40], 4);
    QV_MD5_STEP(QV_MD5_H, d, a, b, c, m[0], t[41], 11);
    QV_MD5_STEP(QV_MD5_H, c, d, a, b, m[3], t[42], 16);
    QV_MD5_STEP(QV_MD5_H, b, c, d, a, m[6], t[43], 23);
    QV_MD5_STEP(QV_MD5_H, a, b, c, d, m[9], t[44], 4);
    QV_MD5_STEP(QV_MD5_H, d, a, b, c, m[12], t[45], 11);
    QV_MD5_STEP(QV_MD5_H, c, d, a, b, m[15], t[46], 16);
    QV_MD5_STEP(QV_MD5_H, b, c, d, a, m[2], t[47], 23);

    QV_MD5_STEP(QV_MD5_I, a, b, c, d, m[0], t[48], 6);
    QV_MD5_STEP(QV_MD5_I, d, a, b, c, m[7], t[49], 10);
    QV_MD5_STEP(QV_MD5_I, c, d, a, b, m[14], t[50], 15);
    QV_MD5_STEP(QV_MD5_I, b, c, d, a, m[5], t[51], 21);
    QV_MD5_STEP(QV_MD5_I, a, b, c, d, m[12], t[52], 6);
    QV_MD5_STEP(QV_MD5_I, d, a, b, c, m[3], t[53], 10);
    QV_MD5_STEP(QV_MD5_I, c, d, a, b, m[10], t[54], 15);
    QV_MD5_STEP(QV_MD5_I, b, c, d, a, m[1], t[55], 21);
    QV_MD5_STEP(QV_MD5_I, a, b, c, d, m[8], t[56], 6);
    QV_MD5_STEP(QV_MD5_I, d, a, b, c, m[15], t[57], 10);
    QV_MD5_STEP(QV_MD5_I, c, d, a, b, m[6], t[58], 15);
    QV_MD5_STEP(QV_MD5_I, b, c, d, a, m[13], t[59], 21);
    QV_MD5_STEP(QV_MD5_I, a, b, c, d, m[4], t[60], 6);
    QV_MD5_STEP(QV_MD5_I, d, a, b, c, m[11], t[61], 10);
    QV_MD5_STEP(QV_MD5_I, c, d, a, b, m[2], t[62], 15);
    QV_MD5_STEP(QV_MD5_I, b, c, d, a, m[9], t[63], 21);

    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

#undef QV_MD5_STEP
#undef QV_MD5_F
#undef QV_MD5_STEP_G
#undef QV_MD5_H
#undef QV_MD5_I

void CMd5::Update(const void* data, size_t length)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    size_t used = static_cast<size_t>((bitCount_ / 8) % 64);
    bitCount_ += static_cast<uint64_t>(length) * 8;
    if (used > 0) {
        size_t take = 64 - used < length ? 64 - used : length;
        memcpy(buffer_ + used, p, take);
        p += take;
        length -= take;
        if (used + take < 64)
            return;
        Transform(buffer_);
    }
    while (length >= 64) {
        Transform(p);
        p += 64;
        length -= 64;
    }
    memcpy(buffer_, p, length);
}

void CMd5::Final(uint8_t digest[16])
{
    uint64_t bits = bitCount_;
    uint8_t lengthBytes[8];
    for (int i = 0; i < 8; ++i)
        lengthBytes[i] = static_cast<uint8_t>(bits >> (8 * i));
    static const uint8_t kPadding[64] = {0x80};
    size_t used = static_cast<size_t>((bits / 8) % 64);
    size_t padLength = used < 56 ? 56 - used : 120 - used;
    Update(kPadding, padLength);
    Update(lengthBytes, 8);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            digest[4 * i + j] = static_cast<uint8_t>(state_[i] >> (8 * j));
}

void AppendDigestHex(const uint8_t digest[16], std::string& text)
{
    static const char kHex[] = "0123456789ABCDEF";
    for (int i = 0; i < 16; ++i) {
        text.push_back(kHex[digest[i] >> 4]);
        text.push_back(kHex[digest[i] & 0x0F]);
    }
}

bool Md5File(const char* path, std::string& text)
{
    text.clear();
    if (!path)
        return false;
#ifdef _WIN32
    // "S": sequential-access hint; no sharing restriction.
    FILE* file = fopen(path, "rbS");
    if (!file) {
        // A file being written by another program answers access denied for a
        // moment; any other refusal (a sharing violation included) is final.
        if (_doserrno != ERROR_ACCESS_DENIED)
            return false;
        Sleep(100);
        file = fopen(path, "rb");
        if (!file)
            return false;
    }
#else
    FILE* file = fopen(path, "rb");
    if (!file)
        return false;
#endif
    CFileStreamHolder holder(file);
    // The file is read in 512-byte pieces through a large stream buffer, so
    // the system is asked for the bytes in few, large reads.
    setvbuf(file, nullptr, _IOFBF, kFileStreamBuffer);
    CMd5 md5;
    unsigned char piece[kFileReadPiece];
    size_t got;
    while ((got = ReadPiece(piece, sizeof(piece), file)) > 0)
        md5.Update(piece, got);
    bool complete = feof(file) && !ferror(file);
    holder.Close();
    if (!complete)
        return false;
    uint8_t digest[16];
    md5.Final(digest);
    AppendDigestHex(digest, text);
    return true;
}

bool Md5Buffer(const void* data, size_t length, std::string& text)
{
    text.clear();
    if (!IsReadableBlock(data, length))
        return false;
    CMd5 md5;
    md5.Update(data, length);
    uint8_t digest[16];
    md5.Final(digest);
    AppendDigestHex(digest, text);
    return true;
}
