#include "core/ConfigCheck.h"

#include <cstring>

const char kVendorKeyLocation[] = "HLM\\SOFTWARE\\Dravik\\";

namespace {

const char kVendorSubKey[] = "SOFTWARE\\Dravik\\";
const char* const kMachineRootNames[] = {"HLM", "HKEY_LOCAL_MACHINE"};

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsIgnoringCase(const std::string& a, size_t start, size_t length, const char* b)
{
    if (strlen(b) != length || start + length > a.size())
        return false;
    for (size_t i = 0; i < length; ++i)
        if (Upper(a[start + i]) != Upper(b[i]))
            return false;
    return true;
}

} // namespace

bool IsPlainConfigName(const std::string& name)
{
    if (name.empty() || name.size() > kMaxPlainNameLength)
        return false;
    for (char c : name) {
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        bool digit = c >= '0' && c <= '9';
        if (!letter && !digit && c != '_' && c != '-')
            return false;
    }
    return true;
}

bool IsUnderVendorKey(const std::string& location)
{
    size_t slash = location.find('\\');
    if (slash == std::string::npos)
        return false;
    bool machineRoot = false;
    for (const char* root : kMachineRootNames)
        machineRoot = machineRoot || EqualsIgnoringCase(location, 0, slash, root);
    const size_t subKeyStart = slash + 1;
    const size_t vendorLength = strlen(kVendorSubKey);
    if (!machineRoot || !EqualsIgnoringCase(location, subKeyStart, vendorLength, kVendorSubKey))
        return false;
    // What follows the vendor key: one or more non-empty key names.
    const std::string rest = location.substr(subKeyStart + vendorLength);
    if (rest.empty() || rest.front() == '\\' || rest.back() == '\\')
        return false;
    return rest.find("\\\\") == std::string::npos;
}
