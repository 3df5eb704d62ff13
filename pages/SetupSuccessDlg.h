// CSetupSuccessDlg: the success page, a picture (resource 138) and nothing
// else; the frame adds the Done button and the run check box.
#pragma once

#include "framework/Dialog.h"
#include "pages/GifPicture.h"

class CSetupSuccessDlg : public CDialog {
    QV_DECLARE_RUNTIME_CLASS(CSetupSuccessDlg)
public:
    CSetupSuccessDlg();
    ~CSetupSuccessDlg() override;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL PreTranslateMessage(MSG* message) override;
    BOOL OnInitDialog() override;
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT controlType) override;

private:
    HBRUSH m_backgroundBrush;
    CGifPicture m_picture;
};
