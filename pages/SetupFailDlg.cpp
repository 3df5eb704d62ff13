#include "pages/SetupFailDlg.h"

#include "integration/ProductSettings.h"
#include "res/resource.h"

QV_IMPLEMENT_RUNTIME_CLASS(CSetupFailDlg)

CSetupFailDlg::CSetupFailDlg() : CResultPage(IDD_FAIL_PAGE, IDC_FAIL_PICTURE, IDR_GIF_FAIL) {}

void CSetupFailDlg::OnShowWindow(BOOL show, UINT status)
{
    CResultPage::OnShowWindow(show, status);
    if (!show)
        return;
    std::string reason;
    g_productSettings.GetStatusText(reason);
    SetDlgItemTextA(m_hWnd, IDC_FAIL_REASON, reason.c_str());
}
