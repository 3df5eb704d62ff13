// The advapi32 functions only the Windows NT family has: security
// descriptors, access lists and the Service Control Manager. Windows 95, 98
// and Me document them as unsupported, and their loader refuses a program
// that imports a function their advapi32 does not export, before the
// program's own 9x paths can run. So they are looked up at run time in the
// advapi32 the program already imports for its registry functions (a
// SystemImportTable, platform/SystemLibrary.h), and every caller already
// calls them on the NT family only.
//
// Each takes the arguments and gives the results of the function of the same
// name. When the entry is missing it sets the last error
// ERROR_CALL_NOT_IMPLEMENTED, as the 9x stubs of such functions do, and
// fails: FALSE, a null handle, that error code (SetEntriesInAclA,
// RegGetKeySecurity, RegSetKeySecurity), or FreeSid's own failure, the
// identifier handed back.
#pragma once

#include <windows.h>

#include <aclapi.h>

namespace advapi32 {

// Security identifiers and access lists.
BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD sub0, DWORD sub1,
                              DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6, DWORD sub7,
                              PSID* sid);
PVOID FreeSid(PSID sid);
DWORD SetEntriesInAclA(ULONG count, PEXPLICIT_ACCESS_A entries, PACL oldAcl, PACL* newAcl);
BOOL IsValidAcl(PACL acl);

// Security descriptors of files and registry keys.
BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision);
BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor, PSECURITY_DESCRIPTOR_CONTROL control,
                                  LPDWORD revision);
BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, LPBOOL present, PACL* dacl, LPBOOL defaulted);
BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL dacl, BOOL defaulted);
BOOL GetFileSecurityA(LPCSTR path, SECURITY_INFORMATION wanted, PSECURITY_DESCRIPTOR descriptor, DWORD size,
                      LPDWORD needed);
BOOL SetFileSecurityA(LPCSTR path, SECURITY_INFORMATION given, PSECURITY_DESCRIPTOR descriptor);
LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION wanted, PSECURITY_DESCRIPTOR descriptor, LPDWORD size);
LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION given, PSECURITY_DESCRIPTOR descriptor);

// The Service Control Manager.
SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access);
SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access);
SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR displayName, DWORD access, DWORD type,
                         DWORD start, DWORD errorControl, LPCSTR binaryPath, LPCSTR loadOrderGroup,
                         LPDWORD tag, LPCSTR dependencies, LPCSTR account, LPCSTR password);
BOOL DeleteService(SC_HANDLE service);
BOOL StartServiceA(SC_HANDLE service, DWORD argumentCount, LPCSTR* arguments);
BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status);
BOOL QueryServiceConfigA(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD size, LPDWORD needed);
BOOL CloseServiceHandle(SC_HANDLE handle);

} // namespace advapi32
