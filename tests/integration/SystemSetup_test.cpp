// The post-install sequence under Wine, read back from where Windows keeps
// each result: .lnk files in the resolved special folders, registry values,
// the Service Control Manager with the sample product's real service, and
// the install folder. The NT tests run under Windows 7 and XP, the 9x tests
// under Windows 98 (see CMakeLists.txt).
#include "core/TableFile.h"
#include "integration/ProductSettings.h"
#include "integration/SystemSetup.h"
#include "platform/SpecialFolders.h"
#include "platform/SystemHandles.h"
#include "tests/support/ProductTraces.h"
#include "tests/support/PlatformTestUtil.h"
#include "tests/support/TestSupport.h"
#include "tests/support/LinkReader.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlwapi.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using qvtest::RemoveService;
using qvtest::ServiceState;

const char kProductCode[] = "KorvaneFree";
const char kServiceName[] = "QVServiceTest";
const char kProductKey[] = "SOFTWARE\\Dravik\\KorvaneV5\\KorvaneFree";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunOnceKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KorvaneFree";
const char kContextClassKey[] = "CLSID\\{6B8E2C4A-3F1D-4E7B-9A52-0C1D2E3F4A5B}";
const char kDesktopName[] = "QV Test Desktop";
const char kGroupName[] = "QV Test Group";
const char kProgramName[] = "QV Test Program";
const char kUninstallName[] = "QV Test \xC1\xA6\xB0\xC5"; // "제거" in code page 949
const char kDescription[] = "QV test description";
const char kStatus[] = "QV test applies settings";
const char* const kFourGroups[] = {"S-1-5-32-544", "S-1-5-18", "S-1-5-4", "S-1-5-32-545"};
const char kInteractive[] = "S-1-5-4";
const char kUsers[] = "S-1-5-32-545";

std::string InstallFolder()
{
    std::string folder;
    g_productSettings.GetInstallFolder(folder);
    return folder;
}

std::string Folder(const char* name)
{
    std::string path;
    g_specialFolders.Lookup(name, path);
    return path;
}

std::string ProductFile(const char* name)
{
    return qvtest::BinaryPath(std::string("shipped/server/product/bin/") + name);
}

std::string StringValue(HKEY root, const std::string& key, const char* name)
{
    std::string text;
    return qvtest::ReadRegistryString(root, key, name, text) ? text : "<absent>";
}

bool ValueExists(HKEY root, const std::string& key, const char* name)
{
    std::string ignored;
    return qvtest::ReadRegistryString(root, key, name, ignored);
}

void WriteLanguageFile()
{
    const std::pair<int32_t, const char*> texts[] = {
        {10208, "QV test downloads"}, {10210, kDesktopName},   {10211, kGroupName}, {10212, "QV Test Entry"},
        {10213, kProgramName},        {10214, kUninstallName}, {10215, kDescription}, {10220, kStatus}};
    CTableFile table;
    for (const auto& text : texts) {
        table.AddRow();
        table.AddNumber4(1000);
        table.AddNumber4(text.first);
        table.AddText(text.second, true);
        table.AddText(text.second, true);
    }
    const std::string path = InstallFolder() + "\\QVSkinKor.dat";
    ASSERT_TRUE(table.Save(path.c_str(), nullptr, 0, 1, true));
}

// Records every value the install progress takes, as the install page would
// see it when polling fast enough.
class ProgressRecorder {
public:
    ProgressRecorder()
    {
        g_productSettings.SetInstallProgress(-1);
        thread_ = std::thread([this] {
            int last = -1;
            for (bool more = true; more;) {
                more = !stop_;  // one last look after the stop request
                int now = g_productSettings.GetInstallProgress();
                if (now != last)
                    seen_.push_back(last = now);
                Sleep(2);
            }
        });
    }
    std::vector<int> Stop()
    {
        stop_ = true;
        thread_.join();
        return seen_;
    }

private:
    std::atomic<bool> stop_{false};
    std::vector<int> seen_;
    std::thread thread_;
};

std::vector<int> AllSteps() { return {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}; }

bool CreatePlainService(const char* name, const std::string& program)
{
    CServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    CServiceHandle service(manager ? CreateServiceA(manager.Get(), name, name, SERVICE_ALL_ACCESS,
                                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                    SERVICE_ERROR_IGNORE, program.c_str(), nullptr, nullptr, nullptr,
                                                    nullptr, nullptr)
                                   : nullptr);
    return service.Valid();
}

