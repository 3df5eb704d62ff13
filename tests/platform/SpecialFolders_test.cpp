// CSpecialFolders: resolution through scripted folder sources for both Windows
// families, the real table under Wine, and CreateFolderPath.
#include "platform/FolderSources.h"
#include "platform/SpecialFolders.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

namespace {

// Sources answering from maps; a CSIDL or value not in them fails.
class ScriptedSources : public CFolderSources {
public:
    ScriptedSources(DWORD platform, DWORD major, DWORD minor)
    {
        version.dwPlatformId = platform;
        version.dwMajorVersion = major;
        version.dwMinorVersion = minor;
    }
    bool Version(OSVERSIONINFOA& info) override
    {
        info = version;
        return versionOk;
    }
    bool UserName(std::string& name) override
    {
        name = user;
        return true;
    }
    bool WindowsDirectory(std::string& path) override
    {
        path = windows;
        return !windows.empty();
    }
    bool SystemDirectory(std::string& path) override
    {
        path = system;
        return !system.empty();
    }
    bool ShellFolder(int csidl, std::string& path) override { return Answer(shell, csidl, path); }
    bool ShellFoldersValue(HKEY root, const char* valueName, std::string& path) override
    {
        return Answer(root == HKEY_CURRENT_USER ? userFolders : machineFolders, std::string(valueName), path);
    }
    bool PathExists(const char* path) override { return windowsExists && windows == path; }

    template <typename Key>
    static bool Answer(const std::map<Key, std::string>& answers, const Key& key, std::string& path)
    {
        auto found = answers.find(key);
        if (found == answers.end())
            return false;
        path = found->second;
        return true;
    }

