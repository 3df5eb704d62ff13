/* QvRegNoEntry.dll: a library without DllRegisterServer (it has the
   unregistration entry only, so the name is what matters). */
#include <windows.h>

__declspec(dllexport) HRESULT __stdcall DllUnregisterServer(void) { return S_OK; }