// Runs ApplyPostInstall and returns how long it took.
DWORD TimedPostInstall(bool quick)
{
    CSystemSetup setup;
    setup.SetQuick(quick);
    const DWORD start = GetTickCount();
    setup.ApplyPostInstall();
    return GetTickCount() - start;
}

void ExpectLink(const std::string& lnk, const std::string& target, const std::string& icon, const char* arguments)
{
    SCOPED_TRACE(lnk);
    ASSERT_TRUE(qvtest::FileExists(lnk));
    EXPECT_STRCASEEQ(qvtest::ReadLinkTarget(lnk).c_str(), target.c_str());
    qvtest::LinkFields fields;
    ASSERT_TRUE(qvtest::ReadLinkStrings(lnk, fields));
    EXPECT_EQ(fields.name, kDescription);
    EXPECT_STRCASEEQ(fields.folder.c_str(), InstallFolder().c_str());
    EXPECT_STRCASEEQ(fields.icon.c_str(), icon.c_str());
    EXPECT_EQ(fields.arguments, arguments);
}

class PostInstall : public ::testing::Test {
protected:
    void SetUp() override
    {
        CleanUp();
        ConfigRecord record;
        record.SetProductCode(kProductCode);
        record.SetServiceName(kServiceName);
        record.SetProductKeyLocation(std::string("HLM\\") + kProductKey);
        record.SetPostInstallFlags(0x1F);
        g_productSettings.SetConfig(record);
        g_productSettings.SetProductKeyLocation(record.ProductKeyLocation().c_str());
        CSpecialFolders::CreateFolderPath(InstallFolder().c_str());
        WriteLanguageFile();
        const char* program = g_specialFolders.IsNT() ? "QVServiceNt.exe" : "QVService.exe";
        ASSERT_TRUE(CopyFileA(ProductFile(program).c_str(), (InstallFolder() + "\\" + program).c_str(), FALSE));
    }
    void TearDown() override { CleanUp(); }

    static void CleanUp()
    {
        qvtest::RemoveProduct({kProductCode, kServiceName, kDesktopName, kGroupName});
        RemoveService("QVPFMDriver");
        DeleteFileA((Folder("COMMON_DESKTOPDIRECTORY") + "\\" + kDesktopName + ".lnk").c_str());
        for (const char* extension : {".exe", ".dat"}) {
            DeleteFileA((Folder("WINDOWS") + "\\UnKorvan" + extension).c_str());
            RemoveDirectoryA((Folder("WINDOWS") + "\\UnKorvan" + extension).c_str());
        }
        SHDeleteValueA(HKEY_LOCAL_MACHINE, kRunOnceKey, "UnKorvan");
    }

    static std::string Updater() { return InstallFolder() + "\\QVUpdate.exe"; }
    static std::string GroupFolder(const char* programs) { return Folder(programs) + "\\" + kGroupName; }
};

using NtFamily = PostInstall;
using Win9xFamily = PostInstall;

