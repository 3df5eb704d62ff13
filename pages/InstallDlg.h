// CInstallDlg: the install page: status line, progress bar and the install
// animation (resource 137). Showing the page starts the install run on its
// worker; destroying the page stops the worker.
#pragma once

#include <string>

#include "framework/Dialog.h"
#include "framework/ProgressCtrl.h"
#include "install/PMControl.h"
#include "pages/GifPicture.h"

class CInstallDlg : public CDialog {
public:
    CInstallDlg();
    ~CInstallDlg() override;

    // The worker that runs the installation.
    CPMControl& Worker() { return m_worker; }

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL PreTranslateMessage(MSG* message) override;
    BOOL OnInitDialog() override;
    void OnShowWindow(BOOL show, UINT status) override;
    void OnDestroy() override;
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT controlType) override;

private:
    CPMControl m_worker;
    std::string m_shownStatus;
    HBRUSH m_backgroundBrush;
    CProgressCtrl m_progress;
    CGifPicture m_animation;
};
