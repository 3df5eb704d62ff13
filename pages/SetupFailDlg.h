// CSetupFailDlg: the failure page, a picture (resource 139) and, under its
// title, why the run failed: the status line's last text, taken when the
// page is shown. The frame adds the Done button.
#pragma once

#include "pages/ResultPage.h"

class CSetupFailDlg : public CResultPage {
    QV_DECLARE_RUNTIME_CLASS(CSetupFailDlg)
public:
    CSetupFailDlg();

protected:
    void OnShowWindow(BOOL show, UINT status) override;
};
