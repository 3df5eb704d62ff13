#include "tests/support/ProductTraces.h"

#include "platform/SystemHandles.h"
#include "tests/support/TestSupport.h"

#include <shlobj.h>
#include <shlwapi.h>

namespace qvtest {

namespace {

const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kContextClassKey[] = "CLSID\\{6B8E2C4A-3F1D-4E7B-9A52-0C1D2E3F4A5B}";

void EndProcess(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    if (!process)
        return;
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
}

} // namespace

std::string ShellFolder(int csidl)
{
    char folder[MAX_PATH] = {0};
    if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return std::string();
    return folder;
}

std::string ProductInstallFolder() { return ShellFolder(CSIDL_PROGRAM_FILES) + "\\Dravik\\KorvaneV5\\KorvaneFree"; }

DWORD ServiceState(const char* name, DWORD* processId)
{
    CServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    CServiceHandle service(manager ? OpenServiceA(manager.Get(), name, SERVICE_ALL_ACCESS) : nullptr);
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    bool read = service && QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                                sizeof(status), &needed);
    if (processId)
        *processId = read ? status.dwProcessId : 0;
    return read ? status.dwCurrentState : 0;
}

void RemoveService(const char* name)
{
    {
        CServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        CServiceHandle service(manager ? OpenServiceA(manager.Get(), name, SERVICE_ALL_ACCESS) : nullptr);
        if (!service)
            return;
        SERVICE_STATUS status = {};
        if (ControlService(service.Get(), SERVICE_CONTROL_STOP, &status))
            for (int i = 0; i < 50 && ServiceState(name) != SERVICE_STOPPED; ++i)
                Sleep(100);
        DWORD processId = 0;
        if (ServiceState(name, &processId) != SERVICE_STOPPED && processId)
            EndProcess(processId);  // a service that does not stop on request
        DeleteService(service.Get());
    }
    for (int i = 0; i < 50 && ServiceState(name); ++i)
        Sleep(100);
}

void RemoveProduct(const ProductNames& names)
{
    RemoveService(names.serviceName.c_str());
    RemoveTree(ProductInstallFolder());
    for (int desktop : {CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY})
        DeleteFileA((ShellFolder(desktop) + "\\" + names.desktopLink + ".lnk").c_str());
    for (int programs : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS})
        RemoveTree(ShellFolder(programs) + "\\" + names.groupName);
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Dravik");
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, (kUninstallKey + names.productCode).c_str());
    SHDeleteKeyA(HKEY_CLASSES_ROOT, kContextClassKey);
    SHDeleteValueA(HKEY_LOCAL_MACHINE, kRunKey, names.productCode.c_str());
    SHDeleteValueA(HKEY_LOCAL_MACHINE, kRunKey, names.serviceName.c_str());
}

} // namespace qvtest
