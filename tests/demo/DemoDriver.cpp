// The demo's driver (scripts/demo.sh): runs QVSetup.exe the way a person
// would, or watches a person do it, saves a screenshot of every page, and
// writes down what the install left on the machine for the demo's report.
//
//   qvdemo.exe drive SETUP.exe OUTDIR   clicks through the wizard itself:
//                                        Next, agree, Next, wait, Done
//   qvdemo.exe watch SETUP.exe OUTDIR   leaves every click to the user
//
// OUTDIR is a Linux path. The driver writes OUTDIR/driver-report.txt, one
// fact per line, fields separated by TAB, UTF-8, and in drive mode the
// screenshots OUTDIR/screens/N-PAGE.png. The report's last line is "end" once
// everything was written: the demo reads that, not Wine's exit code.
//
// Report lines:
//   page     NAME [SCREENSHOT]               a page reached (welcome, licence,
//                                            install, success, failure)
//   bar      BEFORE AFTER                    bar position around the install shot
//   status   TEXT                            each status line the install page showed
//   result   success|failure|none MS         result page, ms from the licence's Next
//   updater  yes|no                          Done started the product's updater
//   folder   PATH                            the install folder (Windows path)
//   product  NAME TYPE VALUE                 values of the product key
//   uninstall NAME TYPE VALUE                values of the uninstall entry
//   run      NAME TYPE VALUE                 values of HKLM\...\Run
//   link     PLACE FILE TARGET ARGUMENTS     shortcuts (desktop, programs)
//   service  NAME STATE START BINARY         the product's service
//   shellext CLSID SERVER                    the shell extension's registration
//   error    TEXT                            a step that failed
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/ProductTraces.h"
#include "tests/support/TestSupport.h"
#include "tests/support/LinkReader.h"
#include "tests/app/WizardDriver.h"

using namespace wizardtest;

namespace {

const wchar_t kProductKey[] = L"SOFTWARE\\Dravik\\KorvaneV5\\KorvaneFree";
const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KorvaneFree";
const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kServiceName[] = L"QVService";
const wchar_t kShellExtensionClass[] = L"{6B8E2C4A-3F1D-4E7B-9A52-0C1D2E3F4A5B}";
const char kProgramGroup[] = "Korvane Free";
// The install page is photographed while this file downloads (the demo's
// server sends it slowly) and the bar is between these positions.
const wchar_t kSlowFile[] = L"QVServiceNt.exe";
const int kShotBarLow = 30;
const int kShotBarHigh = 70;
const DWORD kDriveTimeoutMs = 180000;
const DWORD kWatchTimeoutMs = 15 * 60000;

std::string Utf8(const std::wstring& wide)
{
    if (wide.empty())
        return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string text(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), &text[0], size, nullptr, nullptr);
    return text;
}

std::wstring Wide(const std::string& text, UINT codePage = CP_ACP)
{
    if (text.empty())
        return std::wstring();
    const int size = MultiByteToWideChar(codePage, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(size, L'\0');
    MultiByteToWideChar(codePage, 0, text.c_str(), static_cast<int>(text.size()), &wide[0], size);
    return wide;
}

// The facts file: one line per fact, written through at once so that a
// driver that hangs later still leaves what it found.
class CFactsFile {
public:
    bool Open(const std::string& path)
    {
        m_file = _wfopen(Wide(path).c_str(), L"wb");
        return m_file != nullptr;
    }
    ~CFactsFile()
    {
        if (m_file)
            fclose(m_file);
    }
    // Fields may be wide (UI texts, registry) or ANSI (paths); TAB and line
    // ends inside a field become spaces.
    void Line(const std::vector<std::wstring>& fields)
    {
        std::string line;
        for (size_t i = 0; i < fields.size(); ++i) {
            std::string field = Utf8(fields[i]);
            for (char& c : field)
                if (c == '\t' || c == '\r' || c == '\n')
                    c = ' ';
            line += (i ? "\t" : "") + field;
        }
        line += "\n";
        fputs(line.c_str(), m_file);
        fflush(m_file);
        printf("%s", line.c_str());
        fflush(stdout);
    }

private:
    FILE* m_file = nullptr;
};

class KeyHolder {
public:
    KeyHolder(HKEY root, const wchar_t* path)
    {
        if (RegOpenKeyExW(root, path, 0, KEY_READ, &m_key) != ERROR_SUCCESS)
            m_key = nullptr;
    }
    ~KeyHolder()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    operator HKEY() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

class ServiceHandle {
public:
    explicit ServiceHandle(SC_HANDLE handle) : m_handle(handle) {}
    ~ServiceHandle()
    {
        if (m_handle)
            CloseServiceHandle(m_handle);
    }
    operator SC_HANDLE() const { return m_handle; }

private:
    SC_HANDLE m_handle;
};

std::wstring TypeName(DWORD type)
{
    switch (type) {
    case REG_SZ: return L"REG_SZ";
    case REG_EXPAND_SZ: return L"REG_EXPAND_SZ";
    case REG_MULTI_SZ: return L"REG_MULTI_SZ";
    case REG_DWORD: return L"REG_DWORD";
    case REG_BINARY: return L"REG_BINARY";
    default: return L"type " + std::to_wstring(type);
    }
}

std::wstring ValueText(DWORD type, const std::vector<BYTE>& data, DWORD size)
{
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0')
            text.pop_back();
        for (wchar_t& c : text)
            if (c == L'\0')
                c = L'|';  // between the strings of a REG_MULTI_SZ
        return text;
    }
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD number = 0;
        memcpy(&number, data.data(), sizeof(number));
        return std::to_wstring(number);
    }
    std::wstring hex;
    wchar_t byte[4];
    for (DWORD i = 0; i < size; ++i) {
        swprintf(byte, 4, L"%02x", data[i]);
        hex += (i ? L" " : L"") + std::wstring(byte);
    }
    return hex;
}

