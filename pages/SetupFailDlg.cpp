#include "pages/SetupFailDlg.h"

#include "integration/ProductSettings.h"
#include "pages/WizardLook.h"
#include "res/resource.h"

QV_IMPLEMENT_RUNTIME_CLASS(CSetupFailDlg)

CSetupFailDlg::CSetupFailDlg()
    : CDialog(IDD_FAIL_PAGE), m_backgroundBrush(CreateSolidBrush(kWizardBackground))
{
}

CSetupFailDlg::~CSetupFailDlg()
{
    if (m_backgroundBrush)
        DeleteObject(m_backgroundBrush);
}

void CSetupFailDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_FAIL_PICTURE, m_picture);
}

BOOL CSetupFailDlg::PreTranslateMessage(MSG* message)
{
    if (IsEscapeKeyDown(message))
        return TRUE;
    return CDialog::PreTranslateMessage(message);
}

BOOL CSetupFailDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // A missing picture leaves the page empty; nothing to report.
    m_picture.LoadFromResource(IDR_GIF_FAIL, "GIF");
    m_picture.Draw();
    return TRUE;
}

void CSetupFailDlg::OnShowWindow(BOOL show, UINT status)
{
    CDialog::OnShowWindow(show, status);
    if (!show)
        return;
    std::string reason;
    g_productSettings.GetStatusText(reason);
    SetDlgItemTextA(m_hWnd, IDC_FAIL_REASON, reason.c_str());
}

HBRUSH CSetupFailDlg::OnCtlColor(HDC dc, HWND, UINT)
{
    SetBkColor(dc, kWizardBackground);
    return m_backgroundBrush;
}
