// Helpers shared by the test executables of both builds.
#pragma once

#include <string>
#include <vector>

namespace qvtest {

// A path under the source tree (QV_SOURCE_DIR) or the build tree (QV_BINARY_DIR),
// given with "/" separators. Under Wine the Linux path is reached through drive Z:.
std::string SourcePath(const std::string& relative);
std::string BinaryPath(const std::string& relative);

// Turns a Linux path into the path a Windows program sees ("Z:\..."); unchanged
// on the host build.
std::string NativePath(const std::string& linuxPath);

// A fresh, empty folder removed with its content when the object goes away.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + separator + name.
    std::string File(const std::string& name) const;

private:
    std::string path_;
};

bool ReadBytes(const std::string& path, std::vector<unsigned char>& bytes);
bool WriteBytes(const std::string& path, const void* data, size_t size);
bool WriteText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);
bool DirExists(const std::string& path);
void RemoveTree(const std::string& path);

} // namespace qvtest
