// The patch list "QVPatch.dat": reading it and deciding what to fetch.
#include "update/UpdateEngine.h"

#include "sysinfo/Md5.h"
#include "update/NameCheck.h"
#include "update/TableFile.h"

#include "platform/PathKind.h"

#include <windows.h>
#include <cstring>

namespace {

const char kPatchListName[] = "QVPatch.dat";

bool SameDigest(const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) == 0; }

// Reads the current cell as text (empty when it is missing or a number).
std::string ReadText(const CTableFile& table)
{
    std::string text;
    table.GetText(text);
    return text;
}

// The text without leading and trailing blanks (spaces only).
std::string TrimmedBlanks(const std::string& text)
{
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

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

// Row 1 is the header (two texts kept as they are); every further row is one
// record of eleven cells: remoteFolder, fileMd5, targetFolder, fileName,
// restartKind, releaseStamp, packageName, packageMd5 (texts of any kind),
// size (number kind 4), registerFlag and deleteFlag (kind 6). Missing cells
// read as empty text or 0; a row is never rejected. The target folder is
// expanded (and created) only for a record whose names are accepted.
bool CUpdateEngine::ParsePatchList(const char* path, std::deque<PatchRecord>& records)
{
    if (!path || !IsExistingFile(path))
        return false;
    CTableFile table;
    if (!table.Open(path, nullptr, 0))
        return false;

    if (table.HasCell()) {
        headerValues_[0] = ReadText(table);
        table.NextCell();
        headerValues_[1] = ReadText(table);
        table.NextCell();
    }

    while (table.NextRow() && table.HasCell()) {
        PatchRecord record;
        record.remoteFolder = TrimmedBlanks(ReadText(table));
        if (record.remoteFolder.empty())
            record.remoteFolder = remoteBasePath_;
        table.NextCell();
        record.fileMd5 = ReadText(table);
        table.NextCell();
        std::string targetFolder = ReadText(table);
        table.NextCell();
        record.fileName = ReadText(table);
        table.NextCell();
        record.restartKind = ReadText(table);
        table.NextCell();
        record.releaseStamp = ReadText(table);
        table.NextCell();
        record.packageName = ReadText(table);
        table.NextCell();
        record.packageMd5 = ReadText(table);
        table.NextCell();
        // A size cell of another kind counts as 0 for this record.
        record.size = 0;
        table.GetNumber4(record.size);
        table.NextCell();
        table.GetNumber6(record.registerFlag);
        table.NextCell();
        table.GetNumber6(record.deleteFlag);
        table.NextCell();
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

bool CUpdateEngine::SelectUpdates(std::deque<PatchRecord>& todo, int32_t& flags)
{
    progress_.ResetTotals();

    std::deque<PatchRecord> records;
    std::string listPath = workFolder_ + "\\" + kPatchListName;
    if (!ParsePatchList(listPath.c_str(), records))
        return false;

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

        if (record.deleteFlag != 0) {
            // A file in use is removed at the next start of Windows.
            if (IsExistingFile(target) && !DeleteFileA(target.c_str()))
                fileUtil_.DeleteNowOrOnRestart(target.c_str());
            continue;
        }
        CleanPlacementLeftovers(target);

        bool select = false;
        if (!IsExistingFile(target)) {
            select = true;
        } else {
            std::string digest;
            if (!Md5File(target.c_str(), digest) || SameDigest(digest, record.fileMd5))
                continue; // unreadable, or up to date
            if (!IsExistingFile(staged)) {
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
