// Fetching packages into the work folder, with progress.
#include "update/UpdateEngine.h"

#include "update/CabinetExtractor.h"

#include <windows.h>

namespace {

// Paths the engine builds (local and remote) must fit a 260-byte buffer.
const size_t kMaxPath = 259;

// The engine whose download is running; the HTTP client's progress callback
// carries no context.
CUpdateEngine* s_downloadingEngine = nullptr;

bool IsFolder(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void DebugLine(const char* prefix, const std::string& name)
{
    OutputDebugStringA(prefix);
    OutputDebugStringA(name.c_str());
    OutputDebugStringA("\n");
}

} // namespace

bool CUpdateEngine::FetchFile(const char* remoteFolder, const char* fileName)
{
    if (!fileName)
        return false;
    std::string remote = (remoteFolder && *remoteFolder) ? remoteFolder : remoteBasePath_;
    remote += "/";
    remote += fileName;
    std::string local = workFolder_ + "\\" + fileName;
    if (remote.size() > kMaxPath || local.size() > kMaxPath)
        return false;

    if (!IsFolder(workFolder_)) {
        DeleteFileA(workFolder_.c_str());
        CSpecialFolders::CreateFolderPath(workFolder_.c_str());
    }
    uint32_t error = 0;
    return http_.DownloadToFile(host_.c_str(), remote.c_str(), static_cast<uint16_t>(port_), local.c_str(),
                                error, true);
}

void CUpdateEngine::ReportProgress(int overall, int file)
{
    if (progress_)
        progress_(currentName_.c_str(), filesDone_, filesTotal_, overall, file);
}

bool CUpdateEngine::DownloadAll(std::deque<PatchRecord>& todo)
{
    filesDone_ = 0;
    filesTotal_ = static_cast<int>(todo.size());
    bool fetched = false;
    s_downloadingEngine = this;

    for (const PatchRecord& record : todo) {
        currentName_ = record.fileName.substr(0, kMaxPath);
        ++filesDone_;
        currentReceived_ = 0;
        if (!FetchFile(record.remoteFolder.c_str(), record.packageName.c_str())) {
            DebugLine("Failed Download : ", record.fileName);
            lastFailedFile_ = record.fileName;
            continue;
        }
        if (record.packageName.find(".cab") != std::string::npos) {
            // A cabinet that does not extract leaves its file missing; the
            // placement counts that record as failed.
            CCabinetExtractor extractor;
            std::string cabinet = workFolder_ + "\\" + record.packageName;
            if (extractor.Extract(cabinet.c_str(), (workFolder_ + "\\").c_str()))
                fetched = true;
        } else {
            fetched = true;
        }
        ReportProgress(overallPercent_, 100);
    }
    ReportProgress(100, 100);
    s_downloadingEngine = nullptr;
    return fetched;
}

// File percent from this file's bytes; overall percent from the bytes of every
// selected record, held below 100 until the last report of DownloadAll.
void CUpdateEngine::OnDownloadProgress(uint32_t expected, uint32_t received)
{
    CUpdateEngine* engine = s_downloadingEngine;
    if (!engine || !engine->progress_)
        return;
    if (expected > 0 && received > 0)
        engine->filePercent_ = static_cast<int>(static_cast<uint64_t>(received) * 100 / expected);
    if (received == expected) {
        engine->ReportProgress(engine->overallPercent_, 100);
        engine->currentReceived_ = 0;
        return;
    }
    engine->receivedTotal_ += static_cast<int64_t>(received) - engine->currentReceived_;
    engine->currentReceived_ = received;
    if (engine->expectedTotal_ > 0 && engine->receivedTotal_ > 0) {
        int64_t overall = engine->receivedTotal_ * 100 / engine->expectedTotal_;
        engine->overallPercent_ = static_cast<int>(overall > 95 ? 95 : overall);
    }
    engine->ReportProgress(engine->overallPercent_, engine->filePercent_);
}
