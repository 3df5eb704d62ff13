// MD5 message digest (RFC 1321) and the digest helpers built on it.
//
// Digest texts are 32 upper-case hexadecimal characters ("%02X" per byte);
// callers compare them without regard to case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CMd5 {
public:
    CMd5() { Init(); }
    void Init();
    void Update(const void* data, size_t length);
    // Finishes the digest into 16 bytes; Init must be called before reuse.
    void Final(uint8_t digest[16]);

private:
    void Transform(const uint8_t block[64]);

    uint32_t state_[4];
    uint64_t bitCount_;
    uint8_t buffer_[64];
};

// Appends the 16 digest bytes as 32 upper-case hexadecimal characters.
void AppendDigestHex(const uint8_t digest[16], std::string& text);

// Empties text, then appends the digest of the whole file. False for a null
// path, a file that cannot be opened (one retry after 100 ms when Windows
// answers access denied) or a read that stops before the end of the file; the
// text is then left empty.
bool Md5File(const char* path, std::string& text);

// Empties text, then appends the digest of length bytes at data. False for a
// null or unreadable pointer.
bool Md5Buffer(const void* data, size_t length, std::string& text);
