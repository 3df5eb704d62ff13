#include "pages/ResultPage.h"

CResultPage::CResultPage(UINT templateId, int pictureControlId, UINT pictureResourceId)
    : CWizardPage(templateId), m_pictureControlId(pictureControlId), m_pictureResourceId(pictureResourceId)
{
}

void CResultPage::DoDataExchange(CDataExchange* dx)
{
    CWizardPage::DoDataExchange(dx);
    DDX_Control(dx, m_pictureControlId, m_picture);
}

BOOL CResultPage::OnInitDialog()
{
    CWizardPage::OnInitDialog();
    // A missing picture leaves the page empty; nothing to report.
    m_picture.LoadFromResource(m_pictureResourceId, "GIF");
    m_picture.Draw();
    return TRUE;
}
