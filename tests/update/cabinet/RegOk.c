/* QvRegOk.dll: registers by writing the current folder and its dependency's
   answer under HKEY_CURRENT_USER; it loads only where QvRegDep.dll is found. */
#include <windows.h>

#include "RegTestNames.h"

__declspec(dllimport) DWORD QvRegDependencyAnswer(void);

__declspec(dllexport) HRESULT __stdcall DllRegisterServer(void)
{
    char folder[MAX_PATH] = {0};
    DWORD answer = QvRegDependencyAnswer();
    HKEY key;
    LONG opened;
    GetCurrentDirectoryA(sizeof(folder), folder);
    opened = RegCreateKeyExA(HKEY_CURRENT_USER, QV_REG_TEST_KEY, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL);
    if (opened != ERROR_SUCCESS)
        return E_FAIL;
    RegSetValueExA(key, QV_REG_TEST_FOLDER_VALUE, 0, REG_SZ, (const BYTE*)folder, lstrlenA(folder) + 1);
    RegSetValueExA(key, QV_REG_TEST_ANSWER_VALUE, 0, REG_DWORD, (const BYTE*)&answer, sizeof(answer));
    RegCloseKey(key);
    return S_OK;
}
