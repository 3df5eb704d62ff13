// CSetupApp: the application object. Guards against a second copy of the
// setup running, runs the wizard frame modally and lets the process end when
// it closes. It takes nothing from the command line.
#pragma once

#include <windows.h>

#include <string>

#include "framework/WinApp.h"

class CSetupApp : public CWinApp {
public:
    CSetupApp();

    // Start-up: single-instance check, then the wizard. Always false, so the
    // process ends when the wizard closes.
    BOOL InitInstance() override;

    // True when this process may run the wizard; false when another copy
    // holds the single-instance mutex (its handle is then stored in `slot`).
    // One CreateMutexA call both creates and finds the mutex, so of copies
    // started at the same moment exactly one gets true. True as well, slot
    // null, when no mutex can be created at all.
    static bool AcquireSingleInstance(HANDLE& slot);
    // The mutex name: "Local\" + "KorvaneFree_Setup" on Windows 2000, XP and
    // Server 2003 (major version 5), the bare name elsewhere.
    static std::string SingleInstanceMutexName(bool win2000Family);
};
