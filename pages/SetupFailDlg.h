// CSetupFailDlg: the failure page, a picture (resource 139) and nothing else;
// the frame adds the Done button.
#pragma once

#include "framework/Dialog.h"
#include "pages/GifPicture.h"

class CSetupFailDlg : public CDialog {
    QV_DECLARE_RUNTIME_CLASS(CSetupFailDlg)
public:
    CSetupFailDlg();
    ~CSetupFailDlg() override;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL PreTranslateMessage(MSG* message) override;
    BOOL OnInitDialog() override;
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT controlType) override;

private:
    HBRUSH m_backgroundBrush;
    CGifPicture m_picture;
};
