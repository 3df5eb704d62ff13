// What the configuration file from the server may name. The installer uses
// the product code and the service name as file, value, key and service
// names, and the product key location as the key whose access list the
// post-install sequence opens for the product: a configuration that names
// anything else is refused as a damaged one is.
//
// Portable code (no Windows calls): the release tool applies the same rules
// before it publishes a configuration.
#pragma once

#include <string>

// The vendor key every product key location must lie under.
extern const char kVendorKeyLocation[]; // "HLM\SOFTWARE\Dravik\"

// Longest product code or service name accepted.
const size_t kMaxPlainNameLength = 64;

// True when name is 1 to 64 characters, each an ASCII letter or digit, "_"
// or "-": usable as a file name, a registry value or key name and a service
// name without any character that changes what it names.
bool IsPlainConfigName(const std::string& name);

// True when location is a key below the vendor key: the root "HLM" or
// "HKEY_LOCAL_MACHINE" (any letter case), then "SOFTWARE\Dravik\" (any
// letter case) and at least one more key name; no empty key name (a doubled
// or trailing backslash), no blank around the root.
bool IsUnderVendorKey(const std::string& location);
