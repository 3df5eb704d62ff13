#include "install/UpdateSession.h"

#include "integration/ConfigFile.h"
#include "integration/EngineProduct.h"
#include "integration/ProductSettings.h"
#include "integration/TextTable.h"
#include "platform/PathKind.h"
#include "platform/SpecialFolders.h"
#include "update/UpdateEngine.h"

#include <windows.h>

namespace {

const char kConfigFileName[] = "QVConfig.dat";
const char kUpdaterName[] = "QVUpdate.exe";

ConfigServer RecordServer(int entry)
{
    ConfigRecord record;
    g_productSettings.GetConfig(record);
    return record.Server(entry);
}

// Where the highest serial this machine accepted for each channel is kept,
// under the product key, as decimal text.
const char* const kSerialValueNames[] = {"ReleaseSerialConfig", "ReleaseSerialProgram", "ReleaseSerialDatabase"};

// Hands the engine the channel and the lowest serial it may accept next.
void PrepareChannel(ReleaseChannel channel)
{
    uint64_t serial = 0;
    std::string stored;
    if (g_productSettings.ReadProductString(kSerialValueNames[channel], stored) &&
        !ParseReleaseSerial(stored.c_str(), stored.size(), serial))
        serial = 0;
    g_updateEngine.SetMinimumSerial(channel, serial);
    if (channel != RELEASE_CHANNEL_CONFIG)
        g_updateEngine.SetReleaseChannel(channel);
}

// Records the serial the engine accepted once the channel is done, so that
// an older release is never taken again.
void RecordSerial(ReleaseChannel channel)
{
    if (!g_updateEngine.SignaturesRequired())
        return;
    g_productSettings.WriteProductString(kSerialValueNames[channel], g_updateEngine.AcceptedSerialText().c_str());
}

int32_t Check(const ConfigServer& server, const std::string& folder)
{
    ResetEngineForProduct(g_updateEngine);
    return g_updateEngine.CheckForUpdates(server.hostList.c_str(), server.path.c_str(), server.port, folder.c_str());
}

// The install after a check that found updates: UPDATE_SESSION_UPDATED for
// the engine's 0, its result otherwise.
int32_t Install(const ConfigServer& server, const std::string& folder, UpdateProgressCallback progress)
{
    ResetEngineForProduct(g_updateEngine);
    int32_t result = g_updateEngine.InstallUpdates(server.hostList.c_str(), server.path.c_str(), server.port,
                                                   folder.c_str(), progress);
    return result == UPD_RESULT_DONE ? UPDATE_SESSION_UPDATED : result;
}

} // namespace

bool CUpdateSession::PrepareFolders()
{
    std::string folder;
    if (!g_productSettings.GetInstallFolder(folder))
        return false;
    installFolder = folder;
    std::string productCode;
    g_productSettings.GetProductCode(productCode);
    g_updateEngine.SetProductId(productCode);
    return true;
}

bool CUpdateSession::FetchConfiguration()
{
    if (!IsExistingFolder(installFolder))
        CSpecialFolders::CreateFolderPath(installFolder.c_str());

    configFailure_ = UPD_FAILURE_NONE;
    ConfigServer server = RecordServer(SERVER_CONFIG);
    ResetEngineForProduct(g_updateEngine);
    PrepareChannel(RELEASE_CHANNEL_CONFIG);
    if (g_updateEngine.FetchConfigFile(server.hostList.c_str(), server.path.c_str(), server.port,
                                       installFolder.c_str()) != UPD_RESULT_DONE)
        return false;

    std::string fetched = installFolder + "\\QVTmp\\" + kConfigFileName;
    if (!IsExistingFile(fetched))
        fetched = installFolder + "\\Temp\\" + kConfigFileName;

    // The copy in the install folder is replaced only by a whole, verified
    // file, and counts as installed only once it loads as the record.
    bool installed = false;
    if (LoadConfigFile(fetched.c_str(), true)) {
        std::string copy = installFolder + "\\" + kConfigFileName;
        installed = g_updateEngine.InstallWorkFile(fetched, copy) && LoadConfigFile(copy.c_str(), false);
    } else {
        configFailure_ = UPD_FAILURE_NOT_RELEASE; // a login page, say
    }
    g_productSettings.WriteProductDword("PCode", 11);
    if (installed)
        RecordSerial(RELEASE_CHANNEL_CONFIG);
    return installed;
}

int32_t CUpdateSession::CheckProgram()
{
    PrepareChannel(RELEASE_CHANNEL_PROGRAM);
    return Check(RecordServer(SERVER_PROGRAM), installFolder);
}

int32_t CUpdateSession::UpdateProgram(UpdateProgressCallback progress)
{
    int32_t result = CheckProgram();
    if (result & UPD_AVAILABLE)
        result = Install(RecordServer(SERVER_PROGRAM), installFolder, progress);
    if (ChannelCompleted(result))
        RecordSerial(RELEASE_CHANNEL_PROGRAM);
    return result;
}

int32_t CUpdateSession::CheckDatabase()
{
    PrepareChannel(RELEASE_CHANNEL_DATABASE);
    return Check(RecordServer(SERVER_DATABASE), DatabaseFolder());
}

int32_t CUpdateSession::InstallDatabase(UpdateProgressCallback progress)
{
    int32_t result = Install(RecordServer(SERVER_DATABASE), DatabaseFolder(), progress);
    if (result == UPDATE_SESSION_UPDATED)
        g_productSettings.WriteProductString("DBUpdateDate", g_updateEngine.LatestReleaseStamp().c_str());
    return result;
}

int32_t CUpdateSession::UpdateDatabase(UpdateProgressCallback progress)
{
    // The text table is loaded by the post-install stage: on a first install
    // the text is not known yet and the status line keeps what it shows.
    std::string status;
    g_textTable.GetText(TEXT_UPDATE_STATUS, status);
    g_productSettings.SetStatusText(status.c_str());
    g_productSettings.SetInstallProgress(0);
    int32_t result = CheckDatabase();
    if (result & UPD_AVAILABLE)
        result = InstallDatabase(progress);
    if (ChannelCompleted(result))
        RecordSerial(RELEASE_CHANNEL_DATABASE);
    return result;
}

bool CUpdateSession::ProductInPlace() const
{
    return !installFolder.empty() && IsExistingFile(installFolder + "\\" + kUpdaterName);
}

bool CUpdateSession::ChannelCompleted(int32_t result)
{
    return result == UPDATE_SESSION_UPDATED || result == UPD_RESULT_STAGED || result == UPD_RESULT_NOTHING;
}

void CUpdateSession::GetFailedFileName(std::string& name) const
{
    name = g_updateEngine.LastFailedFile();
}

UpdateFailure CUpdateSession::FailureReason() const
{
    return configFailure_ != UPD_FAILURE_NONE ? configFailure_ : g_updateEngine.LastFailure();
}
