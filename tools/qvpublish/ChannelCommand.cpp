// qvpublish channel [--mode 0|1|2] [--gcab PROGRAM]
//                   [--sign KEYFILE --serial N --channel program|database] MANIFEST.json OUTDIR
//
// Builds one update channel (manifest format in ChannelManifest.h) into
// OUTDIR, the folder the web server serves at the manifest's basePath:
//   OUTDIR/QVPatch.dat                     the patch list
//   OUTDIR/PACKAGE                         packages with an empty remoteFolder
//   OUTDIR/REMOTEFOLDER/PACKAGE            the others; their records name the
//                                          folder as basePath + "/" + REMOTEFOLDER
//
// QVPatch.dat: row 1 is the header (channel name, the greatest release
// stamp); then one row of 11 cells per file, in manifest order, then one
// per delete record:
//   remoteFolder, fileMd5, targetFolder, fileName, restartKind,
//   releaseStamp, packageName, packageMd5   kind-3 UTF-8 texts
//   size (package bytes)                    kind 4
//   registerFlag, deleteFlag                kind 6
// A delete record holds only targetFolder and fileName (other texts empty,
// numbers 0) and deleteFlag 1.
//
// Everything is built in a temporary folder next to OUTDIR first; any
// failure before the final moves leaves OUTDIR exactly as it was. The
// packages are moved in before QVPatch.dat, so a server that is live while
// the release is published never lists a package it does not have yet.
// Packages of earlier releases that the new list no longer names stay.
//
// With --sign, OUTDIR/QVPatch.dat.sig is the list's release signature for
// the given channel (core/ReleaseSignature.h); it is made from the list
// in the temporary folder and moved in after the packages, just before the
// list. (Between those two renames a client may read an old list with the
// new signature and refuse it; it never gets a pair that verifies but does
// not belong together.)
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/Md5.h"
#include "core/TableFile.h"
#include "tools/qvpublish/CabinetMaker.h"
#include "tools/qvpublish/ChannelManifest.h"
#include "tools/qvpublish/Commands.h"
#include "tools/qvpublish/FileTree.h"
#include "tools/qvpublish/ReleaseSigning.h"
#include "tools/qvpublish/TableOutput.h"
#include "tools/qvpublish/ToolSupport.h"

#include <unistd.h>

const char kChannelUsage[] =
    "  qvpublish channel [--mode 0|1|2] [--gcab PROGRAM] MANIFEST.json OUTDIR\n"
    "            [--sign KEYFILE --serial N --channel program|database]\n"
    "                                                  build QVPatch.dat and the packages of a channel\n";

namespace {

const char kPatchListName[] = "QVPatch.dat";
const char kSignatureName[] = "QVPatch.dat.sig";
const char kStageFolder[] = "stage";  // per-file copies that gcab packs
const char kTreeFolder[] = "tree";    // the channel as it will stand in OUTDIR
const int32_t kMaxPackageSize = 0x7FFFFFFF;

// What a built file adds to the patch list.
struct BuiltFile {
    std::string fileMd5;
    std::string packageMd5;
    int32_t size = 0;
    std::string packagePath;   // in the temporary tree
    std::string relativePath;  // under OUTDIR
};

// Removes the temporary folder on every way out.
class CTemporaryFolder {
public:
    ~CTemporaryFolder()
    {
        if (!path.empty())
            RemoveTree(path);
    }
    std::string path;
};

bool BuildPackage(const ChannelFile& file, size_t index,
                  const std::string& temporary, const std::string& gcab, BuiltFile& built, std::string& error)
{
    built.relativePath = JoinPath(file.remoteFolder, file.PackageName());
    built.packagePath = JoinPath(JoinPath(temporary, kTreeFolder), built.relativePath);
    if (!MakeFolders(FolderOf(built.packagePath), error))
        return false;
    // The digests describe the copy that is packed, so a source that changes
    // meanwhile cannot make the list disagree with its package.
    std::string packed = built.packagePath;
    if (file.cabinet) {
        std::string stage = JoinPath(JoinPath(temporary, kStageFolder), std::to_string(index));
        packed = JoinPath(stage, file.fileName);
        if (!MakeFolders(stage, error) || !CopyFileKeepingTime(file.source, packed, error) ||
            !MakeCabinet(gcab, stage, file.fileName, built.packagePath, error))
            return false;
    } else if (!CopyFileKeepingTime(file.source, packed, error)) {
        return false;
    }
    uint64_t size = 0;
    if (!Md5File(packed.c_str(), built.fileMd5) || !Md5File(built.packagePath.c_str(), built.packageMd5) ||
        !RegularFileSize(built.packagePath, size)) {
        error = "cannot read back the package of " + file.fileName;
        return false;
    }
    if (size > static_cast<uint64_t>(kMaxPackageSize)) {
        error = "the package of " + file.fileName + " is larger than 2 GiB, more than the size cell holds";
        return false;
    }
    built.size = static_cast<int32_t>(size);
    return true;
}

bool AddFileRow(CTableFile& table, const CChannelManifest& manifest, const ChannelFile& file, const BuiltFile& built)
{
    return table.AddRow() && AddUtf8Cell(table, manifest.RemoteFolderCell(file)) &&
           AddUtf8Cell(table, built.fileMd5) && AddUtf8Cell(table, file.targetFolder) &&
           AddUtf8Cell(table, file.fileName) && AddUtf8Cell(table, file.restartKind) &&
           AddUtf8Cell(table, file.releaseStamp) && AddUtf8Cell(table, file.PackageName()) &&
           AddUtf8Cell(table, built.packageMd5) && table.AddNumber4(built.size) &&
           table.AddNumber6(file.registerFlag) && table.AddNumber6(0);
}

bool AddDeleteRow(CTableFile& table, const ChannelDelete& record)
{
    const std::string none;
    return table.AddRow() && AddUtf8Cell(table, none) && AddUtf8Cell(table, none) &&
           AddUtf8Cell(table, record.targetFolder) && AddUtf8Cell(table, record.fileName) &&
           AddUtf8Cell(table, none) && AddUtf8Cell(table, none) && AddUtf8Cell(table, none) &&
           AddUtf8Cell(table, none) && table.AddNumber4(0) && table.AddNumber6(0) && table.AddNumber6(1);
}

// The first part of path that exists but is not what the final move needs
// (a file where a folder must be, or a folder where the file goes); "" if none.
std::string FirstBlocker(const std::string& path)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        std::string folder = path.substr(0, slash);
        if (PathExists(folder) && !IsFolder(folder))
            return folder;
    }
    return IsFolder(path) ? path : std::string();
}

