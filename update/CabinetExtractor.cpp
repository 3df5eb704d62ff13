#include "update/CabinetExtractor.h"

#include "core/NameCheck.h"
#include "platform/SystemHandles.h"

#include "platform/SystemLibrary.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <vector>

namespace {

// Entry points of the FDI library, as documented for FDICreate, FDICopy,
// FDIIsCabinet and FDIDestroy.
typedef HFDI(DIAMONDAPI* FdiCreateFn)(PFNALLOC, PFNFREE, PFNOPEN, PFNREAD, PFNWRITE, PFNCLOSE, PFNSEEK, int,
                                       PERF);
typedef BOOL(DIAMONDAPI* FdiCopyFn)(HFDI, char*, char*, int, PFNFDINOTIFY, PFNFDIDECRYPT, void*);
typedef BOOL(DIAMONDAPI* FdiIsCabinetFn)(HFDI, INT_PTR, PFDICABINETINFO);
typedef BOOL(DIAMONDAPI* FdiDestroyFn)(HFDI);

// Error operation recorded when the library or an entry point is missing.
const int kMissingLibraryError = 1000;
// Read-only, hidden, system and archive: the stored attributes a file keeps.
const USHORT kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                               FILE_ATTRIBUTE_ARCHIVE; // 0x27
// Notification results: FDI goes on after 0 (or a file handle), aborts after -1.
const INT_PTR kContinue = 0;
const INT_PTR kAbort = -1;

// Memory for FDI comes from the process heap.
FNALLOC(HeapAllocate) { return HeapAlloc(GetProcessHeap(), 0, cb); }
FNFREE(HeapRelease) { HeapFree(GetProcessHeap(), 0, pv); }

// Files through the C runtime's low-level functions, with the flags and
// permission FDI passes.
FNOPEN(RuntimeOpen) { return _open(pszFile, oflag, pmode); }
FNREAD(RuntimeRead) { return static_cast<UINT>(_read(static_cast<int>(hf), pv, cb)); }
// A short write (a full disk) is a failure, not a smaller success: FDI is
// told -1, as for any other write error.
FNWRITE(RuntimeWrite)
{
    int written = _write(static_cast<int>(hf), pv, cb);
    return (written >= 0 && static_cast<UINT>(written) == cb) ? cb : static_cast<UINT>(-1);
}
// An FDI context, destroyed with the FDIDestroy of the Cabinet.dll that made
// it (looked up for each extraction, which runs on one thread at a time).
FdiDestroyFn g_fdiDestroy = nullptr;
struct FdiContextTraits {
    typedef HFDI Handle;
    static HFDI Invalid() { return nullptr; }
    static bool Close(HFDI context) { return g_fdiDestroy && g_fdiDestroy(context); }
};
typedef CHandleHolder<FdiContextTraits> CFdiContext;

FNCLOSE(RuntimeClose) { return _close(static_cast<int>(hf)); }
FNSEEK(RuntimeSeek) { return _lseek(static_cast<int>(hf), dist, seektype); }

// GetProcAddress through void*: the entry points are not FARPROC-shaped.
template <typename Fn>
Fn EntryPoint(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Converts text between a code page and UTF-16; false when the call fails.
bool ToWide(UINT codePage, const std::string& text, std::wstring& wide)
{
    wide.clear();
    if (text.empty())
        return true;
    int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0)
        return false;
    std::vector<wchar_t> buffer(static_cast<size_t>(length));
    if (MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), buffer.data(), length) != length)
        return false;
    wide.assign(buffer.begin(), buffer.end());
    return true;
}

bool FromWide(UINT codePage, const std::wstring& wide, std::string& text)
{
    text.clear();
    if (wide.empty())
        return true;
    int length = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                     nullptr);
    if (length <= 0)
        return false;
    std::vector<char> buffer(static_cast<size_t>(length));
    if (WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), buffer.data(), length, nullptr,
                            nullptr) != length)
        return false;
    text.assign(buffer.begin(), buffer.end());
    return true;
}

// The stored name in the system code page. A name with the UTF-8 flag is
// converted; it is refused (false) when it is no valid UTF-8 or holds a
// character the code page lacks. Both show as a difference after converting
// back, which also catches a look-alike the conversion would put in (such
// as "\" for a full-width reverse solidus).
bool SystemCodePageName(const char* storedName, USHORT attributes, std::string& name)
{
    name = storedName ? storedName : "";
    if (!(attributes & _A_NAME_IS_UTF))
        return true;
    std::wstring wide;
    std::wstring back;
    std::string utf8;
    std::string converted;
    if (!ToWide(CP_UTF8, name, wide) || !FromWide(CP_UTF8, wide, utf8) || utf8 != name ||
        !FromWide(CP_ACP, wide, converted) || !ToWide(CP_ACP, converted, back) || back != wide)
        return false;
    name = converted;
    return true;
}

} // namespace

CCabinetExtractor::CCabinetExtractor(const char* libraryName)
    : libraryName_(libraryName ? libraryName : ""), cancel_(false), entryFailed_(false), entrySize_(0)
{
    ZeroMemory(&error_, sizeof(error_));
}

