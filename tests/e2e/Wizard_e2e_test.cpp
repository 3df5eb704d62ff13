// QVSetup.exe end to end: the real program under Wine, driven as a person
// would (Next, agree, Next, wait, Done), against the loopback test server
// serving the sample release that server/make-sample-release.sh publishes
// with the sample product. While the run goes on the test reads the status
// line and the progress bar from the window and probes that the window
// answers; afterwards it reads back what a user would find: files, registry
// values, shortcuts, the service, the link files, and the server's record.
// The fresh install runs from a downloads folder where marker DLLs named
// like the system DLLs the program loads lie beside it (and in its current
// folder), with Wine told to prefer such files: none may be loaded.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "core/Md5.h"
#include "core/TableFile.h"
#include "res/resource.h"
#include "tests/support/ProductTraces.h"
#include "tests/platform/PlantedDll.h"
#include "tests/support/PlatformTestUtil.h"
#include "tests/support/TestServer.h"
#include "tests/support/TestSupport.h"
#include "tests/support/LinkReader.h"
#include "tests/app/WizardDriver.h"

using namespace wizardtest;

namespace {

const char kChannelRoot[] = "/TKAS/AccessFile/Update5/Personal/KorvaneFree";
const char kServiceName[] = "QVService";
const char kProductKey[] = "SOFTWARE\\Dravik\\KorvaneV5\\KorvaneFree";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KorvaneFree";
const qvtest::ProductNames kProduct = {"KorvaneFree", kServiceName, "Korvane Free", "Korvane Free"};

std::string Narrow(const std::wstring& wide, UINT codePage = CP_ACP)
{
    char text[1024] = {0};
    WideCharToMultiByte(codePage, 0, wide.c_str(), -1, text, sizeof(text), nullptr, nullptr);
    return text;
}

// The shipped program; QV_SETUP_PROGRAM names another (say, a build without
// release keys, to see what such a build does with the hostile releases).
std::string ProgramPath()
{
    const char* other = getenv("QV_SETUP_PROGRAM");
    return other && *other ? std::string(other) : BinaryFile("shipped/app/QVSetup.exe");
}
std::string InstallDir() { return qvtest::ProductInstallFolder(); }
std::string Env(const char* name)
{
    const char* value = getenv(name);
    return value ? value : "";
}

// Runs a Linux shell command from this Windows test and waits for it; true
// when it exited with 0. Wine starts Linux programs but neither waits for
// them nor hands back their exit code, so the command reports its end in a
// file of the build tree.
bool RunShell(const std::string& command)
{
    const std::string done = BinaryLinuxPath("tests/e2e/shell-done.txt");
    DeleteFileA(qvtest::NativePath(done).c_str());
    std::string line = "Z:\\bin\\sh -c \"(" + command + ") >>'" + BinaryLinuxPath("tests/e2e/shell.log") +
                       "' 2>&1; echo $? >'" + done + "'\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        printf("cannot start the shell: error %lu\n", GetLastError());
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::vector<unsigned char> exitCode;
    WaitFor([&] { return qvtest::ReadBytes(qvtest::NativePath(done), exitCode) && !exitCode.empty() &&
                         exitCode.back() == '\n'; },
            120000);
    return std::string(exitCode.begin(), exitCode.end()) == "0\n";
}

// One cell of a table file: text or number.
struct Cell {
    std::string text;
    int32_t number = 0;
};
typedef std::vector<Cell> Row;

std::vector<Row> ReadTable(const std::string& path)
{
    std::vector<Row> rows;
    CTableFile table;
    if (!table.Open(path.c_str(), nullptr, 0))
        return rows;
    do {
        Row row;
        for (bool more = table.HasCell(); more; more = table.NextCell()) {
            Cell cell;
            if (!table.GetText(cell.text) && !table.GetNumber4(cell.number) && !table.GetNumber5(cell.number))
                table.GetNumber6(cell.number);
            row.push_back(cell);
        }
        rows.push_back(row);
    } while (table.NextRow());
    return rows;
}

// The system DLLs the program loads at run time, named as a planted copy
// would be.
const char* const kPlantedNames[] = {"cabinet.dll", "iphlpapi.dll", "wininet.dll", "ole32.dll",
                                     "oleaut32.dll", "shell32.dll", "shlwapi.dll", "comctl32.dll"};

// A downloads folder holding a copy of the program and the marker DLL under
// every name of kPlantedNames, and a current folder holding the same DLLs.
class CPlantedFolders {
public:
    CPlantedFolders() : downloads_(scratch_.File("Downloads")), current_(scratch_.File("current"))
    {
        const std::string marker = qvtest::NativePath(qvtest::BinaryPath("tests/platform/planted/QvPlanted.dll"));
        ready_ = CreateDirectoryA(downloads_.c_str(), nullptr) && CreateDirectoryA(current_.c_str(), nullptr) &&
                 CopyFileA(ProgramPath().c_str(), Program().c_str(), FALSE);
        for (const char* name : kPlantedNames)
            for (const std::string& folder : {downloads_, current_})
                ready_ = CopyFileA(marker.c_str(), (folder + "\\" + name).c_str(), FALSE) && ready_;
    }
    bool Ready() const { return ready_; }
    std::string Program() const { return downloads_ + "\\QVSetup.exe"; }
    const std::string& CurrentFolder() const { return current_; }
    // True for a path inside either folder.
    bool Holds(const std::string& path) const
    {
        return path.size() > scratch_.path().size() && _strnicmp(path.c_str(), scratch_.path().c_str(),
                                                                  scratch_.path().size()) == 0;
    }
    // The markers loaded copies left: "Downloads\WININET.DLL.loaded by <program>".
    std::vector<std::string> Loaded() const
    {
        std::vector<std::string> loaded;
        for (const std::string& folder : {downloads_, current_}) {
            WIN32_FIND_DATAA found;
            HANDLE search = FindFirstFileA((folder + "\\*" QV_PLANTED_MARKER_SUFFIX).c_str(), &found);
            if (search == INVALID_HANDLE_VALUE)
                continue;
            do {
                std::vector<unsigned char> program;
                qvtest::ReadBytes(folder + "\\" + found.cFileName, program);
                loaded.push_back(folder.substr(scratch_.path().size() + 1) + "\\" + found.cFileName + " by " +
                                 std::string(program.begin(), program.end()));
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        return loaded;
    }

private:
    qvtest::ScratchDir scratch_;
    std::string downloads_;
    std::string current_;
    bool ready_ = false;
};

// Wine's choice for kPlantedNames, which the test's runner is given
// (tests/e2e/CMakeLists.txt): a file of the name in the program's or the
// current folder before its own DLL, as Windows does for a DLL that is not a
// KnownDLL.
std::string NativeFirstOverrides()
{
    std::string names;
    for (const char* name : kPlantedNames)
        names += std::string(names.empty() ? "" : ",") + std::string(name, strlen(name) - 4);
    return names + "=n,b";
}

// The modules a process has loaded, as paths.
std::vector<std::string> LoadedModules(DWORD processId)
{
    std::vector<std::string> modules;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE)
        return modules;
    MODULEENTRY32 module = {};
    module.dwSize = sizeof(module);
    for (BOOL more = Module32First(snapshot, &module); more; more = Module32Next(snapshot, &module))
        modules.push_back(module.szExePath);
    CloseHandle(snapshot);
    return modules;
}

std::string Digest(const std::string& path)
{
    std::string digest;
    Md5File(path.c_str(), digest);
    return digest;
}

// What the wizard showed while it ran, polled from outside.
class RunWatcher {
public:
    explicit RunWatcher(const CWizardRun& run) : run_(run)
    {
        thread_ = std::thread([this] {
            while (!stop_) {
                const DWORD start = GetTickCount();
                DWORD_PTR ignored = 0;
                // The window must answer while the worker downloads.
                if (!SendMessageTimeoutW(run_.Frame(), WM_NULL, 0, 0, SMTO_NORMAL, 2000, &ignored))
                    ++unanswered_;
                slowest_ = std::max(slowest_, GetTickCount() - start);
                std::wstring status = run_.Text(IDC_STATUS_TEXT);
                if (statuses_.empty() || statuses_.back() != status)
                    statuses_.push_back(status);
                positions_.insert(static_cast<int>(run_.Send(IDC_INSTALL_PROGRESS, PBM_GETPOS)));
                if (!shotTaken_ && status.find(L"QVServiceNt.exe") != std::wstring::npos) {
                    shotTaken_ = true;
                    printf("screenshot mid-run: %s\n", Screenshot("e2e-install-running").c_str());
                }
                Sleep(20);
            }
        });
    }
    void Stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    ~RunWatcher() { Stop(); }

