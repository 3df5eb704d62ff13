// Fuzz target: the name check of core/NameCheck.h (patch-list names and
// cabinet entries), on any bytes. Besides returning without a crash or an
// out-of-bounds read, whatever it accepts must be what it promises: a plain
// name is a relative path of one component; an accepted path starts and
// ends with a name, holds no colon, NUL or other control byte, and each of
// its components is a plain name that Windows would not trim to "" or ".."
// and that names no device. A failed promise aborts (a crash for libFuzzer).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/NameCheck.h"

namespace {

void Require(bool promise)
{
    if (!promise)
        abort();
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The device stem of a component, upper case: up to the first dot, without
// trailing spaces.
std::string UpperStem(const std::string& component)
{
    std::string stem = component.substr(0, component.find('.'));
    stem.erase(stem.find_last_not_of(' ') + 1);
    for (char& c : stem)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return stem;
}

void CheckComponent(const std::string& component)
{
    Require(IsPlainFileName(component));
    Require(component.find_last_not_of(". ") != std::string::npos);
    std::string stem = UpperStem(component);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        Require(stem != device);
    if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0))
        Require(stem[3] < '1' || stem[3] > '9');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string name(reinterpret_cast<const char*>(data), size);
    const bool plain = IsPlainFileName(name);
    const bool path = IsPlainRelativePath(name);
    if (plain)
        Require(path && name.find_first_of("\\/") == std::string::npos);
    if (!path)
        return 0;
    Require(!name.empty() && !IsSeparator(name.front()) && !IsSeparator(name.back()));
    for (char c : name)
        Require(static_cast<unsigned char>(c) >= 0x20 && c != ':');
    size_t start = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !IsSeparator(name[i]))
            continue;
        CheckComponent(name.substr(start, i - start));
        start = i + 1;
    }
    return 0;
}
