// Registry access by root name and sub-key path.
//
// CRegistryAccess is the one object through which the installer reads and
// writes the registry. The root is chosen by name ("HKEY_LOCAL_MACHINE" or
// "HLM", ...; see SetRootByName) and every operation takes a sub-key path under
// it. On Windows 95/98/Me the rights operations do nothing and a refusal is final.
//
// Rights repair (NT family). When an open, a store or a deletion is refused
// (ERROR_ACCESS_DENIED) and the key is in this object's repair scope, the
// key's access list gains full access (KEY_ALL_ACCESS, inherited by sub-keys)
// for the built-in Administrators group and LocalSystem only, merged into the
// entries it has, and a list protected from its parent's entries
// (SE_DACL_PROTECTED) stays protected; then the operation is tried once more.
// Plain users gain nothing from a repair. A key outside the scope is never
// touched: the refusal is final and the operation fails.
//
// The scope is a list of keys, each a root and a sub-key path, that the
// object's owner adds with AddRepairScope; it starts empty, so an object
// nobody scoped repairs nothing. An entry covers exactly its own key, never
// a sub-key: a refused path is in scope when it names an entry's key under
// the same root, compared without regard to the case of ASCII letters (the
// bytes of double-byte characters exactly) and with runs of backslashes
// taken as one. The installer's owners add only the keys they write: the
// product key, its Uninstall entry, the machine's Run and RunOnce keys, the
// Internet Connection Wizard key of HKEY_USERS\.DEFAULT and the update
// engine's machine key under HKEY_CLASSES_ROOT\CLSID. A deliberate
// GrantKeyAccess* call is not a repair and takes no notice of the scope.
//
// Every operation returns false for a null path, value name or data pointer
// without touching the registry. No key handle stays open between calls. The
// root is object state: a SetRootByName and the operations that depend on it
// must not interleave with another thread's use of the same object.
#pragma once

#include <windows.h>

#include <deque>
#include <string>

// One sub-key found by CRegistryAccess::EnumSubKeys.
struct RegistryItem {
    std::string rootName;   // long form of the root at enumeration time
    std::string keyPath;    // enumerated path, "\", sub-key name
    std::string valueName;  // left empty by enumeration
    std::string valueText;  // left empty by enumeration
    DWORD valueType = 0;    // left 0 by enumeration
};

// Splits a registry location such as "HLM\SOFTWARE\Dravik" at its first
// backslash into the root name ("HLM") and the sub-key ("SOFTWARE\Dravik";
// leading and trailing backslashes removed). False, with both outputs left as
// they were, for null, for a text without a backslash and for one whose first
// backslash is its first character.
bool SplitRegistryLocation(const char* location, std::string& rootName, std::string& subKey);

class CRegistryAccess {
public:
    // Root HKEY_LOCAL_MACHINE; rights repair on when GetVersionExA reports the NT platform.
    CRegistryAccess();

    // Accepts, in any case and with blanks (0x20) around it, "HKEY_CLASSES_ROOT"
    // / "HCR", "HKEY_CURRENT_USER" / "HCU", "HKEY_LOCAL_MACHINE" / "HLM",
    // "HKEY_USERS" / "HU", "HKEY_CURRENT_CONFIG" / "HCC". False, root unchanged,
    // for anything else.
    bool SetRootByName(const char* name);
    // Name of the current root, short or long form; valid until the next call.
    const std::string& GetRootName(bool shortForm);
    HKEY Root() const { return root_; }
    // True on the NT family: access refusals are repaired and rights operations act.
    bool AdjustsRights() const { return adjustRights_; }

    // Adds the key path under the root named rootName (any name SetRootByName
    // accepts) to the repair scope. False, nothing added, for an unknown root
    // name, for a null or empty path (the root itself is never in scope) and
    // when the scope already holds kRepairScopeCapacity keys.
    bool AddRepairScope(const char* rootName, const char* path);
    void ClearRepairScope() { repairScopeCount_ = 0; }
    // True when path under the current root is a key of the repair scope.
    bool InRepairScope(const char* path) const;

