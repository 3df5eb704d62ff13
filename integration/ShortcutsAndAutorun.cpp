// CSystemSetup's steps that make the product visible: the desktop shortcut,
// the Start-menu program group, the uninstall entry and the Run value. All
// of them point at the updater "QVUpdate.exe" in the install folder; their
// names come from the language table. Failures are ignored.
#include "integration/SystemSetup.h"

#include "integration/TextTable.h"
#include "platform/PathKind.h"
#include "platform/SpecialFolders.h"
#include "sysinfo/ShellLink.h"

namespace {

const char kUpdaterName[] = "QVUpdate.exe";
const char kUninstallIconName[] = "QVUninstall.ico";
const char kUninstallArgument[] = "/uninstall";
const char kRunArgument[] = "/run";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kLinkExtension[] = ".lnk";

// "\"<path>\" <argument>": the form Windows expects for a command with a
// path that may hold blanks.
std::string QuotedCommand(const std::string& path, const char* argument)
{
    return "\"" + path + "\" " + argument;
}

} // namespace

std::string CSystemSetup::UpdaterPath() const
{
    return installFolder_ + "\\" + kUpdaterName;
}

std::string CSystemSetup::ProductIconPath() const
{
    return installFolder_ + "\\" + record_.ProductCode() + ".ico";
}

void CSystemSetup::CreateDesktopShortcut()
{
    std::string desktop;
    g_specialFolders.Lookup("COMMON_DESKTOPDIRECTORY", desktop);
    const std::string link = desktop + "\\" + Text(TEXT_DESKTOP_SHORTCUT) + kLinkExtension;
    if (record_.ProductCode().empty())
        return;
    CreateShortcut(UpdaterPath().c_str(), link.c_str(), Text(TEXT_SHORTCUT_DESCRIPTION).c_str(),
                   ProductIconPath().c_str(), "");
}

void CSystemSetup::CreateProgramGroup()
{
    const std::string group = Text(TEXT_PROGRAM_GROUP);
    if (group.empty())
        return;
    std::string programs;
    g_specialFolders.Lookup(g_specialFolders.IsNT() ? "COMMONPROGRAMS" : "PROGRAMS", programs);
    if (programs.empty())
        return;
    const std::string folder = programs + "\\" + group;
    if (!IsExistingFolder(folder))
        CSpecialFolders::CreateFolderPath(folder.c_str());

    const std::string description = Text(TEXT_SHORTCUT_DESCRIPTION);
    const int32_t flags = record_.PostInstallFlags();
    if (flags & POST_PROGRAM_SHORTCUT) {
        const std::string link = folder + "\\" + Text(TEXT_PROGRAM_SHORTCUT) + kLinkExtension;
        CreateShortcut(UpdaterPath().c_str(), link.c_str(), description.c_str(), ProductIconPath().c_str(), "");
    }
    if (flags & POST_UNINSTALL_SHORTCUT) {
        const std::string link = folder + "\\" + Text(TEXT_UNINSTALL_SHORTCUT) + kLinkExtension;
        const std::string icon = installFolder_ + "\\" + kUninstallIconName;
        CreateShortcut(UpdaterPath().c_str(), link.c_str(), description.c_str(), icon.c_str(), kUninstallArgument);
    }
}

std::string CSystemSetup::UninstallEntryKey() const
{
    return std::string(kUninstallKey) + "\\" + record_.ProductCode();
}

void CSystemSetup::WriteUninstallEntry()
{
    const std::string key = UninstallEntryKey();
    const std::string displayName = Text(TEXT_UNINSTALL_NAME);
    if (displayName.empty())
        return;
    registry_.SetRootByName("HLM");
    registry_.WriteString(key.c_str(), "DisplayName", displayName.c_str(), REG_SZ);
    registry_.WriteString(key.c_str(), "UninstallString", QuotedCommand(UpdaterPath(), kUninstallArgument).c_str(),
                          REG_SZ);
    registry_.WriteString(key.c_str(), "DisplayIcon", ProductIconPath().c_str(), REG_SZ);
}

void CSystemSetup::WriteRunValue()
{
    registry_.SetRootByName("HLM");
    registry_.WriteString(kRunKey, record_.ProductCode().c_str(), QuotedCommand(UpdaterPath(), kRunArgument).c_str(),
                          REG_SZ);
}
