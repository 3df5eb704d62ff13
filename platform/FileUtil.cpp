#include "platform/FileUtil.h"

#include "platform/AdvApi32Api.h"
#include "platform/GroupAccess.h"

#include <cstring>
#include <vector>

namespace {

const DWORD kSecurityBufferSize = 65556;
const size_t kMaxDirectory = 259;
const DWORD kPathBufferSize = 260;

// GetShortPathNameA into a 260-byte buffer.
bool ShortName(const char* path, std::string& shortPath)
{
    char buffer[kPathBufferSize] = {0};
    DWORD length = GetShortPathNameA(path, buffer, sizeof(buffer));
    if (length == 0 || length >= sizeof(buffer))
        return false;
    shortPath = buffer;
    return true;
}

} // namespace

CFileUtil::CFileUtil()
    : isNT_(false), isNT5OrLater_(false), windowsDirSet_(false)
{
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info); // 156 bytes
    if (GetVersionExA(&info)) {
        isNT_ = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
        isNT5OrLater_ = isNT_ && info.dwMajorVersion > 4;
    }
}

CFileUtil::~CFileUtil() {}

void CFileUtil::UseWindowsDirectory(const char* dir)
{
    windowsDirSet_ = dir != nullptr;
    windowsDir_ = dir ? dir : "";
}

bool CFileUtil::GetWindowsDirectoryText(std::string& dir) const
{
    if (windowsDirSet_) {
        dir = windowsDir_;
        return !dir.empty();
    }
    char buffer[kPathBufferSize] = {0};
    UINT length = GetWindowsDirectoryA(buffer, sizeof(buffer));
    if (length == 0 || length >= sizeof(buffer))
        return false;
    dir = buffer;
    return true;
}

bool CFileUtil::SetFileAccess(const char* path, DWORD rights, bool replace)
{
    if (!path || !isNT_ || GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return false;

    SECURITY_DESCRIPTOR descriptor;
    if (!advapi32::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION))
        return false;

    std::vector<BYTE> current(kSecurityBufferSize, 0);
    DWORD needed = 0;
    if (!advapi32::GetFileSecurityA(path, DACL_SECURITY_INFORMATION, current.data(), kSecurityBufferSize, &needed))
        return false;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL oldAcl = nullptr;
    if (!advapi32::GetSecurityDescriptorDacl(current.data(), &present, &oldAcl, &defaulted) || !present || !oldAcl ||
        !advapi32::IsValidAcl(oldAcl))
        return false;

    PACL newAcl = nullptr;
    if (!BuildGroupAccessList(rights, replace, oldAcl, TRUSTEE_MASK_ALL, &newAcl))
        return false;
    bool ok = advapi32::SetSecurityDescriptorDacl(&descriptor, TRUE, newAcl, TRUE) && // list present, defaulted
              advapi32::SetFileSecurityA(path, DACL_SECURITY_INFORMATION, &descriptor);
    LocalFree(newAcl);
    return ok;
}

bool CFileUtil::GetShortPath(const char* path, std::string& shortPath)
{
    shortPath.clear();
    if (!path)
        return false;
    if (ShortName(path, shortPath))
        return true;

    std::string directory;
    std::string fileName;
    std::string shortDirectory;
    if (!SplitPath(path, directory, fileName) || !ShortName(directory.c_str(), shortDirectory))
        return false;
    std::string combined = shortDirectory + "\\" + fileName;
    if (!ShortName(combined.c_str(), shortPath)) {
        shortPath.clear();
        return false;
    }
    return true;
}

bool CFileUtil::SplitPath(const char* path, std::string& directory, std::string& fileName)
{
    if (!path)
        return false;
    const char* slash = strrchr(path, '\\');
    if (!slash)
        return false;
    directory.assign(path, slash);
    if (directory.size() > kMaxDirectory)
        directory.resize(kMaxDirectory);
    fileName = slash + 1;
    return true;
}