    // True when the key opens for reading.
    bool KeyExists(const char* path);
    // True when the key opens for queries and holds the value, whatever its type.
    bool ValueExists(const char* path, const char* valueName);

    // value = 0 first; true only for an existing REG_DWORD.
    bool ReadDword(const char* path, const char* valueName, DWORD& value);
    // Creates the key when missing; stores a REG_DWORD.
    bool WriteDword(const char* path, const char* valueName, DWORD value);

    // text emptied and type 0 first; true for an existing REG_SZ, REG_EXPAND_SZ
    // (returned unexpanded) or REG_MULTI_SZ (strings each followed by a line
    // feed); false for any other type.
    bool ReadString(const char* path, const char* valueName, std::string& text, DWORD& type);
    bool ReadString(const char* path, const char* valueName, std::string& text);
    // type REG_SZ, REG_EXPAND_SZ or REG_MULTI_SZ (line feeds separate the
    // strings), else false and nothing written. Creates the key when missing.
    bool WriteString(const char* path, const char* valueName, const char* text, DWORD type = REG_SZ);
    // Creates the key when missing; stores exactly count bytes as REG_BINARY.
    bool WriteBinary(const char* path, const char* valueName, const void* bytes, DWORD count);

    // True when afterwards the key or the value no longer exists. A key or
    // value that refuses to be seen counts as still there.
    bool DeleteValue(const char* path, const char* valueName);
    // Deletes the key (with its sub-tree when recursive); true when afterwards
    // the key no longer exists (a refused key counts as still there). A
    // failed deletion of a key in the repair scope repairs it and, when
    // recursive, every key of its sub-tree in the scope, then tries once
    // more. An empty path (the root itself) is refused.
    bool DeleteKey(const char* path, bool recursive);

    // Appends one item per sub-key, depth first (pre-order) when recursive.
    // False when the key cannot be opened; otherwise true when items holds at
    // least one item, counting those it held before.
    bool EnumSubKeys(const char* path, std::deque<RegistryItem>& items, bool recursive);

    // Adds (replace false) or sets (replace true: the list then holds only the
    // new entries) entries giving `access` to the groups selected by
    // trusteeMask (TRUSTEE_MASK_*). False on Windows 95/98/Me, for a null key,
    // no selected group, or when the key's list cannot be read or written.
    bool GrantKeyAccess(HKEY key, DWORD access, bool replace, DWORD trusteeMask);
    // GrantKeyAccess on the key opened with READ_CONTROL | WRITE_DAC. True
    // without doing anything on Windows 95/98/Me; false when the key cannot be opened.
    bool GrantKeyAccessByPath(const char* path, DWORD access, bool replace, DWORD trusteeMask);
    // KEY_ALL_ACCESS (merged) for the key and every sub-key. True without doing
    // anything on Windows 95/98/Me; false when the path is empty (the whole
    // hive), over 1,024 characters, or the key itself cannot be opened up.
    bool GrantKeyTreeAccess(const char* path, DWORD trusteeMask);

private:
    struct ScopeKey {
        HKEY root = nullptr;
        std::string path; // in the form ScopeForm gives
    };

    LONG OpenKey(const char* path, REGSAM access, HKEY& key);
    bool WriteValue(const char* path, const char* valueName, DWORD type, const BYTE* data, DWORD size);
    bool EnumInto(const std::string& path, std::deque<RegistryItem>& items, bool recursive);
    bool GrantTree(std::string path, DWORD trusteeMask);
    // Merges access entries for trusteeMask into the key's list; keepProtection
    // carries the list's SE_DACL_PROTECTED flag over to the new list.
    bool ApplyGroupAccess(HKEY key, DWORD access, bool replace, DWORD trusteeMask, bool keepProtection);
    // The repair of a refused key (see the class comment); false outside the scope.
    bool RepairKey(const char* path);
    // RepairKey for every key of the sub-tree (the key itself included) that is in scope.
    void RepairTree(const std::string& path);

    HKEY root_;
    bool adjustRights_;
    std::string rootNameText_;
    static const size_t kRepairScopeCapacity = 8;
    ScopeKey repairScope_[kRepairScopeCapacity];
    size_t repairScopeCount_ = 0;
};
