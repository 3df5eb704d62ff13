// CWinApp: the application object. The program defines one static instance of
// a class derived from it; AfxWinMain (called from WinMain) finds it, calls
// InitInstance, and runs the message loop (Run) only when InitInstance
// returns true. The process's exit code is ExitInstance's result.
#pragma once

#include <windows.h>

#include <string>

#include "framework/Object.h"

class CWnd;

class CWinApp : public CObject {
    QV_DECLARE_RUNTIME_CLASS(CWinApp)
public:
    explicit CWinApp(const char* appName = nullptr);
    ~CWinApp() override;

    // The framework's part of start-up; always true.
    virtual BOOL InitInstance();
    // Runs the message loop until WM_QUIT; returns ExitInstance's result.
    virtual int Run();
    virtual int ExitInstance();

    const char* m_pszAppName;
    HINSTANCE m_hInstance;
    CWnd* m_pMainWnd;
    int m_exitCode;
};

// The application object, or null when the program defines none.
CWinApp* AfxGetApp();
// The module that holds the program's resources.
HINSTANCE AfxGetInstanceHandle();
// String resource `id` of the program in the system code page; empty when
// missing. Any thread may call it.
std::string AfxLoadString(UINT id);
// Start-up: runs the application object. Returns the process's exit code.
int AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);
// Our dialogs host no ActiveX controls, so there is no container to prepare;
// kept so that start-up reads in its designed order.
void AfxEnableControlContainer();
