#include "platform/RegistryAccess.h"

#include "core/StringUtil.h"
#include "platform/AdvApi32Api.h"
#include "platform/GroupAccess.h"
#include "platform/ShlwapiApi.h"
#include "platform/SystemHandles.h"

#include <cstring>
#include <vector>

namespace {

struct RootName {
    const char* longName;
    const char* shortName;
    HKEY root;
};

// The only roots reachable by name; performance and dynamic data are left out on purpose.
const RootName kRoots[] = {
    {"HKEY_CLASSES_ROOT", "HCR", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", "HCU", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", "HLM", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", "HU", HKEY_USERS},
    {"HKEY_CURRENT_CONFIG", "HCC", HKEY_CURRENT_CONFIG},
};

const DWORD kSecurityBufferSize = 65556;
const DWORD kKeyNameBufferSize = 1024;
// GrantKeyTreeAccess refuses longer paths and cuts paths at this length.
const size_t kTreePathRefused = 1024;
const size_t kTreePathLimit = 1023;
// Access asked for when a write opens or creates its key.
const REGSAM kWriteAccess = KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE; // 0x2001F
// Access needed to read and rewrite a key's access list.
const REGSAM kSecurityAccess = READ_CONTROL | WRITE_DAC; // 0x60000
// The groups a repair lets in: the installer runs as one of them.
const DWORD kRepairTrustees = TRUSTEE_MASK_ADMINISTRATORS | TRUSTEE_MASK_LOCAL_SYSTEM;

typedef BOOL(WINAPI* SetDescriptorControlFn)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL,
                                              SECURITY_DESCRIPTOR_CONTROL);


bool EqualsIgnoreCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        char x = (*a >= 'a' && *a <= 'z') ? *a - 'a' + 'A' : *a;
        char y = (*b >= 'a' && *b <= 'z') ? *b - 'a' + 'A' : *b;
        if (x != y)
            return false;
    }
    return *a == *b;
}

bool RootByName(const char* name, HKEY& root)
{
    if (!name)
        return false;
    std::vector<char> trimmed(name, name + strlen(name) + 1);
    TrimBlanks(trimmed.data());
    for (const RootName& entry : kRoots) {
        if (EqualsIgnoreCase(trimmed.data(), entry.longName) ||
            EqualsIgnoreCase(trimmed.data(), entry.shortName)) {
            root = entry.root;
            return true;
        }
    }
    return false;
}

// The form in which repair-scope paths are compared: ASCII letters in upper
// case, both bytes of a double-byte character as they are (a trail byte may
// look like a letter or a backslash), runs of backslashes as one and none at
// either end. Keys differing in other letters' case stay apart, which at
// worst leaves a key out of the scope.
std::string ScopeForm(const char* path)
{
    std::string form;
    bool separator = false;
    for (const char* p = path; *p; ++p) {
        if (*p == '\\') {
            separator = !form.empty();
            continue;
        }
        if (separator)
            form += '\\';
        separator = false;
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) {
            form += *p++;
            form += *p;
            continue;
        }
        form += (*p >= 'a' && *p <= 'z') ? static_cast<char>(*p - 'a' + 'A') : *p;
    }
    return form;
}

// Gives target the SE_DACL_PROTECTED flag when source has it, so a list that
// refuses its parent's entries keeps refusing them. SetSecurityDescriptorControl
// is missing from Windows NT 4.0, which has no such flag either: it is looked
// up in the advapi32 already loaded, and without it nothing is to be carried.
// False when the flag cannot be read or set.
bool CarryDaclProtection(PSECURITY_DESCRIPTOR source, PSECURITY_DESCRIPTOR target)
{
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!advapi32::GetSecurityDescriptorControl(source, &control, &revision))
        return false;
    if (!(control & SE_DACL_PROTECTED))
        return true;
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    // Through void*: the entry point is not FARPROC-shaped.
    SetDescriptorControlFn setControl =
        advapi ? reinterpret_cast<SetDescriptorControlFn>(
                     reinterpret_cast<void*>(GetProcAddress(advapi, "SetSecurityDescriptorControl")))
               : nullptr;
    if (!setControl)
        return true;
    return setControl(target, SE_DACL_PROTECTED, SE_DACL_PROTECTED) != FALSE;
}

