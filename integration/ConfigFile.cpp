#include "integration/ConfigFile.h"

#include "core/ConfigCheck.h"
#include "core/ConfigRecord.h"
#include "core/TableFile.h"
#include "integration/ProductService.h"
#include "integration/ProductSettings.h"

#include "platform/PathKind.h"

#include <windows.h>

namespace {

bool ReadCell(const CTableFile& table, ConfigCellKind kind, int index, ConfigRecord& record)
{
    if (!table.HasCell())
        return false;
    int32_t number = 0;
    std::string text;
    switch (kind) {
    case CONFIG_TEXT:
        if (!table.GetText(text))
            return false;
        record.SetText(index, text);
        return true;
    case CONFIG_NUMBER4:
        if (!table.GetNumber4(number))
            return false;
        break;
    case CONFIG_NUMBER5:
        if (!table.GetNumber5(number))
            return false;
        break;
    case CONFIG_NUMBER6:
        if (!table.GetNumber6(number))
            return false;
        break;
    }
    record.SetNumber(index, number);
    return true;
}

// The names the installer turns into files, keys, values and a service:
// plain names, a product key below the vendor key, and a service name that
// is not someone else's service.
bool NamesAreOurs(const ConfigRecord& record)
{
    if (!IsPlainConfigName(record.ProductCode()) || !IsPlainConfigName(record.ServiceName()) ||
        !IsUnderVendorKey(record.ProductKeyLocation()))
        return false;
    std::string installFolder;
    g_productSettings.GetInstallFolder(installFolder);
    return !CProductService::IsForeignService(record.ServiceName(), installFolder);
}

} // namespace

bool LoadConfigFile(const char* path, bool validateOnly)
{
    if (!path)
        return false;
    if (!IsExistingFile(path))
        return false;
    CTableFile table;
    if (!table.Open(path, nullptr, 0))
        return false;

    ConfigRecord record;
    g_productSettings.GetConfig(record);
    for (int index = 0; index < CONFIG_CELL_COUNT; ++index) {
        if (!ReadCell(table, ConfigLayout(index).kind, index, record))
            return false;
        table.NextCell();
    }
    if (!NamesAreOurs(record))
        return false;
    // The product key moves only with a file that validated whole: a broken
    // or hostile file must not choose where the product's values go.
    g_productSettings.SetProductKeyLocation(record.ProductKeyLocation().c_str());
    if (!validateOnly)
        g_productSettings.SetConfig(record);
    return true;
}
