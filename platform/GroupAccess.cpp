#include "platform/GroupAccess.h"

#include "platform/AdvApi32Api.h"

namespace {

const int kGroupCount = 4;

// Frees the well-known group identifiers on every path.
class GroupSids {
public:
    GroupSids()
    {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY; // 0,0,0,0,0,5
        ok_ = advapi32::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                       0, 0, 0, 0, 0, 0, &sids_[0]) &&
              advapi32::AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID,
                                       0, 0, 0, 0, 0, 0, 0, &sids_[1]) &&
              advapi32::AllocateAndInitializeSid(&nt, 1, SECURITY_INTERACTIVE_RID,
                                       0, 0, 0, 0, 0, 0, 0, &sids_[2]) &&
              advapi32::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS,
                                       0, 0, 0, 0, 0, 0, &sids_[3]);
    }
    ~GroupSids()
    {
        for (PSID sid : sids_)
            if (sid)
                advapi32::FreeSid(sid);
    }
    GroupSids(const GroupSids&) = delete;
    GroupSids& operator=(const GroupSids&) = delete;

    bool ok() const { return ok_; }
    PSID at(int index) const { return sids_[index]; }

private:
    PSID sids_[kGroupCount] = {nullptr, nullptr, nullptr, nullptr};
    bool ok_ = false;
};

} // namespace

bool BuildGroupAccessList(DWORD rights, bool replace, PACL base, DWORD trusteeMask, PACL* newAcl)
{
    if (!newAcl)
        return false;
    *newAcl = nullptr;

    GroupSids sids;
    if (!sids.ok())
        return false;

    EXPLICIT_ACCESS_A entries[kGroupCount];
    ZeroMemory(entries, sizeof(entries));
    ULONG count = 0;
    for (int i = 0; i < kGroupCount; ++i) {
        if (!(trusteeMask & (1u << i)))
            continue;
        EXPLICIT_ACCESS_A& entry = entries[count++];
        entry.grfAccessPermissions = rights;
        entry.grfAccessMode = replace ? SET_ACCESS : GRANT_ACCESS;
        // Folders pass the entries on to their files and sub-folders, keys to their sub-keys.
        entry.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
        // What BuildTrusteeWithSidA would fill in: one trustee named by its SID.
        entry.Trustee.pMultipleTrustee = nullptr;
        entry.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
        entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        entry.Trustee.TrusteeType = TRUSTEE_IS_UNKNOWN;
        entry.Trustee.ptstrName = static_cast<LPSTR>(sids.at(i));
    }
    if (count == 0)
        return false;

    DWORD error = advapi32::SetEntriesInAclA(count, entries, replace ? nullptr : base, newAcl);
    if (error != ERROR_SUCCESS) {
        *newAcl = nullptr;
        return false;
    }
    return *newAcl != nullptr;
}
