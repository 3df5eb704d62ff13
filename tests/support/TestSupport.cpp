#include "tests/support/TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qvtest {

namespace {

std::string FromEnvironment(const char* name, const std::string& relative)
{
    const char* base = getenv(name);
    std::string path = base ? base : ".";
    if (!relative.empty())
        path += "/" + relative;
    return NativePath(path);
}

#ifdef _WIN32
const char kSeparator = '\\';
#else
const char kSeparator = '/';
#endif

} // namespace

std::string NativePath(const std::string& linuxPath)
{
#ifdef _WIN32
    std::string path = linuxPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    if (!linuxPath.empty() && linuxPath[0] == '/')
        path = "Z:" + path;
    return path;
#else
    return linuxPath;
#endif
}

std::string SourcePath(const std::string& relative) { return FromEnvironment("QV_SOURCE_DIR", relative); }
std::string BinaryPath(const std::string& relative) { return FromEnvironment("QV_BINARY_DIR", relative); }

ScratchDir::ScratchDir()
{
#ifdef _WIN32
    char temp[MAX_PATH];
    GetTempPathA(sizeof(temp), temp);
    static unsigned counter = 0;
    for (;;) {
        char name[MAX_PATH];
        snprintf(name, sizeof(name), "%sqvtest-%lu-%u", temp, GetCurrentProcessId(), ++counter);
        if (CreateDirectoryA(name, nullptr)) {
            path_ = name;
            break;
        }
    }
#else
    char pattern[] = "/tmp/qvtest-XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made ? made : "/tmp";
#endif
}

ScratchDir::~ScratchDir() { RemoveTree(path_); }

std::string ScratchDir::File(const std::string& name) const { return path_ + kSeparator + name; }

bool ReadBytes(const std::string& path, std::vector<unsigned char>& bytes)
{
    bytes.clear();
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    unsigned char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    fclose(f);
    return true;
}

bool WriteBytes(const std::string& path, const void* data, size_t size)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = size == 0 || fwrite(data, 1, size, f) == size;
    return fclose(f) == 0 && ok;
}

bool WriteText(const std::string& path, const std::string& text) { return WriteBytes(path, text.data(), text.size()); }

#ifdef _WIN32
bool FileExists(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExists(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}
#else
bool FileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void RemoveTree(const std::string& path)
{
    DIR* dir = opendir(path.c_str());
    if (dir) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "/" + name;
            if (DirExists(child))
                RemoveTree(child);
            else
                unlink(child.c_str());
        }
        closedir(dir);
    }
    rmdir(path.c_str());
}
#endif

} // namespace qvtest
