// CSetupDlg: the wizard frame, the program's one top-level window. It hosts
// the pages one at a time (welcome picture, licence, install, success or
// failure), owns Next, Cancel/Done and the check box that offers to run the
// product, and when Done is pressed starts the product if asked and closes
// 100 ms later.
//
// g_setupFrame points to the one frame from its initialisation on; the
// licence page and the install run's worker reach the frame through it.
#pragma once

#include "framework/Dialog.h"
#include "pages/ContractDlg.h"
#include "pages/GifPicture.h"
#include "pages/InstallDlg.h"
#include "pages/SetupFailDlg.h"
#include "pages/SetupSuccessDlg.h"

// The pages ShowPage takes, by index.
const int kWelcomeIndex = 0;  // the licence page (the frame's welcome picture until Next)
const int kInstallIndex = 1;
const int kSuccessIndex = 2;
const int kFailureIndex = 3;

class CSetupDlg : public CDialog {
public:
    explicit CSetupDlg(CWnd* parent = nullptr);
    ~CSetupDlg() override;

    // Shows the page for `index` (stored first unless it is -1): 0 licence,
    // 1 install, 2 success, 3 failure; other values show nothing. May be
    // called from any thread: from a worker it is handed to the
    // user-interface thread and done there in the same order.
    void ShowPage(int index);
    // Starts a program with the folder it lives in as working folder; falls
    // back to WinExec when the shell cannot start it. Failures are silent.
    void LaunchProgram(const char* path, const char* parameters);

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL PreTranslateMessage(MSG* message) override;
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code) override;
    void OnTimer(UINT_PTR id) override;
    bool OnPaint() override;
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT controlType) override;
    void OnDestroy() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void ShowPageNow(int index);
    void OnNext();
    void OnCancelOrDone();

    CContractDlg m_contractPage;
    CInstallDlg m_installPage;
    CSetupFailDlg m_failPage;
    CSetupSuccessDlg m_successPage;
    HBRUSH m_backgroundBrush;
    volatile LONG m_launchOffered;
    volatile LONG m_pageIndex;
    HICON m_icon;
    CGifPicture m_welcomePicture;
    DWORD m_uiThreadId;
    bool m_productStarted;
};

extern CSetupDlg* g_setupFrame;
