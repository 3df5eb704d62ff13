#include "net/UrlEncode.h"

#include <cstring>

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

bool IsKeptAsIs(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           (c != '\0' && strchr("-./:@\\_", c) != nullptr);
}

bool IsControlByte(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

void AppendEscaped(std::string& out, unsigned char c)
{
    out += '%';
    out += kHexDigits[c >> 4];
    out += kHexDigits[c & 0x0F];
}

} // namespace

bool UrlEncode(const char* text, std::string& encoded)
{
    encoded.clear();
    if (!text)
        return false;
    encoded.reserve(3 * strlen(text) + 1);
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (IsKeptAsIs(*p))
            encoded += static_cast<char>(*p);
        else
            AppendEscaped(encoded, *p);
    }
    return !encoded.empty();
}

bool HasNoControlBytes(const char* text)
{
    if (!text)
        return false;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (IsControlByte(*p))
            return false;
    }
    return true;
}

bool EncodeRequestPath(const char* path, std::string& encoded)
{
    encoded.clear();
    if (!HasNoControlBytes(path))
        return false;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(path); *p; ++p) {
        if (*p == ' ' || *p >= 0x80)
            AppendEscaped(encoded, *p);
        else
            encoded += static_cast<char>(*p);
    }
    return true;
}