bool IsNtPlatform()
{
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

bool IsStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// One open-or-create of the key and one store, without repair: the Win32 error code.
LONG StoreValue(HKEY root, const char* path, const char* valueName, DWORD type, const BYTE* data, DWORD size)
{
    CRegistryKey key;
    DWORD disposition = 0;
    LONG error = RegCreateKeyExA(root, path, 0, nullptr, // no class
                                 REG_OPTION_NON_VOLATILE, kWriteAccess, nullptr, // default security
                                 key.Out(), &disposition);
    if (error != ERROR_SUCCESS)
        return error;
    return RegSetValueExA(key.Get(), valueName, 0, type, data, size);
}

} // namespace

bool SplitRegistryLocation(const char* location, std::string& rootName, std::string& subKey)
{
    if (!location)
        return false;
    const char* slash = strchr(location, '\\');
    if (!slash || slash == location)
        return false;

    std::string rest(slash + 1);
    size_t first = rest.find_first_not_of('\\');
    size_t last = rest.find_last_not_of('\\');
    rootName.assign(location, slash);
    subKey = first == std::string::npos ? std::string() : rest.substr(first, last - first + 1);
    return true;
}

CRegistryAccess::CRegistryAccess()
    : root_(HKEY_LOCAL_MACHINE), adjustRights_(IsNtPlatform())
{
}

bool CRegistryAccess::SetRootByName(const char* name)
{
    return RootByName(name, root_);
}

bool CRegistryAccess::AddRepairScope(const char* rootName, const char* path)
{
    HKEY root = nullptr;
    if (!path || !RootByName(rootName, root))
        return false;
    std::string form = ScopeForm(path);
    if (form.empty() || repairScopeCount_ == kRepairScopeCapacity)
        return false;
    repairScope_[repairScopeCount_].root = root;
    repairScope_[repairScopeCount_++].path = form;
    return true;
}

bool CRegistryAccess::InRepairScope(const char* path) const
{
    if (!path)
        return false;
    const std::string form = ScopeForm(path);
    for (size_t i = 0; i < repairScopeCount_; ++i)
        if (repairScope_[i].root == root_ && repairScope_[i].path == form)
            return true;
    return false;
}

const std::string& CRegistryAccess::GetRootName(bool shortForm)
{
    rootNameText_.clear();
    for (const RootName& entry : kRoots) {
        if (entry.root == root_) {
            rootNameText_ = shortForm ? entry.shortName : entry.longName;
            break;
        }
    }
    return rootNameText_;
}

// Opens an existing key. A refusal of a key in the repair scope repairs it
// and tries once more; the second answer is final.
LONG CRegistryAccess::OpenKey(const char* path, REGSAM access, HKEY& key)
{
    key = nullptr;
    LONG error = RegOpenKeyExA(root_, path, 0, access, &key);
    if (error != ERROR_ACCESS_DENIED || !RepairKey(path))
        return error;
    key = nullptr;
    return RegOpenKeyExA(root_, path, 0, access, &key);
}

bool CRegistryAccess::KeyExists(const char* path)
{
    if (!path)
        return false;
    CRegistryKey key;
    return OpenKey(path, KEY_READ, *key.Out()) == ERROR_SUCCESS;
}

