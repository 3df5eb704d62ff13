// The patch list "QVPatch.dat": reading it and deciding what to fetch.
#include "update/UpdateEngine.h"

#include "core/Md5.h"
#include "core/NameCheck.h"
#include "core/PatchListReader.h"
#include "core/TableFile.h"

#include "platform/PathKind.h"

#include <windows.h>
#include <cstring>

namespace {

const char kPatchListName[] = "QVPatch.dat";

bool SameDigest(const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) == 0; }

int32_t RestartFlag(const std::string& restartKind)
{
    if (_stricmp(restartKind.c_str(), "SERVICE_RESTART") == 0)
        return UPD_SERVICE_RESTART;
    if (_stricmp(restartKind.c_str(), "ENGINE_RESTART") == 0)
        return UPD_ENGINE_RESTART;
    return 0;
}

} // namespace

bool CUpdateEngine::FetchPatchList() { return FetchFile(remoteBasePath_.c_str(), kPatchListName); }

// Reads the list's rows (core/PatchListReader.h); a record's empty remote
// folder becomes the server's base path, and its target folder is expanded
// (and created) only when its names are accepted.
bool CUpdateEngine::ParsePatchList(const char* path, std::deque<PatchRecord>& records)
{
    if (!path || !IsExistingFile(path))
        return false;
    CTableFile table;
    if (!table.Open(path, nullptr, 0))
        return false;

    std::deque<PatchRecord> read;
    ReadPatchListRows(table, headerValues_, read);
    for (PatchRecord& record : read) {
        if (record.remoteFolder.empty())
            record.remoteFolder = remoteBasePath_;
        std::string targetFolder = record.targetFolder;
        record.targetFolder.clear();
        if (NamesAccepted(record))
            ExpandTargetFolder(targetFolder, record.targetFolder);
        // Plain byte order, so "9" is greater than "10".
        if (latestReleaseStamp_ < record.releaseStamp)
            latestReleaseStamp_ = record.releaseStamp;
        records.push_back(record);
    }
    return true;
}

bool CUpdateEngine::NamesAccepted(const PatchRecord& record)
{
    if (!IsPlainFileName(record.fileName))
        return false;
    return IsPlainFileName(record.packageName) || (record.deleteFlag != 0 && record.packageName.empty());
}

CFolderListing& CUpdateEngine::ListingOf(const std::string& folder)
{
    std::string key = CFolderListing::Key(folder);
    for (auto& entry : listings_)
        if (entry.first == key)
            return entry.second;
    listings_.emplace_back(key, CFolderListing());
    listings_.back().second.Load(folder);
    return listings_.back().second;
}

bool CUpdateEngine::SelectUpdates(std::deque<PatchRecord>& todo, int32_t& flags)
{
    progress_.ResetTotals();

    std::deque<PatchRecord> records;
    std::string listPath = workFolder_ + "\\" + kPatchListName;
    if (!ParsePatchList(listPath.c_str(), records))
        return false;

    // Each target folder is read once; the records ask it about their files.
    listings_.clear();
    flags = 0;
    for (const PatchRecord& record : records) {
        // A name that is a path or a device never reaches the file system:
        // the install fails the record without fetching or deleting anything.
        if (!NamesAccepted(record)) {
            todo.push_back(record);
            continue;
        }
        std::string target = record.targetFolder + "\\" + record.fileName;
        std::string staged = target + ".new";
        CFolderListing& listing = ListingOf(record.targetFolder);

        if (record.deleteFlag != 0) {
            // A file in use is removed at the next start of Windows.
            if (listing.HasFile(record.fileName)) {
                if (DeleteFileA(target.c_str()))
                    listing.Remove(record.fileName);
                else
                    fileUtil_.DeleteNowOrOnRestart(target.c_str());
            }
            continue;
        }
        CleanPlacementLeftovers(record.targetFolder, record.fileName, listing);

        bool select = false;
        if (!listing.HasFile(record.fileName)) {
            select = true;
        } else {
            std::string digest;
            if (!Md5File(target.c_str(), digest) || SameDigest(digest, record.fileMd5))
                continue; // unreadable, or up to date
            if (!listing.HasFile(record.fileName + ".new")) {
                select = true;
            } else {
                if (!Md5File(staged.c_str(), digest))
                    continue;
                if (!SameDigest(digest, record.fileMd5)) {
                    select = true;
                } else {
                    // A previous run staged the new file already: only a restart is missing.
                    int32_t restart = RestartFlag(record.restartKind);
                    if (restart == 0)
                        continue;
                    flags |= restart | UPD_STAGED;
                    select = true;
                }
            }
        }
        if (select) {
            progress_.AddExpected(record.size);
            todo.push_back(record);
            flags |= RestartFlag(record.restartKind);
        }
    }
    return true;
}
