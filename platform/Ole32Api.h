// The COM and OLE functions the program calls, through ole32.dll loaded from
// the system folder on first use (platform/SystemLibrary.h). Each takes the
// arguments and gives the results of the function of the same name; when the
// DLL or the entry is missing, the initialisations and the creations return
// E_FAIL (the latter with the out-pointer null), with the last error
// ERROR_MOD_NOT_FOUND or ERROR_PROC_NOT_FOUND, and the uninitialisations do
// nothing (no initialisation can have succeeded).
#pragma once

#include <windows.h>
#include <objbase.h>

namespace ole32 {

HRESULT CoInitialize(LPVOID reserved);
HRESULT CoInitializeEx(LPVOID reserved, DWORD concurrency);
void CoUninitialize();
HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID interfaceId, LPVOID* object);
HRESULT CreateStreamOnHGlobal(HGLOBAL block, BOOL deleteOnRelease, LPSTREAM* stream);
HRESULT OleInitialize(LPVOID reserved);
void OleUninitialize();

} // namespace ole32