CCabinetExtractor::~CCabinetExtractor() {}

bool CCabinetExtractor::Extract(const char* cabinetPath, const char* destinationFolder)
{
    ZeroMemory(&error_, sizeof(error_));
    // Any file-system object of the destination's name will do; the folder
    // check proper happens when the first file is created.
    if (!cabinetPath || !destinationFolder || GetFileAttributesA(destinationFolder) == INVALID_FILE_ATTRIBUTES)
        return false;

    CLoadedModule library(LoadSystemLibrary(libraryName_.c_str()));
    FdiCreateFn create = nullptr;
    FdiCopyFn copy = nullptr;
    FdiIsCabinetFn isCabinet = nullptr;
    FdiDestroyFn destroy = nullptr;
    if (library) {
        create = EntryPoint<FdiCreateFn>(library.Get(), "FDICreate");
        copy = EntryPoint<FdiCopyFn>(library.Get(), "FDICopy");
        isCabinet = EntryPoint<FdiIsCabinetFn>(library.Get(), "FDIIsCabinet"); // looked up, not called
        destroy = EntryPoint<FdiDestroyFn>(library.Get(), "FDIDestroy");
    }
    if (!create || !copy || !isCabinet || !destroy) {
        error_.erfOper = kMissingLibraryError;
        error_.fError = TRUE;
        return false;
    }

    g_fdiDestroy = destroy;
    CFdiContext context(create(HeapAllocate, HeapRelease, RuntimeOpen, RuntimeRead, RuntimeWrite, RuntimeClose,
                               RuntimeSeek, cpu80386, &error_));
    if (!context || !*cabinetPath)
        return false;

    destination_ = destinationFolder;
    if (destination_.empty() || destination_[destination_.size() - 1] != '\\')
        destination_ += '\\';

    // FDI takes the cabinet as a folder (ending in "\") and a name.
    std::string path = cabinetPath;
    size_t cut = path.rfind('\\');
    std::string folderText = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
    std::string nameText = cut == std::string::npos ? path : path.substr(cut + 1);
    std::vector<char> folder(folderText.begin(), folderText.end());
    folder.push_back('\0');
    std::vector<char> name(nameText.begin(), nameText.end());
    name.push_back('\0');

    entryFailed_ = false;
    entryPath_.clear();
    bool copied = copy(context.Get(), name.data(), folder.data(), 0, // no flags
                       OnNotify, nullptr,                              // no decryption
                       this) != FALSE;
    return copied && !entryFailed_;
}

INT_PTR DIAMONDAPI CCabinetExtractor::OnNotify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION info)
{
    CCabinetExtractor* self = static_cast<CCabinetExtractor*>(info->pv);
    if (self->cancel_)
        return kAbort;
    switch (type) {
    case fdintCOPY_FILE:
        return self->OnCopyFile(*info);
    case fdintCLOSE_FILE_INFO:
        return self->OnCloseFileInfo(*info);
    default:
        return kContinue;
    }
}

// The stored name must be a relative path of plain names ("\\" or "/"
// separated): it stays below the destination and names no device.
bool CCabinetExtractor::TargetPath(const char* storedName, USHORT attributes, std::string& path) const
{
    std::string name;
    if (!SystemCodePageName(storedName, attributes, name) || !IsPlainRelativePath(name))
        return false;
    for (char& c : name)
        if (c == '/')
            c = '\\';
    path = destination_ + name;
    // A longer path would have to be cut, and the file would land under another name.
    return path.size() < MAX_PATH;
}

INT_PTR CCabinetExtractor::OnCopyFile(const FDINOTIFICATION& info)
{
    std::string path;
    if (!TargetPath(info.psz1, info.attribs, path))
        return kAbort;
    // Create every folder along the path; existing ones make the call fail harmlessly.
    for (size_t i = 0; i < path.size(); ++i)
        if (path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    INT_PTR file =
        _open(path.c_str(), _O_BINARY | _O_SEQUENTIAL | _O_WRONLY | _O_CREAT | _O_TRUNC, _S_IREAD | _S_IWRITE);
    entryPath_ = file == kAbort ? std::string() : path;
    entrySize_ = info.cb;
    return file;
}

INT_PTR CCabinetExtractor::OnCloseFileInfo(const FDINOTIFICATION& info)
{
    int written = static_cast<int>(info.hf);
    bool whole = _lseek(written, 0, SEEK_END) == entrySize_;
    whole = _close(written) == 0 && whole;
    std::string path;
    path.swap(entryPath_);
    if (!whole) {
        // A file cut short is no entry of the cabinet: it goes, and so does the extraction.
        entryFailed_ = true;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
        return FALSE;
    }

    // Failures to set the time or the attributes leave the file as written.
    {
        CFileHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        FILETIME local;
        FILETIME utc;
        if (file && DosDateTimeToFileTime(info.date, info.time, &local) &&
            LocalFileTimeToFileTime(&local, &utc))
            SetFileTime(file.Get(), &utc, nullptr, &utc); // last access left alone
    }
    SetFileAttributesA(path.c_str(), info.attribs & kKeptAttributes);
    return TRUE;
}
