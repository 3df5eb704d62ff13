// Special folders by symbolic name.
//
// The program never writes a system folder path literally: it asks the
// process-wide table g_specialFolders for "PROGRAM_FILES",
// "COMMON_DESKTOPDIRECTORY", "SYSTEM_TEMP_PATH" and so on. The table is filled
// once, at construction, from the shell, the per-user and per-machine "Shell
// Folders" registry values and, as a last resort, paths built from the system
// drive, the Windows directory and the user name, shaped for the NT family or
// for Windows 95/98/Me. Nothing is refreshed later. After construction the
// object is only read, from any thread, without a lock.
#pragma once

#include <cstdint>
#include <string>
#include <map>

class CFolderSources;

class CSpecialFolders {
public:
    // Resolves every name from Windows itself.
    CSpecialFolders();
    // Resolves every name from the given sources (only used during construction).
    explicit CSpecialFolders(CFolderSources& sources);

    // True and path set when the name (upper case, compared exactly) was stored;
    // false and path untouched otherwise.
    bool Lookup(const char* name, std::string& path) const;

    // Creates every missing directory of an absolute path ("X:\..."), parents
    // first, ignoring failures. A path without ":\" creates nothing. Always true.
    static bool CreateFolderPath(const char* path);

    // Windows NT family (platform VER_PLATFORM_WIN32_NT).
    bool IsNT() const { return isNT_; }
    // Major version 5: 2000, XP, Server 2003.
    bool IsWin2000Family() const { return isWin2000Family_; }
    // Major version 5, minor version 1 or more: XP, Server 2003.
    bool IsXpFamily() const { return isXpFamily_; }

    const std::string& SystemDrive() const { return systemDrive_; }
    const std::string& WindowsDir() const { return windowsDir_; }
    const std::string& UserName() const { return userName_; }

private:
    void Resolve(CFolderSources& sources);
    void ResolveName(CFolderSources& sources, const char* name);
    std::string DeriveCommonStartup(const std::string& candidate) const;
    std::string ExpandFallback(const char* shape) const;
    void Insert(const char* name, const std::string& path);

    std::map<uint32_t, std::string> table_;
    bool isNT_ = false;
    bool isWin2000Family_ = false;
    bool isXpFamily_ = false;
    std::string systemDrive_;
    std::string windowsDir_;
    std::string userName_;
};

// The process-wide table, built by static construction before the wizard starts.
extern CSpecialFolders g_specialFolders;