bool CRegistryAccess::ValueExists(const char* path, const char* valueName)
{
    if (!path || !valueName)
        return false;
    CRegistryKey key;
    if (OpenKey(path, KEY_QUERY_VALUE, *key.Out()) != ERROR_SUCCESS)
        return false;
    return RegQueryValueExA(key.Get(), valueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool CRegistryAccess::ReadDword(const char* path, const char* valueName, DWORD& value)
{
    value = 0;
    if (!path || !valueName)
        return false;
    CRegistryKey key;
    if (OpenKey(path, KEY_READ, *key.Out()) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (RegQueryValueExA(key.Get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return false;
    value = data;
    return true;
}

bool CRegistryAccess::WriteDword(const char* path, const char* valueName, DWORD value)
{
    if (!path || !valueName)
        return false;
    return WriteValue(path, valueName, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

bool CRegistryAccess::ReadString(const char* path, const char* valueName, std::string& text)
{
    DWORD type = 0;
    return ReadString(path, valueName, text, type);
}

bool CRegistryAccess::ReadString(const char* path, const char* valueName, std::string& text, DWORD& type)
{
    text.clear();
    type = 0;
    if (!path || !valueName)
        return false;
    CRegistryKey key;
    if (OpenKey(path, KEY_READ, *key.Out()) != ERROR_SUCCESS)
        return false;

    DWORD storedType = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), valueName, nullptr, &storedType, nullptr, &size) != ERROR_SUCCESS ||
        !IsStringType(storedType))
        return false;
    if (size == 0) {
        type = storedType;
        return true;
    }

    // One spare zero byte so the text always ends inside the buffer.
    std::vector<char> data(size + 1, '\0');
    DWORD got = size;
    if (RegQueryValueExA(key.Get(), valueName, nullptr, &storedType, reinterpret_cast<BYTE*>(data.data()),
                         &got) != ERROR_SUCCESS ||
        !IsStringType(storedType))
        return false;
    if (got > size)
        got = size;
    // A multi-string's inner terminators become line feeds: "a\0b\0\0" reads "a\nb\n".
    if (storedType == REG_MULTI_SZ && got > 0)
        ReplaceChar(data.data(), '\0', '\n', static_cast<int>(got - 1));
    text.assign(data.data(), strnlen(data.data(), got));
    type = storedType;
    return true;
}

bool CRegistryAccess::WriteString(const char* path, const char* valueName, const char* text, DWORD type)
{
    if (!path || !valueName || !text || !IsStringType(type))
        return false;
    size_t length = strlen(text);
    // Zero-filled, two bytes longer than the text: room for a multi-string's closing NUL pair.
    std::vector<char> data(length + 2, '\0');
    memcpy(data.data(), text, length);
    DWORD size = static_cast<DWORD>(length + 1);
    if (type == REG_MULTI_SZ) {
        ReplaceChar(data.data(), '\n', '\0', static_cast<int>(length));
        size = static_cast<DWORD>(length + 2);
    }
    return WriteValue(path, valueName, type, reinterpret_cast<const BYTE*>(data.data()), size);
}

bool CRegistryAccess::WriteBinary(const char* path, const char* valueName, const void* bytes, DWORD count)
{
    if (!path || !valueName || !bytes)
        return false;
    return WriteValue(path, valueName, REG_BINARY, static_cast<const BYTE*>(bytes), count);
}

// Opens or creates the key and stores the value. A refusal (of the open or of
// the store) of a key in the repair scope repairs it, as OpenKey does for
// reads, and the store is tried once more; the second answer is final. A key
// created here stays when the store fails.
bool CRegistryAccess::WriteValue(const char* path, const char* valueName, DWORD type, const BYTE* data,
                                 DWORD size)
{
    LONG error = StoreValue(root_, path, valueName, type, data, size);
    if (error != ERROR_ACCESS_DENIED)
        return error == ERROR_SUCCESS;
    if (!RepairKey(path))
        return false;
    return StoreValue(root_, path, valueName, type, data, size) == ERROR_SUCCESS;
}

bool CRegistryAccess::DeleteValue(const char* path, const char* valueName)
{
    if (!path || !valueName)
        return false;
    {
        CRegistryKey key;
        if (OpenKey(path, KEY_ALL_ACCESS, *key.Out()) == ERROR_SUCCESS)
            RegDeleteValueA(key.Get(), valueName);
    }
    // Only "not found" means gone: a key or value that refuses to be seen is still there.
    CRegistryKey key;
    LONG error = OpenKey(path, KEY_QUERY_VALUE, *key.Out());
    if (error == ERROR_FILE_NOT_FOUND)
        return true;
    return error == ERROR_SUCCESS &&
           RegQueryValueExA(key.Get(), valueName, nullptr, nullptr, nullptr, nullptr) == ERROR_FILE_NOT_FOUND;
}

bool CRegistryAccess::DeleteKey(const char* path, bool recursive)
{
    if (!path)
        return false;
    // An empty path names the root itself: a recursive delete would empty the whole hive.
    if (strspn(path, "\\") == strlen(path))
        return false;

    if (KeyExists(path)) {
        auto remove = [&]() {
            LONG error = recursive ? shlwapi::SHDeleteKeyA(root_, path) : RegDeleteKeyA(root_, path);
            return error == ERROR_SUCCESS;
        };
        if (!remove() && InRepairScope(path)) {
            if (recursive)
                RepairTree(path);
            else
                RepairKey(path);
            remove();
        }
    }
    // Only "not found" means gone: a key that refuses to be opened is still there.
    CRegistryKey probe;
    return RegOpenKeyExA(root_, path, 0, KEY_READ, probe.Out()) == ERROR_FILE_NOT_FOUND;
}

bool CRegistryAccess::EnumSubKeys(const char* path, std::deque<RegistryItem>& items, bool recursive)
{
    if (!path)
        return false;
    return EnumInto(path, items, recursive);
}

bool CRegistryAccess::EnumInto(const std::string& path, std::deque<RegistryItem>& items, bool recursive)
{
    CRegistryKey key;
    if (OpenKey(path.c_str(), KEY_READ, *key.Out()) != ERROR_SUCCESS)
        return false;
    for (DWORD index = 0;; ++index) {
        char name[kKeyNameBufferSize] = {0};
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
            name[0] == '\0')
            break;
        RegistryItem item;
        item.rootName = GetRootName(false);
        // Under the root itself the sub-key name is the whole path.
        item.keyPath = path.empty() ? std::string(name) : path + "\\" + name;
        items.push_back(item);
        if (recursive)
            EnumInto(item.keyPath, items, true);
    }
    return !items.empty();
}

bool CRegistryAccess::GrantKeyAccess(HKEY key, DWORD access, bool replace, DWORD trusteeMask)
{
    return ApplyGroupAccess(key, access, replace, trusteeMask, false);
}

bool CRegistryAccess::ApplyGroupAccess(HKEY key, DWORD access, bool replace, DWORD trusteeMask, bool keepProtection)
{
    if (!adjustRights_ || !key)
        return false;

    SECURITY_DESCRIPTOR descriptor;
    if (!advapi32::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION))
        return false;

    std::vector<BYTE> current(kSecurityBufferSize, 0);
    DWORD size = kSecurityBufferSize;
    if (advapi32::RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, current.data(), &size) != ERROR_SUCCESS)
        return false;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL oldAcl = nullptr;
    if (!advapi32::GetSecurityDescriptorDacl(current.data(), &present, &oldAcl, &defaulted) || !present || !oldAcl)
        return false;

    PACL newAcl = nullptr;
    if (!BuildGroupAccessList(access, replace, oldAcl, trusteeMask, &newAcl))
        return false;
    bool ok = advapi32::SetSecurityDescriptorDacl(&descriptor, TRUE, newAcl, TRUE) && // list present, defaulted
              (!keepProtection || CarryDaclProtection(current.data(), &descriptor)) &&
              advapi32::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS;
    LocalFree(newAcl);
    return ok;
}

bool CRegistryAccess::RepairKey(const char* path)
{
    if (!adjustRights_ || !InRepairScope(path))
        return false;
    CRegistryKey key;
    if (RegOpenKeyExA(root_, path, 0, kSecurityAccess, key.Out()) != ERROR_SUCCESS)
        return false;
    return ApplyGroupAccess(key.Get(), KEY_ALL_ACCESS, false, kRepairTrustees, true);
}

// Walks the whole sub-tree, keys outside the scope included (only reading
// their sub-key names), and repairs the keys in scope. Paths end at
// GrantKeyTreeAccess's length, so a loop of registry links ends too.
void CRegistryAccess::RepairTree(const std::string& path)
{
    if (path.size() > kTreePathLimit)
        return;
    RepairKey(path.c_str());
    CRegistryKey key;
    if (RegOpenKeyExA(root_, path.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        char name[kKeyNameBufferSize] = {0};
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        if (name[0] != '\0')
            RepairTree(path + "\\" + name);
    }
}

bool CRegistryAccess::GrantKeyAccessByPath(const char* path, DWORD access, bool replace, DWORD trusteeMask)
{
    if (!path)
        return false;
    if (!adjustRights_)
        return true;
    CRegistryKey key;
    if (RegOpenKeyExA(root_, path, 0, kSecurityAccess, key.Out()) != ERROR_SUCCESS)
        return false;
    return GrantKeyAccess(key.Get(), access, replace, trusteeMask);
}

bool CRegistryAccess::GrantKeyTreeAccess(const char* path, DWORD trusteeMask)
{
    if (!path)
        return false;
    if (!adjustRights_)
        return true;
    // An empty path would open up every key of the hive.
    if (strspn(path, "\\") == strlen(path))
        return false;
    return GrantTree(path, trusteeMask);
}

bool CRegistryAccess::GrantTree(std::string path, DWORD trusteeMask)
{
    if (path.size() > kTreePathRefused)
        return false;
    if (path.size() > kTreePathLimit)
        path.resize(kTreePathLimit);
    if (!GrantKeyAccessByPath(path.c_str(), KEY_ALL_ACCESS, false, trusteeMask))
        return false;

    CRegistryKey key;
    if (RegOpenKeyExA(root_, path.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS)
        return true; // the key itself has been opened up
    for (DWORD index = 0;; ++index) {
        char name[kKeyNameBufferSize] = {0};
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        if (name[0] == '\0')
            continue;
        std::string child = path + "\\" + name;
        if (child.size() > kTreePathLimit)
            child.resize(kTreePathLimit);
        GrantTree(child, trusteeMask);
    }
    return true;
}