    OSVERSIONINFOA version = {};
    bool versionOk = true;
    bool windowsExists = true;
    std::string user = "kim";
    std::string windows = "C:\\WINDOWS";
    std::string system;
    std::map<int, std::string> shell;
    std::map<std::string, std::string> userFolders, machineFolders;
};

ScriptedSources Nt(DWORD minor = 1) { return ScriptedSources(VER_PLATFORM_WIN32_NT, 5, minor); }
ScriptedSources Win9x() { return ScriptedSources(VER_PLATFORM_WIN32_WINDOWS, 4, 10); }

std::string Get(const CSpecialFolders& folders, const char* name)
{
    std::string path = "<missing>";
    folders.Lookup(name, path);
    return path;
}

void ExpectFolders(const CSpecialFolders& folders, const std::map<std::string, std::string>& expected)
{
    for (const auto& entry : expected)
        EXPECT_EQ(Get(folders, entry.first.c_str()), entry.second) << entry.first;
}

TEST(SpecialFoldersNt, EveryFallbackTakesTheNtShape)
{
    ScriptedSources sources = Nt();
    CSpecialFolders folders(sources);
    const std::string home = "C:\\Documents and Settings\\kim";
    const std::string all = "C:\\Documents and Settings\\All Users";
    ExpectFolders(folders, {
        {"USER_NAME", "kim"}, {"SYSTEM_DRIVE", "C"}, {"WINDOWS", "C:\\WINDOWS"}, {"PROFILE", home},
        {"PROFILES", "C:\\Documents and Settings"}, {"APPDATA", home + "\\Application Data"},
        {"APPLICATION_DATA", home + "\\Application Data"}, {"COMMON_APPDATA", all + "\\Application Data"},
        {"LOCAL_APPDATA", home + "\\Local Settings\\Application Data"}, {"MY_DOCUMENTS", home + "\\My Documents"},
        {"MYDOCUMENTS", home + "\\My Documents"}, {"COMMON_DOCUMENTS", all + "\\Documents"},
        {"TEMPLATES", home + "\\Templates"}, {"COMMON_TEMPLATES", all + "\\Templates"},
        {"RECENT", home + "\\Recent"}, {"SENDTO", home + "\\SendTo"}, {"COOKIES", home + "\\Cookies"},
        {"QUICKLUNCH", home + "\\Application Data\\Microsoft\\Internet Explorer\\Quick Launch"},
        {"COMMON_QUICKLUNCH", all + "\\Application Data\\Microsoft\\Internet Explorer\\Quick Launch"},
        {"FAVORITES", home + "\\Favorites"}, {"COMMON_FAVORITES", all + "\\Favorites"},
        {"SYSTEMROOT", "C:\\WINDOWS"}, {"WINDIR", "C:\\WINDOWS"}, {"SYSTEM", "C:\\WINDOWS"},
        {"FONTS", "C:\\WINDOWS\\Fonts"}, {"PROGRAM_FILES", "C:\\Program Files"},
        {"PROGRAM_FILES_COMMON", "C:\\Program Files\\Common Files"},
        {"SYSTEM_TEMP_PATH", home + "\\Local Settings\\Temp"}, {"TEMP_PATH", home + "\\Local Settings\\Temp"},
        {"CONTROL", "C:\\WINDOWS\\Downloaded Program Files"},
        // Rows without a fallback keep an empty path.
        {"DESKTOPDIRECTORY", ""}, {"COMMON_DESKTOPDIRECTORY", ""}, {"STARTMENU", ""}, {"COMMON_STARTMENU", ""},
        {"PROGRAMS", ""}, {"COMMONPROGRAMS", ""}, {"ADMINTOOLS", ""}, {"ALTSTARTUP", ""},
    });
}

TEST(SpecialFolders9x, EveryFallbackTakesThe9xShapeAndCommonFoldersUseTheUsersOwn)
{
    ScriptedSources sources = Win9x();
    sources.shell = {{16, "C:\\WINDOWS\\Desktop"}, {2, "C:\\WINDOWS\\Start Menu\\Programs"},
                     {11, "C:\\WINDOWS\\Start Menu"}};
    sources.userFolders = {{"Startup", "C:\\WINDOWS\\Start Menu\\Programs\\StartUp"}};
    CSpecialFolders folders(sources);
    EXPECT_FALSE(folders.IsNT());
    ExpectFolders(folders, {
        {"PROFILE", "C:\\WINDOWS"}, {"PROFILES", "C:\\WINDOWS"}, {"APPDATA", "C:\\WINDOWS\\Application Data"},
        {"COMMON_APPDATA", "C:\\WINDOWS\\All Users\\Application Data"}, {"MY_DOCUMENTS", "C:\\My Documents"},
        {"COMMON_DOCUMENTS", "C:\\WINDOWS\\All Users\\Documents"}, {"TEMPLATES", "C:\\WINDOWS\\ShellNew"},
        {"COMMON_TEMPLATES", "C:\\WINDOWS\\All Users\\ShellNew"}, {"RECENT", "C:\\WINDOWS\\Recent"},
        {"SENDTO", "C:\\Documents and Settings\\kim\\SendTo"}, {"SYSTEM_TEMP_PATH", "C:\\WINDOWS\\Temp"},
        {"QUICKLUNCH", "C:\\WINDOWS\\Application Data\\Microsoft\\Internet Explorer\\Quick Launch"},
        {"COMMON_DESKTOPDIRECTORY", "C:\\WINDOWS\\Desktop"}, {"COMMONPROGRAMS", "C:\\WINDOWS\\Start Menu\\Programs"},
        {"COMMON_PROGRAMS", "C:\\WINDOWS\\Start Menu\\Programs"}, {"COMMON_STARTMENU", "C:\\WINDOWS\\Start Menu"},
        {"COMMON_STARTUPMENU", "C:\\WINDOWS\\Start Menu\\Programs\\StartUp"},
        {"COMMON_STARTUP", "C:\\WINDOWS\\Start Menu\\Programs\\StartUp"},
    });

    // The same answers on NT: the common folders have no such fallback.
    ScriptedSources nt = Nt();
    nt.shell = sources.shell;
    CSpecialFolders ntFolders(nt);
    EXPECT_EQ(Get(ntFolders, "COMMON_DESKTOPDIRECTORY"), "");
    EXPECT_EQ(Get(ntFolders, "COMMON_STARTMENU"), "");
}

TEST(SpecialFoldersNt, CommonStartupIsDerivedFromTheUsersStartupFolder)
{
    ScriptedSources sources = Nt();
    sources.user = "KIM";
    sources.shell = {{7, "C:\\Documents and Settings\\kim\\Start Menu\\Programs\\Startup"}};
    CSpecialFolders folders(sources);
    EXPECT_EQ(Get(folders, "COMMON_STARTUPMENU"), "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup");
    EXPECT_EQ(Get(folders, "COMMON_STARTUP"), Get(folders, "COMMON_STARTUPMENU"));

    // A source that names it wins; a start-up folder without the user name derives nothing.
    sources.machineFolders = {{"Common Startup", "D:\\Shared\\Startup\\"}};
    EXPECT_EQ(Get(CSpecialFolders(sources), "COMMON_STARTUPMENU"), "D:\\Shared\\Startup");
    sources.machineFolders.clear();
    sources.shell = {{7, "D:\\Profiles\\other\\Startup"}};
    EXPECT_EQ(Get(CSpecialFolders(sources), "COMMON_STARTUPMENU"), "");
}

TEST(SpecialFolders, SourceAnswersAreTrimmedAndBareRootsDoNotCount)
{
    ScriptedSources sources = Nt();
    sources.shell = {{38, "D:\\Apps\\"}, {43, "E:\\"}, {16, "F:\\"}, {20, "  D:\\Fonts  "}, {36, "D:\\OtherWin"}};
    sources.userFolders = {{"Personal", "  X:\\  "}, {"Start Menu", "G:\\Menu\\"}};
    CSpecialFolders folders(sources);
    ExpectFolders(folders, {
        {"PROGRAM_FILES", "D:\\Apps"},
        {"PROGRAM_FILES_COMMON", "C:\\Program Files\\Common Files"}, // "E:\" failed: fallback
        {"DESKTOPDIRECTORY", "F:\\"},                                 // no fallback: the short answer stays
        {"FONTS", "D:\\Fonts"},
        {"MY_DOCUMENTS", "C:\\Documents and Settings\\kim\\My Documents"},
        {"STARTMENU", "G:\\Menu"},
        // "WINDOWS" was stored first and is never overwritten.
        {"WINDOWS", "C:\\WINDOWS"}, {"SYSTEMROOT", "D:\\OtherWin"}, {"WINDIR", "D:\\OtherWin"},
    });
}

TEST(SpecialFolders, LongPathsAreCutTo511CharactersBeforeAppending)
{
    ScriptedSources sources = Nt();
    const std::string longPath = "C:\\" + std::string(600, 'x');
    const std::string nearFull = "C:\\" + std::string(500, 'y');
    sources.shell = {{26, longPath}, {35, nearFull}};
    CSpecialFolders folders(sources);
    EXPECT_EQ(Get(folders, "APPDATA"), longPath.substr(0, 511));
    EXPECT_EQ(Get(folders, "QUICKLUNCH"), longPath.substr(0, 511));
    EXPECT_EQ(Get(folders, "COMMON_QUICKLUNCH"),
              (nearFull + "\\Microsoft\\Internet Explorer\\Quick Launch").substr(0, 511));
}

TEST(SpecialFolders, VersionFlagsAndWindowsDirectoryFallback)
{
    ScriptedSources w2k = Nt(0);
    w2k.windowsExists = false;
    CSpecialFolders w2kFolders(w2k);
    EXPECT_TRUE(w2kFolders.IsNT());
    EXPECT_TRUE(w2kFolders.IsWin2000Family());
    EXPECT_FALSE(w2kFolders.IsXpFamily());
    EXPECT_EQ(Get(w2kFolders, "WINDOWS"), "C:\\Winnt");
    EXPECT_EQ(Get(w2kFolders, "SYSTEM_DRIVE"), "C");

    ScriptedSources xp = Nt(2);
    xp.windows = "D:\\WINNT";
    xp.system = "D:\\WINNT\\system32";
    CSpecialFolders xpFolders(xp);
    EXPECT_TRUE(xpFolders.IsXpFamily());
    EXPECT_EQ(Get(xpFolders, "SYSTEM_DRIVE"), "D");
    EXPECT_EQ(Get(xpFolders, "PROGRAM_FILES"), "D:\\Program Files");
    EXPECT_EQ(Get(xpFolders, "SYSTEM"), "D:\\WINNT\\system32");

    // Both directory queries empty: the family's "System" folder under the fallback directory.
    ScriptedSources none = Nt(1);
    none.windows.clear();
    CSpecialFolders noneFolders(none);
    EXPECT_EQ(Get(noneFolders, "WINDOWS"), "C:\\Windows");
    EXPECT_EQ(Get(noneFolders, "SYSTEM"), "C:\\Windows\\System32");
    ScriptedSources none9x = Win9x();
    none9x.windows.clear();
    EXPECT_EQ(Get(CSpecialFolders(none9x), "SYSTEM"), "C:\\Windows\\System");

    ScriptedSources vista(VER_PLATFORM_WIN32_NT, 6, 0);
    CSpecialFolders vistaFolders(vista);
    EXPECT_TRUE(vistaFolders.IsNT());
    EXPECT_FALSE(vistaFolders.IsWin2000Family());
    ScriptedSources failed = Nt();
    failed.versionOk = false;
    CSpecialFolders failedFolders(failed);
    EXPECT_FALSE(failedFolders.IsNT() || failedFolders.IsWin2000Family() || failedFolders.IsXpFamily());
}

// The process-wide table built from Wine itself, under the reported version
// given in QV_WINVER (the test runs once per version).
TEST(RealSources, TableMatchesTheRunningSystem)
{
    const char* winver = getenv("QV_WINVER");
    const std::string version = winver ? winver : "win7";
    EXPECT_EQ(g_specialFolders.IsNT(), version != "win98");
    EXPECT_EQ(g_specialFolders.IsWin2000Family(), version == "win2k" || version == "winxp");
    EXPECT_EQ(g_specialFolders.IsXpFamily(), version == "winxp");

    char windows[MAX_PATH] = {0};
    GetWindowsDirectoryA(windows, sizeof(windows));
    char user[MAX_PATH] = {0};
    DWORD size = sizeof(user);
    GetUserNameA(user, &size);
    EXPECT_EQ(Get(g_specialFolders, "WINDOWS"), windows);
    EXPECT_EQ(Get(g_specialFolders, "USER_NAME"), user);
    const std::string temp = g_specialFolders.IsNT()
                                 ? std::string("C:\\Documents and Settings\\") + user + "\\Local Settings\\Temp"
                                 : std::string(windows) + "\\Temp";
    EXPECT_EQ(Get(g_specialFolders, "SYSTEM_TEMP_PATH"), temp);
    EXPECT_TRUE(qvtest::DirExists(Get(g_specialFolders, "PROGRAM_FILES")));
    EXPECT_TRUE(qvtest::DirExists(Get(g_specialFolders, "COMMON_DESKTOPDIRECTORY")));

    std::string path = "untouched";
    EXPECT_FALSE(g_specialFolders.Lookup("program_files", path));
    EXPECT_FALSE(g_specialFolders.Lookup(nullptr, path));
    EXPECT_FALSE(g_specialFolders.Lookup("NO_SUCH_FOLDER", path));
    EXPECT_EQ(path, "untouched");
}

TEST(CreateFolderPath, CreatesEveryMissingLevelAndNothingWithoutADrive)
{
    qvtest::ScratchDir scratch;
    const std::string deep = scratch.File("a\\b\\c\\d");
    EXPECT_TRUE(CSpecialFolders::CreateFolderPath(deep.c_str()));
    EXPECT_TRUE(qvtest::DirExists(deep));
    EXPECT_TRUE(CSpecialFolders::CreateFolderPath((scratch.File("e\\f") + "\\").c_str()));
    EXPECT_TRUE(qvtest::DirExists(scratch.File("e\\f")));

    // A file in the way: true, nothing below it.
    ASSERT_TRUE(qvtest::WriteText(scratch.File("file"), "x"));
    EXPECT_TRUE(CSpecialFolders::CreateFolderPath(scratch.File("file\\sub").c_str()));
    EXPECT_FALSE(qvtest::DirExists(scratch.File("file\\sub")));

    ASSERT_TRUE(SetCurrentDirectoryA(scratch.path().c_str()));
    EXPECT_TRUE(CSpecialFolders::CreateFolderPath("rel\\sub"));
    EXPECT_TRUE(CSpecialFolders::CreateFolderPath("\\\\server\\share\\dir"));
    EXPECT_FALSE(qvtest::DirExists(scratch.File("rel")));
    EXPECT_TRUE(CSpecialFolders::CreateFolderPath(""));
    EXPECT_TRUE(CSpecialFolders::CreateFolderPath(nullptr));
    SetCurrentDirectoryA("C:\\");
}

} // namespace
