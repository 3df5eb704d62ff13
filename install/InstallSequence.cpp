// The install run's command handlers (CMD_UPDATE, CMD_POST_INSTALL,
// CMD_FINISH), run by CPMControl on the worker thread, and the progress
// function the update engine reports downloads to. The install page learns
// everything through the status text and progress of g_productSettings.
#include "install/PMControl.h"

#include "app/SetupDlg.h"
#include "core/StringUtil.h"
#include "framework/WinApp.h"
#include "install/UpdateSession.h"
#include "integration/NewsLinks.h"
#include "integration/ProductSettings.h"
#include "integration/SystemSetup.h"
#include "net/ProxySignIn.h"
#include "res/resource.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace {

const DWORD kBetweenChannelsMs = 100;
const DWORD kMessagePauseMs = 1000;
// Formatted texts are made in a zero-filled work area of this size.
const size_t kFormatArea = 512;

// Formats into a zero-filled work area; the target changes only when the
// text was made whole (a text that does not fit leaves it as it was).
void FormatText(std::string& target, const char* format, ...)
{
    char area[kFormatArea + 1] = {0}; // one more zero: a full area stays terminated
    va_list arguments;
    va_start(arguments, format);
    int length = FormatIntoV(area, sizeof(area), format, arguments);
    va_end(arguments);
    if (length > 0)
        target = area;
}

// The status text that says why a step got nothing from the servers: no
// connection (also when nothing more is known), the proxy, an answer that
// is not a release, a failed signature.
void ShowFailureReason(UpdateFailure failure)
{
    static_assert(IDS_STATUS_BAD_SIGNATURE - IDS_STATUS_PROXY_REFUSED == UPD_FAILURE_SIGNATURE - UPD_FAILURE_PROXY,
                  "one text per reason, in the order of UpdateFailure");
    const UINT text =
        failure < UPD_FAILURE_PROXY ? IDS_STATUS_SERVER_FAILED : IDS_STATUS_PROXY_REFUSED + (failure - UPD_FAILURE_PROXY);
    std::string status = AfxLoadString(text);
    // The proxy by its name, when one is configured.
    const std::string proxy = failure == UPD_FAILURE_PROXY ? CProxySignIn::ProxyName() : std::string();
    if (!proxy.empty())
        FormatText(status, AfxLoadString(IDS_STATUS_PROXY_NAMED).c_str(), proxy.c_str());
    g_productSettings.SetStatusText(status.c_str());
}

void SetFormattedStatus(UINT formatId, const char* argument)
{
    std::string status;
    FormatText(status, AfxLoadString(formatId).c_str(), argument);
    if (!status.empty())
        g_productSettings.SetStatusText(status.c_str());
}

// "YYYYMMDDhhmmss" in local time.
std::string LocalTimeStamp()
{
    time_t now = time(nullptr);
    std::string stamp;
    if (const tm* local = localtime(&now))
        FormatText(stamp, "%04d%02d%02d%02d%02d%02d", local->tm_year + 1900, local->tm_mon + 1, local->tm_mday,
                   local->tm_hour, local->tm_min, local->tm_sec);
    return stamp;
}

} // namespace

void OnInstallProgress(const char* fileName, int fileIndex, int fileCount, int overallPercent, int filePercent)
{
    if (fileName && !IsBadStringPtrA(fileName, MAX_PATH) && *fileName)
        SetFormattedStatus(IDS_STATUS_DOWNLOADING, fileName);
    // The bar shows the current file's percentage: each file starts at 0.
    g_productSettings.SetInstallProgress(filePercent);
}

// Shows what a channel result says went wrong, for two seconds: why the list
// did not arrive (the connection message when the engine knows no more),
// the file message (with the file's name) for a file that failed. False
// when there is nothing to say.
static bool ShowChannelFailure(const CUpdateSession& session, int32_t result)
{
    std::string failedFile;
    session.GetFailedFileName(failedFile);
    if (result == UPD_RESULT_NO_LIST || ((result & UPD_RESULT_BAD_FILE) && failedFile.empty()))
        ShowFailureReason(session.FailureReason());
    else if (result & UPD_RESULT_BAD_FILE)
        SetFormattedStatus(IDS_STATUS_FILE_ERROR, failedFile.c_str());
    else
        return false;
    Sleep(kMessagePauseMs);
    Sleep(kMessagePauseMs);
    return true;
}

void CPMControl::RunUpdate()
{
    CUpdateSession session;
    if (!session.PrepareFolders()) {
        m_failed = 1;
        return;
    }
    const bool freshInstall = !session.ProductInPlace();
    if (!session.FetchConfiguration()) {
        m_failed = 1;
        // The status line, and the failure page after it, say why.
        ShowFailureReason(session.FailureReason());
        g_productSettings.SetInstallProgress(100);
        return;
    }
    // The freshly loaded record names the product the engine speaks for.
    session.PrepareFolders();

    CNewsLinks().FetchLinks(NEWS_LINKS_STORE);

    const int32_t programResult = session.UpdateProgram(OnInstallProgress);
    g_productSettings.SetInstallProgress(100);
    // A first install that did not bring the program has installed nothing
    // a user could start: it fails, says why, and records no success.
    if (freshInstall && !CUpdateSession::ChannelCompleted(programResult)) {
        if (!ShowChannelFailure(session, programResult))
            ShowChannelFailure(session, UPD_RESULT_NO_LIST);
        m_failed = 1;
        return;
    }
    g_productSettings.WriteProductDword("SuccessUpdate", 1);
    g_productSettings.WriteProductString("LastUpdateDate", LocalTimeStamp().c_str());

    Sleep(kBetweenChannelsMs);
    const int32_t databaseResult = session.UpdateDatabase(OnInstallProgress);
    g_productSettings.SetInstallProgress(100);

    // On an installed product a channel that failed does not fail the run:
    // its message shows for two seconds and the wizard still ends on the
    // success page.
    if (!ShowChannelFailure(session, programResult | databaseResult))
        Sleep(kMessagePauseMs);
}

void CPMControl::RunPostInstall()
{
    if (m_failed)
        return;
    CSystemSetup setup;
    setup.SetQuick(false);
    setup.ApplyPostInstall();
}

void CPMControl::Finish()
{
    try {
        if (!m_failed)
            CSystemSetup().MarkInternetWizardCompleted();
        if (g_setupFrame)
            g_setupFrame->ShowPage(m_failed ? kFailureIndex : kSuccessIndex);
    } catch (...) {
        // The page stays as it is.
    }
}
