// Fetching packages into the work folder, with progress.
#include "update/UpdateEngine.h"

#include "core/Md5.h"
#include "core/NameCheck.h"
#include "platform/SystemHandles.h"
#include "update/CabinetExtractor.h"

#include "platform/PathKind.h"
#include "platform/SystemLibrary.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Paths the engine builds (local and remote) must fit a 260-byte buffer.
const size_t kMaxPath = 259;

// The engine whose download is running; the HTTP client's progress callback
// carries no context.
CUpdateEngine* s_downloadingEngine = nullptr;

void DebugLine(const char* prefix, const std::string& name)
{
    OutputDebugStringA(prefix);
    OutputDebugStringA(name.c_str());
    OutputDebugStringA("\n");
}

// True when the downloaded package at path has the list's digest.
bool PackageMatches(const std::string& path, const std::string& packageMd5)
{
    std::string digest;
    return Md5File(path.c_str(), digest) && _stricmp(digest.c_str(), packageMd5.c_str()) == 0;
}

// What a failed request that reached a server says about it.
UpdateFailure AnswerFailure(HttpFailure failure)
{
    if (failure == HTTP_FAILURE_PROXY_AUTH)
        return UPD_FAILURE_PROXY;
    return failure == HTTP_FAILURE_LOCAL ? UPD_FAILURE_NONE : UPD_FAILURE_NOT_RELEASE;
}

} // namespace

bool CUpdateEngine::FetchFile(const char* remoteFolder, const char* fileName, int32_t expectedSize)
{
    // The name becomes a file of the work folder: a path or a device is refused.
    if (!fileName || !IsPlainFileName(fileName))
        return false;
    std::string remote = (remoteFolder && *remoteFolder) ? remoteFolder : remoteBasePath_;
    remote += "/";
    remote += fileName;
    std::string local = workFolder_ + "\\" + fileName;
    if (remote.size() > kMaxPath || local.size() > kMaxPath)
        return false;

    if (!IsExistingFolder(workFolder_)) {
        DeleteFileA(workFolder_.c_str());
        CSpecialFolders::CreateFolderPath(workFolder_.c_str());
    }
    // Lists written before sizes were kept carry 0: such a package is bounded
    // by the length the server announces only.
    const uint32_t expected = expectedSize > 0 ? static_cast<uint32_t>(expectedSize) : 0;
    const bool identity = identityQueued_;
    identityQueued_ = false;
    lastFailure_ = UPD_FAILURE_CONNECTION;
    // Each host of the call once: first those not known to be unreachable,
    // in the call's order, then those that refused earlier in the run. A
    // host that timed out is not asked again.
    std::vector<size_t> order;
    for (int reach = kReachable; reach <= kRefused; ++reach)
        for (size_t i = 0; i < hostOrder_.size(); ++i)
            if (HostReach(hostOrder_[i]) == reach)
                order.push_back(i);
    for (size_t i : order) {
        const std::string& host = hostOrder_[i];
        // The identity pairs went with the request that did not get through.
        if (identity && i != order.front())
            SetClientIdentity();
        uint32_t resultCode = 0;
        if (http_.DownloadToFile(host.c_str(), remote.c_str(), static_cast<uint16_t>(port_), local.c_str(),
                                 resultCode, true, expected)) {
            host_ = host;
            lastFailure_ = UPD_FAILURE_NONE;
            return true;
        }
        // An answer is the server's word: no other host is asked.
        if (http_.LastFailure() != HTTP_FAILURE_TRANSPORT) {
            lastFailure_ = AnswerFailure(http_.LastFailure());
            return false;
        }
        unreachable_.push_back({host, port_, http_.LastError() == ERROR_INTERNET_TIMEOUT ? kSilent : kRefused});
    }
    return false;
}

int CUpdateEngine::HostReach(const std::string& host) const
{
    int reach = kReachable;
    for (const UnreachableHost& known : unreachable_)
        if (known.port == port_ && known.host == host)
            reach = std::max(reach, known.reach);
    return reach;
}

bool CUpdateEngine::DownloadAll(std::deque<PatchRecord>& todo)
{
    progress_.BeginFiles(static_cast<int>(todo.size()));
    bool fetched = false;
    s_downloadingEngine = this;
    // Each extraction loads the cabinet library; holding it for the whole
    // list keeps it from being unloaded and loaded again for every cabinet.
    CLoadedModule cabinetLibrary(LoadSystemLibrary("Cabinet.dll"));
    damagedPackages_.clear();

    for (const PatchRecord& record : todo) {
        progress_.BeginFile(record.fileName);
        if (!NamesAccepted(record) || record.deleteFlag != 0) {
            // A refused name (the only way a delete record gets here): nothing
            // is fetched, and the placement fails the record.
            lastFailedFile_ = record.fileName;
            continue;
        }
        if (!FetchFile(record.remoteFolder.c_str(), record.packageName.c_str(), record.size)) {
            DebugLine("Failed Download : ", record.fileName);
            lastFailedFile_ = record.fileName;
            continue;
        }
        if (record.packageName.find(".cab") != std::string::npos) {
            std::string cabinet = workFolder_ + "\\" + record.packageName;
            // Nothing of a cabinet that is not the one the list names is
            // extracted: its entries could overwrite any work file, the list
            // among them. The download counts as arrived; the placement stops
            // at this record as it does for any damaged package.
            if (!PackageMatches(cabinet, record.packageMd5)) {
                DebugLine("Failed Md5 : ", record.fileName);
                lastFailedFile_ = record.fileName;
                damagedPackages_.push_back(record.fileName);
                SetFileAttributesA(cabinet.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(cabinet.c_str());
                fetched = true;
                progress_.ReportFileDone();
                continue;
            }
            // A cabinet that does not extract may leave a partial file behind:
            // remove it, so the placement finds no replacement in hand and
            // leaves the installed file alone. The file counts as failed, so
            // the run's report can name it.
            CCabinetExtractor extractor;
            if (extractor.Extract(cabinet.c_str(), (workFolder_ + "\\").c_str())) {
                fetched = true;
            } else {
                lastFailedFile_ = record.fileName;
                std::string partial = workFolder_ + "\\" + record.fileName;
                SetFileAttributesA(partial.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(partial.c_str());
            }
        } else {
            fetched = true;
        }
        progress_.ReportFileDone();
    }
    progress_.Report(100, 100);
    s_downloadingEngine = nullptr;
    return fetched;
}

void CUpdateEngine::OnDownloadProgress(uint32_t expected, uint32_t received)
{
    if (s_downloadingEngine)
        s_downloadingEngine->progress_.OnBytes(expected, received);
}
