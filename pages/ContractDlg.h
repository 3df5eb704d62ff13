// CContractDlg: the licence page. Shows the licence text (string 129) in a
// box nothing can be typed into, and offers agree (preselected) and disagree,
// which enable and disable the frame's Next button.
#pragma once

#include "framework/Dialog.h"

class CContractDlg : public CDialog {
public:
    CContractDlg();
    ~CContractDlg() override;

protected:
    // Swallows characters typed into the licence box and the Escape key.
    BOOL PreTranslateMessage(MSG* message) override;
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code) override;
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT controlType) override;

private:
    HBRUSH m_backgroundBrush;
};
