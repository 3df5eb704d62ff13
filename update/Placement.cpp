// Verified files from the work folder to their targets.
//
// An installed file is never deleted to make room for its replacement, and
// never overwritten in place. The new file is first copied beside its target
// as target + ".qvtmp" and checked against the work file (size and MD5);
// only a complete, verified copy then takes the target's name:
//
//  - Windows NT family: MoveFileExA with MOVEFILE_REPLACE_EXISTING, one
//    rename within the folder, so the target is at every instant the old
//    file or the new one, whole.
//  - Windows 95/98/Me, which lack MoveFileEx: the old file is renamed aside
//    to target + ".qvold", the copy renamed onto the target, and the old file
//    then deleted. When the second rename fails the old file is renamed back.
//    Only if the process dies between the two renames is the target missing
//    for a while; the old file then waits under ".qvold" and the next check
//    or install puts it back (CleanPlacementLeftovers).
//
// A target that cannot be replaced (in use, or read-only) gets the same
// verified copy under target + ".new" instead. Copies that fail are removed,
// and so are the leftovers of a run that was stopped half-way.
#include "update/UpdateEngine.h"

#include <algorithm>
#include <map>

#include "core/Md5.h"
#include "platform/SystemHandles.h"

#include "platform/Kernel32Api.h"
#include "platform/PathKind.h"

#include <windows.h>

