// Entry point of QVSetup.exe: the one application object and WinMain.
#include <windows.h>

#include "app/SetupApp.h"

CSetupApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    return AfxWinMain(instance, previous, commandLine, show);
}
