// The answers the special folder table is built from.
//
// CFolderSources asks Windows itself. A test derives from it and overrides a
// member to make that source fail or answer a chosen path, which is how the
// fallback shapes of both Windows families are exercised on one machine.
#pragma once

#include <windows.h>

#include <string>

class CFolderSources {
public:
    virtual ~CFolderSources();

    // GetVersionExA; false when the query fails.
    virtual bool Version(OSVERSIONINFOA& info);
    // GetUserNameA of the process (260-byte buffer); false on failure.
    virtual bool UserName(std::string& name);
    // GetWindowsDirectoryA / GetSystemDirectoryA (260-byte buffers); false when
    // the call returns nothing or does not fit.
    virtual bool WindowsDirectory(std::string& path);
    virtual bool SystemDirectory(std::string& path);
    // SHGetSpecialFolderPathA with no owner window and no creation; false when
    // the shell has no path for csidl.
    virtual bool ShellFolder(int csidl, std::string& path);
    // Text value valueName of the "Shell Folders" key under root
    // (Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders,
    // 2,048-byte buffer); false when the key or the value is missing or the
    // value is not text.
    virtual bool ShellFoldersValue(HKEY root, const char* valueName, std::string& path);
    // GetFileAttributesA succeeds.
    virtual bool PathExists(const char* path);
};
