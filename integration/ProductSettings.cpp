#include "integration/ProductSettings.h"

#include "core/StringUtil.h"
#include "framework/ScopedLock.h"

#include "platform/SpecialFolders.h"

#include "platform/PathKind.h"

#include <windows.h>
#include <cstdio>
#include <cstring>

const char kProductSubPath[] = "\\Dravik\\KorvaneV5\\KorvaneFree";

CProductSettings g_productSettings;

namespace {

// System default language identifier ("%04d") to language-file suffix, in
// matching order; anything else takes "Eng".
struct LanguageRow {
    const char* languageId;
    const char* suffix;
};
const LanguageRow kLanguages[] = {{"1033", "Eng"}, {"1042", "Kor"}, {"1041", "Jpn"}};

} // namespace

CProductSettings::CProductSettings() {}

void CProductSettings::GetConfig(ConfigRecord& record) const
{
    CScopedLock hold(lock_);
    record = config_;
}

void CProductSettings::SetConfig(const ConfigRecord& record)
{
    CScopedLock hold(lock_);
    config_ = record;
}

void CProductSettings::SetProductKeyLocation(const char* location)
{
    std::string root, path;
    if (!SplitRegistryLocation(location, root, path))
        return;
    productKeyRoot_ = root;
    productKeyPath_ = path;
    // The product values may repair the product key itself, and no other key.
    registry_.ClearRepairScope();
    registry_.AddRepairScope(root.c_str(), path.c_str());
}

bool CProductSettings::SelectProductRoot()
{
    return registry_.SetRootByName(productKeyRoot_.c_str());
}

void CProductSettings::WriteProductDword(const char* name, uint32_t value)
{
    if (SelectProductRoot())
        registry_.WriteDword(productKeyPath_.c_str(), name, value);
}

bool CProductSettings::ReadProductDword(const char* name, uint32_t& value)
{
    DWORD read = 0;
    if (!SelectProductRoot() || !registry_.ReadDword(productKeyPath_.c_str(), name, read))
        return false;
    value = read;
    return true;
}

void CProductSettings::WriteProductString(const char* name, const char* text)
{
    if (SelectProductRoot())
        registry_.WriteString(productKeyPath_.c_str(), name, text, REG_SZ);
}

bool CProductSettings::ReadProductString(const char* name, std::string& text)
{
    std::string read;
    DWORD type = 0;
    if (!SelectProductRoot() || !registry_.ReadString(productKeyPath_.c_str(), name, read, type))
        return false;
    text = read;
    return true;
}

void CProductSettings::SetInstallProgress(int percent)
{
    CScopedLock hold(lock_);
    installProgress_ = percent;
}

int CProductSettings::GetInstallProgress() const
{
    CScopedLock hold(lock_);
    return installProgress_;
}

void CProductSettings::SetStatusText(const char* text)
{
    CScopedLock hold(lock_);
    statusText_ = text ? text : "";
}

void CProductSettings::GetStatusText(std::string& text) const
{
    CScopedLock hold(lock_);
    text = statusText_;
}

void CProductSettings::GetProductCode(std::string& text) const
{
    CScopedLock hold(lock_);
    text = config_.ProductCode();
}

void CProductSettings::GetServiceName(std::string& text) const
{
    CScopedLock hold(lock_);
    text = config_.ServiceName();
}

bool CProductSettings::GetInstallFolder(std::string& folder) const
{
    std::string programFiles;
    bool known = g_specialFolders.Lookup("PROGRAM_FILES", programFiles);
    folder = (known ? programFiles : std::string()) + kProductSubPath;
    return known;
}

bool CProductSettings::GetLanguageFilePath(std::string& path) const
{
    return GetLanguageFilePath(GetSystemDefaultLangID(), path);
}

bool CProductSettings::GetLanguageFilePath(unsigned short languageId, std::string& path) const
{
    char key[16];
    FormatInto(key, sizeof(key), "%04d", languageId);
    const char* suffix = "Eng";
    for (const LanguageRow& row : kLanguages) {
        if (strcmp(row.languageId, key) == 0) {
            suffix = row.suffix;
            break;
        }
    }
    std::string folder;
    GetInstallFolder(folder);
    std::string candidate = folder + "\\QVSkin" + suffix + ".dat";
    path = IsExistingFile(candidate) ? candidate : folder + "\\QVSkinKor.dat";
    return true;
}
