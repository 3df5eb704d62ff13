// The install run's command handlers (CMD_UPDATE, CMD_POST_INSTALL,
// CMD_FINISH), run by CPMControl on the worker thread.
#include "install/PMControl.h"

#include "app/SetupDlg.h"

namespace {
const int kSuccessPage = 2;
const int kFailurePage = 3;
} // namespace

void CPMControl::RunUpdate()
{
    // WAITING FOR THE INSTALL RUN: the update run (configuration file, product
    // values, news and event links, program and engine-database channels) is
    // not built yet. Until it is, this command does nothing and the run counts
    // as not failed.
}

void CPMControl::RunPostInstall()
{
    if (m_failed)
        return;
    // WAITING FOR THE INSTALL RUN: CSystemSetup::ApplyPostInstall is not built
    // yet; until it is, the post-install stage does nothing.
}

void CPMControl::Finish()
{
    if (!g_setupFrame)
        return;
    try {
        // WAITING FOR THE INSTALL RUN: on success the Internet Connection
        // Wizard is marked completed (CSystemSetup) before the page turns.
        g_setupFrame->ShowPage(m_failed ? kFailurePage : kSuccessPage);
    } catch (...) {
        // The page stays as it is.
    }
}
