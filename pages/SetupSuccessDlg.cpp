#include "pages/SetupSuccessDlg.h"

#include "res/resource.h"

QV_IMPLEMENT_RUNTIME_CLASS(CSetupSuccessDlg)

CSetupSuccessDlg::CSetupSuccessDlg() : CResultPage(IDD_SUCCESS_PAGE, IDC_SUCCESS_PICTURE, IDR_GIF_SUCCESS) {}
