// The byte order of every format here: 32-bit words little-endian. And a
// bounded reader over a memory image, for the table file's records (a pair
// of words, then as many bytes as one of them says), which never reads past
// the image's end.
#pragma once

#include <cstddef>
#include <cstdint>

inline uint32_t ReadLe32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

inline void WriteLe32(uint32_t value, unsigned char* p)
{
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
    p[2] = static_cast<unsigned char>(value >> 16);
    p[3] = static_cast<unsigned char>(value >> 24);
}

class CBoundedReader {
public:
    // data may be null only when size is 0.
    CBoundedReader(const unsigned char* data, size_t size) : data_(data), size_(size) {}

    bool AtEnd() const { return offset_ >= size_; }
    // Two little-endian words; false, reading nothing, when fewer than eight
    // bytes are left.
    bool ReadWords(uint32_t& first, uint32_t& second)
    {
        if (size_ - offset_ < 8)
            return false;
        first = ReadLe32(data_ + offset_);
        second = ReadLe32(data_ + offset_ + 4);
        offset_ += 8;
        return true;
    }
    // The next length bytes, or null, reading nothing, when fewer are left.
    const unsigned char* Take(size_t length)
    {
        if (length > size_ - offset_)
            return nullptr;
        const unsigned char* at = data_ + offset_;
        offset_ += length;
        return at;
    }

private:
    const unsigned char* data_;
    size_t size_;
    size_t offset_ = 0;
};
