#include "sysinfo/ShellLink.h"

#include "core/TextConvert.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include "platform/Ole32Api.h"
#include "platform/ShlwapiApi.h"
#include <cstring>

namespace {

// Releases a COM interface pointer on every path.
template <typename T>
class ComPtr {
public:
    ~ComPtr() { if (p_) p_->Release(); }
    T** out() { return &p_; }
    T* operator->() const { return p_; }
    T* get() const { return p_; }
private:
    T* p_ = nullptr;
};

bool SaveShellLink(const char* target, const char* shortcutPath, const char* description,
                   const char* iconPath, const char* arguments)
{
    ComPtr<IShellLinkA> link;
    if (FAILED(ole32::CoCreateInstance(__uuidof(ShellLink), nullptr, // no outer object
                                       CLSCTX_INPROC_SERVER, __uuidof(IShellLinkA),
                                       reinterpret_cast<void**>(link.out()))))
        return false;

    link->SetPath(target);
    link->SetDescription(description ? description : "");
    char folder[520] = {0};
    lstrcpynA(folder, target, sizeof(folder));
    shlwapi::PathRemoveFileSpecA(folder);
    link->SetWorkingDirectory(folder);
    link->SetRelativePath(folder, 0);
    link->SetIconLocation(iconPath ? iconPath : "", 0);
    if (arguments)
        link->SetArguments(arguments);

    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(__uuidof(IPersistFile), reinterpret_cast<void**>(file.out()))))
        return false;
    WideChar* widePath = AnsiToWide(shortcutPath);
    if (!widePath)
        return false;
    HRESULT saved = file->Save(widePath, TRUE); // remember the file name
    FreeConverted(widePath);
    return SUCCEEDED(saved);
}

} // namespace

bool CreateShortcut(const char* target, const char* shortcutPath, const char* description,
                    const char* iconPath, const char* arguments)
{
    if (!target || !shortcutPath)
        return false;
    // S_OK or S_FALSE: this call holds one initialisation and must end it.
    // RPC_E_CHANGED_MODE: the thread is already in the caller's multithreaded
    // apartment, where the shell link works as well; ending that apartment
    // would pull COM from under the caller.
    HRESULT initialised = ole32::CoInitialize(nullptr);
    bool saved = SaveShellLink(target, shortcutPath, description, iconPath, arguments);
    if (SUCCEEDED(initialised))
        ole32::CoUninitialize();
    return saved;
}