TEST_F(NtFamily, FreshInstallRegistersEverythingAndLeavesTheServiceRegisteredButStopped)
{
    ASSERT_TRUE(g_specialFolders.IsNT());
    ProgressRecorder progress;
    const DWORD elapsed = TimedPostInstall(false);
    const std::vector<int> seen = progress.Stop();
    EXPECT_EQ(seen, AllSteps());
    printf("post-install with pauses: %lu ms; progress seen:", elapsed);
    for (int value : seen)
        printf(" %d", value);
    printf("\n");
    EXPECT_GE(elapsed, 1000u);
    std::string status;
    g_productSettings.GetStatusText(status);
    EXPECT_EQ(status, kStatus);

    // Shortcuts: desktop for all users, and the group in the common programs.
    const std::string icon = InstallFolder() + "\\KorvaneFree.ico";
    ExpectLink(Folder("COMMON_DESKTOPDIRECTORY") + "\\" + kDesktopName + ".lnk", Updater(), icon, "");
    ExpectLink(GroupFolder("COMMONPROGRAMS") + "\\" + kProgramName + ".lnk", Updater(), icon, "");
    ExpectLink(GroupFolder("COMMONPROGRAMS") + "\\" + kUninstallName + ".lnk", Updater(),
               InstallFolder() + "\\QVUninstall.ico", "/uninstall");

    // Uninstall entry, Run value, the product's own folder value.
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "QV Test Entry");
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"), "\"" + Updater() + "\" /uninstall");
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayIcon"), icon);
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kRunKey, kProductCode), "\"" + Updater() + "\" /run");
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kProductKey, "ProductPath"), InstallFolder());
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, kServiceName));

    // The service, as the Service Control Manager keeps it.
    const std::string serviceKey = std::string("System\\CurrentControlSet\\Services\\") + kServiceName;
    DWORD number = 0, size = sizeof(number);
    ASSERT_EQ(SHGetValueA(HKEY_LOCAL_MACHINE, serviceKey.c_str(), "Type", nullptr, &number, &size), ERROR_SUCCESS);
    EXPECT_EQ(number, 0x110u);
    size = sizeof(number);
    SHGetValueA(HKEY_LOCAL_MACHINE, serviceKey.c_str(), "Start", nullptr, &number, &size);
    EXPECT_EQ(number, 2u);
    size = sizeof(number);
    SHGetValueA(HKEY_LOCAL_MACHINE, serviceKey.c_str(), "ErrorControl", nullptr, &number, &size);
    EXPECT_EQ(number, 1u);
    const std::string imagePath = StringValue(HKEY_LOCAL_MACHINE, serviceKey, "ImagePath");
    printf("service %s: ImagePath %s\n", kServiceName, imagePath.c_str());
    EXPECT_EQ(imagePath, "\"" + InstallFolder() + "\\QVServiceNt.exe\"");
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, serviceKey, "DisplayName"), kServiceName);
    EXPECT_EQ(ServiceState(kServiceName), static_cast<DWORD>(SERVICE_STOPPED));

    EXPECT_TRUE(qvtest::DirExists(InstallFolder() + "\\Quarantine"));
    EXPECT_TRUE(qvtest::DirExists(InstallFolder() + "\\Log"));
    EXPECT_TRUE(qvtest::DirExists(Folder("SYSTEM_TEMP_PATH")));

    // Rights: every user may change the product key, but no plain user the
    // machine's Run key, whose values run at every administrator's logon.
    // (Wine's own list lets Users read the Run key's sub-keys.)
    const std::string runList = qvtest::KeySddl(HKEY_LOCAL_MACHINE, kRunKey);
    printf("Run key after post-install: %s\n", runList.c_str());
    ASSERT_FALSE(runList.empty());
    const std::vector<qvtest::AceInfo> run = qvtest::KeyAces(HKEY_LOCAL_MACHINE, kRunKey);
    EXPECT_EQ(qvtest::FindAce(run, kInteractive), nullptr) << runList;
    EXPECT_EQ(qvtest::FindWriteAce(run, kUsers), nullptr) << runList;
    const std::vector<qvtest::AceInfo> product = qvtest::KeyAces(HKEY_LOCAL_MACHINE, kProductKey);
    for (const char* sid : kFourGroups) {
        const qvtest::AceInfo* ace = qvtest::FindAce(product, sid);
        EXPECT_TRUE(ace && ace->mask == KEY_ALL_ACCESS) << sid << " in " << qvtest::KeySddl(HKEY_LOCAL_MACHINE, kProductKey);
    }
}

TEST_F(NtFamily, AStoppedServiceIsStartedAndARunningOneIsLeftAlone)
{
    TimedPostInstall(true);  // registers the service
    ASSERT_EQ(ServiceState(kServiceName), static_cast<DWORD>(SERVICE_STOPPED));

    DWORD elapsed = TimedPostInstall(true);
    DWORD firstProcess = 0;
    EXPECT_EQ(ServiceState(kServiceName, &firstProcess), static_cast<DWORD>(SERVICE_RUNNING));
    printf("stopped service started and seen running after %lu ms\n", elapsed);
    EXPECT_LT(elapsed, 5000u);

    elapsed = TimedPostInstall(true);
    DWORD secondProcess = 0;
    EXPECT_EQ(ServiceState(kServiceName, &secondProcess), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(firstProcess, secondProcess);  // not restarted
    printf("running service: post-install took %lu ms\n", elapsed);
}

TEST_F(NtFamily, AServiceThatNeverRunsCostsFiveSecondsAndTheSequenceGoesOn)
{
    TimedPostInstall(true);
    const std::string program = InstallFolder() + "\\QVServiceNt.exe";
    ASSERT_TRUE(CopyFileA(qvtest::BinaryPath("tests/integration/QVStallService.exe").c_str(), program.c_str(), FALSE));

    ProgressRecorder progress;
    const DWORD elapsed = TimedPostInstall(true);
    EXPECT_EQ(progress.Stop().back(), 100);
    printf("service stuck in start-pending: post-install took %lu ms\n", elapsed);
    EXPECT_GE(elapsed, 5000u);
    EXPECT_LT(elapsed, 8000u);
    EXPECT_EQ(ServiceState(kServiceName), static_cast<DWORD>(SERVICE_START_PENDING));
    // The steps after the service still ran.
    EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, kProductCode));
}

