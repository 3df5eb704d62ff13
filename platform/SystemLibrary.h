// Loading of Windows' own DLLs so that no file of the same name in the
// program's folder or the current folder is taken instead (a setup program
// runs from a downloads folder, as administrator).
//
// The programs import only kernel32, user32, gdi32, advapi32 (KnownDLLs on
// every NT version, which the loader always takes from the system folder)
// and the C runtime. Every other system DLL is loaded at run time by its full
// path in the system folder, and its entry points are looked up through a
// SystemImportTable: one table per DLL, resolved once, on first use, by
// whichever thread comes first. A wrapper over a table entry fails the way
// its caller already handles failure when the DLL or the entry is missing.
#pragma once

#include <windows.h>

// Loads `name` from the system folder (GetSystemDirectoryA + "\" + name) with
// LOAD_WITH_ALTERED_SEARCH_PATH, so its own dependencies are looked for in
// the system folder first as well. The caller frees it with FreeLibrary.
// Null when the name is null or empty, the path would not fit in MAX_PATH
// (last error ERROR_MOD_NOT_FOUND), or the library does not load.
HMODULE LoadSystemLibrary(const char* name);

// Takes the current folder out of the DLL search path (SetDllDirectoryA with
// an empty text), for the loads by name the system makes on the program's
// behalf. False where kernel32 has no SetDllDirectoryA (before XP SP1) or the
// call fails; the search path is then unchanged.
bool ExcludeCurrentFolderFromDllSearch();

// The entry points of one system DLL. Defined as a static object per DLL:
//   SystemImportTable g_table = {"wininet.dll", "InternetOpenA\0...\0", entries};
struct SystemImportTable {
    const char* library;  // file name of the DLL
    const char* names;    // entry names, each ended by "\0", in slot order; the list ends with an empty name
    FARPROC* entries;     // one slot per name, filled on first use
    // How the DLL is loaded; null for LoadSystemLibrary. It stays loaded for
    // the life of the process.
    HMODULE (*load)(const char* library);
    volatile LONG state;  // untouched, being resolved, resolved
    HMODULE module;
};

// Entry `index` of the table, resolving the whole table first when no thread
// has yet. The first call of all loads the DLLs of every table of the
// program from the system folder (and keeps them): Windows' own DLLs load
// some of those later by name, which would look in the program's folder
// first, and a DLL of the name already loaded is used instead. Null when it
// is missing, with the last error ERROR_MOD_NOT_FOUND
// (the DLL did not load) or ERROR_PROC_NOT_FOUND (the DLL lacks the entry).
FARPROC SystemImport(SystemImportTable& table, unsigned index);

// The same, typed: SystemEntry<decltype(&::InternetOpenA)>(table, index).
template <typename Fn>
Fn SystemEntry(SystemImportTable& table, unsigned index)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(SystemImport(table, index)));
}

// The number of names in a table's name list, to check it against the slots.
constexpr unsigned CountImportNames(const char* names)
{
    unsigned count = 0;
    while (*names) {
        while (*names)
            ++names;
        ++names;
        ++count;
    }
    return count;
}
