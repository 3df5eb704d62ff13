// Builds small GIF files block by block for the walker and picture tests.
// Images are single-colour and LZW-coded without compression (a clear code
// before every two pixels keeps the code width at code size + 1).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace giftest {

typedef std::vector<uint8_t> Bytes;

inline void Put16(Bytes& out, int value)
{
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

inline void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

// Sub-blocks of at most 255 bytes and the zero terminator.
inline Bytes Chain(const Bytes& data)
{
    Bytes out;
    for (size_t at = 0; at < data.size(); at += 255) {
        size_t n = data.size() - at < 255 ? data.size() - at : 255;
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), data.begin() + at, data.begin() + at + n);
    }
    out.push_back(0);
    return out;
}

// "GIF89a", logical screen and a global colour table of four RGB entries.
inline Bytes Header(int width, int height, const uint32_t (&colours)[4], int background = 0)
{
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    Put16(out, width);
    Put16(out, height);
    out.push_back(0x80 | 0x01);  // global table of 2^(1+1) = 4 entries
    out.push_back(static_cast<uint8_t>(background));
    out.push_back(0);
    for (uint32_t c : colours) {
        out.push_back(static_cast<uint8_t>(c >> 16));
        out.push_back(static_cast<uint8_t>(c >> 8));
        out.push_back(static_cast<uint8_t>(c));
    }
    return out;
}

inline Bytes GraphicControl(int delay, int disposal)
{
    Bytes out = {0x21, 0xF9, 0x04, static_cast<uint8_t>((disposal & 7) << 2)};
    Put16(out, delay);
    out.push_back(0);  // transparent index
    out.push_back(0);  // terminator
    return out;
}

inline Bytes Comment(const std::string& text)
{
    Bytes out = {0x21, 0xFE};
    Append(out, Chain(Bytes(text.begin(), text.end())));
    return out;
}

inline Bytes Application()
{
    Bytes out = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    Append(out, Chain(Bytes{0x01, 0x00, 0x00}));  // loop for ever
    return out;
}

inline Bytes PlainText()
{
    Bytes out = {0x21, 0x01, 0x0C};
    for (int i = 0; i < 12; ++i)
        out.push_back(0);
    Append(out, Chain(Bytes{'h', 'i'}));
    return out;
}

// LZW data (code size 2, codes of 3 bits) for width * height pixels of one colour.
inline Bytes SolidPixels(int width, int height, int colour)
{
    const int kClear = 4, kEnd = 5;
    std::vector<int> codes;
    const int pixels = width * height;
    for (int i = 0; i < pixels; ++i) {
        if (i % 2 == 0)
            codes.push_back(kClear);
        codes.push_back(colour);
    }
    codes.push_back(kEnd);
    Bytes packed;
    uint32_t buffer = 0;
    int bits = 0;
    for (int code : codes) {
        buffer |= static_cast<uint32_t>(code) << bits;
        bits += 3;
        while (bits >= 8) {
            packed.push_back(static_cast<uint8_t>(buffer & 0xFF));
            buffer >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0)
        packed.push_back(static_cast<uint8_t>(buffer & 0xFF));
    return packed;
}

// Image descriptor, optional local colour table, code size and data.
inline Bytes Image(int left, int top, int width, int height, int colour, bool localTable = false)
{
    Bytes out = {0x2C};
    Put16(out, left);
    Put16(out, top);
    Put16(out, width);
    Put16(out, height);
    out.push_back(localTable ? 0x81 : 0x00);
    if (localTable)
        for (int i = 0; i < 4 * 3; ++i)
            out.push_back(static_cast<uint8_t>(i * 20));
    out.push_back(2);  // LZW minimum code size
    Append(out, Chain(SolidPixels(width, height, colour)));
    return out;
}

inline Bytes Trailer() { return Bytes{0x3B}; }

} // namespace giftest