TEST_F(NtFamily, OldDriverAndOldUninstallerAreRemovedButFoldersOfTheirNamesStay)
{
    const std::string folder = InstallFolder();
    const std::string windows = Folder("WINDOWS");
    ASSERT_TRUE(CreatePlainService("QVPFMDriver", folder + "\\QVPFM.sys"));
    for (const std::string& file : {folder + "\\QVPFM.sys", folder + "\\QVPFM.vxd", windows + "\\UnKorvan.exe",
                                    windows + "\\UnKorvan.dat"})
        ASSERT_TRUE(qvtest::WriteText(file, "old"));
    ASSERT_EQ(SHSetValueA(HKEY_LOCAL_MACHINE, kRunOnceKey, "UnKorvan", REG_SZ, "x", 2), ERROR_SUCCESS);

    TimedPostInstall(true);
    EXPECT_EQ(ServiceState("QVPFMDriver"), 0u);
    for (const std::string& file : {folder + "\\QVPFM.sys", folder + "\\QVPFM.vxd", windows + "\\UnKorvan.exe",
                                    windows + "\\UnKorvan.dat"})
        EXPECT_FALSE(qvtest::FileExists(file)) << file;
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunOnceKey, "UnKorvan"));

    // Folders that carry those names are somebody else's: nothing is deleted,
    // and a driver "file" that is a folder does not cost the service either.
    ASSERT_TRUE(CreatePlainService("QVPFMDriver", folder + "\\QVPFM.sys"));
    for (const std::string& dir : {folder + "\\QVPFM.sys", folder + "\\QVPFM.vxd", windows + "\\UnKorvan.exe"})
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr)) << dir;
    TimedPostInstall(true);
    EXPECT_NE(ServiceState("QVPFMDriver"), 0u);
    for (const std::string& dir : {folder + "\\QVPFM.sys", folder + "\\QVPFM.vxd", windows + "\\UnKorvan.exe"})
        EXPECT_TRUE(qvtest::DirExists(dir)) << dir;
}

TEST_F(NtFamily, WithoutALanguageFileNothingHappensAndWithoutFlagsTheFixedStepsStillRun)
{
    DeleteFileA((InstallFolder() + "\\QVSkinKor.dat").c_str());
    g_productSettings.SetInstallProgress(33);
    TimedPostInstall(true);
    EXPECT_EQ(g_productSettings.GetInstallProgress(), 33);
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kProductKey, "ProductPath"));
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, kProductCode));
    EXPECT_EQ(ServiceState(kServiceName), 0u);
    EXPECT_FALSE(qvtest::DirExists(InstallFolder() + "\\Log"));

    // No flags, but the shell extension asked for: no shortcut, no uninstall
    // entry; everything unconditional runs, and the extension registers.
    WriteLanguageFile();
    ConfigRecord record;
    g_productSettings.GetConfig(record);
    record.SetPostInstallFlags(0);
    record.shellExtensionEnabled = 1;
    g_productSettings.SetConfig(record);
    const std::string contextDll = InstallFolder() + "\\QVCtx.dll";
    ASSERT_TRUE(CopyFileA(ProductFile("QVCtx.dll").c_str(), contextDll.c_str(), FALSE));
    ProgressRecorder progress;
    TimedPostInstall(true);
    EXPECT_EQ(progress.Stop().back(), 100);
    EXPECT_FALSE(qvtest::FileExists(Folder("COMMON_DESKTOPDIRECTORY") + "\\" + kDesktopName + ".lnk"));
    EXPECT_FALSE(qvtest::DirExists(GroupFolder("COMMONPROGRAMS")));
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"));
    EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kProductKey, "ProductPath"));
    EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, kProductCode));
    EXPECT_TRUE(qvtest::DirExists(InstallFolder() + "\\Quarantine"));
    EXPECT_TRUE(qvtest::DirExists(InstallFolder() + "\\Log"));
    EXPECT_EQ(ServiceState(kServiceName), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_STRCASEEQ(StringValue(HKEY_CLASSES_ROOT, std::string(kContextClassKey) + "\\InprocServer32", nullptr).c_str(),
                     contextDll.c_str());
}

