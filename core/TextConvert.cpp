#include "core/TextConvert.h"

#include <cstring>
#include <new>

#ifdef _WIN32
#include <windows.h>
#else
#include "core/HandleHolder.h"

#include <cerrno>
#include <iconv.h>
#include <string>
#endif

size_t WideLength(const WideChar* text)
{
    size_t n = 0;
    if (text)
        while (text[n])
            ++n;
    return n;
}

namespace {

// Zero-filled block of the given byte count; null when it cannot be had.
template <typename T>
T* NewZeroed(size_t bytes)
{
    char* block = new (std::nothrow) char[bytes];
    if (!block)
        return nullptr;
    memset(block, 0, bytes);
    return reinterpret_cast<T*>(block);
}

#ifndef _WIN32
// The host stands in for the Windows conversions: code page 949 through iconv,
// UTF-8 and UTF-16 by hand. Like the Windows calls without error flags,
// undecodable input becomes a replacement character instead of a failure.

const char* const kSystemCodePage = "CP949";

void AppendUnit(std::u16string& out, uint32_t cp)
{
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

// Decodes UTF-8 including the terminating zero; malformed sequences give U+FFFD.
std::u16string DecodeUtf8(const unsigned char* s)
{
    std::u16string out;
    for (;;) {
        unsigned char c = *s;
        if (c < 0x80) {
            out.push_back(c);
            if (c == 0)
                return out;
            ++s;
            continue;
        }
        int extra = 0;
        uint32_t cp = 0, minimum = 0;
        if ((c & 0xE0) == 0xC0) { extra = 1; cp = c & 0x1F; minimum = 0x80; }
        else if ((c & 0xF0) == 0xE0) { extra = 2; cp = c & 0x0F; minimum = 0x800; }
        else if ((c & 0xF8) == 0xF0) { extra = 3; cp = c & 0x07; minimum = 0x10000; }
        else { out.push_back(0xFFFD); ++s; continue; }
        int i = 1;
        for (; i <= extra; ++i) {
            if ((s[i] & 0xC0) != 0x80)
                break;
            cp = (cp << 6) | (s[i] & 0x3F);
        }
        if (i <= extra || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(0xFFFD);
            s += i;
            continue;
        }
        AppendUnit(out, cp);
        s += extra + 1;
    }
}

// Encodes UTF-16 including the terminating zero; lone surrogates give U+FFFD.
std::string EncodeUtf8(const char16_t* w)
{
    std::string out;
    for (;;) {
        uint32_t cp = *w++;
        if (cp >= 0xD800 && cp <= 0xDBFF && *w >= 0xDC00 && *w <= 0xDFFF)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (*w++ - 0xDC00);
        else if (cp >= 0xD800 && cp <= 0xDFFF)
            cp = 0xFFFD;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
        if (cp == 0)
            return out;
    }
}

// An iconv conversion; (iconv_t)-1 when iconv_open failed.
struct IconvTraits {
    typedef iconv_t Handle;
    static iconv_t Invalid() { return reinterpret_cast<iconv_t>(-1); }
    static bool Close(iconv_t cd) { return iconv_close(cd) == 0; }
};
typedef CHandleHolder<IconvTraits> CIconvHandle;

// Code page 949 (terminator included) to UTF-16. Code page 949 is ASCII plus
// two-byte characters; an undecodable byte becomes '?'.
bool DecodeAnsi(const char* text, std::u16string& out)
{
    CIconvHandle cd(iconv_open("UTF-16LE", kSystemCodePage));
    if (!cd)
        return false;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    for (;;) {
        if (*s < 0x80) {
            out.push_back(*s);
            if (*s == 0)
                return true;
            ++s;
            continue;
        }
        char* in = reinterpret_cast<char*>(const_cast<unsigned char*>(s));
        size_t inLeft = s[1] ? 2 : 1;
        char16_t unit[2];
        char* outPtr = reinterpret_cast<char*>(unit);
        size_t outLeft = sizeof(unit);
        if (iconv(cd.Get(), &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) {
            iconv(cd.Get(), nullptr, nullptr, nullptr, nullptr);
            out.push_back(u'?');
            ++s;
            continue;
        }
        for (size_t i = 0; i < (sizeof(unit) - outLeft) / 2; ++i)
            out.push_back(unit[i]);
        s += 2;
    }
}

// UTF-16 (terminator included) to code page 949; unmappable characters become '?'.
bool EncodeAnsi(const char16_t* w, std::string& out)
{
    CIconvHandle cd(iconv_open(kSystemCodePage, "UTF-16LE"));
    if (!cd)
        return false;
    size_t count = WideLength(w) + 1;
    for (size_t i = 0; i < count; ++i) {
        size_t units = 1;
        if (w[i] >= 0xD800 && w[i] <= 0xDBFF && i + 1 < count && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF)
            units = 2;
        char* in = reinterpret_cast<char*>(const_cast<char16_t*>(w + i));
        size_t inLeft = units * 2;
        char bytes[8];
        char* outPtr = bytes;
        size_t outLeft = sizeof(bytes);
        if (iconv(cd.Get(), &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
            iconv(cd.Get(), nullptr, nullptr, nullptr, nullptr);
            out.push_back('?');
        } else {
            out.append(bytes, sizeof(bytes) - outLeft);
        }
        i += units - 1;
    }
    return true;
}
#endif

} // namespace

#ifdef _WIN32

WideChar* AnsiToWide(const char* text)
{
    if (!text)
        return nullptr;
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 0)
        return nullptr;
    WideChar* out = NewZeroed<WideChar>(2 * static_cast<size_t>(n) + 2);
    if (!out)
        return nullptr;
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, out, n) <= 0) {
        FreeConverted(out);
        return nullptr;
    }
    return out;
}

