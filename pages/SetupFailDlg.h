// CSetupFailDlg: the failure page, a picture (resource 139) and, under its
// title, why the run failed: the status line's last text, taken when the
// page is shown. The frame adds the Done button.
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
    void OnShowWindow(BOOL show, UINT status) override;
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT controlType) override;

private:
    HBRUSH m_backgroundBrush;
    CGifPicture m_picture;
};
