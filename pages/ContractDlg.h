// CContractDlg: the licence page. Shows the licence text (string 129) in a
// box nothing can be typed into, and offers agree (preselected) and disagree,
// which enable and disable the frame's Next button.
#pragma once

#include "pages/WizardPage.h"

class CContractDlg : public CWizardPage {
public:
    CContractDlg();

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code) override;
};