    bool Showed(const std::wstring& text) const
    {
        return std::find(statuses_.begin(), statuses_.end(), text) != statuses_.end();
    }
    const std::vector<std::wstring>& Statuses() const { return statuses_; }
    const std::set<int>& Positions() const { return positions_; }
    DWORD Slowest() const { return slowest_; }
    int Unanswered() const { return unanswered_; }

private:
    const CWizardRun& run_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<std::wstring> statuses_;
    std::set<int> positions_;
    DWORD slowest_ = 0;
    int unanswered_ = 0;
    bool shotTaken_ = false;
};

class WizardInstall : public ::testing::Test {
protected:
    WizardInstall() : server_("e2e_wizard_server") {}

    void SetUp() override
    {
        ASSERT_TRUE(server_.Ready());
        ASSERT_TRUE(WaitFor([] { return CountFrames() == 0; }, 10000));
        qvtest::RemoveProduct(kProduct);
        ASSERT_TRUE(Publish(Env("QV_SAMPLE_PRODUCT_DIR")));
        ASSERT_TRUE(server_.Reset());
    }
    void TearDown() override { qvtest::RemoveProduct(kProduct); }

    // Publishes the sample release, made from the product programs in
    // productDir (a Linux path), into the server's document root; true when
    // the program list served afterwards carries productDir's updater.
    // options: the release script's own ("--serial 5", "--key FILE", "--unsigned").
    bool Publish(const std::string& productDir, const std::string& options = "")
    {
        const std::string script = Env("QV_SOURCE_DIR") + "/server/make-sample-release.sh";
        if (!RunShell("sh '" + script + "' " + options + " '" + Env("QV_QVPUBLISH") + "' '" + productDir + "' '" +
                      BinaryLinuxPath("tests/e2e/wizard-docroot") + "' 127.0.0.1 " + std::to_string(server_.Port())))
            return false;
        const std::string updater = Digest(qvtest::NativePath(productDir + "/QVUpdate.exe"));
        return !updater.empty() && PublishedFiles("/Program")["QVUpdate.exe"] == updater;
    }
    std::string Served(const std::string& relative) { return server_.RootFile(kChannelRoot + relative); }

    // Starts the wizard and brings it, as a person would, to the install page.
    void StartInstall(CWizardRun& run, const std::string& program = ProgramPath(),
                      const char* currentFolder = nullptr)
    {
        ASSERT_TRUE(run.Start("\"" + program + "\"", 20000, currentFolder));
        ASSERT_TRUE(run.ClickUntil(IDC_NEXT, [&] { return run.Visible(IDC_LICENCE_TEXT); }));
        ASSERT_TRUE(run.ClickUntil(IDC_AGREE, [&] { return run.Checked(IDC_AGREE); }));
        // The licence page leaves for the install page, which a quick
        // failure may already have left for a result page.
        ASSERT_TRUE(run.ClickUntil(IDC_NEXT, [&] { return !run.Visible(IDC_LICENCE_TEXT); }));
    }
    // Waits for a result page; true for the success page.
    bool WaitForResult(CWizardRun& run, DWORD* elapsedMs)
    {
        const DWORD start = GetTickCount();
        WaitFor([&] { return run.Visible(IDC_SUCCESS_PICTURE) || run.Visible(IDC_FAIL_PICTURE); }, 120000);
        *elapsedMs = GetTickCount() - start;
        return run.Visible(IDC_SUCCESS_PICTURE);
    }
    void PressDone(CWizardRun& run)
    {
        run.Press(IDC_CANCEL_DONE);
        EXPECT_TRUE(run.WaitExit(10000));
    }

