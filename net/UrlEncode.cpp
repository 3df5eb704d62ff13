#include "net/UrlEncode.h"

#include <cstring>

namespace {

bool IsKeptAsIs(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           (c != '\0' && strchr("-./:@\\_", c) != nullptr);
}

} // namespace

bool UrlEncode(const char* text, std::string& encoded)
{
    static const char kHexDigits[] = "0123456789ABCDEF";
    encoded.clear();
    if (!text)
        return false;
    encoded.reserve(3 * strlen(text) + 1);
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (IsKeptAsIs(*p)) {
            encoded += static_cast<char>(*p);
        } else {
            encoded += '%';
            encoded += kHexDigits[*p >> 4];
            encoded += kHexDigits[*p & 0x0F];
        }
    }
    return !encoded.empty();
}