// Every value of a key as "KIND NAME TYPE VALUE" lines; "(default)" names
// the unnamed value. False when the key does not exist (no lines then).
bool ReportKey(CFactsFile& facts, const wchar_t* kind, HKEY root, const wchar_t* path)
{
    KeyHolder key(root, path);
    if (!key)
        return false;
    for (DWORD index = 0;; ++index) {
        wchar_t name[512];
        DWORD nameLength = 512, type = 0, size = 0;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        std::vector<BYTE> data(size + sizeof(wchar_t), 0);
        nameLength = 512;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
            break;
        facts.Line({kind, nameLength ? name : L"(default)", TypeName(type), ValueText(type, data, size)});
    }
    return true;
}

void ReportLinks(CFactsFile& facts, const wchar_t* place, const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*.lnk").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string path = folder + "\\" + found.cFileName;
        qvtest::LinkFields fields;
        qvtest::ReadLinkStrings(path, fields);
        facts.Line({L"link", place, Wide(found.cFileName), Wide(qvtest::ReadLinkTarget(path)),
                    Wide(fields.arguments)});
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

std::wstring StateName(DWORD state)
{
    switch (state) {
    case SERVICE_STOPPED: return L"stopped";
    case SERVICE_START_PENDING: return L"starting";
    case SERVICE_STOP_PENDING: return L"stopping";
    case SERVICE_RUNNING: return L"running";
    default: return L"state " + std::to_wstring(state);
    }
}

std::wstring StartName(DWORD start)
{
    switch (start) {
    case SERVICE_AUTO_START: return L"automatic";
    case SERVICE_DEMAND_START: return L"manual";
    case SERVICE_DISABLED: return L"disabled";
    default: return L"start " + std::to_wstring(start);
    }
}

void ReportService(CFactsFile& facts)
{
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        facts.Line({L"error", L"cannot open the service manager: error " + std::to_wstring(GetLastError())});
        return;
    }
    ServiceHandle service(OpenServiceW(manager, kServiceName, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
    if (!service) {
        const DWORD error = GetLastError();
        facts.Line({L"service", kServiceName, error == ERROR_SERVICE_DOES_NOT_EXIST ? L"absent" :
                    L"unreadable (error " + std::to_wstring(error) + L")", L"", L""});
        return;
    }
    SERVICE_STATUS status = {};
    QueryServiceStatus(service, &status);
    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed ? needed : sizeof(QUERY_SERVICE_CONFIGW));
    QUERY_SERVICE_CONFIGW* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service, config, static_cast<DWORD>(buffer.size()), &needed)) {
        facts.Line({L"service", kServiceName, StateName(status.dwCurrentState), L"?", L"?"});
        return;
    }
    facts.Line({L"service", kServiceName, StateName(status.dwCurrentState), StartName(config->dwStartType),
                config->lpBinaryPathName ? config->lpBinaryPathName : L""});
}

// What the install left on the machine, read through Windows itself.
void ReportMachine(CFactsFile& facts)
{
    const std::string folder = qvtest::ProductInstallFolder();
    facts.Line({L"folder", Wide(folder)});
    ReportKey(facts, L"product", HKEY_LOCAL_MACHINE, kProductKey);
    ReportKey(facts, L"uninstall", HKEY_LOCAL_MACHINE, kUninstallKey);
    ReportKey(facts, L"run", HKEY_LOCAL_MACHINE, kRunKey);
    ReportLinks(facts, L"desktop", qvtest::ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY));
    ReportLinks(facts, L"programs", qvtest::ShellFolder(CSIDL_COMMON_PROGRAMS) + "\\" + kProgramGroup);
    ReportService(facts);
    std::string server;
    if (qvtest::ReadRegistryString(HKEY_CLASSES_ROOT,
                                   "CLSID\\" + Utf8(kShellExtensionClass) + "\\InprocServer32", nullptr, server))
        facts.Line({L"shellext", kShellExtensionClass, Wide(server)});
}

