// Helpers for the platform tests: reading access lists back through the raw
// Win32 calls, closing keys off, and holding files in use.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qvtest {

struct AceInfo {
    std::string sid;  // "S-1-5-32-544"
    DWORD mask;
    BYTE flags;
};

// The allow entries of an access list, in order.
std::vector<AceInfo> ListAces(PACL acl);
// The key's access list (empty when it cannot be read; present stays false then).
std::vector<AceInfo> KeyAces(HKEY root, const std::string& path, bool* present = nullptr);
// Gives the key an empty access list: every open is refused except the
// owner's implicit READ_CONTROL | WRITE_DAC.
bool CloseKeyOff(HKEY root, const std::string& path);
// Gives the key a null access list (everyone full access), so clean-up works.
bool OpenKeyUp(HKEY root, const std::string& path);
// Opens up and deletes the key with its whole tree, closed-off keys included
// (clean-up after a test that stopped half way).
void ForceDeleteTree(HKEY root, const std::string& path);
// The key's access list as SDDL ("D:P(A;;KA;;;BA)..."), read with
// RegGetKeySecurity; "" when it cannot be read. Wine keeps key lists only in
// the running wineserver, so read them while it runs.
std::string KeySddl(HKEY root, const std::string& path);
// Gives the key the access list of an SDDL text (its "P" flag included).
bool SetKeySddl(HKEY root, const std::string& path, const char* sddl);
// The first entry for sid, or null.
const AceInfo* FindAce(const std::vector<AceInfo>& aces, const std::string& sid);
// The first entry for sid that lets it change the key: set values, make
// sub-keys or links, delete, or rewrite the list or the owner. Null when sid
// may at most read.
const AceInfo* FindWriteAce(const std::vector<AceInfo>& aces, const std::string& sid);

// Holds a file open the way a running program's image is held (shared for
// reading only): deleting or overwriting it fails until Release.
class InUse {
public:
    explicit InUse(const std::string& path);
    ~InUse() { Release(); }
    InUse(const InUse&) = delete;
    InUse& operator=(const InUse&) = delete;
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Release();

private:
    HANDLE handle_;
};

} // namespace qvtest
