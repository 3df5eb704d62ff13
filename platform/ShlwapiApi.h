// The shell helper functions the program calls, through shlwapi.dll loaded
// from the system folder on first use (platform/SystemLibrary.h). Each takes
// the arguments and gives the results of the function of the same name; when
// the DLL or the entry is missing, PathRemoveFileSpecA leaves the path alone
// and returns FALSE (nothing removed), and SHDeleteKeyA deletes nothing and
// returns the registry error code ERROR_MOD_NOT_FOUND or
// ERROR_PROC_NOT_FOUND, which it also sets as the last error.
#pragma once

#include <windows.h>

namespace shlwapi {

BOOL PathRemoveFileSpecA(LPSTR path);
LONG SHDeleteKeyA(HKEY key, LPCSTR subKey);

} // namespace shlwapi
