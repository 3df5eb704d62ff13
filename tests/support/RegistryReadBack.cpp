#include "tests/support/RegistryReadBack.h"

#include <cstring>

namespace qvtest {

bool ReadRegistryValue(HKEY root, const std::string& key, const char* name, std::vector<BYTE>& data, DWORD* type)
{
    data.clear();
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    DWORD kind = 0;
    LONG error = RegQueryValueExA(opened, name, nullptr, &kind, nullptr, &size);
    if (error == ERROR_SUCCESS) {
        data.resize(size);
        error = RegQueryValueExA(opened, name, nullptr, &kind, data.data(), &size);
        data.resize(size);
    }
    RegCloseKey(opened);
    if (type)
        *type = kind;
    return error == ERROR_SUCCESS;
}

bool ReadRegistryString(HKEY root, const std::string& key, const char* name, std::string& text)
{
    text.clear();
    std::vector<BYTE> data;
    DWORD type = 0;
    if (!ReadRegistryValue(root, key, name, data, &type) || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    text.assign(data.begin(), data.end());
    text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
    return true;
}

bool ReadRegistryDword(HKEY root, const std::string& key, const char* name, DWORD& value)
{
    std::vector<BYTE> data;
    DWORD type = 0;
    if (!ReadRegistryValue(root, key, name, data, &type) || type != REG_DWORD || data.size() != sizeof(DWORD))
        return false;
    memcpy(&value, data.data(), sizeof(DWORD));
    return true;
}

bool RegistryKeyExists(HKEY root, const std::string& key)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

} // namespace qvtest
