#include "integration/ProductService.h"

#include "integration/ProductSettings.h"
#include "platform/AdvApi32Api.h"
#include "platform/PathKind.h"
#include "platform/RegistryAccess.h"
#include "platform/Shell32Api.h"
#include "platform/SystemHandles.h"
#include "platform/SpecialFolders.h"

#include <vector>

namespace {

const char kServiceProgramNt[] = "\\QVServiceNt.exe";
const char kServiceProgram9x[] = "\\QVService.exe";
const char kLegacyDriverService[] = "QVPFMDriver";
const char kLegacyDriverNt[] = "\\QVPFM.sys";
const char kLegacyDriver9x[] = "\\QVPFM.vxd";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kServiceWindowValue[] = "HwndSrv";

const DWORD kStartWaitMs = 5000;
const DWORD kStartPollMs = 1000;


SC_HANDLE OpenManager()
{
    return advapi32::OpenSCManagerA(nullptr, // local machine
                          nullptr, // active database
                          SC_MANAGER_ALL_ACCESS);
}

std::string InstallFolder()
{
    std::string folder;
    g_productSettings.GetInstallFolder(folder);
    return folder;
}

// Hands every message waiting in this thread's queue to its window.
void DispatchWaitingMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

bool IsRunning(SC_HANDLE service)
{
    SERVICE_STATUS status = {};
    return advapi32::QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING;
}

} // namespace

CProductService::CProductService() : serviceWindow_(nullptr), isNT_(g_specialFolders.IsNT())
{
    servicePath_ = InstallFolder() + (isNT_ ? kServiceProgramNt : kServiceProgram9x);
}

void CProductService::RefreshServiceName()
{
    g_productSettings.GetServiceName(serviceName_);
}

void CProductService::SetupService()
{
    RemoveLegacyDriver();
    RefreshServiceName();
    if (isNT_) {
        EnsureRunning();
        return;
    }
    // A background program whose window is alive is registered and running.
    if (!ReadServiceWindow() || !IsWindow(serviceWindow_))
        RegisterService();
}

void CProductService::RemoveLegacyDriver()
{
    const std::string folder = InstallFolder();
    const std::string driverNt = folder + kLegacyDriverNt;
    if (IsExistingFile(driverNt)) {
        if (isNT_) {
            CServiceHandle manager(OpenManager());
            if (manager) {
                CServiceHandle driver(advapi32::OpenServiceA(manager.Get(), kLegacyDriverService, SERVICE_ALL_ACCESS));
                // A driver still loaded stays so until the next restart.
                if (driver)
                    advapi32::DeleteService(driver.Get());
            }
        }
        DeleteFileA(driverNt.c_str());
    }
    const std::string driver9x = folder + kLegacyDriver9x;
    if (IsExistingFile(driver9x))
        DeleteFileA(driver9x.c_str());
}

bool CProductService::RegisterService()
{
    RefreshServiceName();
    if (!IsExistingFile(servicePath_))
        return false;
    if (isNT_)
        return CreateNtService();
    CRegistryAccess registry;
    registry.SetRootByName("HLM");
    registry.WriteString(kRunKey, serviceName_.c_str(), servicePath_.c_str(), REG_SZ);
    return true;
}

bool CProductService::CreateNtService()
{
    CServiceHandle manager(OpenManager());
    if (!manager)
        return false;
    // The path is quoted: the install folder lies under "Program Files", and
    // an unquoted path with blanks lets Windows try "C:\Program.exe" first.
    const std::string binaryPath = "\"" + servicePath_ + "\"";
    CServiceHandle service(advapi32::CreateServiceA(manager.Get(), serviceName_.c_str(),
                                    serviceName_.c_str(), // display name
                                    SERVICE_ALL_ACCESS,
                                    SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS,
                                    SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, binaryPath.c_str(),
                                    nullptr,   // no load-order group
                                    nullptr,   // no tag
                                    nullptr,   // no dependencies
                                    nullptr,   // LocalSystem
                                    nullptr)); // no password
    return service.Valid();
}