    std::vector<std::string> RequestedPaths()
    {
        std::vector<qvtest::RecordedRequest> requests;
        EXPECT_TRUE(server_.Log(requests));
        std::vector<std::string> paths;
        for (const qvtest::RecordedRequest& request : requests)
            paths.push_back(request.method + " " + request.target);
        return paths;
    }

    std::string ProductValue(const char* name)
    {
        std::string text;
        return qvtest::ReadRegistryString(HKEY_LOCAL_MACHINE, kProductKey, name, text) ? text : "<absent>";
    }
    bool ProductDword(const char* name, DWORD& value)
    {
        DWORD size = sizeof(value), type = 0;
        return SHGetValueA(HKEY_LOCAL_MACHINE, kProductKey, name, &type, &value, &size) == ERROR_SUCCESS &&
               type == REG_DWORD;
    }

    // Every file record of a served channel: name -> published digest.
    std::map<std::string, std::string> PublishedFiles(const std::string& channel, std::string* latestStamp = nullptr)
    {
        std::map<std::string, std::string> files;
        std::vector<Row> rows = ReadTable(Served(channel + "/QVPatch.dat"));
        for (size_t r = 1; r < rows.size(); ++r) {
            if (rows[r].size() != 11 || rows[r][10].number != 0)
                continue;  // a delete record
            files[rows[r][3].text] = rows[r][1].text;
            if (latestStamp && *latestStamp < rows[r][5].text)
                *latestStamp = rows[r][5].text;
        }
        return files;
    }

