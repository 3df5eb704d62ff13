/* Sample product: stands in for the shell extension "QVCtx.dll". Its
 * DllRegisterServer records the class of the context-menu handler under
 * HKEY_CLASSES_ROOT\CLSID (name, in-process server path, threading model);
 * DllUnregisterServer removes it. It hands out no objects: the stand-in shows
 * the installer's registration, not a working extension. */
#include <windows.h>
#include <olectl.h>

static const char kClassKey[] = "CLSID\\{6B8E2C4A-3F1D-4E7B-9A52-0C1D2E3F4A5B}";
static const char kServerKey[] = "CLSID\\{6B8E2C4A-3F1D-4E7B-9A52-0C1D2E3F4A5B}\\InprocServer32";
static HINSTANCE g_module;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        g_module = instance;
    return TRUE;
}

static BOOL SetText(const char* keyPath, const char* name, const char* text)
{
    HKEY key;
    LONG result;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, keyPath, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
        return FALSE;
    result = RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)text, (DWORD)lstrlenA(text) + 1);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

STDAPI DllRegisterServer(void)
{
    char path[MAX_PATH] = {0};
    if (!GetModuleFileNameA(g_module, path, MAX_PATH))
        return SELFREG_E_CLASS;
    if (!SetText(kClassKey, NULL, "Korvane Free context menu") || !SetText(kServerKey, NULL, path) ||
        !SetText(kServerKey, "ThreadingModel", "Apartment"))
        return SELFREG_E_CLASS;
    return S_OK;
}

STDAPI DllUnregisterServer(void)
{
    RegDeleteKeyA(HKEY_CLASSES_ROOT, kServerKey);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, kClassKey);
    return S_OK;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID interfaceId, LPVOID* object)
{
    (void)classId;
    (void)interfaceId;
    if (object)
        *object = NULL;
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow(void)
{
    return S_OK;
}
