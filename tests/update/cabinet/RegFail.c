/* QvRegFail.dll: its DllRegisterServer fails, after appending the calling
   program and the current folder to "<this library's path>.calls", so a test
   sees every attempt, in this process and in regsvr32.exe. */
#include <windows.h>

#include "RegTestNames.h"

static HINSTANCE g_self;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        g_self = instance;
    return TRUE;
}

__declspec(dllexport) HRESULT __stdcall DllRegisterServer(void)
{
    char calls[MAX_PATH + 16] = {0};
    char program[MAX_PATH] = {0};
    char folder[MAX_PATH] = {0};
    char line[2 * MAX_PATH + 4];
    DWORD written;
    HANDLE file;
    GetModuleFileNameA(g_self, calls, MAX_PATH);
    lstrcatA(calls, QV_REG_TEST_CALLS_SUFFIX);
    GetModuleFileNameA(NULL, program, sizeof(program));
    GetCurrentDirectoryA(sizeof(folder), folder);
    wsprintfA(line, "%s|%s\r\n", program, folder);
    file = CreateFileA(calls, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, line, lstrlenA(line), &written, NULL);
        CloseHandle(file);
    }
    return E_FAIL;
}
