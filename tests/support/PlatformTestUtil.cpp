#include "tests/support/PlatformTestUtil.h"

#include <sddl.h>

namespace qvtest {

std::vector<AceInfo> ListAces(PACL acl)
{
    std::vector<AceInfo> aces;
    if (!acl)
        return aces;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!GetAce(acl, i, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        char* text = nullptr;
        ConvertSidToStringSidA(&ace->SidStart, &text);
        aces.push_back({text ? text : "", ace->Mask, ace->Header.AceFlags});
        LocalFree(text);
    }
    return aces;
}

std::vector<AceInfo> KeyAces(HKEY root, const std::string& path, bool* present)
{
    if (present)
        *present = false;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL, &key) != ERROR_SUCCESS)
        return {};
    std::vector<BYTE> buffer(65536);
    DWORD size = static_cast<DWORD>(buffer.size());
    std::vector<AceInfo> aces;
    if (RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, buffer.data(), &size) == ERROR_SUCCESS) {
        BOOL hasList = FALSE, defaulted = FALSE;
        PACL acl = nullptr;
        GetSecurityDescriptorDacl(buffer.data(), &hasList, &acl, &defaulted);
        if (present)
            *present = hasList && acl;
        aces = ListAces(acl);
    }
    RegCloseKey(key);
    return aces;
}

static bool SetKeyDacl(HKEY root, const std::string& path, PACL acl)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL | WRITE_DAC, &key) != ERROR_SUCCESS)
        return false;
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
    bool ok = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

bool CloseKeyOff(HKEY root, const std::string& path)
{
    ACL empty;
    InitializeAcl(&empty, sizeof(empty), ACL_REVISION);
    return SetKeyDacl(root, path, &empty);
}

bool OpenKeyUp(HKEY root, const std::string& path) { return SetKeyDacl(root, path, nullptr); }

void ForceDeleteTree(HKEY root, const std::string& path)
{
    OpenKeyUp(root, path);
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    std::vector<std::string> children;
    char name[1024];
    DWORD length = sizeof(name);
    for (DWORD i = 0; RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = sizeof(name))
        children.push_back(name);
    RegCloseKey(key);
    for (const std::string& child : children)
        ForceDeleteTree(root, path + "\\" + child);
    RegDeleteKeyA(root, path.c_str());
}

std::string KeySddl(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL, &key) != ERROR_SUCCESS)
        return "";
    std::vector<BYTE> buffer(65536);
    DWORD size = static_cast<DWORD>(buffer.size());
    std::string sddl;
    char* text = nullptr;
    if (RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, buffer.data(), &size) == ERROR_SUCCESS &&
        ConvertSecurityDescriptorToStringSecurityDescriptorA(buffer.data(), SDDL_REVISION_1,
                                                             DACL_SECURITY_INFORMATION, &text, nullptr))
        sddl = text;
    LocalFree(text);
    RegCloseKey(key);
    return sddl;
}

bool SetKeySddl(HKEY root, const std::string& path, const char* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    HKEY key = nullptr;
    bool ok = RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL | WRITE_DAC, &key) == ERROR_SUCCESS &&
              RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
    if (key)
        RegCloseKey(key);
    LocalFree(descriptor);
    return ok;
}

const AceInfo* FindAce(const std::vector<AceInfo>& aces, const std::string& sid)
{
    for (const AceInfo& ace : aces)
        if (ace.sid == sid)
            return &ace;
    return nullptr;
}

const AceInfo* FindWriteAce(const std::vector<AceInfo>& aces, const std::string& sid)
{
    const DWORD changes = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER |
                          GENERIC_WRITE | GENERIC_ALL;
    for (const AceInfo& ace : aces)
        if (ace.sid == sid && (ace.mask & changes))
            return &ace;
    return nullptr;
}

InUse::InUse(const std::string& path)
    : handle_(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr))
{
}

void InUse::Release()
{
    if (ok())
        CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

} // namespace qvtest
