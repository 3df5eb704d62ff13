// The JSON description of one update channel, read and checked before
// anything is built. Format (members not listed are an error):
//
// {
//   "channel":  "program",            header cell 1 of QVPatch.dat (text)
//   "basePath": "/Updates/Program",   URL path the channel's OUTDIR is served
//                                     at: "" (server root) or "/seg/seg..."
//   "files": [ {
//       "source":       "bin/QVUpdate.exe",  file on disk; relative paths
//                                            start at the manifest's folder
//       "fileName":     "QVUpdate.exe",      installed name (default: the
//                                            source's name)
//       "targetFolder": "",                  "" (= %BASE%), "%BASE%", "%VP%",
//                                            "%VC%", "%KV%", "%PP%", or an
//                                            absolute Windows folder
//       "restartKind":  "",                  "", "SERVICE_RESTART" or
//                                            "ENGINE_RESTART"
//       "releaseStamp": "2025061001",        text (a JSON string), required
//       "registerFlag": 0,                   0/1 or false/true
//       "package":      "cab",               "cab": fileName + ".cab", a
//                                            cabinet holding the file;
//                                            "plain": the file itself
//       "remoteFolder": "modules"            folder under basePath (and
//                                            under OUTDIR) holding the
//                                            package; "" = basePath
//   } ],
//   "deletes": [ { "targetFolder": "", "fileName": "QVOld.dll" } ]
// }
//
// Checks that keep a release installable: every name that lands in the
// installer's work folder (file names and package names) is distinct without
// regard to case and is not "QVPatch.dat" or "QVPatch.dat.sig"; names in URLs use only
// A-Z a-z 0-9 . _ - ~; a plain package's name must not contain ".cab" (the
// installer would try to extract it); a targetFolder with "%" must be
// exactly one placeholder (the installer drops any text beside it); the
// remote path of every package fits the installer's 260-byte buffer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ChannelFile {
    std::string source;        // path on disk, resolved against the manifest's folder
    std::string fileName;
    std::string targetFolder;
    std::string restartKind;   // canonical upper case, or empty
    std::string releaseStamp;
    int32_t registerFlag = 0;  // 0 or 1
    bool cabinet = false;
    std::string remoteFolder;  // relative to basePath, "" for basePath itself

    std::string PackageName() const { return cabinet ? fileName + ".cab" : fileName; }
};

struct ChannelDelete {
    std::string targetFolder;
    std::string fileName;
};

class CChannelManifest {
public:
    // Reads and checks the manifest, and that every source is a readable
    // regular file. False with error set at the first problem.
    bool Load(const std::string& path, std::string& error);

    const std::string& Channel() const { return channel_; }
    const std::string& BasePath() const { return basePath_; }
    const std::vector<ChannelFile>& Files() const { return files_; }
    const std::vector<ChannelDelete>& Deletes() const { return deletes_; }

    // The patch list's remoteFolder cell for a file: "" for the base path
    // itself, otherwise basePath + "/" + remoteFolder.
    std::string RemoteFolderCell(const ChannelFile& file) const;
    // The greatest releaseStamp (byte-wise, as the installer compares).
    std::string LatestStamp() const;

private:
    std::string channel_;
    std::string basePath_;
    std::vector<ChannelFile> files_;
    std::vector<ChannelDelete> deletes_;
};
