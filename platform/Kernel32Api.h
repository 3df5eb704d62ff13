// The kernel32 function the program calls that Windows 95, 98 and Me do not
// support: MoveFileExA. Its documentation calls it unsupported there, while
// the program's own 9x paths expect the stub that fails with
// ERROR_CALL_NOT_IMPLEMENTED; since the two disagree on whether it is
// exported, it is looked up at run time (platform/SystemLibrary.h) in the
// kernel32 every process has loaded. It takes the arguments and gives the
// result of MoveFileExA; when the entry is missing it returns FALSE with the
// last error ERROR_CALL_NOT_IMPLEMENTED, as that stub does.
#pragma once

#include <windows.h>

namespace kernel32 {

BOOL MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags);

} // namespace kernel32
