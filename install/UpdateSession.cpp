#include "install/UpdateSession.h"

#include "integration/ConfigFile.h"
#include "integration/ProductSettings.h"
#include "platform/SpecialFolders.h"
#include "update/UpdateEngine.h"

#include "platform/PathKind.h"

#include <windows.h>

namespace {

const char kConfigFileName[] = "QVConfig.dat";

} // namespace

bool CUpdateSession::FetchConfiguration()
{
    ConfigRecord record;
    g_productSettings.GetConfig(record);
    if (!IsExistingFolder(installFolder))
        CSpecialFolders::CreateFolderPath(installFolder.c_str());

    ConfigServer server = record.Server(SERVER_CONFIG);
    g_updateEngine.Reset();
    if (g_updateEngine.FetchConfigFile(server.hostList.c_str(), server.path.c_str(), server.port,
                                       installFolder.c_str()) != UPD_RESULT_DONE)
        return false;

    std::string fetched = installFolder + "\\QVTmp\\" + kConfigFileName;
    if (!IsExistingFile(fetched))
        fetched = installFolder + "\\Temp\\" + kConfigFileName;

    bool installed = false;
    if (LoadConfigFile(fetched.c_str(), true)) {
        std::string copy = installFolder + "\\" + kConfigFileName;
        installed = CopyFileA(fetched.c_str(), copy.c_str(), FALSE) != 0;
        if (installed)
            LoadConfigFile(copy.c_str(), false);
    }
    g_productSettings.WriteProductDword("PCode", 11);
    return installed;
}
