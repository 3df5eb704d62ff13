#include "platform/Kernel32Api.h"

#include "platform/SystemLibrary.h"

namespace {

enum Entry { kMoveFileExA, kEntryCount };
constexpr char kNames[] = "MoveFileExA\0";
static_assert(CountImportNames(kNames) == kEntryCount, "one name per entry");

// kernel32 is loaded in every process before the program's own imports.
HMODULE LoadedModule(const char* library)
{
    return GetModuleHandleA(library);
}

FARPROC g_entries[kEntryCount];
SystemImportTable g_kernel32 = {"kernel32.dll", kNames, g_entries, LoadedModule, 0, nullptr};

} // namespace

BOOL kernel32::MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags)
{
    auto entry = SystemEntry<decltype(&::MoveFileExA)>(g_kernel32, kMoveFileExA);
    if (!entry) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    return entry(existing, target, flags);
}
