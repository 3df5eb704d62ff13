// The shell functions the program calls, through shell32.dll loaded from the
// system folder on first use (platform/SystemLibrary.h): shell32 is a KnownDLL
// on the NT family but not on Windows 95, 98 and Me. Each takes the arguments
// and gives the results of the function of the same name; when the DLL or the
// entry is missing, ShellExecuteA returns SE_ERR_DLLNOTFOUND (a failure, 32
// or less) and SHGetSpecialFolderPathA FALSE, with the last error
// ERROR_MOD_NOT_FOUND or ERROR_PROC_NOT_FOUND.
#pragma once

#include <windows.h>

namespace shell32 {

HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR folder, INT show);
BOOL SHGetSpecialFolderPathA(HWND owner, LPSTR path, int csidl, BOOL create);

} // namespace shell32
