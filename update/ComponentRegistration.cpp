#include "update/ComponentRegistration.h"

#include <windows.h>

#include "platform/Ole32Api.h"
#include "platform/SystemHandles.h"

#include <string>

namespace {

typedef HRESULT(STDAPICALLTYPE* RegisterServerFn)();

// OLE stays initialised on this thread for as long as the object lives.
struct OleSession {
    OleSession() : result(ole32::OleInitialize(nullptr)) {}
    ~OleSession()
    {
        if (SUCCEEDED(result))
            ole32::OleUninitialize();
    }
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;
    HRESULT result;
};

void StartHidden(const char* commandLine) { WinExec(commandLine, SW_HIDE); }

bool SystemDirectory(std::string& dir)
{
    char buffer[MAX_PATH] = {0};
    UINT length = GetSystemDirectoryA(buffer, sizeof(buffer));
    if (length == 0 || length >= sizeof(buffer))
        return false;
    dir = buffer;
    return true;
}

// The in-process attempt with the system folder current, so that a library
// looking for files relative to the current folder finds the system's.
bool CallFromSystemDirectory(const char* path, const std::string& systemDir)
{
    char remembered[MAX_PATH] = {0};
    DWORD length = GetCurrentDirectoryA(sizeof(remembered), remembered);
    // A current folder that cannot be remembered is not changed either.
    if (length == 0 || length >= sizeof(remembered) || systemDir.empty() ||
        !SetCurrentDirectoryA(systemDir.c_str()))
        return false;
    bool registered = CallRegistrationEntry(path);
    SetCurrentDirectoryA(remembered);
    return registered;
}

} // namespace

bool CallRegistrationEntry(const char* path)
{
    if (!path)
        return false;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;

    OleSession ole;
    if (FAILED(ole.result))
        return false;
    // The library's own folder is searched for its dependencies.
    CLoadedModule module(LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module)
        return false;
    RegisterServerFn entry = 
        reinterpret_cast<RegisterServerFn>(reinterpret_cast<void*>(GetProcAddress(module.Get(), "DllRegisterServer")));
    return entry && SUCCEEDED(entry());
}

int RegisterComponent(const char* path, RegistrationLauncher launcher)
{
    if (!path)
        return 0;
    if (CallRegistrationEntry(path))
        return 1;
    std::string systemDir;
    SystemDirectory(systemDir);
    if (CallFromSystemDirectory(path, systemDir))
        return 1;

    // The outcome of the external program is not known here; it may finish
    // after the installation has moved on.
    std::string commandLine = systemDir + "\\regsvr32.exe /s \"" + path + "\"";
    (launcher ? launcher : StartHidden)(commandLine.c_str());
    return 1;
}