// The key may be guarded by another program: the write then repairs it for
// the administrators only, and its list keeps refusing inherited entries.
TEST_F(NtFamily, InternetConnectionWizardIsMarkedCompletedForNewProfiles)
{
    const char key[] = ".DEFAULT\\Software\\Microsoft\\Internet Connection Wizard";
    SHDeleteValueA(HKEY_USERS, key, "Completed");
    HKEY made = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_USERS, key, &made), ERROR_SUCCESS);
    RegCloseKey(made);
    const std::string original = qvtest::KeySddl(HKEY_USERS, key);
    ASSERT_TRUE(qvtest::SetKeySddl(HKEY_USERS, key, "D:P(A;;KR;;;WD)(A;;RCWD;;;BA)"));
    CSystemSetup().MarkInternetWizardCompleted();
    const std::string repaired = qvtest::KeySddl(HKEY_USERS, key);
    qvtest::SetKeySddl(HKEY_USERS, key, original.c_str());
    EXPECT_EQ(repaired.compare(0, 3, "D:P"), 0) << repaired;
    EXPECT_NE(repaired.find("(A;OICI;KA;;;BA)"), std::string::npos) << repaired;
    EXPECT_EQ(repaired.find(";;;IU)"), std::string::npos) << repaired;
    EXPECT_EQ(repaired.find(";;;BU)"), std::string::npos) << repaired;
    BYTE bytes[8] = {0};
    DWORD type = 0, size = sizeof(bytes);
    ASSERT_EQ(SHGetValueA(HKEY_USERS, key, "Completed", &type, bytes, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    ASSERT_EQ(size, 4u);
    EXPECT_EQ(0, memcmp(bytes, "\x01\x00\x00\x00", 4));
}

TEST_F(Win9xFamily, BackgroundProgramGoesToTheRunKeyAndTheGroupToTheUsersPrograms)
{
    ASSERT_FALSE(g_specialFolders.IsNT());
    ProgressRecorder progress;
    TimedPostInstall(false);
    EXPECT_EQ(progress.Stop(), AllSteps());
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kRunKey, kServiceName), InstallFolder() + "\\QVService.exe");
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kRunKey, kProductCode), "\"" + Updater() + "\" /run");
    const std::string icon = InstallFolder() + "\\KorvaneFree.ico";
    ExpectLink(Folder("COMMON_DESKTOPDIRECTORY") + "\\" + kDesktopName + ".lnk", Updater(), icon, "");
    ExpectLink(GroupFolder("PROGRAMS") + "\\" + kProgramName + ".lnk", Updater(), icon, "");
    EXPECT_FALSE(qvtest::DirExists(InstallFolder() + "\\Quarantine"));
    EXPECT_FALSE(qvtest::DirExists(InstallFolder() + "\\Log"));
}

TEST_F(Win9xFamily, ALiveBackgroundWindowRegistersNothingAndAStaleOneRegistersAgain)
{
    // The sample background program publishes its window as "HwndSrv".
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::string command = "\"" + InstallFolder() + "\\QVService.exe\"";
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    DWORD window = 0;
    for (int i = 0; i < 100 && !window; ++i) {
        uint32_t value = 0;
        if (g_productSettings.ReadProductDword("HwndSrv", value))
            window = value;
        else
            Sleep(100);
    }
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(IsWindow(reinterpret_cast<HWND>(static_cast<UINT_PTR>(window))));
    TimedPostInstall(true);
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, kServiceName));

    // The program ends and withdraws its value; a stale handle left behind
    // by a program that did not end cleanly makes the installer register again.
    PostMessageA(reinterpret_cast<HWND>(static_cast<UINT_PTR>(window)), WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    uint32_t left = 0;
    EXPECT_FALSE(g_productSettings.ReadProductDword("HwndSrv", left));
    g_productSettings.WriteProductDword("HwndSrv", window);
    ASSERT_FALSE(IsWindow(reinterpret_cast<HWND>(static_cast<UINT_PTR>(window))));
    TimedPostInstall(true);
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kRunKey, kServiceName), InstallFolder() + "\\QVService.exe");
}

} // namespace
