#include "platform/Ole32Api.h"

#include "platform/SystemLibrary.h"

#include <ole2.h>

namespace {

enum Entry {
    kCoInitialize,
    kCoInitializeEx,
    kCoUninitialize,
    kCoCreateInstance,
    kCreateStreamOnHGlobal,
    kOleInitialize,
    kOleUninitialize,
    kEntryCount
};
constexpr char kNames[] = "CoInitialize\0CoInitializeEx\0CoUninitialize\0CoCreateInstance\0"
                          "CreateStreamOnHGlobal\0OleInitialize\0OleUninitialize\0";
static_assert(CountImportNames(kNames) == kEntryCount, "one name per entry");

FARPROC g_entries[kEntryCount];
SystemImportTable g_ole32 = {"ole32.dll", kNames, g_entries, nullptr, 0, nullptr};

} // namespace

HRESULT ole32::CoInitialize(LPVOID reserved)
{
    auto entry = SystemEntry<decltype(&::CoInitialize)>(g_ole32, kCoInitialize);
    return entry ? entry(reserved) : E_FAIL;
}

HRESULT ole32::CoInitializeEx(LPVOID reserved, DWORD concurrency)
{
    auto entry = SystemEntry<decltype(&::CoInitializeEx)>(g_ole32, kCoInitializeEx);
    return entry ? entry(reserved, concurrency) : E_FAIL;
}

void ole32::CoUninitialize()
{
    if (auto entry = SystemEntry<decltype(&::CoUninitialize)>(g_ole32, kCoUninitialize))
        entry();
}

HRESULT ole32::CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID interfaceId,
                                LPVOID* object)
{
    auto entry = SystemEntry<decltype(&::CoCreateInstance)>(g_ole32, kCoCreateInstance);
    if (entry)
        return entry(classId, outer, context, interfaceId, object);
    if (object)
        *object = nullptr;
    return E_FAIL;
}

HRESULT ole32::CreateStreamOnHGlobal(HGLOBAL block, BOOL deleteOnRelease, LPSTREAM* stream)
{
    auto entry = SystemEntry<decltype(&::CreateStreamOnHGlobal)>(g_ole32, kCreateStreamOnHGlobal);
    if (entry)
        return entry(block, deleteOnRelease, stream);
    if (stream)
        *stream = nullptr;
    return E_FAIL;
}

HRESULT ole32::OleInitialize(LPVOID reserved)
{
    auto entry = SystemEntry<decltype(&::OleInitialize)>(g_ole32, kOleInitialize);
    return entry ? entry(reserved) : E_FAIL;
}

void ole32::OleUninitialize()
{
    if (auto entry = SystemEntry<decltype(&::OleUninitialize)>(g_ole32, kOleUninitialize))
        entry();
}
