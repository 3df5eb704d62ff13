// The picture loader of oleaut32.dll, loaded from the system folder on first
// use (platform/SystemLibrary.h). It takes the arguments and gives the
// results of OleLoadPicture; when the DLL or the entry is missing it returns
// E_FAIL with the picture null and the last error ERROR_MOD_NOT_FOUND or
// ERROR_PROC_NOT_FOUND: the picture is not loaded and the control stays empty.
#pragma once

#include <windows.h>
#include <ole2.h>

namespace oleaut32 {

HRESULT OleLoadPicture(LPSTREAM stream, LONG size, BOOL runMode, REFIID interfaceId, LPVOID* picture);

} // namespace oleaut32
