#include "update/UpdateEngine.h"

#include "core/StringUtil.h"

#include "core/Md5.h"
#include "platform/RegistryAccess.h"
#include "platform/SystemHandles.h"
#include "sysinfo/MachineInfo.h"
#include "update/ComponentRegistration.h"

#include "platform/PathKind.h"

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <utility>

CUpdateEngine g_updateEngine;

namespace {

// Where the machine key "unq" is kept.
const char kMachineKeyRoot[] = "HCR";
const char kMachineKeyPath[] = "CLSID\\{69DCE9C8-CEDD-49bb-88D6-F4101845BA35}";
const char kMachineKeyValue[] = "unq";

// The machine key's root, with the machine key as the one key a refused
// read or write may repair.
bool SelectMachineKey(CRegistryAccess& registry)
{
    return registry.SetRootByName(kMachineKeyRoot) && registry.AddRepairScope(kMachineKeyRoot, kMachineKeyPath);
}

const char kWorkFolderName[] = "\\QVTmp";


} // namespace

CUpdateEngine::CUpdateEngine() {}

CUpdateEngine::~CUpdateEngine() {}

time_t CUpdateEngine::DefaultClock() { return time(nullptr); }

void CUpdateEngine::Reset()
{
    progress_.Reset();

    if (!productId_.empty()) {
        http_.SetAgentName(productId_.c_str());
        std::string key;
        EnsureMachineKey(key);
        if (!key.empty())
            http_.SetAgentSuffix(key.c_str());
        SetClientIdentity();
        identityQueued_ = true;
    }

    SetFolderBases(installFolder_.c_str());
}

bool CUpdateEngine::EnsureMachineKey(std::string& key)
{
    key.clear();
    CRegistryAccess registry;
    if (SelectMachineKey(registry) && registry.ReadString(kMachineKeyPath, kMachineKeyValue, key))
        return true;
    return CreateMachineKey(key);
}

bool CUpdateEngine::CreateMachineKey(std::string& key)
{
    key.clear();
    time_t now = clock_();
    // Four values of rand's range (15 bits), from the engine's own generator.
    unsigned r[4];
    for (unsigned& value : r)
        value = random_.Next() >> 17;

    CMachineInfo machine;
    char suffix[64];
    FormatInto(suffix, sizeof(suffix), "%08X%04X%04X%04X%04X", static_cast<unsigned>(now), r[3], r[2], r[1], r[0]);
    std::string text = std::string(machine.GetMachineId()) + suffix;
    if (!Md5Buffer(text.data(), text.size(), key) || key.empty())
        return false;

    // A key that cannot be stored still serves this run; the next run makes a new one.
    CRegistryAccess registry;
    if (SelectMachineKey(registry))
        registry.WriteString(kMachineKeyPath, kMachineKeyValue, key.c_str(), REG_SZ);
    return true;
}

void CUpdateEngine::SetClientIdentity()
{
    CMachineInfo machine;
    http_.AddHeader({"MAC", machine.GetMacAddress(), 1});
    http_.AddHeader({"VPVER", "0", 1});
    http_.AddHeader({"VCVER", "0", 1});
    http_.AddHeader({"PROGVER", programVersion_, 1});
}

