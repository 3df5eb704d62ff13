#include "pages/InstallDlg.h"

#include "integration/ProductSettings.h"
#include "integration/UpdateServers.h"
#include "net/ProxySignIn.h"
#include "platform/WinInetApi.h"
#include "res/resource.h"

#include <wininet.h>

#include <cstring>

namespace {

const UINT_PTR kStatusTimer = 2000;
const UINT kStatusPeriodMs = 100;
const char kProductCode[] = "KorvaneFree";
const char kProductKeyLocation[] = "HLM\\SOFTWARE\\Dravik\\KorvaneV5\\KorvaneFree";

// The wizard's window, owner of the proxy sign-in dialog.
HWND g_signInOwner = nullptr;

// WinINet's own sign-in dialog, as other Windows programs show it: it names
// the proxy and its realm, offers what Windows saved for them, and sets what
// the user gives on the request. Called on the worker thread; the dialog
// disables the wizard until it closes.
ProxySignInAnswer AskProxySignIn(void* request)
{
    const DWORD flags = FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                        FLAGS_ERROR_UI_FLAGS_GENERATE_DATA;
    const DWORD answer = wininet::InternetErrorDlg(g_signInOwner, request, ERROR_INTERNET_INCORRECT_PASSWORD, flags,
                                                   nullptr);
    return answer == ERROR_INTERNET_FORCE_RETRY ? PROXY_SIGNIN_RETRY : PROXY_SIGNIN_CANCEL;
}

} // namespace

CInstallDlg::CInstallDlg() : CWizardPage(IDD_INSTALL_PAGE) {}

void CInstallDlg::DoDataExchange(CDataExchange* dx)
{
    CWizardPage::DoDataExchange(dx);
    DDX_Control(dx, IDC_INSTALL_PROGRESS, m_progress);
    DDX_Control(dx, IDC_INSTALL_ANIMATION, m_animation);
}

BOOL CInstallDlg::OnInitDialog()
{
    CWizardPage::OnInitDialog();
    m_progress.SetRange(0, 100);
    m_animation.LoadFromResource(IDR_GIF_INSTALL, "GIF");
    m_animation.Draw();
    return TRUE;
}

void CInstallDlg::OnShowWindow(BOOL show, UINT status)
{
    CWizardPage::OnShowWindow(show, status);
    // The page runs one installation: showing it again (after a hide, or a
    // second show message) must not start a second run on the same worker.
    if (!show || m_runStarted)
        return;
    m_runStarted = true;
    SetTimer(kStatusTimer, kStatusPeriodMs);
    StartRun();
}

void CInstallDlg::StartRun()
{
    ConfigRecord record;
    g_productSettings.GetConfig(record);
    // Both configuration servers, as a host list: the engine picks one at
    // random and asks the other when the first cannot be reached.
    ConfigServer server;
    server.hostList = kPrimaryUpdateHost;
    if (strcmp(kPrimaryUpdateHost, kSecondaryUpdateHost) != 0) {
        server.hostList += ';';
        server.hostList += kSecondaryUpdateHost;
    }
    server.path = kConfigServerPath;
    server.port = kConfigServerPort;
    record.SetServer(SERVER_CONFIG, server);
    record.SetProductKeyLocation(kProductKeyLocation);
    record.SetProductCode(kProductCode);
    g_productSettings.SetProductKeyLocation(kProductKeyLocation);
    g_productSettings.SetConfig(record);

    g_signInOwner = GetParent(m_hWnd);
    CProxySignIn::SetPrompt(AskProxySignIn);
    m_worker.Start();
    m_worker.Post(CMD_UPDATE);
    m_worker.Post(CMD_POST_INSTALL);
    m_worker.Post(CMD_FINISH);
}

void CInstallDlg::OnTimer(UINT_PTR id)
{
    if (id == kStatusTimer) {
        const int progress = g_productSettings.GetInstallProgress();
        std::string status;
        g_productSettings.GetStatusText(status);
        // Letter case alone does not count as a new text.
        if (!status.empty() && _stricmp(status.c_str(), m_shownStatus.c_str()) != 0) {
            SetDlgItemTextA(m_hWnd, IDC_STATUS_TEXT, status.c_str());
            m_shownStatus = status;
        }
        m_progress.SetPos(progress);
    }
    CWizardPage::OnTimer(id);
}

void CInstallDlg::OnDestroy()
{
    CWizardPage::OnDestroy();
    m_worker.Stop();
}
