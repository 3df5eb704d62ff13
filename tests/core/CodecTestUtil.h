// Small helpers shared by the codec and table-file tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/ByteBuffer.h"

namespace qvtest {

typedef std::vector<uint8_t> Bytes;

// "5E BA C6" or "5ebac6" to bytes; blanks are skipped.
inline Bytes FromHex(const std::string& hex)
{
    Bytes out;
    int high = -1;
    for (char c : hex) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<uint8_t>(high << 4 | v));
            high = -1;
        }
    }
    return out;
}

inline Bytes ToBytes(const CByteBuffer& buffer)
{
    return Bytes(buffer.Data(), buffer.Data() + buffer.Size());
}

inline Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Deterministic bytes that compress poorly (a linear congruential sequence).
inline Bytes NoiseBytes(size_t size, uint32_t seed)
{
    Bytes out(size);
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        out[i] = static_cast<uint8_t>(seed >> 16);
    }
    return out;
}

} // namespace qvtest
