#include "platform/SystemLibrary.h"

#include "platform/ComCtl32Api.h"

namespace {

enum : LONG { kUntouched = 0, kResolving = 1, kResolved = 2 };

// The DLLs of the program's tables. Windows' own DLLs load some of them by
// name when they first need them (delay-loaded imports), and such a load
// looks in the program's folder first. A DLL of the name already loaded is
// used instead of any file, so the first use of any table loads them all,
// from the system folder, for the life of the process.
const char kTableLibraries[] = "ole32.dll\0oleaut32.dll\0shell32.dll\0shlwapi.dll\0wininet.dll\0";
volatile LONG g_tableLibraries = kUntouched;

void LoadTableLibraries()
{
    for (const char* name = kTableLibraries; *name; name += lstrlenA(name) + 1)
        LoadSystemLibrary(name);
    comctl32::LoadCommonControls("comctl32.dll");
}

// Runs `work` once for all threads: the first caller runs it, the others
// wait until it has.
void Once(volatile LONG& state, void (*work)(SystemImportTable*), SystemImportTable* table)
{
    if (InterlockedCompareExchange(&state, kResolving, kUntouched) == kUntouched) {
        work(table);
        InterlockedExchange(&state, kResolved);
    }
    while (InterlockedCompareExchange(&state, kResolved, kResolved) != kResolved)
        Sleep(0); // a few loads at most
}

void Resolve(SystemImportTable* entries)
{
    SystemImportTable& table = *entries;
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
    Once(g_tableLibraries, [](SystemImportTable*) { LoadTableLibraries(); }, nullptr);
    Once(table.state, Resolve, &table);
    FARPROC entry = table.entries[index];
    if (!entry)
        SetLastError(table.module ? ERROR_PROC_NOT_FOUND : ERROR_MOD_NOT_FOUND);
    return entry;
}
