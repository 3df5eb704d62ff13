#include "app/SetupDlg.h"

#include <string>

#include "framework/WinApp.h"
#include "integration/ProductSettings.h"
#include "pages/WizardLook.h"
#include "platform/Shell32Api.h"
#include "platform/ShlwapiApi.h"
#include "res/resource.h"

#ifdef QV_WIZARD_TEST_HOOKS
#include <memory>

#include "install/PMControl.h"
#endif

CSetupDlg* g_setupFrame = nullptr;

namespace {

const UINT_PTR kCloseTimer = 20001;
const UINT kCloseDelayMs = 100;
const char kProductProgram[] = "QVUpdate.exe";
// A page switch asked for by another thread, done on the frame's thread.
const UINT kShowPageMessage = WM_APP + 1;

#ifdef QV_WIZARD_TEST_HOOKS
// Test builds only: a registered message makes a worker run the finish step
// (wParam: 1 failed, 0 succeeded), so tests can reach the result pages the
// way the install run does.
UINT TestFinishMessage()
{
    static const UINT message = RegisterWindowMessageA("QVSetupTest.FinishFromWorker");
    return message;
}
std::unique_ptr<CPMControl> g_testWorker;
#endif

} // namespace

CSetupDlg::CSetupDlg(CWnd* parent)
    : CDialog(IDD_SETUP_FRAME, parent), m_backgroundBrush(CreateSolidBrush(kWizardBackground)), m_launchOffered(0),
      m_pageIndex(0), m_icon(LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDI_PROGRAM))),
      m_uiThreadId(GetCurrentThreadId()), m_productStarted(false)
{
}

CSetupDlg::~CSetupDlg()
{
    if (m_backgroundBrush)
        DeleteObject(m_backgroundBrush);
}

void CSetupDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_WELCOME_PICTURE, m_welcomePicture);
}

BOOL CSetupDlg::PreTranslateMessage(MSG* message)
{
    // Escape never closes the wizard.
    if (IsEscapeKeyDown(message))
        return TRUE;
    return CDialog::PreTranslateMessage(message);
}

BOOL CSetupDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));
    g_setupFrame = this;
    m_uiThreadId = GetCurrentThreadId();

    RECT pageArea = {0, 0, 0, 0};
    if (CWnd* area = GetDlgItem(IDC_PAGE_AREA))
        area->GetClientRect(&pageArea);

#ifdef QV_WIZARD_TEST_HOOKS
    // The test build shows the install page without an install run: its
    // tests turn the pages from a worker of their own.
    m_installPage.SetRunOnShow(false);
#endif
    m_welcomePicture.LoadFromResource(IDR_GIF_WELCOME, "GIF");
    m_welcomePicture.Draw();

    if (CWnd* runProduct = GetDlgItem(IDC_RUN_PRODUCT)) {
        runProduct->ShowWindow(SW_HIDE);
        runProduct->SendMessage(BM_SETCHECK, BST_CHECKED);
    }

    CDialog* pages[] = {&m_contractPage, &m_installPage, &m_failPage, &m_successPage};
    for (CDialog* page : pages) {
        page->Create(page->GetTemplateId(), this);
        page->MoveWindow(pageArea.left, pageArea.top, pageArea.right - pageArea.left, pageArea.bottom - pageArea.top,
                         TRUE);
        page->ShowWindow(SW_HIDE);
    }
    m_pageIndex = kWelcomeIndex;
    return TRUE;
}

void CSetupDlg::ShowPage(int index)
{
    if (GetCurrentThreadId() != m_uiThreadId) {
        // Windows belong to the user-interface thread: hand the switch over
        // without waiting, so a worker never blocks on the window system.
        ::PostMessageA(m_hWnd, kShowPageMessage, static_cast<WPARAM>(index), 0);
        return;
    }
    ShowPageNow(index);
}

void CSetupDlg::ShowPageNow(int index)
{
    try {
        if (index != -1)
            m_pageIndex = index;
        CWnd* next = GetDlgItem(IDC_NEXT);
        CWnd* cancel = GetDlgItem(IDC_CANCEL_DONE);
        CWnd* runProduct = GetDlgItem(IDC_RUN_PRODUCT);
        if (!next || !cancel || !runProduct)
            return;  // not a frame made from our template
        switch (m_pageIndex) {
        case kWelcomeIndex:
            m_welcomePicture.ShowWindow(SW_HIDE);
            m_contractPage.ShowWindow(SW_SHOW);
            break;
        case kInstallIndex:
            m_welcomePicture.ShowWindow(SW_HIDE);
            next->ShowWindow(SW_HIDE);
            cancel->ShowWindow(SW_HIDE);
            m_contractPage.ShowWindow(SW_HIDE);
            m_installPage.ShowWindow(SW_SHOW);
            break;
        case kSuccessIndex:
            m_installPage.ShowWindow(SW_HIDE);
            m_successPage.ShowWindow(SW_SHOW);
            cancel->SetWindowText(AfxLoadString(IDS_DONE_CAPTION).c_str());
            cancel->ShowWindow(SW_SHOW);
            m_launchOffered = 1;
            runProduct->ShowWindow(SW_SHOW);
            break;
        case kFailureIndex:
            m_installPage.ShowWindow(SW_HIDE);
            m_failPage.ShowWindow(SW_SHOW);
            cancel->SetWindowText(AfxLoadString(IDS_DONE_CAPTION).c_str());
            cancel->ShowWindow(SW_SHOW);
            break;
        default:
            break;
        }
    } catch (...) {
        // The switch ends where it failed.
    }
}

