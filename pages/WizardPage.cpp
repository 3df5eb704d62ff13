#include "pages/WizardPage.h"

#include "pages/WizardLook.h"

CWizardPage::CWizardPage(UINT templateId)
    : CDialog(templateId), m_backgroundBrush(CreateSolidBrush(kWizardBackground))
{
}

CWizardPage::~CWizardPage()
{
    if (m_backgroundBrush)
        DeleteObject(m_backgroundBrush);
}

BOOL CWizardPage::PreTranslateMessage(MSG* message)
{
    if (IsEscapeKeyDown(message))
        return TRUE;
    return CDialog::PreTranslateMessage(message);
}

HBRUSH CWizardPage::OnCtlColor(HDC dc, HWND, UINT)
{
    SetBkColor(dc, kWizardBackground);
    return m_backgroundBrush;
}
