#include "platform/SpecialFolders.h"

#include "core/StringUtil.h"
#include "platform/FolderSources.h"

#include <windows.h>

#include <cstring>
#include <vector>

// Built ahead of the other process-wide objects, whose constructors may
// already look folders up (the order across files is otherwise unspecified).
CSpecialFolders g_specialFolders __attribute__((init_priority(1000)));

namespace {

// Paths are held to what a 512-byte buffer takes.
const size_t kMaxPath = 511;
// User name and Windows directory come from 260-byte buffers.
const size_t kMaxName = 259;
// Shell Folders value names are cut to this length.
const size_t kMaxValueName = 258;
// A source answer of this length or less (a bare drive root) does not count.
const size_t kMinUsefulPath = 3;

enum SourceKind {
    SOURCE_NONE = 0,
    SOURCE_SHELL,           // SHGetSpecialFolderPathA(csidl)
    SOURCE_USER_FOLDERS,    // HKEY_CURRENT_USER ...\Shell Folders value
    SOURCE_MACHINE_FOLDERS, // HKEY_LOCAL_MACHINE ...\Shell Folders value
    SOURCE_SYSTEM_DIR,      // GetSystemDirectoryA
    SOURCE_WINDOWS_DIR,     // GetWindowsDirectoryA
};

struct Source {
    SourceKind kind;
    int csidl;
    const char* valueName;
};

enum FallbackKind {
    FALLBACK_SHAPE,          // build the family's shape (none when the shape is null)
    FALLBACK_COMMON_STARTUP, // derive from the user's start-up folder
};

// One row of the folder table. Fallback shapes use %D (system drive letter),
// %W (Windows directory) and %U (user name).
struct FolderRow {
    const char* names[3];
    Source sources[3];
    Source sources9x[2]; // tried after sources, on Windows 95/98/Me only
    const char* suffix;  // appended when a source succeeds
    FallbackKind fallbackKind;
    const char* fallbackNT;
    const char* fallback9x;
};

#define SHELL(csidl) {SOURCE_SHELL, csidl, nullptr}
#define USER(value) {SOURCE_USER_FOLDERS, 0, value}
#define MACHINE(value) {SOURCE_MACHINE_FOLDERS, 0, value}

const char kQuickLaunch[] = "\\Microsoft\\Internet Explorer\\Quick Launch";

const FolderRow kFolders[] = {
    {{"PROFILE"}, {SHELL(40)}, {}, nullptr, FALLBACK_SHAPE,
     "%D:\\Documents and Settings\\%U", "%W"},
    {{"PROFILES"}, {}, {}, nullptr, FALLBACK_SHAPE,
     "%D:\\Documents and Settings", "%W"},
    {{"APPDATA", "APPLICATION_DATA"}, {SHELL(26), USER("AppData")}, {}, nullptr, FALLBACK_SHAPE,
     "%D:\\Documents and Settings\\%U\\Application Data", "%W\\Application Data"},
    {{"COMMON_APPDATA"}, {SHELL(35), MACHINE("Common AppData")}, {}, nullptr, FALLBACK_SHAPE,
     "%D:\\Documents and Settings\\All Users\\Application Data", "%W\\All Users\\Application Data"},
    {{"LOCAL_APPDATA"}, {SHELL(28), USER("Local AppData")}, {}, nullptr, FALLBACK_SHAPE,
     "%D:\\Documents and Settings\\%U\\Local Settings\\Application Data", "%W\\Local Settings\\Application Data"},
    {{"DESKTOPDIRECTORY"}, {SHELL(16), USER("Desktop")}, {}, nullptr, FALLBACK_SHAPE, nullptr, nullptr},
    // On 95/98/Me the common folders fall back to the user's own.
    {{"COMMON_DESKTOPDIRECTORY"}, {SHELL(25), MACHINE("Common Desktop")}, {SHELL(16), USER("Desktop")},
     nullptr, FALLBACK_SHAPE, nullptr, nullptr},
    {{"MY_DOCUMENTS", "MYDOCUMENTS"}, {SHELL(5), USER("Personal")}, {}, nullptr, FALLBACK_SHAPE,
     "%D:\\Documents and Settings\\%U\\My Documents", "%D:\\My Documents"},
    {{"COMMON_DOCUMENTS"}, {SHELL(46), MACHINE("Common Documents")}, {}, nullptr, FALLBACK_SHAPE,
     "%D:\\Documents and Settings\\All Users\\Documents", "%W\\All Users\\Documents"},
    {{"STARTMENU"}, {SHELL(11), USER("Start Menu")}, {}, nullptr, FALLBACK_SHAPE, nullptr, nullptr},
    // A 95/98/Me machine without a common start menu uses the user's start
    // menu, as the other common entries do on that family.
    {{"COMMON_STARTMENU"}, {SHELL(22), MACHINE("Common Start Menu")}, {SHELL(11), USER("Start Menu")},
     nullptr, FALLBACK_SHAPE, nullptr, nullptr},
    {{"STARTUPMENU", "STARTUP"}, {SHELL(7), USER("Startup")}, {}, nullptr, FALLBACK_SHAPE, nullptr, nullptr},
    {{"COMMON_STARTUPMENU", "COMMON_STARTUP"}, {SHELL(24), MACHINE("Common Startup")}, {SHELL(7), USER("Startup")},
     nullptr, FALLBACK_COMMON_STARTUP, nullptr, nullptr},
    {{"PROGRAMS"}, {SHELL(2), USER("Programs")}, {}, nullptr, FALLBACK_SHAPE, nullptr, nullptr},
    {{"COMMONPROGRAMS", "COMMON_PROGRAMS"}, {SHELL(23), MACHINE("Common Programs")}, {SHELL(2), USER("Programs")},
     nullptr, FALLBACK_SHAPE, nullptr, nullptr},
    {{"ALTSTARTUP"}, {SHELL(29)}, {}, nullptr, FALLBACK_SHAPE, nullptr, nullptr},
    {{"COMMON_ALTSTARTUP"}, {SHELL(30)}, {}, nullptr, FALLBACK_SHAPE, nullptr, nullptr},
    {{"ADMINTOOLS"}, {SHELL(48), USER("Administrative Tools")}, {}, nullptr, FALLBACK_SHAPE, nullptr, nullptr},
    {{"COMMON_ADMINTOOLS"}, {SHELL(47), MACHINE("Common Administrative Tools")}, {}, nullptr, FALLBACK_SHAPE,
     nullptr, nullptr},
    {{"TEMPLATES"}, {SHELL(21), USER("Templates")}, {}, nullptr, FALLBACK_SHAPE,
     "%D:\\Documents and Settings\\%U\\Templates", "%W\\ShellNew"},
    {{"COMMON_TEMPLATES"}, {SHELL(45), MACHINE("Common Templates")}, {}, nullptr, FALLBACK_SHAPE,
     "%D:\\Documents and Settings\\All Users\\Templates", "%W\\All Users\\ShellNew"},
    {{"RECENT"}, {SHELL(8)}, {}, nullptr, FALLBACK_SHAPE,
     "%D:\\Documents and Settings\\%U\\Recent", "%W\\Recent"},
    {{"SENDTO"}, {SHELL(9)}, {}, nullptr, FALLBACK_SHAPE,
     "%D:\\Documents and Settings\\%U\\SendTo", "%D:\\Documents and Settings\\%U\\SendTo"},
    {{"QUICKLUNCH"}, {SHELL(26), USER("AppData")}, {}, kQuickLaunch, FALLBACK_SHAPE,
     "%D:\\Documents and Settings\\%U\\Application Data\\Microsoft\\Internet Explorer\\Quick Launch",
     "%W\\Application Data\\Microsoft\\Internet Explorer\\Quick Launch"},
    {{"COMMON_QUICKLUNCH"}, {SHELL(35), MACHINE("Common AppData")}, {}, kQuickLaunch, FALLBACK_SHAPE,
     "%D:\\Documents and Settings\\All Users\\Application Data\\Microsoft\\Internet Explorer\\Quick Launch",
     "%W\\All Users\\Application Data\\Microsoft\\Internet Explorer\\Quick Launch"},
    {{"FAVORITES"}, {SHELL(6), USER("Favorites")}, {}, nullptr, FALLBACK_SHAPE,
     "%D:\\Documents and Settings\\%U\\Favorites", "%W\\Favorites"},
    {{"COMMON_FAVORITES"}, {SHELL(31), MACHINE("Common Favorites")}, {}, nullptr, FALLBACK_SHAPE,
     "%D:\\Documents and Settings\\All Users\\Favorites", "%W\\All Users\\Favorites"},
    {{"COOKIES"}, {SHELL(33)}, {}, nullptr, FALLBACK_SHAPE,
     "%D:\\Documents and Settings\\%U\\Cookies", "%D:\\Documents and Settings\\%U\\Cookies"},
    {{"WINDOWS", "SYSTEMROOT", "WINDIR"}, {SHELL(36)}, {}, nullptr, FALLBACK_SHAPE, "%W", "%W"},
    {{"SYSTEM"}, {SHELL(37), {SOURCE_SYSTEM_DIR, 0, nullptr}, {SOURCE_WINDOWS_DIR, 0, nullptr}}, {}, nullptr,
     FALLBACK_SHAPE, "%W\\System32", "%W\\System"},
    {{"FONTS"}, {SHELL(20)}, {}, nullptr, FALLBACK_SHAPE, "%W\\Fonts", "%W\\Fonts"},
    {{"PROGRAM_FILES"}, {SHELL(38)}, {}, nullptr, FALLBACK_SHAPE, "%D:\\Program Files", "%D:\\Program Files"},
    {{"PROGRAM_FILES_COMMON"}, {SHELL(43)}, {}, nullptr, FALLBACK_SHAPE,
     "%D:\\Program Files\\Common Files", "%D:\\Program Files\\Common Files"},
    // Always built, never taken from the environment or GetTempPath.
    {{"SYSTEM_TEMP_PATH", "TEMP_PATH"}, {}, {}, nullptr, FALLBACK_SHAPE,
     "%D:\\Documents and Settings\\%U\\Local Settings\\Temp", "%W\\Temp"},
    {{"CONTROL"}, {}, {}, nullptr, FALLBACK_SHAPE,
     "%W\\Downloaded Program Files", "%W\\Downloaded Program Files"},
};

#undef SHELL
#undef USER
#undef MACHINE

// Resolution order. Aliases of a row resolved earlier change nothing because
// insertion never overwrites; "WINDOWS" keeps the directory stored before.
const char* const kResolveOrder[] = {
    "PROFILE", "PROFILES", "APPDATA", "COMMON_APPDATA", "LOCAL_APPDATA", "DESKTOPDIRECTORY",
    "COMMON_DESKTOPDIRECTORY", "MY_DOCUMENTS", "COMMON_DOCUMENTS", "STARTMENU", "COMMON_STARTMENU",
    "STARTUPMENU", "COMMON_STARTUPMENU", "PROGRAMS", "COMMONPROGRAMS", "COMMON_PROGRAMS", "STARTUP",
    "COMMON_STARTUP", "ALTSTARTUP", "COMMON_ALTSTARTUP", "ADMINTOOLS", "COMMON_ADMINTOOLS", "TEMPLATES",
    "COMMON_TEMPLATES", "RECENT", "SENDTO", "QUICKLUNCH", "COMMON_QUICKLUNCH", "FAVORITES",
    "COMMON_FAVORITES", "COOKIES", "WINDOWS", "SYSTEM", "FONTS", "PROGRAM_FILES", "PROGRAM_FILES_COMMON",
    "SYSTEM_TEMP_PATH", "CONTROL",
};

void CutTo(std::string& text, size_t limit)
{
    if (text.size() > limit)
        text.resize(limit);
}

// Appends what still fits into a path buffer.
void AppendLimited(std::string& path, const std::string& fragment)
{
    if (path.size() < kMaxPath)
        path.append(fragment, 0, kMaxPath - path.size());
}

void TrimText(std::string& text)
{
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    TrimBlanks(buffer.data());
    text = buffer.data();
}

// Lower-cases ASCII letters only, leaving both bytes of a double-byte character
// alone, so positions in the copy match the original.
std::string LowerCase(const std::string& text)
{
    std::string lower = text;
    for (size_t i = 0; i < lower.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(lower[i]);
        if (IsDBCSLeadByte(c)) {
            ++i;
            continue;
        }
        if (c >= 'A' && c <= 'Z')
            lower[i] = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

bool EqualsIgnoreCase(const char* a, const char* b)
{
    return LowerCase(a) == LowerCase(b);
}

// A source's answer counts only when longer than a bare drive root; one
// trailing backslash is then removed. A short answer stays in the buffer.
bool AcceptSourcePath(std::string& buffer, std::string answer)
{
    CutTo(answer, kMaxPath);
    TrimText(answer);
    buffer = answer;
    if (buffer.size() <= kMinUsefulPath)
        return false;
    if (buffer.back() == '\\')
        buffer.pop_back();
    return true;
}

bool TrySource(CFolderSources& sources, const Source& source, std::string& buffer)
{
    std::string answer;
    switch (source.kind) {
    case SOURCE_SHELL:
        return sources.ShellFolder(source.csidl, answer) && AcceptSourcePath(buffer, answer);
    case SOURCE_USER_FOLDERS:
    case SOURCE_MACHINE_FOLDERS: {
        std::string valueName = source.valueName;
        CutTo(valueName, kMaxValueName);
        HKEY root = source.kind == SOURCE_USER_FOLDERS ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        return sources.ShellFoldersValue(root, valueName.c_str(), answer) && AcceptSourcePath(buffer, answer);
    }
    case SOURCE_SYSTEM_DIR:
    case SOURCE_WINDOWS_DIR: {
        bool ok = source.kind == SOURCE_SYSTEM_DIR ? sources.SystemDirectory(answer)
                                                   : sources.WindowsDirectory(answer);
        if (!ok || answer.empty())
            return false;
        CutTo(answer, kMaxPath);
        buffer = answer;
        return true;
    }
    case SOURCE_NONE:
        break;
    }
    return false;
}

template <size_t N>
bool TrySources(CFolderSources& sources, const Source (&list)[N], std::string& buffer)
{
    for (const Source& source : list)
        if (source.kind != SOURCE_NONE && TrySource(sources, source, buffer))
            return true;
    return false;
}

const FolderRow* FindRow(const char* name)
{
    for (const FolderRow& row : kFolders)
        for (const char* rowName : row.names)
            if (rowName && EqualsIgnoreCase(rowName, name))
                return &row;
    return nullptr;
}

} // namespace

CSpecialFolders::CSpecialFolders()
{
    CFolderSources windowsSources;
    Resolve(windowsSources);
}

CSpecialFolders::CSpecialFolders(CFolderSources& sources)
{
    Resolve(sources);
}

void CSpecialFolders::Resolve(CFolderSources& sources)
{
    OSVERSIONINFOA version;
    if (sources.Version(version)) {
        isNT_ = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
        isWin2000Family_ = version.dwMajorVersion == 5;
        isXpFamily_ = version.dwMajorVersion == 5 && version.dwMinorVersion >= 1;
    }

    if (!sources.UserName(userName_))
        userName_.clear();
    CutTo(userName_, kMaxName);
    Insert("USER_NAME", userName_);

    if (!sources.WindowsDirectory(windowsDir_))
        windowsDir_.clear();
    CutTo(windowsDir_, kMaxName);
    if (windowsDir_.empty() || !sources.PathExists(windowsDir_.c_str())) {
        systemDrive_ = "C";
        windowsDir_ = (!isNT_ || isXpFamily_) ? "C:\\Windows" : "C:\\Winnt";
    } else {
        systemDrive_ = windowsDir_.substr(0, 1);
    }
    Insert("SYSTEM_DRIVE", systemDrive_);
    Insert("WINDOWS", windowsDir_);

    for (const char* name : kResolveOrder) {
        try {
            ResolveName(sources, name);
        } catch (...) {
            // A name that cannot be resolved is left out; the others go on.
        }
    }
}

void CSpecialFolders::ResolveName(CFolderSources& sources, const char* name)
{
    const FolderRow* row = FindRow(name);
    if (!row)
        return;

    std::string buffer;
    bool found = TrySources(sources, row->sources, buffer) ||
                 (!isNT_ && TrySources(sources, row->sources9x, buffer));
    if (found) {
        if (row->suffix)
            AppendLimited(buffer, row->suffix);
    } else if (row->fallbackKind == FALLBACK_COMMON_STARTUP) {
        buffer = DeriveCommonStartup(buffer);
    } else {
        const char* shape = isNT_ ? row->fallbackNT : row->fallback9x;
        if (shape)
            buffer = ExpandFallback(shape);
    }

    for (const char* rowName : row->names)
        if (rowName)
            Insert(rowName, buffer);
}

std::string CSpecialFolders::ExpandFallback(const char* shape) const
{
    std::string path;
    for (const char* p = shape; *p; ++p) {
        if (p[0] == '%' && p[1]) {
            ++p;
            if (*p == 'D')
                AppendLimited(path, systemDrive_);
            else if (*p == 'W')
                AppendLimited(path, windowsDir_);
            else if (*p == 'U')
                AppendLimited(path, userName_);
            continue;
        }
        AppendLimited(path, std::string(1, *p));
    }
    return path;
}

// The common start-up folder when no source names it: the All Users
// counterpart of the user's start-up folder.
std::string CSpecialFolders::DeriveCommonStartup(const std::string& candidate) const
{
    std::string profilesRoot = isNT_ ? ExpandFallback("%D:\\Documents and Settings") : windowsDir_;
    if (LowerCase(candidate).find(LowerCase(profilesRoot)) != std::string::npos)
        return candidate;

    std::string startup;
    if (!Lookup("STARTUPMENU", startup))
        startup = profilesRoot;
    if (startup.empty())
        return candidate;

    if (isNT_) {
        // An unknown user name would match at the start and splice the whole path in.
        if (userName_.empty())
            return candidate;
        size_t at = LowerCase(startup).find(LowerCase(userName_));
        if (at == std::string::npos)
            return candidate;
        std::string path = ExpandFallback("%D:\\Documents and Settings\\All Users");
        AppendLimited(path, startup.substr(at + userName_.size()));
        return path;
    }

    // 95/98/Me: the user's folder lies under the Windows directory; swap that
    // prefix for the All Users folder. Any other shape would be cut at a
    // meaningless place.
    if (LowerCase(startup.substr(0, windowsDir_.size())) != LowerCase(windowsDir_))
        return candidate;
    std::string path = windowsDir_;
    AppendLimited(path, "\\All Users");
    AppendLimited(path, startup.substr(windowsDir_.size()));
    return path;
}

void CSpecialFolders::Insert(const char* name, const std::string& path)
{
    // The first path stored under a hash stays.
    table_.emplace(StringHash(name), path);
}

bool CSpecialFolders::Lookup(const char* name, std::string& path) const
{
    if (!name)
        return false;
    auto found = table_.find(StringHash(name));
    if (found == table_.end())
        return false;
    path = found->second;
    return true;
}

bool CSpecialFolders::CreateFolderPath(const char* path)
{
    if (!path || !*path)
        return true;
    std::string folder(path, strnlen(path, kMaxPath));
    if (folder.size() < kMaxPath)
        folder += '\\';

    size_t drive = folder.find(":\\");
    if (drive == std::string::npos)
        return true; // network or relative path: nothing to create

    for (size_t i = drive + 2; i < folder.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(folder[i]);
        if (IsDBCSLeadByte(c)) {
            ++i;
            continue;
        }
        if (c != '\\')
            continue;
        std::string prefix = folder.substr(0, i);
        DWORD attributes = GetFileAttributesA(prefix.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            CreateDirectoryA(prefix.c_str(), nullptr); // default security; a failure shows in later steps
    }
    return true;
}
