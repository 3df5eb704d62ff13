// CSetupSuccessDlg: the success page, a picture (resource 138) and nothing
// else; the frame adds the Done button and the run check box.
#pragma once

#include "pages/ResultPage.h"

class CSetupSuccessDlg : public CResultPage {
    QV_DECLARE_RUNTIME_CLASS(CSetupSuccessDlg)
public:
    CSetupSuccessDlg();
};
