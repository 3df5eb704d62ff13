// CWizardPage: what every page of the wizard shares: its controls painted on
// the wizard's background colour, and the Escape key swallowed (the wizard
// ends only through its buttons).
#pragma once

#include "framework/Dialog.h"

class CWizardPage : public CDialog {
public:
    explicit CWizardPage(UINT templateId);
    ~CWizardPage() override;
    CWizardPage(const CWizardPage&) = delete;
    CWizardPage& operator=(const CWizardPage&) = delete;

protected:
    BOOL PreTranslateMessage(MSG* message) override;
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT controlType) override;

private:
    HBRUSH m_backgroundBrush;
};
