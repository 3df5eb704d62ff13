// CSystemSetup: the post-install sequence, run by the install worker once the
// product's files are in place. It records the install folder for the
// product, makes the shortcuts, the uninstall entry and the Run value, opens
// up registry and folder rights and makes the work folders (NT family), sets
// up the background program, registers the shell extension and removes an
// uninstaller left by old versions. Progress (0, 10, ... 100) and the status
// text go to g_productSettings, where the install page reads them.
//
// Nothing here reports failure: a step that fails is skipped and the next one
// runs. Only a missing language file stops the sequence before it starts.
#pragma once

#include "core/ConfigRecord.h"
#include "integration/ProductService.h"
#include "platform/FileUtil.h"
#include "platform/RegistryAccess.h"

#include <string>

class CSystemSetup {
public:
    CSystemSetup();

    // Skips the 100 ms pauses between steps when set.
    void SetQuick(bool quick) { quick_ = quick; }

    // The whole sequence. Without a language file nothing at all happens.
    void ApplyPostInstall();

    // Shortcuts, uninstall entry and autorun (ShortcutsAndAutorun.cpp).
    void CreateDesktopShortcut();
    void CreateProgramGroup();
    void WriteUninstallEntry();
    void WriteRunValue();

    // NT family: read access to HKLM\SOFTWARE and full access to the product
    // key (created when missing) for the four standard groups. The machine's
    // Run key gains nothing: its values run at every user's logon.
    void PrepareRegistryRights();
    // "Quarantine" and "Log" in the install folder, open to the standard groups.
    void CreateWorkFolders();
    // Calls the library's DllRegisterServer inside this process; true when it
    // returned success. False for a missing file or a folder.
    bool RegisterContextDll(const char* path);
    // Deletes the old uninstaller ("Un" + product code, at most 8 characters,
    // ".exe" and ".dat" in the Windows folder) and its RunOnce value.
    void RemoveOldUninstaller();
    // Marks the Internet Connection Wizard as completed for new user
    // profiles (HKEY_USERS\.DEFAULT), so the product's first connection does
    // not start it.
    void MarkInternetWizardCompleted();

private:
    void Pause();
    void Progress(int percent);
    // Text of the language table; empty when the table does not hold it.
    static std::string Text(int id);
    // Values shared by the shortcut steps, taken from the current record.
    std::string UpdaterPath() const;
    std::string ProductIconPath() const;
    // "SOFTWARE\...\Uninstall\" + product code, under HKEY_LOCAL_MACHINE.
    std::string UninstallEntryKey() const;
    // Names the keys a refused write of this sequence may repair, exactly
    // those it writes: the product key, the product's Uninstall entry (only
    // with a product code: without one the path names the Uninstall key of
    // every program), the machine's Run and RunOnce keys and the Internet
    // Connection Wizard key. Each is the key alone, none of its sub-keys.
    // Rebuilt whenever the record is taken again.
    void ScopeRepairs();

    bool quick_;
    CFileUtil fileUtil_;
    CRegistryAccess registry_;
    CProductService service_;
    ConfigRecord record_;
    std::string installFolder_;
};
