#include "tools/qvpublish/ChannelManifest.h"

#include <cstdio>
#include <map>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include "tools/qvpublish/FileTree.h"
#include "tools/qvpublish/JsonInput.h"
#include "tools/qvpublish/TableOutput.h"

using nlohmann::json;

namespace {

const char kPatchListName[] = "QVPatch.dat";
const char kSignatureName[] = "QVPatch.dat.sig";  // the list's release signature, beside it
const char kCabinetMark[] = ".cab";  // the installer extracts every package whose name holds it
const size_t kMaxRemotePath = 259;   // the installer's 260-byte buffer, terminator included
const char* const kPlaceholders[] = {"%BASE%", "%VP%", "%VC%", "%KV%", "%PP%"};

std::string Lower(const std::string& text)
{
    std::string lower = text;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

std::string Upper(const std::string& text)
{
    std::string upper = text;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

// A name that travels in a URL unescaped.
bool IsUrlName(const std::string& name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    for (char c : name) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                  c == '_' || c == '-' || c == '~';
        if (!ok)
            return false;
    }
    return true;
}

// A name Windows accepts for a file in a folder (no folder part).
bool IsWindowsFileName(const std::string& name)
{
    if (name.empty() || name == "." || name == ".." || name.back() == '.' || name.back() == ' ')
        return false;
    for (unsigned char c : name)
        if (c < 0x20 || std::string("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string::npos)
            return false;
    return IsCleanUtf8(name);
}

// "seg/seg" made of URL names; empty allowed.
bool IsRelativeUrlPath(const std::string& path)
{
    if (path.empty())
        return true;
    size_t start = 0;
    for (;;) {
        size_t slash = path.find('/', start);
        if (!IsUrlName(path.substr(start, slash == std::string::npos ? std::string::npos : slash - start)))
            return false;
        if (slash == std::string::npos)
            return true;
        start = slash + 1;
    }
}

bool IsTargetFolder(const std::string& folder, std::string& problem)
{
    if (folder.empty())
        return true;
    if (folder.find('%') != std::string::npos) {
        for (const char* token : kPlaceholders)
            if (folder == token)
                return true;
        problem = "must be exactly one of %BASE%, %VP%, %VC%, %KV%, %PP% (the installer drops any text "
                  "beside a placeholder and creates no sub-folder)";
        return false;
    }
    bool drive = folder.size() >= 3 && ((folder[0] >= 'A' && folder[0] <= 'Z') || (folder[0] >= 'a' && folder[0] <= 'z')) &&
                 folder[1] == ':' && folder[2] == '\\';
    bool share = folder.compare(0, 2, "\\\\") == 0;
    if (!(drive || share) || !IsCleanUtf8(folder)) {
        problem = "must be empty, a placeholder or an absolute Windows folder such as C:\\Folder";
        return false;
    }
    return true;
}

// Same folder on the installing machine: "" and "%BASE%" are one folder.
std::string FolderKey(const std::string& folder)
{
    return folder.empty() ? std::string("%base%") : Lower(folder);
}

// Reads the listed members of object into the matching slots; false for an
// unknown member or a member of the wrong type.
class CMemberReader {
public:
    CMemberReader(const json& object, const std::string& where) : object_(object), where_(where) {}

    bool Check(const std::vector<std::string>& known, std::string& error) const
    {
        if (!object_.is_object()) {
            error = where_ + " must be an object, not " + JsonTypeName(object_);
            return false;
        }
        for (auto it = object_.begin(); it != object_.end(); ++it) {
            bool isKnown = false;
            for (const std::string& name : known)
                isKnown = isKnown || name == it.key();
            if (!isKnown) {
                error = "unknown member \"" + it.key() + "\" in " + where_;
                return false;
            }
        }
        return true;
    }

    bool Text(const char* name, bool required, std::string& value, std::string& error) const
    {
        if (!object_.contains(name)) {
            if (required)
                error = where_ + " needs \"" + name + "\"";
            return !required;
        }
        const json& member = object_[name];
        if (!member.is_string()) {
            error = where_ + "." + name + " must be text (a JSON string), not " + JsonTypeName(member);
            return false;
        }
        value = member.get<std::string>();
        if (!IsCleanUtf8(value)) {
            error = where_ + "." + name + " must not hold a zero character";
            return false;
        }
        return true;
    }

    bool Flag(const char* name, int32_t& value, std::string& error) const
    {
        if (!object_.contains(name))
            return true;
        const json& member = object_[name];
        if (member.is_boolean()) {
            value = member.get<bool>() ? 1 : 0;
            return true;
        }
        if (member.is_number_integer() && (member == 0 || member == 1)) {
            value = member.get<int32_t>();
            return true;
        }
        error = where_ + "." + name + " must be 0, 1, false or true";
        return false;
    }

private:
    const json& object_;
    std::string where_;
};

bool ReadFile(const json& entry, size_t index, const std::string& manifestFolder, ChannelFile& file,
              std::string& error)
{
    CMemberReader reader(entry, "files[" + std::to_string(index) + "]");
    std::string where = "files[" + std::to_string(index) + "]";
    std::string package, source;
    bool ok = reader.Check({"source", "fileName", "targetFolder", "restartKind", "releaseStamp",
                            "registerFlag", "package", "remoteFolder"},
                           error) &&
              reader.Text("source", true, source, error) && reader.Text("fileName", false, file.fileName, error) &&
              reader.Text("targetFolder", false, file.targetFolder, error) &&
              reader.Text("restartKind", false, file.restartKind, error) &&
              reader.Text("releaseStamp", true, file.releaseStamp, error) &&
              reader.Flag("registerFlag", file.registerFlag, error) &&
              reader.Text("package", true, package, error) &&
              reader.Text("remoteFolder", false, file.remoteFolder, error);
    if (!ok)
        return false;

    file.source = !source.empty() && source[0] == '/' ? source : JoinPath(manifestFolder, source);
    if (source.empty() || !IsRegularFile(file.source) || access(file.source.c_str(), R_OK) != 0) {
        error = where + ": source file " + file.source + " is missing or unreadable";
        return false;
    }
    if (file.fileName.empty())
        file.fileName = BaseNameOf(source);
    if (!IsUrlName(file.fileName) || file.fileName.back() == '.') {
        error = where + ": fileName \"" + file.fileName +
                "\" must be a plain file name of A-Z a-z 0-9 . _ - ~ (it is part of the download URL)";
        return false;
    }
    if (package == "cab") {
        file.cabinet = true;
    } else if (package == "plain") {
        if (file.fileName.find(kCabinetMark) != std::string::npos) {
            error = where + ": a plain package named \"" + file.fileName +
                    "\" holds \".cab\", so the installer would try to extract it; use \"package\": \"cab\"";
            return false;
        }
    } else {
        error = where + ": unknown package kind \"" + package + "\" (cab or plain)";
        return false;
    }
    std::string problem;
    if (!IsTargetFolder(file.targetFolder, problem)) {
        error = where + ": targetFolder \"" + file.targetFolder + "\" " + problem;
        return false;
    }
    std::string kind = Upper(file.restartKind);
    if (!kind.empty() && kind != "SERVICE_RESTART" && kind != "ENGINE_RESTART") {
        error = where + ": restartKind \"" + file.restartKind + "\" must be empty, SERVICE_RESTART or ENGINE_RESTART";
        return false;
    }
    file.restartKind = kind;
    if (file.releaseStamp.empty()) {
        error = where + ": releaseStamp must not be empty";
        return false;
    }
    if (!IsRelativeUrlPath(file.remoteFolder)) {
        error = where + ": remoteFolder \"" + file.remoteFolder +
                "\" must be a relative folder such as \"modules\" or \"a/b\" (A-Z a-z 0-9 . _ - ~)";
        return false;
    }
    return true;
}

bool ReadDelete(const json& entry, size_t index, ChannelDelete& record, std::string& error)
{
    std::string where = "deletes[" + std::to_string(index) + "]";
    CMemberReader reader(entry, where);
    bool ok = reader.Check({"targetFolder", "fileName"}, error) &&
              reader.Text("targetFolder", false, record.targetFolder, error) &&
              reader.Text("fileName", true, record.fileName, error);
    if (!ok)
        return false;
    if (!IsWindowsFileName(record.fileName)) {
        error = where + ": fileName \"" + record.fileName + "\" is not a Windows file name";
        return false;
    }
    std::string problem;
    if (!IsTargetFolder(record.targetFolder, problem)) {
        error = where + ": targetFolder \"" + record.targetFolder + "\" " + problem;
        return false;
    }
    return true;
}

} // namespace

bool CChannelManifest::Load(const std::string& path, std::string& error)
{
    channel_.clear();
    basePath_.clear();
    files_.clear();
    deletes_.clear();
    json manifest;
    if (!ReadJsonFile(path, manifest, error))
        return false;
    error.clear();
    if (!manifest.is_object()) {
        error = path + ": the manifest must be a JSON object";
        return false;
    }
    CMemberReader reader(manifest, "the manifest");
    if (!reader.Check({"channel", "basePath", "files", "deletes"}, error) ||
        !reader.Text("channel", true, channel_, error) || !reader.Text("basePath", true, basePath_, error)) {
        error = path + ": " + error;
        return false;
    }
    if (!basePath_.empty() && (basePath_[0] != '/' || !IsRelativeUrlPath(basePath_.substr(1)))) {
        error = path + ": basePath \"" + basePath_ + "\" must be \"\" or \"/folder/folder...\" (A-Z a-z 0-9 . _ - ~, no final /)";
        return false;
    }
    for (const char* list : {"files", "deletes"}) {
        if (manifest.contains(list) && !manifest[list].is_array()) {
            error = path + ": " + list + " must be an array";
            return false;
        }
    }

    std::string manifestFolder = FolderOf(path);
    const json none = json::array();
    const json& files = manifest.contains("files") ? manifest["files"] : none;
    const json& deletes = manifest.contains("deletes") ? manifest["deletes"] : none;
    // Names in the installer's work folder, without regard to case.
    std::map<std::string, std::string> workNames = {{Lower(kPatchListName), "the patch list"},
                                                    {Lower(kSignatureName), "the patch list's signature"}};
    for (size_t i = 0; i < files.size(); ++i) {
        ChannelFile file;
        if (!ReadFile(files[i], i, manifestFolder, file, error)) {
            error = path + ": " + error;
            return false;
        }
        std::string where = "files[" + std::to_string(i) + "]";
        std::vector<std::string> names = {file.fileName};
        if (file.cabinet)
            names.push_back(file.PackageName());
        for (const std::string& name : names) {
            auto known = workNames.find(Lower(name));
            if (known != workNames.end()) {
                error = path + ": " + where + ": \"" + name + "\" clashes with " + known->second +
                        " (the installer downloads every file of a channel into one folder)";
                return false;
            }
            workNames[Lower(name)] = "\"" + name + "\" of " + where;
        }
        std::string remote = RemoteFolderCell(file);
        if ((remote.empty() ? basePath_ : remote).size() + 1 + file.PackageName().size() > kMaxRemotePath) {
            error = path + ": " + where + ": the download path is longer than 259 bytes";
            return false;
        }
        files_.push_back(file);
    }
    std::map<std::string, std::string> targets;
    for (const ChannelFile& file : files_)
        targets[FolderKey(file.targetFolder) + "\\" + Lower(file.fileName)] = "files";
    for (size_t i = 0; i < deletes.size(); ++i) {
        ChannelDelete record;
        if (!ReadDelete(deletes[i], i, record, error)) {
            error = path + ": " + error;
            return false;
        }
        std::string key = FolderKey(record.targetFolder) + "\\" + Lower(record.fileName);
        if (targets.count(key)) {
            error = path + ": deletes[" + std::to_string(i) + "]: \"" + record.fileName +
                    "\" is already named in " + targets[key] + " for the same folder";
            return false;
        }
        targets[key] = "deletes";
        deletes_.push_back(record);
    }
    return true;
}

std::string CChannelManifest::RemoteFolderCell(const ChannelFile& file) const
{
    return file.remoteFolder.empty() ? std::string() : basePath_ + "/" + file.remoteFolder;
}

std::string CChannelManifest::LatestStamp() const
{
    std::string latest;
    for (const ChannelFile& file : files_)
        if (latest < file.releaseStamp)  // std::string compares bytes, as the installer does
            latest = file.releaseStamp;
    return latest;
}
