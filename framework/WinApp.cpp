#include "framework/WinApp.h"

QV_IMPLEMENT_RUNTIME_CLASS(CWinApp)

namespace {
CWinApp* g_application = nullptr;
}

CWinApp::CWinApp(const char* appName)
    : m_pszAppName(appName), m_hInstance(nullptr), m_pMainWnd(nullptr), m_exitCode(0)
{
    g_application = this;
}

CWinApp::~CWinApp()
{
    if (g_application == this)
        g_application = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::Run()
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    m_exitCode = static_cast<int>(message.wParam);
    return ExitInstance();
}

int CWinApp::ExitInstance() { return m_exitCode; }

CWinApp* AfxGetApp() { return g_application; }

HINSTANCE AfxGetInstanceHandle()
{
    if (g_application && g_application->m_hInstance)
        return g_application->m_hInstance;
    return GetModuleHandleA(nullptr);
}

std::string AfxLoadString(UINT id)
{
    char text[512] = {0};
    LoadStringA(AfxGetInstanceHandle(), id, text, sizeof(text));
    return text;
}

int AfxWinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    CWinApp* application = AfxGetApp();
    if (!application)
        return -1;
    application->m_hInstance = instance;
    if (!application->InitInstance())
        return application->ExitInstance();
    return application->Run();
}

void AfxEnableControlContainer() {}
