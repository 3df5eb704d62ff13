#include "platform/ShlwapiApi.h"

#include "platform/SystemLibrary.h"

#include <shlwapi.h>

namespace {

enum Entry { kPathRemoveFileSpecA, kSHDeleteKeyA, kEntryCount };
constexpr char kNames[] = "PathRemoveFileSpecA\0SHDeleteKeyA\0";
static_assert(CountImportNames(kNames) == kEntryCount, "one name per entry");

FARPROC g_entries[kEntryCount];
SystemImportTable g_shlwapi = {"shlwapi.dll", kNames, g_entries, nullptr, 0, nullptr};

} // namespace

BOOL shlwapi::PathRemoveFileSpecA(LPSTR path)
{
    auto entry = SystemEntry<decltype(&::PathRemoveFileSpecA)>(g_shlwapi, kPathRemoveFileSpecA);
    return entry ? entry(path) : FALSE;
}

LONG shlwapi::SHDeleteKeyA(HKEY key, LPCSTR subKey)
{
    auto entry = SystemEntry<decltype(&::SHDeleteKeyA)>(g_shlwapi, kSHDeleteKeyA);
    return entry ? static_cast<LONG>(entry(key, subKey)) : static_cast<LONG>(GetLastError());
}
