// Entry point of QVSetup.exe: the one application object and WinMain.
#include <windows.h>

#include "app/SetupApp.h"
#include "platform/SystemLibrary.h"

CSetupApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    // Before any other work: no DLL the system loads by name on the program's
    // behalf may come from the current folder. (The static objects built
    // before this load their system DLLs by full path.)
    ExcludeCurrentFolderFromDllSearch();
    return AfxWinMain(instance, previous, commandLine, show);
}