bool CProductService::StartBackground()
{
    RefreshServiceName();
    ConfigRecord record;
    g_productSettings.GetConfig(record);
    if (record.serviceStartSuppressed)
        return false;
    if (!isNT_) {
        shell32::ShellExecuteA(nullptr, // no owner window
                               nullptr, // default verb
                               servicePath_.c_str(), nullptr, nullptr, SW_HIDE);
        return true;
    }
    CServiceHandle manager(OpenManager());
    if (!manager)
        return false;
    CServiceHandle service(advapi32::OpenServiceA(manager.Get(), serviceName_.c_str(), SERVICE_ALL_ACCESS));
    return service && advapi32::StartServiceA(service.Get(), 0, nullptr);
}

void CProductService::EnsureRunning()
{
    CServiceHandle manager(OpenManager());
    if (!manager)
        return;
    CServiceHandle service(advapi32::OpenServiceA(manager.Get(), serviceName_.c_str(), SERVICE_ALL_ACCESS));
    if (!service) {
        // A fresh install: registered for automatic start, not started now.
        RegisterService();
        return;
    }
    SERVICE_STATUS status = {};
    if (!advapi32::QueryServiceStatus(service.Get(), &status) || status.dwCurrentState == SERVICE_RUNNING)
        return;
    if (!StartBackground())
        return;
    // The end of the wait is not reported: a slow service costs at most five seconds.
    for (DWORD waited = 0; waited < kStartWaitMs; waited += kStartPollMs) {
        DispatchWaitingMessages();
        if (IsRunning(service.Get()))
            return;
        Sleep(kStartPollMs);
    }
}

namespace {

// The program of a service's command line: the quoted path, or the text up
// to the first blank of an unquoted one.
std::string ServiceProgram(const char* commandLine)
{
    std::string line = commandLine ? commandLine : "";
    if (!line.empty() && line[0] == '"') {
        size_t close = line.find('"', 1);
        return close == std::string::npos ? std::string() : line.substr(1, close - 1);
    }
    return line;
}

// True when program is a file name directly below folder (letter case ignored).
bool IsDirectlyIn(const std::string& program, const std::string& folder)
{
    const std::string prefix = folder + "\\";
    if (folder.empty() || program.size() <= prefix.size() ||
        _stricmp(program.substr(0, prefix.size()).c_str(), prefix.c_str()) != 0)
        return false;
    // An unquoted path may carry arguments after a blank; the name itself
    // holds no further folder.
    std::string rest = program.substr(prefix.size());
    return rest.find('\\') == std::string::npos && rest.find('/') == std::string::npos;
}

} // namespace

bool CProductService::IsForeignService(const std::string& serviceName, const std::string& installFolder)
{
    if (!g_specialFolders.IsNT())
        return false;
    CServiceHandle manager(advapi32::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT)); // local, active database
    if (!manager)
        return true; // cannot tell: refuse the name
    CServiceHandle service(advapi32::OpenServiceA(manager.Get(), serviceName.c_str(), SERVICE_QUERY_CONFIG));
    if (!service)
        return GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST;
    DWORD needed = 0;
    advapi32::QueryServiceConfigA(service.Get(), nullptr, 0, &needed);
    if (needed == 0)
        return true;
    std::vector<BYTE> buffer(needed);
    QUERY_SERVICE_CONFIGA* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    if (!advapi32::QueryServiceConfigA(service.Get(), config, needed, &needed))
        return true;
    return !IsDirectlyIn(ServiceProgram(config->lpBinaryPathName), installFolder);
}

bool CProductService::ReadServiceWindow()
{
    uint32_t handle = 0;
    if (!g_productSettings.ReadProductDword(kServiceWindowValue, handle))
        return false;
    serviceWindow_ = reinterpret_cast<HWND>(static_cast<UINT_PTR>(handle));
    return true;
}
