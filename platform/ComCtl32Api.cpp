#include "platform/ComCtl32Api.h"

#include "platform/SystemLibrary.h"

#include <commctrl.h>

namespace {

enum Entry { kInitCommonControls, kEntryCount };
constexpr char kNames[] = "InitCommonControls\0";
static_assert(CountImportNames(kNames) == kEntryCount, "one name per entry");

// True when the activation context in effect redirects `library` to a
// side-by-side assembly. FindActCtxSectionStringA is looked up at run time:
// systems before XP lack it, and have no redirection either.
bool RedirectedSideBySide(const char* library)
{
    typedef BOOL(WINAPI * FindSectionFn)(DWORD, const GUID*, ULONG, LPCSTR, PACTCTX_SECTION_KEYED_DATA);
    FindSectionFn findSection = reinterpret_cast<FindSectionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "FindActCtxSectionStringA")));
    ACTCTX_SECTION_KEYED_DATA data = {};
    data.cbSize = sizeof(data);
    return findSection && findSection(0, nullptr, // no flags, any extension section
                                      ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, library, &data);
}

FARPROC g_entries[kEntryCount];
SystemImportTable g_comctl32 = {"comctl32.dll", kNames, g_entries, comctl32::LoadCommonControls, 0, nullptr};

} // namespace

HMODULE comctl32::LoadCommonControls(const char* library)
{
    return RedirectedSideBySide(library) ? LoadLibraryA(library) : LoadSystemLibrary(library);
}

void comctl32::InitCommonControls()
{
    if (auto entry = SystemEntry<decltype(&::InitCommonControls)>(g_comctl32, kInitCommonControls))
        entry();
}
