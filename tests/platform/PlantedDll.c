/* QvPlanted.dll: stands in for a DLL someone put where a program might load
   it by name (beside the program, in the current folder). Copied under the
   names of system DLLs; when a process loads it, it leaves a marker beside
   itself: the path it was loaded from + ".loaded", holding the path of the
   program that loaded it. It exports nothing. */
#include <windows.h>

#include "PlantedDll.h"

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    char marker[MAX_PATH + sizeof(QV_PLANTED_MARKER_SUFFIX)];
    char program[MAX_PATH];
    DWORD length;
    DWORD programLength;
    DWORD written;
    HANDLE file;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    length = GetModuleFileNameA(self, marker, MAX_PATH);
    programLength = GetModuleFileNameA(NULL, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return TRUE;
    lstrcpyA(marker + length, QV_PLANTED_MARKER_SUFFIX);
    file = CreateFileA(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, program, programLength, &written, NULL);
        CloseHandle(file);
    }
    return TRUE;
}