bool CSetupDlg::OnCommand(UINT id, UINT code)
{
    if (code != BN_CLICKED)
        return false;
    if (id == IDC_NEXT) {
        OnNext();
        return true;
    }
    if (id == IDC_CANCEL_DONE) {
        OnCancelOrDone();
        return true;
    }
    return false;
}

void CSetupDlg::OnNext()
{
    // Enter reaches the default button even while it is hidden (install page)
    // or disabled (licence declined); only a Next the user can see and press
    // moves the wizard on.
    CWnd* next = GetDlgItem(IDC_NEXT);
    if (!next || !next->IsWindowVisible() || !next->IsWindowEnabled())
        return;
    ShowPage(-1);
    m_pageIndex = m_pageIndex + 1;
}

void CSetupDlg::OnCancelOrDone()
{
    const bool launch = m_launchOffered == 1 && IsDlgButtonChecked(m_hWnd, IDC_RUN_PRODUCT) != BST_UNCHECKED;
    // A second Done before the wizard closes must not start the product again.
    if (launch && !m_productStarted) {
        std::string folder;
        if (g_productSettings.GetInstallFolder(folder)) {
            m_productStarted = true;
            const std::string path = folder + "\\" + kProductProgram;
            LaunchProgram(path.c_str(), nullptr);
        }
    }
    SetTimer(kCloseTimer, kCloseDelayMs);
}

void CSetupDlg::LaunchProgram(const char* path, const char* parameters)
{
    if (!path || !*path)
        return;
    char folder[MAX_PATH] = {0};
    lstrcpynA(folder, path, MAX_PATH);
    shlwapi::PathRemoveFileSpecA(folder);
    const char* arguments = (parameters && *parameters) ? parameters : nullptr;
    HINSTANCE result = shell32::ShellExecuteA(nullptr, nullptr, path, arguments, folder, SW_SHOW);
    if (reinterpret_cast<INT_PTR>(result) > 32)
        return;
    std::string commandLine = std::string("\"") + path + "\" ";
    if (parameters)
        commandLine += parameters;
    WinExec(commandLine.c_str(), SW_SHOW);
}

void CSetupDlg::OnTimer(UINT_PTR id)
{
    if (id == kCloseTimer) {
        KillTimer(kCloseTimer);
        OnOK();
    }
    CDialog::OnTimer(id);
}

bool CSetupDlg::OnPaint()
{
    if (!IsIconic(m_hWnd))
        return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(&client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_icon);
    EndPaint(m_hWnd, &paint);
    return true;
}

HBRUSH CSetupDlg::OnCtlColor(HDC dc, HWND, UINT)
{
    SetBkColor(dc, kWizardBackground);
    return m_backgroundBrush;
}

void CSetupDlg::OnDestroy()
{
    CDialog::OnDestroy();
#ifdef QV_WIZARD_TEST_HOOKS
    if (g_testWorker)
        g_testWorker->Stop();
#endif
    m_contractPage.DestroyWindow();
    m_installPage.DestroyWindow();  // stops the install run's worker
    m_failPage.DestroyWindow();
    m_successPage.DestroyWindow();
    if (m_backgroundBrush) {
        DeleteObject(m_backgroundBrush);
        m_backgroundBrush = nullptr;
    }
}

bool CSetupDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message == WM_QUERYDRAGICON) {
        result = reinterpret_cast<LRESULT>(m_icon);
        return true;
    }
    if (message == kShowPageMessage) {
        ShowPageNow(static_cast<int>(wParam));
        result = 0;
        return true;
    }
#ifdef QV_WIZARD_TEST_HOOKS
    if (message == TestFinishMessage()) {
        if (!g_testWorker)
            g_testWorker.reset(new CPMControl);
        g_testWorker->SetFailed(wParam != 0);
        g_testWorker->Start();
        g_testWorker->Post(CMD_FINISH);
        result = 1;
        return true;
    }
#endif
    return false;
}
