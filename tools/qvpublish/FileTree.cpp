#include "tools/qvpublish/FileTree.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const mode_t kFolderMode = 0755;
const mode_t kFileMode = 0644;
const size_t kCopyChunk = 64 * 1024;

std::string SystemError(const std::string& what, const std::string& path)
{
    return what + " " + path + ": " + strerror(errno);
}

// Closes a descriptor on every path out of CopyFileKeepingTime.
struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor()
    {
        if (fd >= 0)
            close(fd);
    }
};

bool WriteAll(int fd, const char* data, size_t length)
{
    while (length > 0) {
        ssize_t written = write(fd, data, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

} // namespace

bool PathExists(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

bool IsFolder(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool RegularFileSize(const std::string& path, uint64_t& size)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    size = static_cast<uint64_t>(info.st_size);
    return true;
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    if (name.empty())
        return folder;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool MakeFolders(const std::string& path, std::string& error)
{
    if (path.empty())
        return true;
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/')
            continue;
        std::string part = path.substr(0, at);
        if (IsFolder(part))
            continue;
        if (mkdir(part.c_str(), kFolderMode) != 0 && !(errno == EEXIST && IsFolder(part))) {
            error = SystemError("cannot create the folder", part);
            return false;
        }
    }
    return true;
}

bool MakeTemporaryFolderNear(const std::string& target, std::string& folder, std::string& error)
{
    std::string ancestor = target.empty() ? "." : target;
    while (!IsFolder(ancestor)) {
        std::string parent = FolderOf(ancestor);
        if (parent == ancestor)
            break;
        ancestor = parent;
    }
    std::string pattern = JoinPath(ancestor, ".qvpublish-XXXXXX");
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) {
        error = SystemError("cannot create a temporary folder in", ancestor);
        return false;
    }
    folder = name.data();
    return true;
}

void RemoveTree(const std::string& path)
{
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
        return;
    if (S_ISDIR(info.st_mode)) {
        DIR* dir = opendir(path.c_str());
        if (dir) {
            std::vector<std::string> names;
            while (struct dirent* entry = readdir(dir)) {
                std::string name = entry->d_name;
                if (name != "." && name != "..")
                    names.push_back(name);
            }
            closedir(dir);
            for (const std::string& name : names)
                RemoveTree(JoinPath(path, name));
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

bool CopyFileKeepingTime(const std::string& from, const std::string& to, std::string& error)
{
    FileDescriptor in, out;
    in.fd = open(from.c_str(), O_RDONLY);
    struct stat info;
    if (in.fd < 0 || fstat(in.fd, &info) != 0) {
        error = SystemError("cannot read", from);
        return false;
    }
    out.fd = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, kFileMode);
    if (out.fd < 0) {
        error = SystemError("cannot create", to);
        return false;
    }
    std::vector<char> buffer(kCopyChunk);
    for (;;) {
        ssize_t got = read(in.fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = SystemError("cannot read", from);
            return false;
        }
        if (got == 0)
            break;
        if (!WriteAll(out.fd, buffer.data(), static_cast<size_t>(got))) {
            error = SystemError("cannot write", to);
            return false;
        }
    }
    // The cabinet records this time as the file's date; keep the vendor's.
    struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (futimens(out.fd, times) != 0 || fchmod(out.fd, kFileMode) != 0) {
        error = SystemError("cannot set the time of", to);
        return false;
    }
    int fd = out.fd;
    out.fd = -1;
    if (close(fd) != 0) {
        error = SystemError("cannot write", to);
        return false;
    }
    return true;
}

bool MoveInto(const std::string& from, const std::string& to, std::string& error)
{
    if (rename(from.c_str(), to.c_str()) != 0) {
        error = SystemError("cannot move " + from + " to", to);
        return false;
    }
    return true;
}