    qvtest::CTestServer server_;
};

// Relative path -> digest of every file below folder, but the record the
// sample updater writes when it runs.
void Snapshot(const std::string& folder, const std::string& prefix, std::map<std::string, std::string>& files)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == ".." || name == "QVUpdate.record.txt")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            Snapshot(folder + "\\" + name, prefix + name + "\\", files);
        else
            files[prefix + name] = Digest(folder + "\\" + name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

// Minutes between a "YYYYMMDDhhmmss" local time and now (large when unreadable).
double MinutesFromNow(const std::string& stamp)
{
    SYSTEMTIME then = {};
    if (stamp.size() != 14 ||
        sscanf(stamp.c_str(), "%4hu%2hu%2hu%2hu%2hu%2hu", &then.wYear, &then.wMonth, &then.wDay, &then.wHour,
               &then.wMinute, &then.wSecond) != 6)
        return 1e9;
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME a, b;
    SystemTimeToFileTime(&then, &a);
    SystemTimeToFileTime(&now, &b);
    auto ticks = [](const FILETIME& t) { return (static_cast<long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return std::abs(static_cast<double>(ticks(b) - ticks(a))) / 1e7 / 60.0;
}

} // namespace

TEST_F(WizardInstall, AFreshInstallThenASecondRunThenAnUpdateWithADamagedPackage)
{
    // The biggest program package arrives slowly, so the bar and the status
    // line can be watched while it downloads.
    ASSERT_TRUE(server_.Behave(qvtest::ServerBehaviour(std::string(kChannelRoot) + "/Program/QVServiceNt.exe.cab")
                                   .Chunks(512, 40)));
    // Run from the downloads folder with the planted DLLs.
    CPlantedFolders planted;
    ASSERT_TRUE(planted.Ready());
    std::string plantedNames;
    for (const char* name : kPlantedNames)
        plantedNames += std::string(" ") + name;
    printf("planted beside %s and in the current folder:%s (WINEDLLOVERRIDES=%s)\n", planted.Program().c_str(),
           plantedNames.c_str(), Env("WINEDLLOVERRIDES").c_str());
    ASSERT_NE(Env("WINEDLLOVERRIDES").find(NativeFirstOverrides()), std::string::npos);
    CWizardRun run;
    StartInstall(run, planted.Program(), planted.CurrentFolder().c_str());
    const std::vector<std::string> loadedAtStart = planted.Loaded();
    for (const std::string& marker : loadedAtStart)
        printf("  planted DLL loaded: %s\n", marker.c_str());
    ASSERT_EQ(loadedAtStart, std::vector<std::string>());
    ASSERT_FALSE(HasFatalFailure());  // a failed assertion of StartInstall ends only StartInstall
    RunWatcher watcher(run);
    // A second show of the page must not queue a second run.
    SendMessageW(GetParent(run.Control(IDC_INSTALL_PROGRESS)), WM_SHOWWINDOW, TRUE, 0);
    DWORD elapsed = 0;
    ASSERT_TRUE(WaitForResult(run, &elapsed));
    watcher.Stop();
    printf("fresh install: success page %lu ms after Next; screenshot %s\n", elapsed,
           Screenshot("e2e-success").c_str());

    // While it ran: downloads named on the status line, a moving bar, a
    // window that always answered.
    for (const std::wstring& status : watcher.Statuses())
        printf("  status: %s\n", Narrow(status, CP_UTF8).c_str());
    EXPECT_TRUE(watcher.Showed(L"QVServiceNt.exe 파일을 다운로드 중입니다."));
    EXPECT_GE(watcher.Positions().size(), 5u);
    printf("  bar positions seen: %zu; slowest answer to a probe: %lu ms\n", watcher.Positions().size(),
           watcher.Slowest());
    EXPECT_EQ(watcher.Unanswered(), 0);
    EXPECT_LT(watcher.Slowest(), 100u);

    // Every file of both channels, with its published digest.
    std::string latestStamp;
    std::map<std::string, std::string> program = PublishedFiles("/Program");
    std::map<std::string, std::string> database = PublishedFiles("/VP", &latestStamp);
    EXPECT_EQ(program.size(), 8u);
    EXPECT_EQ(database.size(), 3u);
    for (const auto& file : program)
        EXPECT_STRCASEEQ(Digest(InstallDir() + "\\" + file.first).c_str(), file.second.c_str()) << file.first;
    for (const auto& file : database)
        EXPECT_STRCASEEQ(Digest(InstallDir() + "\\VP\\" + file.first).c_str(), file.second.c_str()) << file.first;
    EXPECT_EQ(Digest(InstallDir() + "\\QVPatch.dat"), Digest(Served("/Program/QVPatch.dat")));
    EXPECT_EQ(Digest(InstallDir() + "\\VP\\QVPatch.dat"), Digest(Served("/VP/QVPatch.dat")));

    // Product values.
    DWORD success = 0;
    EXPECT_TRUE(ProductDword("SuccessUpdate", success));
    EXPECT_EQ(success, 1u);
    const std::string lastUpdate = ProductValue("LastUpdateDate");
    printf("  LastUpdateDate %s, DBUpdateDate %s\n", lastUpdate.c_str(), ProductValue("DBUpdateDate").c_str());
    EXPECT_LT(MinutesFromNow(lastUpdate), 1.0) << lastUpdate;
    EXPECT_EQ(ProductValue("DBUpdateDate"), latestStamp);
    EXPECT_STRCASEEQ(ProductValue("ProductPath").c_str(), InstallDir().c_str());

    // News and event links.
    const std::string linkBase = "http://127.0.0.1:" + std::to_string(server_.Port()) + kChannelRoot + "/News/";
    std::vector<Row> news = ReadTable(InstallDir() + "\\QVNewsLink.dat");
    std::vector<Row> events = ReadTable(InstallDir() + "\\QVEventLink.dat");
    ASSERT_EQ(news.size(), 1u);
    ASSERT_EQ(events.size(), 1u);
    ASSERT_EQ(news[0].size(), 1u);
    EXPECT_EQ(news[0][0].text, linkBase + "notice.html");
    ASSERT_EQ(events[0].size(), 1u);
    EXPECT_EQ(events[0][0].text, linkBase + "event.html");

    // Registration with Windows.
    const std::string updater = InstallDir() + "\\QVUpdate.exe";
    const std::string group = qvtest::ShellFolder(CSIDL_COMMON_PROGRAMS) + "\\Korvane Free";
    for (const std::string& link : {qvtest::ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Korvane Free.lnk",
                                    group + "\\Korvane Free.lnk", group + "\\" + Narrow(L"Korvane Free 제거") + ".lnk"})
        EXPECT_STRCASEEQ(qvtest::ReadLinkTarget(link).c_str(), updater.c_str()) << link;
    qvtest::LinkFields uninstallLink;
    EXPECT_TRUE(qvtest::ReadLinkStrings(group + "\\" + Narrow(L"Korvane Free 제거") + ".lnk", uninstallLink));
    EXPECT_EQ(uninstallLink.arguments, "/uninstall");
    std::string text;
    EXPECT_TRUE(qvtest::ReadRegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", text));
    EXPECT_EQ(text, "Korvane Free");
    EXPECT_TRUE(qvtest::ReadRegistryString(HKEY_LOCAL_MACHINE, kRunKey, "KorvaneFree", text));
    EXPECT_EQ(text, "\"" + updater + "\" /run");
    // No plain user may add a Run value of his own: it would run at an administrator's logon.
    const std::vector<qvtest::AceInfo> runAces = qvtest::KeyAces(HKEY_LOCAL_MACHINE, kRunKey);
    printf("  Run key list: %s\n", qvtest::KeySddl(HKEY_LOCAL_MACHINE, kRunKey).c_str());
    EXPECT_FALSE(runAces.empty());
    EXPECT_EQ(qvtest::FindWriteAce(runAces, "S-1-5-4"), nullptr);
    EXPECT_EQ(qvtest::FindWriteAce(runAces, "S-1-5-32-545"), nullptr);
    EXPECT_EQ(qvtest::ServiceState(kServiceName), static_cast<DWORD>(SERVICE_STOPPED));  // registered, not started
    BYTE completed[4] = {0};
    DWORD size = sizeof(completed);
    EXPECT_EQ(SHGetValueA(HKEY_USERS, ".DEFAULT\\Software\\Microsoft\\Internet Connection Wizard", "Completed",
                          nullptr, completed, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(0, memcmp(completed, "\x01\x00\x00\x00", 4));
    // The shell extension registered itself when it was placed.
    EXPECT_TRUE(qvtest::ReadRegistryString(
        HKEY_CLASSES_ROOT, "CLSID\\{6B8E2C4A-3F1D-4E7B-9A52-0C1D2E3F4A5B}\\InprocServer32", nullptr, text));
    EXPECT_STRCASEEQ(text.c_str(), (InstallDir() + "\\QVCtx.dll").c_str());

    // The server was asked in the run's order, and once for the configuration;
    // each manifest right before its signature file (the program trusts the
    // sample release key).
    std::vector<std::string> asked = RequestedPaths();
    for (const std::string& line : asked)
        printf("  request: %s\n", line.c_str());
    auto at = [&](const std::string& needle) {
        auto found = std::find_if(asked.begin(), asked.end(),
                                  [&](const std::string& line) { return line.find(needle) != std::string::npos; });
        return found == asked.end() ? -1 : static_cast<int>(found - asked.begin());
    };
    const int config = at("/QVConfig.dat"), newsAt = at("/News/QVNews.txt?DUMMY=0000");
    const int programList = at("/Program/QVPatch.dat"), vpList = at("/VP/QVPatch.dat");
    EXPECT_EQ(config, 0);
    EXPECT_EQ(at("/QVConfig.dat.sig"), 1);
    EXPECT_EQ(newsAt, 2);
    EXPECT_EQ(programList, 3);
    EXPECT_EQ(at("/Program/QVPatch.dat.sig"), 4);
    EXPECT_EQ(vpList, 5 + static_cast<int>(program.size()));
    EXPECT_EQ(at("/VP/QVPatch.dat.sig"), 6 + static_cast<int>(program.size()));
    EXPECT_EQ(asked.size(), 7 + program.size() + database.size());
    const std::string configLine = std::string("GET ") + kChannelRoot + "/QVConfig.dat";
    EXPECT_EQ(std::count(asked.begin(), asked.end(), configLine), 1);
    // The accepted serials are kept, so that no older release is taken later.
    EXPECT_EQ(ProductValue("ReleaseSerialConfig"), "1");
    EXPECT_EQ(ProductValue("ReleaseSerialProgram"), "1");
    EXPECT_EQ(ProductValue("ReleaseSerialDatabase"), "1");

    // The system DLLs the run has in use came from the system folder.
    int inUse = 0;
    for (const std::string& module : LoadedModules(run.ProcessId())) {
        const char* name = PathFindFileNameA(module.c_str());
        for (const char* plantedName : kPlantedNames)
            if (lstrcmpiA(name, plantedName) == 0) {
                printf("  in use: %s\n", module.c_str());
                EXPECT_FALSE(planted.Holds(module)) << module;
                ++inUse;
            }
    }
    EXPECT_GE(inUse, 6);  // cabinet.dll and iphlpapi.dll may be let go between uses

    // Done starts the product's updater from the install folder.
    PressDone(run);
    EXPECT_TRUE(WaitFor([] { return qvtest::FileExists(InstallDir() + "\\QVUpdate.record.txt"); }, 5000));
    // Pictures, cabinets, identity, news, shell links, the product's start:
    // the whole run loaded none of the planted DLLs.
    const std::vector<std::string> loaded = planted.Loaded();
    printf("planted DLLs loaded by the whole run: %zu\n", loaded.size());
    for (const std::string& marker : loaded)
        printf("  planted DLL loaded: %s\n", marker.c_str());
    EXPECT_EQ(loaded, std::vector<std::string>());

    // A second run on the installed machine: only the lists are fetched, and
    // the registered but stopped service is started.
    ASSERT_TRUE(server_.Reset());
    CWizardRun second;
    StartInstall(second);
    ASSERT_TRUE(WaitForResult(second, &elapsed));
    printf("second run: success page %lu ms after Next\n", elapsed);
    asked = RequestedPaths();
    ASSERT_EQ(asked.size(), 7u);
    EXPECT_NE(asked[3].find("/Program/QVPatch.dat"), std::string::npos);
    EXPECT_NE(asked[5].find("/VP/QVPatch.dat"), std::string::npos);
    EXPECT_EQ(qvtest::ServiceState(kServiceName), static_cast<DWORD>(SERVICE_RUNNING));
    PressDone(second);

    // A newer release whose updater package arrives damaged: the message
    // names the file, the run still succeeds, and the installed updater is
    // the earlier release's, whole.
    const std::string installedUpdater = Digest(updater);
    const std::string newer = BinaryLinuxPath("tests/e2e/product-newer");
    CreateDirectoryA(qvtest::NativePath(newer).c_str(), nullptr);
    for (const char* name : {"QVUpdate.exe", "QVServiceNt.exe", "QVService.exe", "QVCtx.dll"})
        ASSERT_TRUE(CopyFileA(qvtest::NativePath(Env("QV_SAMPLE_PRODUCT_DIR") + "/" + name).c_str(),
                              qvtest::NativePath(newer + "/" + name).c_str(), FALSE));
    FILE* grown = fopen(qvtest::NativePath(newer + "/QVUpdate.exe").c_str(), "ab");
    ASSERT_NE(grown, nullptr);
    fputs("newer release", grown);
    fclose(grown);
    ASSERT_TRUE(Publish(newer));
    std::vector<unsigned char> package;
    const std::string packagePath = Served("/Program/QVUpdate.exe.cab");
    ASSERT_TRUE(qvtest::ReadBytes(packagePath, package));
    package[package.size() / 2] ^= 0xFF;
    ASSERT_TRUE(qvtest::WriteBytes(packagePath, package.data(), package.size()));
    ASSERT_TRUE(server_.Reset());
    CWizardRun third;
    StartInstall(third);
    RunWatcher thirdWatcher(third);
    ASSERT_TRUE(WaitForResult(third, &elapsed));
    thirdWatcher.Stop();
    printf("update with a damaged package: success page %lu ms after Next\n", elapsed);
    for (const std::wstring& status : thirdWatcher.Statuses())
        printf("  status: %s\n", Narrow(status, CP_UTF8).c_str());
    EXPECT_TRUE(thirdWatcher.Showed(L"서버로 부터 받은 QVUpdate.exe 파일에 오류가 있습니다."));
    EXPECT_EQ(Digest(updater), installedUpdater);
    PressDone(third);
}

// A configuration that does not arrive ends on the failure page, which says
// why: no connection, an answer that is not the release (an error status, a
// compressed body nobody asked for); nothing is installed or registered.
TEST_F(WizardInstall, TheFailurePageWhenTheConfigurationCannotBeFetched)
{
    const std::string config = std::string(kChannelRoot) + "/QVConfig.dat";
    const std::wstring noConnection = L"업데이트 서버와 연결을 실패 했습니다.";
    const std::wstring notRelease = L"업데이트 서버가 설치 파일이 아닌 응답을 보냈습니다.";
    struct Case {
        const char* what;
        qvtest::ServerBehaviour behaviour;
        std::wstring reason;
        const char* screenshot;
    };
    const Case cases[] = {
        {"closed without an answer", qvtest::ServerBehaviour(config).HangUp(), noConnection, "e2e-failure"},
        {"503", qvtest::ServerBehaviour(config).Status(503), notRelease, "e2e-failure-status"},
        {"gzip not asked for", qvtest::ServerBehaviour(config).Header("Content-Encoding", "gzip"), notRelease,
         "e2e-failure-gzip"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(server_.Reset());
        ASSERT_TRUE(server_.Behave(c.behaviour));
        CWizardRun run;
        StartInstall(run);
        DWORD elapsed = 0;
        EXPECT_FALSE(WaitForResult(run, &elapsed)) << c.what;
        EXPECT_TRUE(run.Visible(IDC_FAIL_PICTURE)) << c.what;
        printf("configuration %s: failure page %lu ms after Next, reason \"%s\"; screenshot %s\n", c.what, elapsed,
               Narrow(run.Text(IDC_FAIL_REASON), CP_UTF8).c_str(),
               Screenshot(c.screenshot).c_str());
        EXPECT_EQ(run.Text(IDC_FAIL_REASON), c.reason) << c.what;
        EXPECT_TRUE(WaitFor([&] { return run.Send(IDC_INSTALL_PROGRESS, PBM_GETPOS) == 100; }, 2000));
        DWORD success = 0;
        EXPECT_FALSE(ProductDword("SuccessUpdate", success)) << c.what;
        EXPECT_EQ(ProductValue("LastUpdateDate"), "<absent>") << c.what;
        EXPECT_EQ(ProductValue("ProductPath"), "<absent>") << c.what; // no post-install
        std::string run_value;
        EXPECT_FALSE(qvtest::ReadRegistryString(HKEY_LOCAL_MACHINE, kRunKey, "KorvaneFree", run_value)) << c.what;
        EXPECT_EQ(RequestedPaths().size(), 1u) << c.what;
        PressDone(run);
        Sleep(500);
    }
    EXPECT_FALSE(qvtest::FileExists(InstallDir() + "\\QVUpdate.record.txt"));
}

struct DialogSearch {
    DWORD process;
    HWND frame;
    HWND found;
};

BOOL CALLBACK MatchSignInDialog(HWND window, LPARAM data)
{
    DialogSearch* search = reinterpret_cast<DialogSearch*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == search->process && window != search->frame && IsWindowVisible(window) &&
        FindWindowExA(window, nullptr, "Edit", nullptr)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The sign-in dialog a proxy's 407 brings up: a visible window with input
// fields of the wizard's process other than its frame.
HWND FindSignInDialog(const CWizardRun& run)
{
    DialogSearch search = {run.ProcessId(), run.Frame(), nullptr};
    EnumWindows(MatchSignInDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Types a user and password into the dialog's two fields and presses OK, or
// presses Cancel.
void AnswerSignIn(HWND dialog, const char* user, const char* password)
{
    if (user) {
        HWND userField = FindWindowExA(dialog, nullptr, "Edit", nullptr);
        HWND passwordField = FindWindowExA(dialog, userField, "Edit", nullptr);
        SendMessageA(userField, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(user));
        SendMessageA(passwordField, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(password));
    }
    PostMessageA(GetDlgItem(dialog, user ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
}

// Lines of squid's access log that name a status ("TCP_DENIED/407", "/200").
int CountLogged(const std::string& log, const std::string& status)
{
    int count = 0;
    for (size_t at = log.find(status); at != std::string::npos; at = log.find(status, at + 1))
        ++count;
    return count;
}

// Installs through a real squid: a plain proxy, then one that asks for a
// sign-in (WinINet's dialog once, the credentials kept for every later
// request of the run), Cancel, and three wrong passwords in a row. The last
// two end on the failure page naming the proxy.
TEST_F(WizardInstall, InstallsThroughAProxyAndItsSignIn)
{
    const std::string dir = BinaryLinuxPath("tests/e2e/squid");
    const std::string script = Env("QV_SOURCE_DIR") + "/tests/server/squid_proxy.sh";
    ASSERT_TRUE(RunShell("bash '" + script + "' start '" + dir + "'"));
    std::vector<unsigned char> state;
    ASSERT_TRUE(qvtest::ReadBytes(qvtest::NativePath(dir + "/proxy.state"), state));
    const std::string ports(state.begin(), state.end());
    const std::string plain = "127.0.0.1:" + ports.substr(0, ports.find('\n'));
    const std::string signIn = "127.0.0.1:" + ports.substr(ports.find('\n') + 1, ports.size() - ports.find('\n') - 2);
    auto accessLog = [&] {
        std::vector<unsigned char> bytes;
        qvtest::ReadBytes(qvtest::NativePath(dir + "/access.log"), bytes);
        return std::string(bytes.begin(), bytes.end());
    };

    struct Case {
        const char* what;
        std::string proxy;
        std::vector<const char*> passwords; // one per dialog; null: Cancel
        bool succeeds;
    };
    const Case cases[] = {
        {"plain proxy", plain, {}, true},
        {"proxy with sign-in", signIn, {"qvsecret"}, true},
        {"sign-in cancelled", signIn, {nullptr}, false},
        {"three wrong passwords", signIn, {"wrong1", "wrong2", "wrong3"}, false},
    };
    for (const Case& c : cases) {
        qvtest::RemoveProduct(kProduct);
        ASSERT_TRUE(server_.Reset());
        const size_t logBefore = accessLog().size();
        // WinINet takes a proxy from the environment when Windows names none.
        SetEnvironmentVariableA("http_proxy", c.proxy.c_str());
        CWizardRun run;
        StartInstall(run);
        SetEnvironmentVariableA("http_proxy", nullptr);
        size_t dialogs = 0;
        DWORD start = GetTickCount();
        while (!run.Visible(IDC_SUCCESS_PICTURE) && !run.Visible(IDC_FAIL_PICTURE) && GetTickCount() - start < 120000) {
            HWND dialog = FindSignInDialog(run);
            if (!dialog) {
                Sleep(100);
                continue;
            }
            if (dialogs < c.passwords.size()) {
                if (dialogs == 0 && c.succeeds)
                    printf("sign-in dialog: screenshot %s\n", Screenshot("e2e-proxy-sign-in").c_str());
                const char* password = c.passwords[dialogs];
                AnswerSignIn(dialog, password ? "qvuser" : nullptr, password);
            } else {
                AnswerSignIn(dialog, nullptr, nullptr); // more dialogs than expected: Cancel
            }
            ++dialogs;
            WaitFor([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, 5000);
        }
        const bool success = run.Visible(IDC_SUCCESS_PICTURE);
        const std::string log = accessLog().substr(logBefore);
        printf("%s: %s page after %lu ms, %zu sign-in dialogs, reason \"%s\"; squid: %d x 407, %d x 200%s\n", c.what,
               success ? "success" : "failure", GetTickCount() - start, dialogs,
               Narrow(run.Text(IDC_FAIL_REASON), CP_UTF8).c_str(), CountLogged(log, "/407 "),
               CountLogged(log, "/200 "),
               success ? (" ; screenshot " + Screenshot(std::string("e2e-proxy-success-") + (c.passwords.empty() ? "plain" : "sign-in"))).c_str() : "");
        EXPECT_EQ(success, c.succeeds) << c.what;
        EXPECT_EQ(dialogs, c.passwords.size()) << c.what;
        if (c.succeeds) {
            EXPECT_GE(CountLogged(log, "/200 "), 10) << c.what << "\n" << log; // every request went through squid
        } else {
            EXPECT_NE(run.Text(IDC_FAIL_REASON).find(std::wstring(c.proxy.begin(), c.proxy.end())), std::wstring::npos) << c.what;
            EXPECT_EQ(CountLogged(log, "/200 "), 0) << c.what;
            EXPECT_EQ(ProductValue("ProductPath"), "<absent>") << c.what;
        }
        PressDone(run);
    }
    RunShell("bash '" + script + "' stop '" + dir + "'");
}

// A first install that does not bring the program installs nothing a user
// could start: the failure page, the reason on the status line, no success
// recorded and nothing registered. Once for a program list the server does
// not have, once for program packages it does not have.
TEST_F(WizardInstall, AFreshInstallWithoutTheProgramEndsOnTheFailurePage)
{
    struct Case {
        const char* what;
        std::vector<std::string> missing;
        std::wstring status;
    };
    std::vector<std::string> packages;
    std::vector<Row> rows = ReadTable(Served("/Program/QVPatch.dat"));
    for (size_t r = 1; r < rows.size(); ++r)
        if (rows[r].size() == 11 && !rows[r][6].text.empty())
            packages.push_back("/Program/" + rows[r][6].text);
    ASSERT_FALSE(packages.empty());
    const Case cases[] = {
        {"program list missing", {"/Program/QVPatch.dat"}, L"업데이트 서버가 설치 파일이 아닌 응답을 보냈습니다."},
        {"every program package missing", packages, L"파일에 오류가 있습니다."},
    };
    for (const Case& c : cases) {
        qvtest::RemoveProduct(kProduct);
        ASSERT_TRUE(server_.Reset());
        for (const std::string& path : c.missing)
            ASSERT_TRUE(server_.Behave(qvtest::ServerBehaviour(kChannelRoot + path).Status(404)));
        CWizardRun run;
        StartInstall(run);
        RunWatcher watcher(run);
        DWORD elapsed = 0;
        EXPECT_FALSE(WaitForResult(run, &elapsed)) << c.what;
        watcher.Stop();
        printf("%s: %s page %lu ms after Next; screenshot %s\n", c.what,
               run.Visible(IDC_FAIL_PICTURE) ? "failure" : "success", elapsed,
               Screenshot(std::string("e2e-fresh-failure-") + (c.missing.size() == 1 ? "list" : "packages")).c_str());
        bool named = false;
        for (const std::wstring& status : watcher.Statuses()) {
            printf("  status: %s\n", Narrow(status, CP_UTF8).c_str());
            named = named || status.find(c.status) != std::wstring::npos;
        }
        EXPECT_TRUE(named) << c.what;
        DWORD success = 0;
        EXPECT_FALSE(ProductDword("SuccessUpdate", success)) << c.what;
        EXPECT_EQ(ProductValue("LastUpdateDate"), "<absent>") << c.what;
        EXPECT_EQ(ProductValue("ProductPath"), "<absent>") << c.what; // no post-install
        std::string runValue;
        EXPECT_FALSE(qvtest::ReadRegistryString(HKEY_LOCAL_MACHINE, kRunKey, "KorvaneFree", runValue)) << c.what;
        EXPECT_FALSE(qvtest::FileExists(InstallDir() + "\\QVUpdate.exe")) << c.what;
        PressDone(run);
    }
}

// A build that trusts the sample release key installs the signed release, and
// then, from that installed state, takes nothing from a release whose
// manifests are forged: each hostile server below offers a newer updater
// (or hostile lists), and every installed file stays byte for byte as it was.
TEST_F(WizardInstall, ASignedReleaseInstallsAndForgedManifestsInstallNothing)
{
    ASSERT_TRUE(Publish(Env("QV_SAMPLE_PRODUCT_DIR"), "--serial 5"));
    CWizardRun first;
    StartInstall(first);
    DWORD elapsed = 0;
    ASSERT_TRUE(WaitForResult(first, &elapsed));
    PressDone(first);
    EXPECT_EQ(ProductValue("ReleaseSerialProgram"), "5");
    std::map<std::string, std::string> installed;
    Snapshot(InstallDir(), "", installed);
    ASSERT_GE(installed.size(), 11u);

    // A newer product: its updater differs, so an accepted program list
    // would install it.
    const std::string newer = BinaryLinuxPath("tests/e2e/product-forged");
    CreateDirectoryA(qvtest::NativePath(newer).c_str(), nullptr);
    for (const char* name : {"QVUpdate.exe", "QVServiceNt.exe", "QVService.exe", "QVCtx.dll"})
        ASSERT_TRUE(CopyFileA(qvtest::NativePath(Env("QV_SAMPLE_PRODUCT_DIR") + "/" + name).c_str(),
                              qvtest::NativePath(newer + "/" + name).c_str(), FALSE));
    FILE* grown = fopen(qvtest::NativePath(newer + "/QVUpdate.exe").c_str(), "ab");
    ASSERT_NE(grown, nullptr);
    fputs("forged release", grown);
    fclose(grown);
    const std::string otherKey = BinaryLinuxPath("tests/e2e/unknown-release-key.pem");
    DeleteFileA(qvtest::NativePath(otherKey).c_str());
    ASSERT_TRUE(RunShell("'" + Env("QV_QVPUBLISH") + "' key new '" + otherKey + "'"));

    const std::string docroot = BinaryLinuxPath("tests/e2e/wizard-docroot");
    const std::string elsewhere = BinaryLinuxPath("tests/e2e/forged-docroot");
    auto copy = [&](const std::string& from, const std::string& to) {
        return CopyFileA(Served(from).c_str(), Served(to).c_str(), FALSE) != FALSE;
    };
    auto rewrite = [&](const std::string& file, const std::function<void(std::vector<unsigned char>&)>& change) {
        std::vector<unsigned char> bytes;
        if (!qvtest::ReadBytes(Served(file), bytes))
            return false;
        change(bytes);
        return qvtest::WriteBytes(Served(file), bytes.data(), bytes.size());
    };
    // The newer release, signed, with one manifest then swapped for what an
    // attacker has: the signature file of the release installed before.
    std::vector<unsigned char> oldSignature;
    auto newerWithOldSignature = [&](const std::string& manifest) {
        return qvtest::ReadBytes(Served(manifest + ".sig"), oldSignature) && Publish(newer, "--serial 6") &&
               qvtest::WriteBytes(Served(manifest + ".sig"), oldSignature.data(), oldSignature.size());
    };
    struct Case {
        const char* what;
        std::function<bool()> serve;
        bool succeeds;  // the page: failure for a refused configuration
    };
    // Each case serves the newer release (serial 6) or the one installed,
    // then forges one manifest or its signature.
    const Case cases[] = {
        {"a list altered after signing", [&] { return newerWithOldSignature("/Program/QVPatch.dat"); }, true},
        // The configuration of the same release made for other servers (a
        // loadable file, not a damaged one) beside the signature of the real one.
        {"a configuration altered after signing",
         [&] { return Publish(newer, "--serial 6") &&
                      RunShell("sh '" + Env("QV_SOURCE_DIR") + "/server/make-sample-release.sh' --serial 6 '" +
                               Env("QV_QVPUBLISH") + "' '" + newer + "' '" + elsewhere + "' localhost " +
                               std::to_string(server_.Port()) + " && cp '" + elsewhere + kChannelRoot +
                               "/QVConfig.dat' '" + docroot + kChannelRoot + "/QVConfig.dat'"); },
         false},
        {"an unsigned list",
         [&] { return Publish(newer, "--serial 6") && DeleteFileA(Served("/Program/QVPatch.dat.sig").c_str()); },
         true},
        {"a list signed by an unknown key",
         [&] { return Publish(newer, "--serial 6") &&
                      RunShell("'" + Env("QV_QVPUBLISH") + "' sign --key '" + otherKey +
                               "' --channel program --serial 6 '" + docroot + kChannelRoot + "/Program/QVPatch.dat'"); },
         true},
        {"the program list and its signature served as the database list",
         [&] { return Publish(Env("QV_SAMPLE_PRODUCT_DIR"), "--serial 6") &&
                      copy("/Program/QVPatch.dat", "/VP/QVPatch.dat") &&
                      copy("/Program/QVPatch.dat.sig", "/VP/QVPatch.dat.sig"); },
         true},
        // The whole release older than what was accepted: its configuration is
        // refused first.
        {"a validly signed older release", [&] { return Publish(newer, "--serial 4"); }, false},
        {"a signature file cut short",
         [&] { return Publish(newer, "--serial 6") &&
                      rewrite("/Program/QVPatch.dat.sig", [](std::vector<unsigned char>& b) { b.resize(b.size() / 2); }); },
         true},
        {"a signature file with CR LF",
         [&] { return Publish(newer, "--serial 6") &&
                      rewrite("/Program/QVPatch.dat.sig", [](std::vector<unsigned char>& b) {
                          std::vector<unsigned char> crlf;
                          for (unsigned char c : b) {
                              if (c == '\n')
                                  crlf.push_back('\r');
                              crlf.push_back(c);
                          }
                          b.swap(crlf);
                      }); },
         true},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(c.serve()) << c.what;
        ASSERT_TRUE(server_.Reset());
        CWizardRun run;
        StartInstall(run);
        RunWatcher watcher(run);
        const bool success = WaitForResult(run, &elapsed);
        watcher.Stop();
        std::map<std::string, std::string> now;
        Snapshot(InstallDir(), "", now);
        std::vector<std::string> changed;
        for (const auto& file : installed)
            if (now[file.first] != file.second)
                changed.push_back(file.first);
        for (const auto& file : now)
            if (!installed.count(file.first))
                changed.push_back(file.first + " (new)");
        std::string list;
        for (const std::string& name : changed)
            list += " " + name;
        printf("%s: %s page, %zu installed files changed%s; serials %s/%s/%s\n", c.what, success ? "success" : "failure",
               changed.size(), list.c_str(), ProductValue("ReleaseSerialConfig").c_str(),
               ProductValue("ReleaseSerialProgram").c_str(), ProductValue("ReleaseSerialDatabase").c_str());
        EXPECT_EQ(success, c.succeeds) << c.what;
        EXPECT_TRUE(changed.empty()) << c.what;
        // A refused configuration says so on the failure page.
        if (!success)
            EXPECT_EQ(run.Text(IDC_FAIL_REASON), L"서버로 부터 받은 설치 정보의 서명이 올바르지 않습니다.") << c.what;
        PressDone(run);
    }
}
