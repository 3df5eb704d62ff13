// CInstallDlg: the install page: status line, progress bar and the install
// animation (resource 137). The first show of the page starts the install run
// on its worker; every 100 ms (timer 2000) the page shows the status text and
// progress the worker left in g_productSettings. Destroying the page stops
// the worker.
#pragma once

#include <string>

#include "framework/ProgressCtrl.h"
#include "install/PMControl.h"
#include "pages/GifPicture.h"
#include "pages/WizardPage.h"

class CInstallDlg : public CWizardPage {
public:
    CInstallDlg();

    // The worker that runs the installation.
    CPMControl& Worker() { return m_worker; }
    // With false, showing the page starts no install run (the wizard's
    // window tests turn the pages themselves). True by default.
    void SetRunOnShow(bool run) { m_runStarted = !run; }

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnShowWindow(BOOL show, UINT status) override;
    void OnTimer(UINT_PTR id) override;
    void OnDestroy() override;

private:
    // Run settings into the configuration record, then the worker with the
    // three commands of the run.
    void StartRun();

    CPMControl m_worker;
    std::string m_shownStatus;
    CProgressCtrl m_progress;
    CGifPicture m_animation;
    bool m_runStarted = false;
};
