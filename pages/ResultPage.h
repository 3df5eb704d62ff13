// CResultPage: a result page of the wizard, one picture filling the page
// (a GIF resource drawn into a picture control); the frame adds the Done
// button. A missing picture leaves the page empty.
#pragma once

#include "pages/GifPicture.h"
#include "pages/WizardPage.h"

class CResultPage : public CWizardPage {
public:
    CResultPage(UINT templateId, int pictureControlId, UINT pictureResourceId);

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;

private:
    int m_pictureControlId;
    UINT m_pictureResourceId;
    CGifPicture m_picture;
};
