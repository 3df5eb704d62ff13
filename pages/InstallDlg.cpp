#include "pages/InstallDlg.h"

#include "pages/WizardLook.h"
#include "res/resource.h"

CInstallDlg::CInstallDlg() : CDialog(IDD_INSTALL_PAGE), m_backgroundBrush(CreateSolidBrush(kWizardBackground)) {}

CInstallDlg::~CInstallDlg()
{
    if (m_backgroundBrush)
        DeleteObject(m_backgroundBrush);
}

void CInstallDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_INSTALL_PROGRESS, m_progress);
    DDX_Control(dx, IDC_INSTALL_ANIMATION, m_animation);
}

BOOL CInstallDlg::PreTranslateMessage(MSG* message)
{
    if (IsEscapeKeyDown(message))
        return TRUE;
    return CDialog::PreTranslateMessage(message);
}

BOOL CInstallDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_progress.SetRange(0, 100);
    m_animation.LoadFromResource(IDR_GIF_INSTALL, "GIF");
    m_animation.Draw();
    return TRUE;
}

void CInstallDlg::OnShowWindow(BOOL show, UINT status)
{
    CDialog::OnShowWindow(show, status);
    // WAITING FOR THE INSTALL RUN: showing the page is where the run starts
    // (status polling on timer 2000, run settings, worker start and the
    // commands CMD_UPDATE, CMD_POST_INSTALL, CMD_FINISH). Until that work
    // lands, showing the page starts nothing.
}

void CInstallDlg::OnDestroy()
{
    CDialog::OnDestroy();
    m_worker.Stop();
}

HBRUSH CInstallDlg::OnCtlColor(HDC dc, HWND, UINT)
{
    SetBkColor(dc, kWizardBackground);
    return m_backgroundBrush;
}