namespace {

const char kTempSuffix[] = ".qvtmp";   // a copy being written and checked
const char kAsideSuffix[] = ".qvold";  // the old file during a Windows 95/98/Me swap
const char kStagedSuffix[] = ".new";
const char kPatchListName[] = "QVPatch.dat";

// Names on Windows compare without regard to letter case.
std::string ToLower(std::string text)
{
    CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool SameDigest(const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) == 0; }

void DebugLine(const char* prefix, const std::string& name)
{
    OutputDebugStringA(prefix);
    OutputDebugStringA(name.c_str());
    OutputDebugStringA("\n");
}

// Deletes a file if there is one, clearing its read-only attribute first.
void ForceDelete(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    DeleteFileA(path.c_str());
}

// Clears the read-only attribute of a file, if there is one.
void ClearReadOnly(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

// True and the size when path names a file.
bool FileSize(const std::string& path, unsigned long long& size)
{
    WIN32_FIND_DATAA data;
    if (!CFindHandle(FindFirstFileA(path.c_str(), &data)))
        return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return false;
    size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

// Copies source to temp and checks the copy against source's size and the
// given digest. False, with temp removed, when the copy failed or differs
// (a full disk, a write error, the file changed under us).
bool WriteVerifiedCopy(const std::string& source, const std::string& digest, const std::string& temp)
{
    ForceDelete(temp);
    unsigned long long sourceSize = 0;
    unsigned long long copiedSize = 0;
    std::string copiedDigest;
    if (FileSize(source, sourceSize) && CopyFileA(source.c_str(), temp.c_str(), FALSE) &&
        FileSize(temp, copiedSize) && copiedSize == sourceSize && Md5File(temp.c_str(), copiedDigest) &&
        SameDigest(copiedDigest, digest))
        return true;
    ForceDelete(temp);
    return false;
}

// True when source was renamed to destination on its own volume. A move that
// would have to copy (another volume) is refused: only a rename leaves the
// bytes exactly as they were verified.
bool RenameOnVolume(const std::string& source, const std::string& destination)
{
    if (kernel32::MoveFileExA(source.c_str(), destination.c_str(), 0)) // no MOVEFILE_COPY_ALLOWED
        return true;
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return false;
    // Windows 95/98/Me: no MoveFileEx; plain drive paths on one drive rename.
    return source.size() > 3 && destination.size() > 3 && source[1] == ':' && source[2] == '\\' &&
           destination[1] == ':' && toupper(static_cast<unsigned char>(source[0])) ==
           toupper(static_cast<unsigned char>(destination[0])) && MoveFileA(source.c_str(), destination.c_str());
}

// Makes temp a whole, verified replacement for source's content. A work file
// no other record needs is renamed when it is on the same volume (its bytes
// were verified against their digest and a rename writes none, so it needs
// no space and no second check); otherwise it is copied and checked.
bool PrepareReplacement(const std::string& source, const std::string& digest, const std::string& temp,
                        bool mayMove)
{
    if (mayMove) {
        ForceDelete(temp);
        if (RenameOnVolume(source, temp))
            return true;
    }
    return WriteVerifiedCopy(source, digest, temp);
}

} // namespace

bool CUpdateEngine::MoveIntoPlace(const std::string& ready, const std::string& destination)
{
    if (fileUtil_.IsNT()) {
        if (kernel32::MoveFileExA(ready.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING))
            return true;
        if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
            return false;
    }
    // Windows 95/98/Me: the old file steps aside, and comes back on failure.
    if (!IsExistingFile(destination))
        return MoveFileA(ready.c_str(), destination.c_str()) != FALSE;
    std::string aside = destination + kAsideSuffix;
    ForceDelete(aside);
    if (!MoveFileA(destination.c_str(), aside.c_str()))
        return false; // in use: nothing changed
    if (!MoveFileA(ready.c_str(), destination.c_str())) {
        MoveFileA(aside.c_str(), destination.c_str());
        return false;
    }
    ForceDelete(aside);
    return true;
}

void CUpdateEngine::CleanPlacementLeftovers(const std::string& folder, const std::string& name,
                                            CFolderListing& listing)
{
    for (const std::string& file : {name, name + kStagedSuffix}) {
        std::string path = folder + "\\" + file;
        if (listing.HasFile(file + kAsideSuffix)) {
            if (!listing.HasFile(file) && MoveFileA((path + kAsideSuffix).c_str(), path.c_str()))
                listing.Add(file); // a swap stopped between its renames
            else
                ForceDelete(path + kAsideSuffix);
            listing.Remove(file + kAsideSuffix);
        }
        if (listing.HasFile(file + kTempSuffix)) {
            ForceDelete(path + kTempSuffix);
            listing.Remove(file + kTempSuffix);
        }
    }
}

bool CUpdateEngine::InstallCopy(const std::string& source, const std::string& digest, const std::string& destination,
                                bool mayMove)
{
    std::string temp = destination + kTempSuffix;
    if (!PrepareReplacement(source, digest, temp, mayMove))
        return false;
    if (MoveIntoPlace(temp, destination))
        return true;
    ForceDelete(temp);
    return false;
}

bool CUpdateEngine::InstallWorkFile(const std::string& source, const std::string& destination)
{
    std::string digest;
    return Md5File(source.c_str(), digest) && InstallCopy(source, digest, destination, true);
}

// The target now holds the new file; an older staged copy is stale.
CUpdateEngine::Placement CUpdateEngine::Placed(CFolderListing& listing, const std::string& name,
                                               const std::string& staged)
{
    listing.Add(name);
    if (listing.HasFile(name + kStagedSuffix)) {
        DeleteFileA(staged.c_str());
        listing.Remove(name + kStagedSuffix);
    }
    return kPlaced;
}

CUpdateEngine::Placement CUpdateEngine::PlaceRecord(const PatchRecord& record, const std::string& source,
                                                    const std::string& digest, bool mayMove)
{
    std::string target = record.targetFolder + "\\" + record.fileName;
    std::string staged = target + kStagedSuffix;
    std::string temp = target + kTempSuffix;
    // The selection read the folder: a name it did not find (and that no
    // record placed since) is not looked up again.
    CFolderListing& listing = ListingOf(record.targetFolder);
    const std::string stagedName = record.fileName + kStagedSuffix;
    // A read-only target is not forced: like one in use, it is staged.
    DWORD attributes =
        listing.HasName(record.fileName) ? GetFileAttributesA(target.c_str()) : INVALID_FILE_ATTRIBUTES;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return kNotPlaced;
    bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);

    // The verified work file itself replaces the target in one rename when
    // it may move and lies on the target's volume (NT family: the rename
    // replaces atomically and writes no bytes).
    if (mayMove && !readOnly && fileUtil_.IsNT()) {
        if (kernel32::MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) { // no copy allowed
            return Placed(listing, record.fileName, staged);
        }
        DWORD error = GetLastError();
        if (error != ERROR_NOT_SAME_DEVICE && error != ERROR_CALL_NOT_IMPLEMENTED) {
            // In use: the work file becomes the staged copy, the same way.
            ClearReadOnly(staged);
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                kernel32::MoveFileExA(source.c_str(), staged.c_str(), MOVEFILE_REPLACE_EXISTING)) {
                listing.Add(stagedName);
                return kStaged;
            }
        }
    }

