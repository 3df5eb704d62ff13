#include "platform/Shell32Api.h"

#include "platform/SystemLibrary.h"

#include <shellapi.h>
#include <shlobj.h>

namespace {

enum Entry { kShellExecuteA, kSHGetSpecialFolderPathA, kEntryCount };
constexpr char kNames[] = "ShellExecuteA\0SHGetSpecialFolderPathA\0";
static_assert(CountImportNames(kNames) == kEntryCount, "one name per entry");

FARPROC g_entries[kEntryCount];
SystemImportTable g_shell32 = {"shell32.dll", kNames, g_entries, nullptr, 0, nullptr};

} // namespace

HINSTANCE shell32::ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR folder, INT show)
{
    auto entry = SystemEntry<decltype(&::ShellExecuteA)>(g_shell32, kShellExecuteA);
    return entry ? entry(owner, verb, file, parameters, folder, show)
                 : reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_DLLNOTFOUND));
}

BOOL shell32::SHGetSpecialFolderPathA(HWND owner, LPSTR path, int csidl, BOOL create)
{
    auto entry = SystemEntry<decltype(&::SHGetSpecialFolderPathA)>(g_shell32, kSHGetSpecialFolderPathA);
    return entry ? entry(owner, path, csidl, create) : FALSE;
}
