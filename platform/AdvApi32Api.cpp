#include "platform/AdvApi32Api.h"

#include "platform/SystemLibrary.h"

namespace {

enum Entry {
    kAllocateAndInitializeSid,
    kFreeSid,
    kSetEntriesInAclA,
    kIsValidAcl,
    kInitializeSecurityDescriptor,
    kGetSecurityDescriptorControl,
    kGetSecurityDescriptorDacl,
    kSetSecurityDescriptorDacl,
    kGetFileSecurityA,
    kSetFileSecurityA,
    kRegGetKeySecurity,
    kRegSetKeySecurity,
    kOpenSCManagerA,
    kOpenServiceA,
    kCreateServiceA,
    kDeleteService,
    kStartServiceA,
    kQueryServiceStatus,
    kQueryServiceConfigA,
    kCloseServiceHandle,
    kEntryCount
};
constexpr char kNames[] =
    "AllocateAndInitializeSid\0FreeSid\0SetEntriesInAclA\0IsValidAcl\0InitializeSecurityDescriptor\0"
    "GetSecurityDescriptorControl\0GetSecurityDescriptorDacl\0SetSecurityDescriptorDacl\0"
    "GetFileSecurityA\0SetFileSecurityA\0RegGetKeySecurity\0RegSetKeySecurity\0"
    "OpenSCManagerA\0OpenServiceA\0CreateServiceA\0DeleteService\0StartServiceA\0"
    "QueryServiceStatus\0QueryServiceConfigA\0CloseServiceHandle\0";
static_assert(CountImportNames(kNames) == kEntryCount, "one name per entry");

// advapi32 is imported (registry functions), so the loader has already
// taken it from the system folder (a KnownDLL on the NT family).
HMODULE ImportedModule(const char* library)
{
    return GetModuleHandleA(library);
}

FARPROC g_entries[kEntryCount];
SystemImportTable g_advapi32 = {"advapi32.dll", kNames, g_entries, ImportedModule, 0, nullptr};

// The entry, or null with the error a 9x stub of it gives. One function
// for all the wrappers, which only cast its result (smaller than a copy of
// it in each).
__attribute__((noinline)) FARPROC FindEntry(Entry index)
{
    FARPROC entry = SystemImport(g_advapi32, index);
    if (!entry)
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return entry;
}

template <typename Fn>
Fn Find(Entry index)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(FindEntry(index)));
}

} // namespace

BOOL advapi32::AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD sub0, DWORD sub1,
                                        DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6, DWORD sub7,
                                        PSID* sid)
{
    auto entry = Find<decltype(&::AllocateAndInitializeSid)>(kAllocateAndInitializeSid);
    return entry ? entry(authority, count, sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7, sid) : FALSE;
}

PVOID advapi32::FreeSid(PSID sid)
{
    auto entry = Find<decltype(&::FreeSid)>(kFreeSid);
    return entry ? entry(sid) : sid;
}

DWORD advapi32::SetEntriesInAclA(ULONG count, PEXPLICIT_ACCESS_A entries, PACL oldAcl, PACL* newAcl)
{
    auto entry = Find<decltype(&::SetEntriesInAclA)>(kSetEntriesInAclA);
    return entry ? entry(count, entries, oldAcl, newAcl) : static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED);
}

BOOL advapi32::IsValidAcl(PACL acl)
{
    auto entry = Find<decltype(&::IsValidAcl)>(kIsValidAcl);
    return entry ? entry(acl) : FALSE;
}

BOOL advapi32::InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision)
{
    auto entry = Find<decltype(&::InitializeSecurityDescriptor)>(kInitializeSecurityDescriptor);
    return entry ? entry(descriptor, revision) : FALSE;
}

BOOL advapi32::GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor, PSECURITY_DESCRIPTOR_CONTROL control,
                                            LPDWORD revision)
{
    auto entry = Find<decltype(&::GetSecurityDescriptorControl)>(kGetSecurityDescriptorControl);
    return entry ? entry(descriptor, control, revision) : FALSE;
}