    // Otherwise through a verified temporary file beside the target.
    if (!PrepareReplacement(source, digest, temp, mayMove))
        return kNotPlaced;
    if (!readOnly && MoveIntoPlace(temp, target))
        return Placed(listing, record.fileName, staged);
    // An older staged copy (possibly extracted read-only) gives way to this one.
    ClearReadOnly(staged);
    if (!IsExistingFolder(staged) && MoveIntoPlace(temp, staged)) {
        listing.Add(stagedName);
        return kStaged;
    }
    ForceDelete(temp);
    return kNotPlaced;
}

// Compares the work file with fileMd5; when they differ, the package with
// packageMd5 tells a damaged download ("Failed Md5") from a file altered
// after a correct download ("Warring Infection"). Neither is installed.
CUpdateEngine::Verdict CUpdateEngine::VerifyRecord(const PatchRecord& record, std::string& digest)
{
    std::string file = workFolder_ + "\\" + record.fileName;
    if (!Md5File(file.c_str(), digest))
        return kNoWorkFile; // its download or extraction failed
    if (SameDigest(digest, record.fileMd5))
        return kVerified;

    std::string package = workFolder_ + "\\" + record.packageName;
    std::string packageDigest;
    if (IsExistingFile(package) && Md5File(package.c_str(), packageDigest) &&
        SameDigest(packageDigest, record.packageMd5)) {
        DebugLine("Warring Infection : ", record.fileName);
        return kFileAltered;
    }
    DebugLine("Failed Md5 : ", record.fileName);
    return kPackageDamaged;
}

void CUpdateEngine::FailRecord(const PatchRecord& record, bool& failed)
{
    lastFailedFile_ = record.fileName;
    failed = true;
}

// Places every record in list order. A record fails (and the run's result
// becomes 4) when its names are refused, its work file is missing or does
// not match its digest, or its copy cannot be written or moved into place;
// its target keeps the old file, and the others go on. A damaged package
// stops the placement at once: the records after it are left untouched.
// The patch list is copied into the base folder, the same safe way, only
// when every record landed; a failed copy of it fails the run too.
int32_t CUpdateEngine::PlaceFiles(std::deque<PatchRecord>& todo)
{
    bool failed = false;
    bool staged = false;

    // A work file that only one record places can be moved instead of copied.
    std::map<std::string, int> uses;
    for (const PatchRecord& record : todo)
        ++uses[ToLower(record.fileName)];

    for (const PatchRecord& record : todo) {
        if (!NamesAccepted(record) || record.deleteFlag != 0) {
            OutputDebugStringA(("[CUpdateEngine::PlaceFiles][refused name '" + record.fileName + "']\n").c_str());
            FailRecord(record, failed);
            continue;
        }
        if (std::find(damagedPackages_.begin(), damagedPackages_.end(), record.fileName) != damagedPackages_.end()) {
            lastFailedFile_ = record.fileName;
            return UPD_RESULT_BAD_FILE;
        }
        std::string digest;
        Verdict verdict = VerifyRecord(record, digest);
        if (verdict == kPackageDamaged) {
            lastFailedFile_ = record.fileName;
            return UPD_RESULT_BAD_FILE;
        }
        if (verdict != kVerified) {
            FailRecord(record, failed);
            continue;
        }

        std::string source = workFolder_ + "\\" + record.fileName;
        switch (PlaceRecord(record, source, digest, uses[ToLower(record.fileName)] == 1)) {
        case kPlaced:
            if (record.registerFlag != 0)
                RegisterComponent((record.targetFolder + "\\" + record.fileName).c_str());
            break;
        case kStaged:
            staged = true;
            break;
        case kNotPlaced:
            FailRecord(record, failed);
            break;
        }
    }

    if (!failed) {
        std::string list = workFolder_ + "\\" + kPatchListName;
        std::string digest;
        if (!Md5File(list.c_str(), digest) ||
            !InstallCopy(list, digest, baseFolder_ + "\\" + kPatchListName, true)) {
            lastFailedFile_ = kPatchListName;
            failed = true;
        }
    }

    // A failure outweighs a staged file: 1 tells the caller that everything
    // landed and only a restart is missing, while a failed file was not
    // installed at all and must be reported (and the list was not copied, so
    // the next run tries again). The staged copy is not lost either way: the
    // next selection finds it by its digest.
    if (failed)
        return UPD_RESULT_BAD_FILE;
    return staged ? UPD_RESULT_STAGED : UPD_RESULT_DONE;
}
