// Registry values read back by the tests, without the program's own code.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qvtest {

// A string value, REG_SZ or REG_EXPAND_SZ (unexpanded); "" and false when
// absent or of another type.
bool ReadRegistryString(HKEY root, const std::string& key, const char* name, std::string& text);
// A REG_DWORD value; false when absent or of another type.
bool ReadRegistryDword(HKEY root, const std::string& key, const char* name, DWORD& value);
// Any value's bytes and type (a null name: the key's default value); false
// when the key or value is absent.
bool ReadRegistryValue(HKEY root, const std::string& key, const char* name, std::vector<BYTE>& data,
                       DWORD* type = nullptr);
// True when the key can be opened for reading.
bool RegistryKeyExists(HKEY root, const std::string& key);

} // namespace qvtest
