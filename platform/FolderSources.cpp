#include "platform/FolderSources.h"

#include "platform/Shell32Api.h"
#include "platform/SystemHandles.h"

#include <shlobj.h>

#include <cstring>

namespace {

const char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const DWORD kNameBufferSize = 260;
const DWORD kValueBufferSize = 2048;
const DWORD kShellPathBufferSize = 512;


} // namespace

CFolderSources::~CFolderSources() {}

bool CFolderSources::Version(OSVERSIONINFOA& info)
{
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    return GetVersionExA(&info) != FALSE;
}

bool CFolderSources::UserName(std::string& name)
{
    char buffer[kNameBufferSize] = {0};
    DWORD size = sizeof(buffer);
    if (!GetUserNameA(buffer, &size))
        return false;
    name = buffer;
    return true;
}

bool CFolderSources::WindowsDirectory(std::string& path)
{
    char buffer[kNameBufferSize] = {0};
    UINT length = GetWindowsDirectoryA(buffer, sizeof(buffer));
    if (length == 0 || length >= sizeof(buffer))
        return false;
    path = buffer;
    return true;
}

bool CFolderSources::SystemDirectory(std::string& path)
{
    char buffer[kNameBufferSize] = {0};
    UINT length = GetSystemDirectoryA(buffer, sizeof(buffer));
    if (length == 0 || length >= sizeof(buffer))
        return false;
    path = buffer;
    return true;
}

bool CFolderSources::ShellFolder(int csidl, std::string& path)
{
    char buffer[kShellPathBufferSize] = {0};
    if (!shell32::SHGetSpecialFolderPathA(nullptr, buffer, csidl, FALSE)) // no owner window, do not create
        return false;
    path = buffer;
    return true;
}

bool CFolderSources::ShellFoldersValue(HKEY root, const char* valueName, std::string& path)
{
    if (!valueName)
        return false;
    CRegistryKey key;
    if (RegOpenKeyA(root, kShellFoldersKey, key.Out()) != ERROR_SUCCESS)
        return false;
    char buffer[kValueBufferSize] = {0};
    DWORD size = sizeof(buffer) - 1; // keep a terminating zero
    DWORD type = 0;
    if (RegQueryValueExA(key.Get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    path.assign(buffer, strnlen(buffer, size));
    return true;
}

bool CFolderSources::PathExists(const char* path)
{
    return path && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}