class CDemo {
public:
    CDemo(const std::string& setup, const std::string& outDir) : m_setup(setup), m_outDir(outDir) {}

    bool OpenFacts() { return m_facts.Open(m_outDir + "/driver-report.txt"); }
    CFactsFile& Facts() { return m_facts; }

    // Clicks through the wizard; true when the success page was reached and
    // Done closed the wizard.
    bool Drive()
    {
        if (!m_run.Start("\"" + m_setup + "\"")) {
            m_facts.Line({L"error", L"the wizard did not appear: " + Wide(m_setup)});
            return false;
        }
        m_facts.Line({L"page", L"welcome", Shot("1-welcome")});
        if (!m_run.ClickUntil(IDC_NEXT, [&] { return m_run.Visible(IDC_LICENCE_TEXT); }))
            return Failed(L"Next on the welcome page did not show the licence");
        if (!m_run.ClickUntil(IDC_AGREE, [&] { return m_run.Checked(IDC_AGREE); }))
            return Failed(L"the agree button did not take the click");
        m_facts.Line({L"page", L"licence", Shot("2-licence")});
        // The licence page leaves for the install page, which a quick failure
        // may already have left for a result page.
        if (!m_run.ClickUntil(IDC_NEXT, [&] { return !m_run.Visible(IDC_LICENCE_TEXT); }))
            return Failed(L"Next on the licence page did not start the install");
        const bool success = FollowInstall(kDriveTimeoutMs, true);
        // Done, as a person would: the wizard closes and starts the product.
        m_run.ClickUntil(IDC_CANCEL_DONE, [&] { return !m_run.Running() || !IsWindowVisible(m_run.Frame()); });
        if (!m_run.WaitExit(10000))
            m_facts.Line({L"error", L"the wizard did not close after Done"});
        return success;
    }

    // Starts the wizard and follows the pages the user clicks through.
    bool Watch()
    {
        if (!m_run.Start("\"" + m_setup + "\"")) {
            m_facts.Line({L"error", L"the wizard did not appear: " + Wide(m_setup)});
            return false;
        }
        printf("the wizard is open on the display: click through it\n");
        fflush(stdout);
        m_facts.Line({L"page", L"welcome"});
        bool licence = false;
        const bool left = WaitFor([&] {
            if (!m_run.Running())
                return true;
            if (!licence && m_run.Visible(IDC_LICENCE_TEXT)) {
                licence = true;
                m_facts.Line({L"page", L"licence"});
            }
            return licence && !m_run.Visible(IDC_LICENCE_TEXT);
        }, kWatchTimeoutMs);
        if (!left || !m_run.Running()) {
            m_facts.Line({L"result", L"none", L"0"});
            return Failed(L"the wizard was closed (or left open) before the install started");
        }
        const bool success = FollowInstall(kWatchTimeoutMs, false);
        if (!m_run.WaitExit(kWatchTimeoutMs))
            m_facts.Line({L"error", L"the wizard is still open"});
        return success;
    }

private:
    // Follows the install page to a result page, noting every status line;
    // `shots` photographs the install page with its bar mid-way and the
    // result page. True for the success page.
    bool FollowInstall(DWORD timeoutMs, bool shots)
    {
        const DWORD start = GetTickCount();
        bool installSeen = false, installShot = false;
        std::wstring shown;
        WaitFor([&] {
            if (!m_run.Running() || m_run.Visible(IDC_SUCCESS_PICTURE) || m_run.Visible(IDC_FAIL_PICTURE))
                return true;
            if (!m_run.Visible(IDC_INSTALL_PROGRESS))
                return false;
            if (!installSeen) {
                installSeen = true;
                if (!shots)
                    m_facts.Line({L"page", L"install"});
            }
            const std::wstring status = m_run.Text(IDC_STATUS_TEXT);
            if (!status.empty() && status != shown) {
                shown = status;
                m_facts.Line({L"status", status});
            }
            const int bar = static_cast<int>(m_run.Send(IDC_INSTALL_PROGRESS, PBM_GETPOS));
            if (shots && !installShot && status.find(kSlowFile) != std::wstring::npos && bar >= kShotBarLow &&
                bar <= kShotBarHigh) {
                installShot = true;
                const std::wstring path = Shot("3-install");
                m_facts.Line({L"page", L"install", path});
                m_facts.Line({L"bar", std::to_wstring(bar),
                              std::to_wstring(m_run.Send(IDC_INSTALL_PROGRESS, PBM_GETPOS))});
            }
            return false;
        }, timeoutMs);
        const DWORD elapsed = GetTickCount() - start;
        const bool success = m_run.Visible(IDC_SUCCESS_PICTURE);
        const bool failure = m_run.Visible(IDC_FAIL_PICTURE);
        if (shots && !installShot)
            m_facts.Line({L"error", L"no screenshot of the install page with its bar mid-way"});
        if (success || failure) {
            const wchar_t* name = success ? L"success" : L"failure";
            Sleep(500);  // the result page's picture and texts finish painting
            m_facts.Line({L"page", name, shots ? Shot(success ? "4-success" : "4-failure") : L""});
            m_facts.Line({L"result", name, std::to_wstring(elapsed)});
        } else {
            m_facts.Line({L"result", L"none", std::to_wstring(elapsed)});
            m_facts.Line({L"error", m_run.Running() ? L"no result page within the time" :
                                                      L"the wizard ended before a result page"});
        }
        return success;
    }

