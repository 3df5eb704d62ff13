#include "platform/OleAut32Api.h"

#include "platform/SystemLibrary.h"

#include <olectl.h>

namespace {

enum Entry { kOleLoadPicture, kEntryCount };
constexpr char kNames[] = "OleLoadPicture\0";
static_assert(CountImportNames(kNames) == kEntryCount, "one name per entry");

FARPROC g_entries[kEntryCount];
SystemImportTable g_oleaut32 = {"oleaut32.dll", kNames, g_entries, nullptr, 0, nullptr};

} // namespace

HRESULT oleaut32::OleLoadPicture(LPSTREAM stream, LONG size, BOOL runMode, REFIID interfaceId, LPVOID* picture)
{
    auto entry = SystemEntry<decltype(&::OleLoadPicture)>(g_oleaut32, kOleLoadPicture);
    if (entry)
        return entry(stream, size, runMode, interfaceId, picture);
    if (picture)
        *picture = nullptr;
    return E_FAIL;
}
