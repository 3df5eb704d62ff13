#include "core/NameCheck.h"

#include <cstddef>

namespace {

const char kRefusedCharacters[] = "\\/:<>\"|?*";

const char* const kDeviceNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
const char* const kNumberedDevices[] = {"COM", "LPT"};

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameUpper(const std::string& text, size_t from, const char* word, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (Upper(text[from + i]) != word[i])
            return false;
    return true;
}

bool EqualsUpper(const std::string& text, const char* word)
{
    size_t length = 0;
    while (word[length])
        ++length;
    return text.size() == length && SameUpper(text, 0, word, length);
}

// The part of a name Windows looks at for a device: up to the first dot,
// without the spaces before it or at the end.
std::string DeviceStem(const std::string& name)
{
    std::string stem = name.substr(0, name.find('.'));
    size_t end = stem.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : stem.substr(0, end + 1);
}

bool IsDeviceName(const std::string& name)
{
    std::string stem = DeviceStem(name);
    for (const char* device : kDeviceNames)
        if (EqualsUpper(stem, device))
            return true;
    for (const char* prefix : kNumberedDevices) {
        if (stem.size() < 4 || stem.size() > 5 || !SameUpper(stem, 0, prefix, 3))
            continue;
        if (stem.size() == 4 && stem[3] >= '1' && stem[3] <= '9')
            return true;
        bool nonAscii = true;
        for (size_t i = 3; i < stem.size(); ++i)
            nonAscii = nonAscii && static_cast<unsigned char>(stem[i]) >= 0x80;
        if (nonAscii)
            return true;
    }
    return false;
}

} // namespace

bool IsPlainFileName(const std::string& name)
{
    // Windows drops trailing dots and spaces: ".", "..", "..." and " " all
    // name the folder itself or its parent.
    if (name.find_last_not_of(". ") == std::string::npos)
        return false;
    for (char c : name) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20)
            return false;
        for (const char* refused = kRefusedCharacters; *refused; ++refused)
            if (c == *refused)
                return false;
    }
    return !IsDeviceName(name);
}

bool IsPlainRelativePath(const std::string& path)
{
    size_t start = 0;
    for (;;) {
        size_t end = path.find_first_of("\\/", start);
        std::string component = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!IsPlainFileName(component))
            return false;
        if (end == std::string::npos)
            return true;
        start = end + 1;
    }
}