void CUpdateEngine::SplitHostList(const char* hostList, const char* remoteBasePath, int32_t port,
                                  std::deque<ServerEntry>& entries)
{
    std::string list = hostList ? hostList : "";
    size_t start = 0;
    for (;;) {
        size_t end = list.find(';', start);
        ServerEntry entry;
        entry.host = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        entry.remoteBasePath = remoteBasePath ? remoteBasePath : "";
        entry.port = port;
        entries.push_back(entry);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
}

bool CUpdateEngine::ChooseServer(const std::deque<ServerEntry>& entries)
{
    host_.clear();
    remoteBasePath_.clear();
    port_ = 80;
    hostOrder_.clear();
    if (entries.empty())
        return false;
    for (const ServerEntry& entry : entries)
        hostOrder_.push_back(entry.host);
    const size_t count = hostOrder_.size();
    const size_t pick = random_.Next() % count;
    const ServerEntry& chosen = entries[pick];
    host_ = chosen.host;
    remoteBasePath_ = chosen.remoteBasePath;
    port_ = chosen.port;
    // The pick first, the others shuffled behind it (Fisher-Yates on 1..n-1).
    std::swap(hostOrder_[0], hostOrder_[pick]);
    for (size_t i = count - 1; i > 1; --i)
        std::swap(hostOrder_[i], hostOrder_[1 + random_.Next() % i]);
    return true;
}

bool CUpdateEngine::BeginCall(const char* hostList, const char* remoteBasePath, int32_t port,
                              const char* baseFolder)
{
    lastFailure_ = UPD_FAILURE_NONE;
    std::deque<ServerEntry> entries;
    SplitHostList(hostList, remoteBasePath, port, entries);
    if (!ChooseServer(entries))
        return false;
    baseFolder_ = baseFolder ? baseFolder : "";
    workFolder_ = baseFolder_ + kWorkFolderName;
    return true;
}

int32_t CUpdateEngine::FetchConfigFile(const char* hostList, const char* remoteBasePath, int32_t port,
                                       const char* baseFolder)
{
    if (!BeginCall(hostList, remoteBasePath, port, baseFolder))
        return UPD_RESULT_FAIL;
    if (FetchFile(remoteBasePath_.c_str(), "QVConfig.dat") && ManifestTrusted("QVConfig.dat", RELEASE_CHANNEL_CONFIG, true))
        return UPD_RESULT_DONE;
    RemoveWorkFolder();
    return UPD_RESULT_FAIL;
}

int32_t CUpdateEngine::CheckForUpdates(const char* hostList, const char* remoteBasePath, int32_t port,
                                       const char* baseFolder)
{
    reuseList_ = 1;
    if (!BeginCall(hostList, remoteBasePath, port, baseFolder))
        return UPD_RESULT_FAIL;
    // A list that arrived but does not load (a login page, a damaged or cut
    // file) is reported like one that did not arrive, never as "nothing to do".
    std::deque<PatchRecord> todo;
    int32_t flags = 0;
    // Nothing of a list that fails its signature is acted on: the selection
    // (which carries out the list's deletions) runs only on a trusted one.
    const bool selected = FetchPatchList() && ManifestTrusted("QVPatch.dat", releaseChannel_, true) &&
                          SelectUpdates(todo, flags);
    listings_.clear(); // an install reads the folders again
    if (!selected) {
        if (lastFailure_ == UPD_FAILURE_NONE)
            lastFailure_ = UPD_FAILURE_NOT_RELEASE; // it arrived but does not load
        RemoveWorkFolder();
        return UPD_RESULT_NO_LIST;
    }
    if (todo.empty()) {
        RemoveWorkFolder();
        return UPD_RESULT_NOTHING;
    }
    // The work folder keeps "QVPatch.dat" for the install that follows.
    return flags | UPD_AVAILABLE;
}

int32_t CUpdateEngine::InstallUpdates(const char* hostList, const char* remoteBasePath, int32_t port,
                                      const char* baseFolder, UpdateProgressCallback progress)
{
    if (!BeginCall(hostList, remoteBasePath, port, baseFolder))
        return UPD_RESULT_FAIL;
    progress_.SetCallback(progress);
    http_.SetProgressCallback(progress ? OnDownloadProgress : nullptr);

    // The list a check just fetched is used again, as long as it is still there.
    bool reuse = reuseList_ == 1 && IsExistingFile(workFolder_ + "\\QVPatch.dat");
    reuseList_ = 0;
    std::deque<PatchRecord> todo;
    int32_t flags = 0;
    // A reused list is checked again, against the signature file the check
    // fetched beside it.
    const bool trusted = reuse ? ManifestTrusted("QVPatch.dat", releaseChannel_, false)
                               : FetchPatchList() && ManifestTrusted("QVPatch.dat", releaseChannel_, true);
    if (!trusted || !SelectUpdates(todo, flags)) {
        if (lastFailure_ == UPD_FAILURE_NONE)
            lastFailure_ = UPD_FAILURE_NOT_RELEASE;
        RemoveWorkFolder();
        return UPD_RESULT_NO_LIST;
    }
    progress_.BeginFiles(static_cast<int>(todo.size())); // a report before the first file
    progress_.Report(0, 0);

    // A list of refused names only has nothing to download; the placement
    // fails each of them (4).
    bool anyFetchable = false;
    for (const PatchRecord& record : todo)
        anyFetchable = anyFetchable || NamesAccepted(record);

    int32_t result = UPD_RESULT_FAIL;
    if (todo.empty())
        result = UPD_RESULT_NOTHING;
    else if (DownloadAll(todo) || !anyFetchable)
        result = PlaceFiles(todo);
    listings_.clear();
    RemoveWorkFolder();
    return result;
}

void CUpdateEngine::RemoveWorkFolder()
{
    if (workFolder_.empty())
        return;
    if (IsExistingFolder(workFolder_)) {
        DeleteTree(workFolder_.c_str(), true);
        RemoveDirectoryA(workFolder_.c_str());
    } else if (IsExistingFile(workFolder_)) {
        DeleteFileA(workFolder_.c_str());
    }
}

void CUpdateEngine::DeleteTree(const char* folder, bool recursive)
{
    if (!folder || !*folder)
        return;
    std::string base = folder;
    WIN32_FIND_DATAA data;
    CFindHandle find(FindFirstFileA((base + "\\*.*").c_str(), &data));
    if (!find)
        return;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string child = base + "\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (recursive) {
                DeleteTree(child.c_str(), true);
                RemoveDirectoryA(child.c_str());
            }
        } else {
            // Files of the work folder may have been extracted read-only.
            if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                SetFileAttributesA(child.c_str(), data.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
            DeleteFileA(child.c_str());
        }
    } while (FindNextFileA(find.Get(), &data));
}

bool CUpdateEngine::CallRegistrationEntry(const char* path) { return ::CallRegistrationEntry(path); }

int CUpdateEngine::RegisterComponent(const char* path) { return ::RegisterComponent(path); }
