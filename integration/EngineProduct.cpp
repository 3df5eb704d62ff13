#include "integration/EngineProduct.h"

#include "integration/ProductSettings.h"
#include "update/UpdateEngine.h"

void ResetEngineForProduct(CUpdateEngine& engine)
{
    std::string installFolder;
    g_productSettings.GetInstallFolder(installFolder);
    ConfigRecord record;
    g_productSettings.GetConfig(record);
    engine.SetProductValues(installFolder, record.ProgramVersion());
    engine.Reset();
}