    bool Failed(const std::wstring& what)
    {
        m_facts.Line({L"error", what});
        return false;
    }

    // Saves a picture of the wizard's frame as OUTDIR/screens/NAME.png and
    // returns its path once the file is complete ("" when it failed).
    std::wstring Shot(const std::string& name)
    {
        RECT frame = {0, 0, 0, 0};
        GetWindowRect(m_run.Frame(), &frame);
        const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
        frame.left = std::max<LONG>(frame.left, 0);
        frame.top = std::max<LONG>(frame.top, 0);
        frame.right = std::min<LONG>(frame.right, screenWidth);
        frame.bottom = std::min<LONG>(frame.bottom, screenHeight);
        std::string crop;
        if (frame.right > frame.left && frame.bottom > frame.top)
            crop = " -crop " + std::to_string(frame.right - frame.left) + "x" + std::to_string(frame.bottom - frame.top) +
                   "+" + std::to_string(frame.left) + "+" + std::to_string(frame.top) + " +repage";
        const std::string path = m_outDir + "/screens/" + name + ".png";
        const std::string partial = m_outDir + "/screens/." + name + ".png";
        if (!RunLinux("mkdir -p '" + m_outDir + "/screens' && import -window root" + crop + " '" + partial +
                      "' && mv '" + partial + "' '" + path + "'")) {
            m_facts.Line({L"error", L"screenshot " + Wide(name) + L" failed"});
            return L"";
        }
        return Wide(path);
    }

    // Runs a Linux shell command and waits for its end; true when it exited
    // with 0. Wine starts Linux programs but neither waits for them nor
    // hands back their exit code, so the command writes its status to a file.
    bool RunLinux(const std::string& command)
    {
        const std::string done = m_outDir + "/.command-status";
        DeleteFileA(qvtest::NativePath(done).c_str());
        std::string line = "Z:\\bin\\sh -c \"(" + command + ") >>'" + m_outDir + "/logs/driver-commands.log' 2>&1; echo $? >'" +
                           done + ".new'; mv '" + done + ".new' '" + done + "'\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
            return false;
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        std::vector<unsigned char> status;
        WaitFor([&] { return qvtest::ReadBytes(qvtest::NativePath(done), status); }, 30000);
        return std::string(status.begin(), status.end()) == "0\n";
    }

    std::string m_setup;
    std::string m_outDir;
    CWizardRun m_run;
    CFactsFile m_facts;
};

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc == 4 ? argv[1] : "";
    if (mode != "drive" && mode != "watch") {
        fprintf(stderr, "usage: qvdemo drive|watch SETUP.exe OUTDIR\n");
        return 2;
    }
    CDemo demo(argv[2], argv[3]);
    if (!demo.OpenFacts()) {
        fprintf(stderr, "qvdemo: cannot write %s/driver-report.txt\n", argv[3]);
        return 1;
    }
    const bool success = mode == "drive" ? demo.Drive() : demo.Watch();
    if (mode == "drive") {
        const std::string record = qvtest::ProductInstallFolder() + "\\QVUpdate.record.txt";
        const bool started = WaitFor([&] { return qvtest::FileExists(record); }, success ? 5000 : 0);
        demo.Facts().Line({L"updater", started ? L"yes" : L"no"});
    }
    ReportMachine(demo.Facts());
    demo.Facts().Line({L"end"});
    return success ? 0 : 1;
}