BOOL advapi32::GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, LPBOOL present, PACL* dacl,
                                         LPBOOL defaulted)
{
    auto entry = Find<decltype(&::GetSecurityDescriptorDacl)>(kGetSecurityDescriptorDacl);
    return entry ? entry(descriptor, present, dacl, defaulted) : FALSE;
}

BOOL advapi32::SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL dacl, BOOL defaulted)
{
    auto entry = Find<decltype(&::SetSecurityDescriptorDacl)>(kSetSecurityDescriptorDacl);
    return entry ? entry(descriptor, present, dacl, defaulted) : FALSE;
}

BOOL advapi32::GetFileSecurityA(LPCSTR path, SECURITY_INFORMATION wanted, PSECURITY_DESCRIPTOR descriptor,
                                DWORD size, LPDWORD needed)
{
    auto entry = Find<decltype(&::GetFileSecurityA)>(kGetFileSecurityA);
    return entry ? entry(path, wanted, descriptor, size, needed) : FALSE;
}

BOOL advapi32::SetFileSecurityA(LPCSTR path, SECURITY_INFORMATION given, PSECURITY_DESCRIPTOR descriptor)
{
    auto entry = Find<decltype(&::SetFileSecurityA)>(kSetFileSecurityA);
    return entry ? entry(path, given, descriptor) : FALSE;
}

LONG advapi32::RegGetKeySecurity(HKEY key, SECURITY_INFORMATION wanted, PSECURITY_DESCRIPTOR descriptor,
                                 LPDWORD size)
{
    auto entry = Find<decltype(&::RegGetKeySecurity)>(kRegGetKeySecurity);
    return entry ? entry(key, wanted, descriptor, size) : static_cast<LONG>(ERROR_CALL_NOT_IMPLEMENTED);
}

LONG advapi32::RegSetKeySecurity(HKEY key, SECURITY_INFORMATION given, PSECURITY_DESCRIPTOR descriptor)
{
    auto entry = Find<decltype(&::RegSetKeySecurity)>(kRegSetKeySecurity);
    return entry ? entry(key, given, descriptor) : static_cast<LONG>(ERROR_CALL_NOT_IMPLEMENTED);
}

SC_HANDLE advapi32::OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access)
{
    auto entry = Find<decltype(&::OpenSCManagerA)>(kOpenSCManagerA);
    return entry ? entry(machine, database, access) : nullptr;
}

SC_HANDLE advapi32::OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access)
{
    auto entry = Find<decltype(&::OpenServiceA)>(kOpenServiceA);
    return entry ? entry(manager, name, access) : nullptr;
}

SC_HANDLE advapi32::CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR displayName, DWORD access, DWORD type,
                                   DWORD start, DWORD errorControl, LPCSTR binaryPath, LPCSTR loadOrderGroup,
                                   LPDWORD tag, LPCSTR dependencies, LPCSTR account, LPCSTR password)
{
    auto entry = Find<decltype(&::CreateServiceA)>(kCreateServiceA);
    return entry ? entry(manager, name, displayName, access, type, start, errorControl, binaryPath, loadOrderGroup,
                         tag, dependencies, account, password)
                 : nullptr;
}

BOOL advapi32::DeleteService(SC_HANDLE service)
{
    auto entry = Find<decltype(&::DeleteService)>(kDeleteService);
    return entry ? entry(service) : FALSE;
}

BOOL advapi32::StartServiceA(SC_HANDLE service, DWORD argumentCount, LPCSTR* arguments)
{
    auto entry = Find<decltype(&::StartServiceA)>(kStartServiceA);
    return entry ? entry(service, argumentCount, arguments) : FALSE;
}

BOOL advapi32::QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status)
{
    auto entry = Find<decltype(&::QueryServiceStatus)>(kQueryServiceStatus);
    return entry ? entry(service, status) : FALSE;
}

BOOL advapi32::QueryServiceConfigA(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD size, LPDWORD needed)
{
    auto entry = Find<decltype(&::QueryServiceConfigA)>(kQueryServiceConfigA);
    return entry ? entry(service, config, size, needed) : FALSE;
}

BOOL advapi32::CloseServiceHandle(SC_HANDLE handle)
{
    auto entry = Find<decltype(&::CloseServiceHandle)>(kCloseServiceHandle);
    return entry ? entry(handle) : FALSE;
}
