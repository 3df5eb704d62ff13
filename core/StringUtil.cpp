#include "core/StringUtil.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

bool TrimBlanks(char* text)
{
    if (!text)
        return false;
    size_t length = strlen(text);
    size_t start = 0;
    while (start < length && text[start] == ' ')
        ++start;
    size_t end = length;
    while (end > start && text[end - 1] == ' ')
        --end;
    memmove(text, text + start, end - start);
    text[end - start] = '\0';
    return true;
}

int ReplaceChar(char* buffer, char from, char to, int count)
{
    if (!buffer || count <= 0)
        return 0;
    int replaced = 0;
    for (int i = 0; i < count; ++i) {
        if (buffer[i] == from) {
            buffer[i] = to;
            ++replaced;
        }
    }
    return replaced;
}

uint32_t StringHash(const char* text)
{
    uint32_t hash = 5381;
    if (!text)
        return hash;
    for (const char* p = text; *p; ++p)
        hash = hash * 33 + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
    return hash;
}

int FormatInto(char* buffer, size_t size, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int length = FormatIntoV(buffer, size, format, arguments);
    va_end(arguments);
    return length;
}

int FormatIntoV(char* buffer, size_t size, const char* format, va_list arguments)
{
    if (!buffer || size == 0 || !format)
        return -1;
#ifdef _WIN32
    int length = _vsnprintf(buffer, size, format, arguments);
#else
    int length = vsnprintf(buffer, size, format, arguments);
#endif
    if (length < 0 || static_cast<size_t>(length) >= size) {
        buffer[size - 1] = '\0';
        return -1;
    }
    return length;
}

std::string TrimmedBlanks(const std::string& text)
{
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}