char* WideToAnsi(const WideChar* text)
{
    if (!text)
        return nullptr;
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return nullptr;
    char* out = NewZeroed<char>(static_cast<size_t>(n) + 1);
    if (!out)
        return nullptr;
    if (WideCharToMultiByte(CP_ACP, 0, text, -1, out, n, nullptr, nullptr) <= 0) {
        FreeConverted(out);
        return nullptr;
    }
    return out;
}

char* WideToUtf8(const WideChar* text, int* length)
{
    if (length)
        *length = 0;
    if (!text)
        return nullptr;
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return nullptr;
    char* out = NewZeroed<char>(static_cast<size_t>(n));
    if (!out)
        return nullptr;
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, out, n, nullptr, nullptr) <= 0) {
        FreeConverted(out);
        return nullptr;
    }
    if (length)
        *length = n;
    return out;
}

WideChar* Utf8ToWide(const char* text, int* length)
{
    if (length)
        *length = 0;
    if (!text)
        return nullptr;
    int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (n <= 0)
        return nullptr;
    WideChar* out = NewZeroed<WideChar>(2 * static_cast<size_t>(n));
    if (!out)
        return nullptr;
    if (MultiByteToWideChar(CP_UTF8, 0, text, -1, out, n) <= 0) {
        FreeConverted(out);
        return nullptr;
    }
    if (length)
        *length = n;
    return out;
}

#else

WideChar* AnsiToWide(const char* text)
{
    std::u16string wide;
    if (!text || !DecodeAnsi(text, wide))
        return nullptr;
    // wide holds the terminator: n converted characters.
    WideChar* out = NewZeroed<WideChar>(2 * wide.size() + 2);
    if (out)
        memcpy(out, wide.data(), 2 * wide.size());
    return out;
}

char* WideToAnsi(const WideChar* text)
{
    std::string bytes;
    if (!text || !EncodeAnsi(text, bytes))
        return nullptr;
    char* out = NewZeroed<char>(bytes.size() + 1);
    if (out)
        memcpy(out, bytes.data(), bytes.size());
    return out;
}

char* WideToUtf8(const WideChar* text, int* length)
{
    if (length)
        *length = 0;
    if (!text)
        return nullptr;
    std::string bytes = EncodeUtf8(text);
    char* out = NewZeroed<char>(bytes.size());
    if (!out)
        return nullptr;
    memcpy(out, bytes.data(), bytes.size());
    if (length)
        *length = static_cast<int>(bytes.size());
    return out;
}

WideChar* Utf8ToWide(const char* text, int* length)
{
    if (length)
        *length = 0;
    if (!text)
        return nullptr;
    std::u16string wide = DecodeUtf8(reinterpret_cast<const unsigned char*>(text));
    WideChar* out = NewZeroed<WideChar>(2 * wide.size());
    if (!out)
        return nullptr;
    memcpy(out, wide.data(), 2 * wide.size());
    if (length)
        *length = static_cast<int>(wide.size());
    return out;
}

#endif

char* AnsiToUtf8(const char* text, int* length)
{
    if (length)
        *length = 0;
    WideChar* wide = AnsiToWide(text);
    if (!wide)
        return nullptr;
    char* out = WideToUtf8(wide, length);
    FreeConverted(wide);
    return out;
}

char* Utf8ToAnsi(const char* text, int* length)
{
    if (length)
        *length = 0;
    WideChar* wide = Utf8ToWide(text, nullptr);
    if (!wide)
        return nullptr;
    char* out = WideToAnsi(wide);
    FreeConverted(wide);
    if (out && length)
        *length = static_cast<int>(strlen(out));
    return out;
}
