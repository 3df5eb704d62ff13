#include "platform/SystemLibrary.h"

namespace {

enum : LONG { kUntouched = 0, kResolving = 1, kResolved = 2 };

void Resolve(SystemImportTable& table)
{
    table.module = table.load ? table.load(table.library) : LoadSystemLibrary(table.library);
    if (!table.module)
        return;
    unsigned index = 0;
    for (const char* name = table.names; *name; name += lstrlenA(name) + 1)
        table.entries[index++] = GetProcAddress(table.module, name);
}

} // namespace

HMODULE LoadSystemLibrary(const char* name)
{
    if (!name || !*name) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    // A system folder at a drive's root already ends in "\".
    if (length > 0 && length < MAX_PATH && path[length - 1] != '\\')
        path[length++] = '\\';
    const UINT nameLength = static_cast<UINT>(lstrlenA(name));
    if (length == 0 || length + nameLength >= MAX_PATH) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    lstrcpynA(path + length, name, MAX_PATH - length);
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH); // no file handle
}

bool ExcludeCurrentFolderFromDllSearch()
{
    typedef BOOL(WINAPI * SetDllDirectoryFn)(LPCSTR);
    SetDllDirectoryFn setDllDirectory = reinterpret_cast<SetDllDirectoryFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDllDirectoryA")));
    return setDllDirectory && setDllDirectory("");
}

FARPROC SystemImport(SystemImportTable& table, unsigned index)
{
    if (InterlockedCompareExchange(&table.state, kResolving, kUntouched) == kUntouched) {
        Resolve(table);
        InterlockedExchange(&table.state, kResolved);
    }
    // Another thread may be resolving it: wait until it has (a few loads at most).
    while (InterlockedCompareExchange(&table.state, kResolved, kResolved) != kResolved)
        Sleep(0);
    FARPROC entry = table.entries[index];
    if (!entry)
        SetLastError(table.module ? ERROR_PROC_NOT_FOUND : ERROR_MOD_NOT_FOUND);
    return entry;
}
