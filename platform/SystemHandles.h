// The kinds of Windows handles the program holds, for CHandleHolder
// (core/HandleHolder.h): each with its invalid value and its close.
#pragma once

#include "core/HandleHolder.h"
#include "platform/AdvApi32Api.h"
#include "platform/WinInetApi.h"

#include <windows.h>

// Events, threads, mutexes: null when there is none.
struct KernelHandleTraits {
    typedef HANDLE Handle;
    static HANDLE Invalid() { return nullptr; }
    static bool Close(HANDLE handle) { return CloseHandle(handle) != FALSE; }
};
typedef CHandleHolder<KernelHandleTraits> CKernelHandle;

// Files opened with CreateFile: INVALID_HANDLE_VALUE when there is none.
struct FileHandleTraits {
    typedef HANDLE Handle;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE handle) { return CloseHandle(handle) != FALSE; }
};
typedef CHandleHolder<FileHandleTraits> CFileHandle;

// Searches of FindFirstFile.
struct FindHandleTraits {
    typedef HANDLE Handle;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE handle) { return FindClose(handle) != FALSE; }
};
typedef CHandleHolder<FindHandleTraits> CFindHandle;

struct RegistryKeyTraits {
    typedef HKEY Handle;
    static HKEY Invalid() { return nullptr; }
    static bool Close(HKEY key) { return RegCloseKey(key) == ERROR_SUCCESS; }
};
typedef CHandleHolder<RegistryKeyTraits> CRegistryKey;

// A library loaded for a while (LoadSystemLibrary).
struct ModuleTraits {
    typedef HMODULE Handle;
    static HMODULE Invalid() { return nullptr; }
    static bool Close(HMODULE module) { return FreeLibrary(module) != FALSE; }
};
typedef CHandleHolder<ModuleTraits> CLoadedModule;

// The Service Control Manager and its services.
struct ServiceHandleTraits {
    typedef SC_HANDLE Handle;
    static SC_HANDLE Invalid() { return nullptr; }
    static bool Close(SC_HANDLE handle) { return advapi32::CloseServiceHandle(handle) != FALSE; }
};
typedef CHandleHolder<ServiceHandleTraits> CServiceHandle;

// WinINet sessions, connections and requests.
struct InternetHandleTraits {
    typedef HINTERNET Handle;
    static HINTERNET Invalid() { return nullptr; }
    static bool Close(HINTERNET handle) { return wininet::InternetCloseHandle(handle) != FALSE; }
};
typedef CHandleHolder<InternetHandleTraits> CInternetHandle;
