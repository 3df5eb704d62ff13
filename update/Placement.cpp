// Verified files from the work folder to their targets.
#include "update/UpdateEngine.h"

#include "sysinfo/Md5.h"

#include "platform/PathKind.h"

#include <windows.h>

namespace {

bool SameDigest(const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) == 0; }

void DebugLine(const char* prefix, const std::string& name)
{
    OutputDebugStringA(prefix);
    OutputDebugStringA(name.c_str());
    OutputDebugStringA("\n");
}

// Deletes a file, clearing its read-only attribute first.
void ForceDelete(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    DeleteFileA(path.c_str());
}

} // namespace

// Compares the package and the extracted file with their digests. A file that
// differs from its digest fails the record; when the package itself was
// damaged the whole placement stops (returns false), when the package was
// intact the file was altered after extraction and is still installed.
bool CUpdateEngine::VerifyRecord(const PatchRecord& record, int32_t& result, bool& copyPatchList)
{
    std::string package = workFolder_ + "\\" + record.packageName;
    std::string digest;
    bool packageIntact = IsExistingFile(package) && Md5File(package.c_str(), digest) && SameDigest(digest, record.packageMd5);

    std::string file = workFolder_ + "\\" + record.fileName;
    if (!Md5File(file.c_str(), digest) || SameDigest(digest, record.fileMd5))
        return true;
    result = UPD_RESULT_BAD_FILE;
    lastFailedFile_ = record.fileName;
    copyPatchList = false;
    if (packageIntact) {
        DebugLine("Warring Infection : ", record.fileName);
        return true;
    }
    DebugLine("Failed Md5 : ", record.fileName);
    return false;
}

// Each verified file replaces its target; a target that cannot be removed (in
// use or read-only) gets the new file beside it as ".new". An installed file
// is never removed unless its replacement is in hand: a record whose file is
// missing or unreadable in the work folder (failed download or extraction)
// leaves the target alone and counts as failed, so the next run tries again.
int32_t CUpdateEngine::PlaceFiles(std::deque<PatchRecord>& todo)
{
    int32_t result = UPD_RESULT_DONE;
    bool copyPatchList = true;

    for (const PatchRecord& record : todo) {
        if (!VerifyRecord(record, result, copyPatchList))
            return UPD_RESULT_BAD_FILE;

        std::string target = record.targetFolder + "\\" + record.fileName;
        std::string staged = target + ".new";
        std::string source = workFolder_ + "\\" + record.fileName;

        std::string sourceDigest;
        if (!Md5File(source.c_str(), sourceDigest)) {
            result = UPD_RESULT_BAD_FILE;
            lastFailedFile_ = record.fileName;
            copyPatchList = false;
            continue;
        }

        bool removed = !IsExistingFile(target) || DeleteFileA(target.c_str());
        if (IsExistingFile(staged))
            DeleteFileA(staged.c_str());

        if (removed) {
            if (IsExistingFile(target))
                ForceDelete(target);
            if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) {
                // The old file is gone and the new one did not land: the next
                // run sees the target missing and fetches it again.
                result = UPD_RESULT_BAD_FILE;
                lastFailedFile_ = record.fileName;
                copyPatchList = false;
                continue;
            }
            if (record.registerFlag != 0)
                RegisterComponent(target.c_str());
        } else {
            if (IsExistingFile(staged))
                ForceDelete(staged);
            CopyFileA(source.c_str(), staged.c_str(), FALSE);
            result = UPD_RESULT_STAGED;
        }
    }

    if (copyPatchList) {
        std::string source = workFolder_ + "\\QVPatch.dat";
        std::string destination = baseFolder_ + "\\QVPatch.dat";
        if (IsExistingFile(destination))
            DeleteFileA(destination.c_str());
        CopyFileA(source.c_str(), destination.c_str(), FALSE);
        if (result != UPD_RESULT_STAGED)
            result = UPD_RESULT_DONE;
    }
    return result;
}
