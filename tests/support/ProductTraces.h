// What an installation of the product leaves on the machine, found and
// removed by the tests that install it: the install folder, the service, the
// shortcuts and the registry values. Used so that every such test starts on a
// machine without the product and leaves none behind.
#pragma once

#include "tests/support/RegistryReadBack.h"

#include <windows.h>

#include <string>

namespace qvtest {

// The install folder, found without the program's own code.
std::string ProductInstallFolder();
// A special folder by CSIDL ("" when unknown).
std::string ShellFolder(int csidl);

// The service's state (SERVICE_RUNNING, ...) and process; 0 when it cannot
// be queried (no such service).
DWORD ServiceState(const char* name, DWORD* processId = nullptr);
// Stops the service (ending its process when it does not stop) and deletes it.
void RemoveService(const char* name);

struct ProductNames {
    std::string productCode;  // names the Run value and the uninstall entry
    std::string serviceName;
    std::string desktopLink;  // shortcut file name without ".lnk"
    std::string groupName;    // Start-menu folder
};

// Removes the service, the install folder, the shortcuts, the uninstall
// entry, the Run values, the product key ("HKLM\SOFTWARE\Dravik") and the
// shell extension's class.
void RemoveProduct(const ProductNames& names);

} // namespace qvtest