// Moves the built packages, then the list's signature (when signed), then
// the list, from the temporary tree into OUTDIR.
bool Publish(const std::vector<BuiltFile>& built, const std::string& list, const std::string& signature,
             const std::string& outdir, std::string& error)
{
    if (!MakeFolders(outdir, error))
        return false;
    for (const BuiltFile& file : built) {
        std::string target = JoinPath(outdir, file.relativePath);
        if (!MakeFolders(FolderOf(target), error) || !MoveInto(file.packagePath, target, error)) {
            error += " (" + outdir + " may hold some new packages; its QVPatch.dat is unchanged)";
            return false;
        }
    }
    if (!signature.empty() && !MoveInto(signature, JoinPath(outdir, kSignatureName), error)) {
        error += " (" + outdir + " may hold some new packages; its QVPatch.dat is unchanged)";
        return false;
    }
    if (!MoveInto(list, JoinPath(outdir, kPatchListName), error)) {
        if (!signature.empty())
            error += " (" + outdir + " holds the new " + kSignatureName + " beside the old list)";
        return false;
    }
    return true;
}

} // namespace

int RunChannelCommand(const ToolArgs& args)
{
    CToolOptions options;
    std::string error;
    if (!options.Parse(args, {"mode", "gcab", "sign", "serial", "channel"}, error))
        return UsageError(error);
    if (options.Positional().size() != 2)
        return UsageError("channel needs MANIFEST.json and OUTDIR");
    int mode = kDefaultPublishMode;
    if (!ReadPublishMode(options, mode, error))
        return UsageError(error);
    CReleaseKey key;
    SigningRequest request;
    bool signing = false;
    if (int code = ReadSigningOptions(options, true, key, request, signing))
        return code;
    std::string gcab = options.Has("gcab") ? options.Value("gcab") : "gcab";
    const std::string& manifestPath = options.Positional()[0];
    std::string outdir = options.Positional()[1];
    while (outdir.size() > 1 && outdir.back() == '/')
        outdir.pop_back();
    if (outdir.empty())
        return UsageError("OUTDIR must not be empty");

    CChannelManifest manifest;
    if (!manifest.Load(manifestPath, error))
        return Fail(error);
    // Find what would stop the final moves now, before anything is built.
    std::vector<std::string> targets = {JoinPath(outdir, kPatchListName)};
    if (signing)
        targets.push_back(JoinPath(outdir, kSignatureName));
    for (const ChannelFile& file : manifest.Files())
        targets.push_back(JoinPath(JoinPath(outdir, file.remoteFolder), file.PackageName()));
    for (const std::string& target : targets) {
        std::string blocker = FirstBlocker(target);
        if (!blocker.empty())
            return Fail("cannot place " + target + ": " + blocker + " is in the way");
    }

    CTemporaryFolder temporary;
    if (!MakeTemporaryFolderNear(outdir, temporary.path, error))
        return Fail(error);
    // gcab runs in another folder: hand it an absolute cabinet path.
    if (temporary.path[0] != '/') {
        char* cwd = getcwd(nullptr, 0);
        if (!cwd)
            return Fail("cannot find the current folder");
        temporary.path = JoinPath(cwd, temporary.path);
        free(cwd);
    }

    std::vector<BuiltFile> built(manifest.Files().size());
    CTableFile table;
    bool ok = table.AddRow() && AddUtf8Cell(table, manifest.Channel()) && AddUtf8Cell(table, manifest.LatestStamp());
    for (size_t i = 0; ok && i < manifest.Files().size(); ++i) {
        const ChannelFile& file = manifest.Files()[i];
        if (!BuildPackage(file, i, temporary.path, gcab, built[i], error))
            return Fail(error);
        ok = AddFileRow(table, manifest, file, built[i]);
    }
    for (const ChannelDelete& record : manifest.Deletes())
        ok = ok && AddDeleteRow(table, record);
    if (!ok)
        return Fail("out of memory");
    std::string list = JoinPath(JoinPath(temporary.path, kTreeFolder), kPatchListName);
    if (!MakeFolders(FolderOf(list), error))
        return Fail(error);
    if (!table.Save(list.c_str(), nullptr, 0, mode, true))
        return Fail("cannot write " + list);
    std::string signature;
    if (signing) {
        signature = JoinPath(JoinPath(temporary.path, kTreeFolder), kSignatureName);
        if (!WriteSignatureFor(request, list, signature, error))
            return Fail(error);
    }
    if (!Publish(built, list, signature, outdir, error))
        return Fail(error);
    if (!signing)
        WarnOfStaleSignature(JoinPath(outdir, kPatchListName));
    return kExitOk;
}
