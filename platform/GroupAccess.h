// Access-control entries for the four local groups the installer opens its
// registry keys, files and folders to: built-in Administrators (S-1-5-32-544),
// LocalSystem (S-1-5-18), Interactive users (S-1-5-4) and built-in Users
// (S-1-5-32-545), all under the NT authority. Used by CRegistryAccess and
// CFileUtil, which apply the list to a key or a file.
#pragma once

#include <windows.h>

// Trustee selection bits, in the order the entries are built.
const DWORD TRUSTEE_MASK_ADMINISTRATORS = 0x1;
const DWORD TRUSTEE_MASK_LOCAL_SYSTEM = 0x2;
const DWORD TRUSTEE_MASK_INTERACTIVE = 0x4;
const DWORD TRUSTEE_MASK_USERS = 0x8;
// Selects all four groups.
const DWORD TRUSTEE_MASK_ALL = 0xFFFF;

// Builds a new access list giving `rights` to every selected group, one entry
// per group in the order above, inherited by sub-containers and objects.
// replace false merges the entries into base (GRANT_ACCESS; base may be null);
// replace true makes a list of only the new entries (SET_ACCESS; base is not
// used). The caller frees *newAcl with LocalFree. False (and *newAcl null) when
// newAcl is null, no group is selected, a group identifier cannot be built or
// SetEntriesInAclA fails (always on Windows 95, 98 and Me, which lack it).
bool BuildGroupAccessList(DWORD rights, bool replace, PACL base, DWORD trusteeMask, PACL* newAcl);
