#include "app/SetupApp.h"

#include "app/SetupDlg.h"
#include "platform/ComCtl32Api.h"
#include "platform/SpecialFolders.h"
#include "update/ReleaseKeys.h"
#include "update/UpdateEngine.h"

namespace {

const char kMutexName[] = "KorvaneFree_Setup";
const char kLocalNamespace[] = "Local\\";
const int kCreateAttempts = 5;

// The mutex stays open for the life of the process; the system releases it
// at exit.
HANDLE g_instanceMutex = nullptr;

} // namespace

CSetupApp::CSetupApp() : CWinApp(nullptr) {}

std::string CSetupApp::SingleInstanceMutexName(bool win2000Family)
{
    std::string name = win2000Family ? kLocalNamespace : "";
    return name + kMutexName;
}

bool CSetupApp::AcquireSingleInstance(HANDLE& slot)
{
    const std::string name = SingleInstanceMutexName(g_specialFolders.IsWin2000Family());
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        SetLastError(ERROR_SUCCESS);
        slot = CreateMutexA(nullptr, // default security
                            FALSE,   // not owned
                            name.c_str());
        // Creating the mutex and finding it already there are one step, so
        // of two copies started together exactly one is told it created it.
        if (slot)
            return GetLastError() != ERROR_ALREADY_EXISTS;
    }
    // Without a mutex the wizard runs all the same, unguarded.
    return true;
}

BOOL CSetupApp::InitInstance()
{
    comctl32::InitCommonControls();
    CWinApp::InitInstance();
    AfxEnableControlContainer();

    if (!AcquireSingleInstance(g_instanceMutex))
        return FALSE;  // another copy runs: end quietly
    // The release keys built in decide whether every manifest must be signed.
    g_updateEngine.SetReleaseKeys(ReleaseKeys(), ReleaseKeyCount());

    try {
        CSetupDlg* frame = new CSetupDlg(nullptr);
        m_pMainWnd = frame;
        frame->DoModal();
        m_pMainWnd = nullptr;
        delete frame;
    } catch (...) {
        m_pMainWnd = nullptr;
    }
    return FALSE;
}
