#include "integration/SystemSetup.h"

#include "integration/ProductSettings.h"
#include "integration/TextTable.h"
#include "platform/GroupAccess.h"
#include "platform/PathKind.h"
#include "platform/SpecialFolders.h"
#include "update/ComponentRegistration.h"

namespace {

const DWORD kPauseMs = 100;
const char kSoftwareKey[] = "SOFTWARE";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunOnceKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kContextDll[] = "QVCtx.dll";
const char* const kWorkFolders[] = {"Quarantine", "Log"};
const size_t kOldUninstallerNameLength = 8;
const char kInternetWizardKey[] = ".DEFAULT\\Software\\Microsoft\\Internet Connection Wizard";

} // namespace

CSystemSetup::CSystemSetup() : quick_(false)
{
    g_productSettings.GetConfig(record_);
    g_productSettings.GetInstallFolder(installFolder_);
    ScopeRepairs();
}

void CSystemSetup::ScopeRepairs()
{
    registry_.ClearRepairScope();
    registry_.AddRepairScope(g_productSettings.ProductKeyRoot().c_str(), g_productSettings.ProductKeyPath().c_str());
    if (!record_.ProductCode().empty())
        registry_.AddRepairScope("HLM", UninstallEntryKey().c_str());
    registry_.AddRepairScope("HLM", kRunKey);
    registry_.AddRepairScope("HLM", kRunOnceKey);
    registry_.AddRepairScope("HU", kInternetWizardKey);
}

void CSystemSetup::Pause()
{
    if (!quick_)
        Sleep(kPauseMs);
}

void CSystemSetup::Progress(int percent)
{
    g_productSettings.SetInstallProgress(percent);
}

std::string CSystemSetup::Text(int id)
{
    std::string text;
    g_textTable.GetText(id, text);
    return text;
}

void CSystemSetup::ApplyPostInstall()
{
    // The names of everything below come from the product's language file:
    // without it, nothing is registered at all.
    if (!g_textTable.Load())
        return;

    g_productSettings.GetInstallFolder(installFolder_);
    g_productSettings.WriteProductString("ProductPath", installFolder_.c_str());
    g_productSettings.SetStatusText(Text(TEXT_POST_INSTALL_STATUS).c_str());
    Progress(0);
    g_productSettings.GetConfig(record_);
    ScopeRepairs();
    const int32_t flags = record_.PostInstallFlags();

    if (flags & POST_DESKTOP_SHORTCUT)
        CreateDesktopShortcut();
    Progress(10);
    Pause();
    if (flags & POST_PROGRAM_GROUP)
        CreateProgramGroup();
    Progress(20);
    Pause();
    if (flags & POST_UNINSTALL_ENTRY)
        WriteUninstallEntry();
    Progress(30);
    Pause();
    WriteRunValue();
    Progress(40);
    Pause();

    if (g_specialFolders.IsNT()) {
        PrepareRegistryRights();
        std::string systemTemp;
        if (g_specialFolders.Lookup("SYSTEM_TEMP_PATH", systemTemp) && !systemTemp.empty() &&
            !IsExistingFolder(systemTemp))
            CSpecialFolders::CreateFolderPath(systemTemp.c_str());
        CreateWorkFolders();
    }
    Progress(50);
    Pause();
    Progress(60);
    Pause();

    service_.SetupService();
    Progress(70);
    Pause();

    if (record_.shellExtensionEnabled) {
        const std::string contextDll = installFolder_ + "\\" + kContextDll;
        if (IsExistingFile(contextDll))
            RegisterContextDll(contextDll.c_str());
    }
    RemoveOldUninstaller();
    for (int percent : {80, 90, 100}) {
        Progress(percent);
        Pause();
    }
}

void CSystemSetup::PrepareRegistryRights()
{
    // The Run key is left as it is: a plain user who could add a value there
    // would have it run at an administrator's logon. The installer itself
    // writes its Run value with administrator rights.
    registry_.SetRootByName("HLM");
    registry_.GrantKeyAccessByPath(kSoftwareKey, KEY_READ, false, TRUSTEE_MASK_ALL);

    const std::string productKey = g_productSettings.ProductKeyPath();
    if (!registry_.SetRootByName(g_productSettings.ProductKeyRoot().c_str()))
        return;
    if (!registry_.KeyExists(productKey.c_str()))
        registry_.WriteString(productKey.c_str(), "", "", REG_SZ); // the key with an empty default value
    registry_.GrantKeyAccessByPath(productKey.c_str(), KEY_ALL_ACCESS, false, TRUSTEE_MASK_ALL);
}

void CSystemSetup::CreateWorkFolders()
{
    for (const char* name : kWorkFolders) {
        const std::string folder = installFolder_ + "\\" + name;
        if (!IsExistingFolder(folder))
            CSpecialFolders::CreateFolderPath(folder.c_str());
        fileUtil_.SetFileAccess(folder.c_str(), FILE_ALL_ACCESS, false);
    }
}

bool CSystemSetup::RegisterContextDll(const char* path)
{
    // The same in-process registration the update engine uses for its
    // components; a failure is not reported further.
    return CallRegistrationEntry(path);
}

void CSystemSetup::RemoveOldUninstaller()
{
    const std::string& code = record_.ProductCode();
    if (code.empty())
        return;
    std::string name = "Un" + code;
    if (name.size() > kOldUninstallerNameLength)
        name.resize(kOldUninstallerNameLength);

    std::string windows;
    if (g_specialFolders.Lookup("WINDOWS", windows)) {
        for (const char* extension : {".exe", ".dat"}) {
            const std::string file = windows + "\\" + name + extension;
            if (IsExistingFile(file))
                DeleteFileA(file.c_str());
        }
    }
    registry_.SetRootByName("HLM");
    registry_.DeleteValue(kRunOnceKey, name.c_str());
}

void CSystemSetup::MarkInternetWizardCompleted()
{
    static const BYTE kCompleted[] = {0x01, 0x00, 0x00, 0x00};
    if (!registry_.SetRootByName("HU") || !registry_.KeyExists(".DEFAULT"))
        return;
    registry_.WriteBinary(kInternetWizardKey, "Completed", kCompleted, sizeof(kCompleted));
}
