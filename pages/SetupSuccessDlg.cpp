#include "pages/SetupSuccessDlg.h"

#include "pages/WizardLook.h"
#include "res/resource.h"

QV_IMPLEMENT_RUNTIME_CLASS(CSetupSuccessDlg)

CSetupSuccessDlg::CSetupSuccessDlg()
    : CDialog(IDD_SUCCESS_PAGE), m_backgroundBrush(CreateSolidBrush(kWizardBackground))
{
}

CSetupSuccessDlg::~CSetupSuccessDlg()
{
    if (m_backgroundBrush)
        DeleteObject(m_backgroundBrush);
}

void CSetupSuccessDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_SUCCESS_PICTURE, m_picture);
}

BOOL CSetupSuccessDlg::PreTranslateMessage(MSG* message)
{
    if (IsEscapeKeyDown(message))
        return TRUE;
    return CDialog::PreTranslateMessage(message);
}

BOOL CSetupSuccessDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // A missing picture leaves the page empty; nothing to report.
    m_picture.LoadFromResource(IDR_GIF_SUCCESS, "GIF");
    m_picture.Draw();
    return TRUE;
}

HBRUSH CSetupSuccessDlg::OnCtlColor(HDC dc, HWND, UINT)
{
    SetBkColor(dc, kWizardBackground);
    return m_backgroundBrush;
}
