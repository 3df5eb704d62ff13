// The Windows 95/98/Me reboot-time schedule (Wine reporting win98). Drive Q:
// is mapped to a scratch folder by the platform_drive_map test and stands in
// for the Windows drive; Q:\WINDOWS is the Windows directory. The batch files
// are read back line by line and then run with cmd.exe, as the next start would.
#include "platform/FileUtil.h"
#include "tests/support/PlatformTestUtil.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

const std::string kRoot = "Q:\\";
const std::string kWindows = "Q:\\WINDOWS";
const std::string kWininit = kWindows + "\\wininit.ini";
const std::string kReboot = kRoot + "QVReboot.bat";
const std::string kAutoexec = kRoot + "Autoexec.bat";
const std::string kSaved = kRoot + "Autoexec.qv";
const std::string kScratch = kRoot + "Autoexec.bak";

const std::vector<std::string> kHookBlock = {
    "@echo off",
    "call Q:\\QVReboot.bat >> NUL",
    "del Q:\\QVReboot.bat >> NUL",
    "del Q:\\Autoexec.bak >> NUL",
    "copy Q:\\Autoexec.qv Q:\\Autoexec.bak >> NUL",
    "del Q:\\Autoexec.qv >> NUL",
    "copy Q:\\Autoexec.bak Q:\\Autoexec.bat >> NUL",
};

void EmptyDrive()
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((kRoot + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            qvtest::RemoveTree(kRoot + name);
        else
            DeleteFileA((kRoot + name).c_str());
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

std::string ReadAll(const std::string& path)
{
    std::vector<unsigned char> bytes;
    qvtest::ReadBytes(path, bytes);
    return std::string(bytes.begin(), bytes.end());
}

// The file's lines; every line must end in CR LF (text-mode writes).
std::vector<std::string> Lines(const std::string& path)
{
    std::string text = ReadAll(path);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        EXPECT_TRUE(end > start && text[end - 1] == '\r') << path << " line " << lines.size() + 1;
        lines.push_back(text.substr(start, end > start ? end - start - 1 : 0));
    }
    EXPECT_EQ(start, text.size()) << path << " ends without a line end";
    return lines;
}

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// What the next start does with the hook: Autoexec.bat runs once.
bool RunAutoexec()
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    // The batch echoes lines that come before its "@echo off": send them nowhere.
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                             nullptr);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = nul;
    std::string command = "cmd.exe /c " + kAutoexec;
    BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, // inherit the NUL handle
                                  0, nullptr, nullptr, &startup, &process);
    CloseHandle(nul);
    if (!started)
        return false;
    bool done = WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return done;
}

class Reboot9xTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(util_.IsNT()) << "run with WINVER win98";
        ASSERT_TRUE(qvtest::DirExists(kRoot)) << "drive Q: is mapped by the platform_drive_map test";
        EmptyDrive();
        ASSERT_TRUE(CreateDirectoryA(kWindows.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA((kRoot + "data").c_str(), nullptr));
        util_.UseWindowsDirectory(kWindows.c_str());
    }
    void TearDown() override { EmptyDrive(); }

    std::string MakeFile(const std::string& name)
    {
        std::string path = kRoot + "data\\" + name;
        EXPECT_TRUE(qvtest::WriteText(path, "content"));
        return path;
    }
    std::string Short(const std::string& path)
    {
        std::string shortPath;
        EXPECT_TRUE(util_.GetShortPath(path.c_str(), shortPath));
        EXPECT_NE(shortPath, path); // long names, so the schedule must use the 8.3 form
        return shortPath;
    }
    bool NothingWritten()
    {
        return !qvtest::FileExists(kWininit) && !qvtest::FileExists(kReboot) && !qvtest::FileExists(kAutoexec) &&
               !qvtest::FileExists(kSaved);
    }

    CFileUtil util_;
};

TEST_F(Reboot9xTest, AFileNotInUseGoesAtOnceAndNothingIsWritten)
{
    const std::string loose = MakeFile("loose file.dll");
    EXPECT_TRUE(util_.DeleteNowOrOnRestart(loose.c_str()));
    EXPECT_FALSE(qvtest::FileExists(loose));

    EXPECT_FALSE(util_.DeleteNowOrOnRestart((kRoot + "data").c_str()));
    EXPECT_FALSE(util_.DeleteNowOrOnRestart((kRoot + "data\\missing.dll").c_str()));
    EXPECT_FALSE(util_.DeleteNowOrOnRestart(nullptr));
    EXPECT_FALSE(util_.ScheduleDeleteWin9x((kRoot + "data").c_str()));
    EXPECT_FALSE(util_.ScheduleDeleteWin9x((kRoot + "data\\missing.dll").c_str()));
    EXPECT_TRUE(qvtest::DirExists(kRoot + "data"));
    EXPECT_TRUE(NothingWritten());

    // No access lists on this family.
    const std::string other = MakeFile("other.dll");
    EXPECT_FALSE(util_.SetFileAccess(other.c_str(), FILE_ALL_ACCESS, false));
}

TEST_F(Reboot9xTest, TwoFilesInUseShareOneHookThatUndoesItself)
{
    const std::string original = "SET PATH=C:\\DOS\r\nREM keep me\r\n";
    ASSERT_TRUE(qvtest::WriteText(kAutoexec, original));
    const std::string first = MakeFile("first engine.dll");
    const std::string second = MakeFile("second engine.dll");
    const std::string shortFirst = Short(first), shortSecond = Short(second);
    qvtest::InUse holdFirst(first), holdSecond(second);
    ASSERT_TRUE(holdFirst.ok() && holdSecond.ok());

    EXPECT_TRUE(util_.DeleteNowOrOnRestart(first.c_str()));
    EXPECT_TRUE(util_.DeleteNowOrOnRestart(second.c_str()));
    EXPECT_TRUE(qvtest::FileExists(first));
    EXPECT_EQ(Lines(kReboot), (std::vector<std::string>{"@echo off", "del " + shortFirst + " >> NUL",
                                                         "del " + shortSecond + " >> NUL"}));
    EXPECT_EQ(Lines(kWininit), (std::vector<std::string>{"[rename]", "NUL=" + shortFirst, "NUL=" + shortSecond}));
    EXPECT_EQ(Lines(kAutoexec), Join({"SET PATH=C:\\DOS", "REM keep me"}, kHookBlock));
    EXPECT_EQ(ReadAll(kSaved), original);

    // The next start: the files go, the hook removes itself, Autoexec.bat is as before.
    holdFirst.Release();
    holdSecond.Release();
    ASSERT_TRUE(RunAutoexec());
    EXPECT_FALSE(qvtest::FileExists(first));
    EXPECT_FALSE(qvtest::FileExists(second));
    EXPECT_FALSE(qvtest::FileExists(kReboot));
    EXPECT_FALSE(qvtest::FileExists(kSaved));
    EXPECT_EQ(ReadAll(kAutoexec), original);
    EXPECT_EQ(ReadAll(kScratch), original);
}

TEST_F(Reboot9xTest, NoAutoexecAtTheStartLeavesOnlyEchoOffAfterTheNextStart)
{
    const std::string file = MakeFile("in use.dll");
    qvtest::InUse hold(file);
    EXPECT_TRUE(util_.DeleteNowOrOnRestart(file.c_str()));
    EXPECT_EQ(Lines(kAutoexec), Join({"@echo off"}, kHookBlock));
    EXPECT_EQ(ReadAll(kSaved), "@echo off\r\n");

    hold.Release();
    ASSERT_TRUE(RunAutoexec());
    EXPECT_FALSE(qvtest::FileExists(file));
    EXPECT_EQ(ReadAll(kAutoexec), "@echo off\r\n");
    EXPECT_EQ(ReadAll(kScratch), "@echo off\r\n");
}

TEST_F(Reboot9xTest, TheSameFileTwiceKeepsOneDelLine)
{
    const std::string file = MakeFile("twice scheduled.dll");
    const std::string shortName = Short(file);
    qvtest::InUse hold(file);
    EXPECT_TRUE(util_.DeleteNowOrOnRestart(file.c_str()));
    EXPECT_TRUE(util_.DeleteNowOrOnRestart(file.c_str()));
    EXPECT_EQ(Lines(kReboot), (std::vector<std::string>{"@echo off", "del " + shortName + " >> NUL"}));
    EXPECT_EQ(Lines(kWininit), (std::vector<std::string>{"[rename]", "NUL=" + shortName, "NUL=" + shortName}));
    EXPECT_EQ(Lines(kAutoexec), Join({"@echo off"}, kHookBlock)); // hooked once
}

TEST_F(Reboot9xTest, OnlyTheDelLinesOfOtherFilesSurviveARebuild)
{
    ASSERT_TRUE(qvtest::WriteText(kReboot, "@echo off\r\n\r\nrem note\r\ndel Q:\\OTHER.TXT >> NUL\r\n"
                                           "DEL Q:\\UPPER.TXT >> NUL\r\ndel q:\\autoexec.bat >> nul\r\n"
                                           "del Q:\\Autoexec.qv >> NUL\r\ndel Q:\\QVReboot.bat >> NUL\r\ndel\r\n"));
    const std::string file = MakeFile("new one.dll");
    qvtest::InUse hold(file);
    EXPECT_TRUE(util_.ScheduleDeleteWin9x(file.c_str()));
    EXPECT_EQ(Lines(kReboot), (std::vector<std::string>{"@echo off", "del Q:\\OTHER.TXT >> NUL", "del",
                                                         "del " + Short(file) + " >> NUL"}));
}

TEST_F(Reboot9xTest, AFullBatchKeepsWholeLinesAndTheNewFile)
{
    std::string batch = "@echo off\r\n";
    for (int i = 0; i < 1200; ++i)
        batch += "del Q:\\OLD\\FILE" + std::to_string(10000 + i) + ".DLL >> NUL\r\n";
    ASSERT_TRUE(qvtest::WriteText(kReboot, batch));
    const std::string file = MakeFile("last.dll");
    qvtest::InUse hold(file);
    EXPECT_TRUE(util_.ScheduleDeleteWin9x(file.c_str()));
    std::vector<std::string> lines = Lines(kReboot);
    size_t characters = 0;
    for (const std::string& line : lines) {
        characters += line.size() + 1;
        if (line != "@echo off") {
            EXPECT_EQ(line.substr(line.size() - 7), " >> NUL") << line;
        }
    }
    EXPECT_LE(characters, 31999u);
    EXPECT_GT(lines.size(), 600u);
    EXPECT_EQ(lines.back(), "del " + file + " >> NUL"); // already an 8.3 path
}

// Other programs' pending renames in wininit.ini, one "NEW=OLD" line each
// (about 65 bytes with the line end).
std::vector<std::string> PendingRenames(int count)
{
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i) {
        const std::string number = std::to_string(10000 + i);
        lines.push_back("Q:\\OTHERAPP\\SYSTEM\\NEW" + number + ".DLL=Q:\\OTHERAPP\\SYSTEM\\OLD" + number + ".DLL");
    }
    return lines;
}

std::string IniText(const std::vector<std::string>& renames)
{
    std::string text = "[rename]\r\n";
    for (const std::string& line : renames)
        text += line + "\r\n";
    return text;
}

TEST_F(Reboot9xTest, ALargeRenameSectionKeepsEveryEntryAndGainsTheNewOne)
{
    // 600 entries, about 40 KB: more than the first 32,000-byte read holds.
    const std::vector<std::string> renames = PendingRenames(600);
    const std::string before = IniText(renames);
    ASSERT_GT(before.size(), 38000u);
    ASSERT_TRUE(qvtest::WriteText(kWininit, before));
    const std::string file = MakeFile("large section.dll");
    const std::string shortName = Short(file);
    qvtest::InUse hold(file);

    EXPECT_TRUE(util_.ScheduleDeleteWin9x(file.c_str()));
    std::vector<std::string> lines = Lines(kWininit);
    const size_t kept = std::count_if(renames.begin(), renames.end(), [&](const std::string& rename) {
        return std::find(lines.begin(), lines.end(), rename) != lines.end();
    });
    EXPECT_EQ(kept, 600u) << "of the other programs' entries";
    EXPECT_EQ(lines, Join(Join({"[rename]"}, renames), {"NUL=" + shortName}));

    // A second file is added after all of them.
    const std::string second = MakeFile("large section two.dll");
    qvtest::InUse holdSecond(second);
    EXPECT_TRUE(util_.ScheduleDeleteWin9x(second.c_str()));
    lines = Lines(kWininit);
    ASSERT_EQ(lines.size(), 603u);
    EXPECT_EQ(lines[601], "NUL=" + shortName);
    EXPECT_EQ(lines[602], "NUL=" + Short(second));
}

TEST_F(Reboot9xTest, ARenameSectionTooLargeToReadWholeIsLeftAsItWas)
{
    // About 1.1 MB: beyond the largest read, so wininit.ini must not be rewritten.
    const std::string before = IniText(PendingRenames(17000));
    ASSERT_GT(before.size(), 1024000u);
    ASSERT_TRUE(qvtest::WriteText(kWininit, before));
    const std::string file = MakeFile("too large.dll");
    qvtest::InUse hold(file);

    EXPECT_TRUE(util_.ScheduleDeleteWin9x(file.c_str())); // the batch still records it
    EXPECT_TRUE(ReadAll(kWininit) == before) << "wininit.ini was rewritten";
    EXPECT_EQ(Lines(kReboot).back(), "del " + Short(file) + " >> NUL");
}

TEST_F(Reboot9xTest, WithoutAWindowsDirectoryOnlyTheBatchRecordsTheFile)
{
    const std::string file = MakeFile("no windows.dll");
    qvtest::InUse hold(file);
    util_.UseWindowsDirectory("Q:\\NOWIN");
    EXPECT_TRUE(util_.ScheduleDeleteWin9x(file.c_str()));
    EXPECT_FALSE(qvtest::FileExists("Q:\\NOWIN\\wininit.ini"));
    EXPECT_EQ(Lines(kReboot).size(), 2u);
    EXPECT_EQ(Lines(kAutoexec).size(), 1 + kHookBlock.size());
}

TEST_F(Reboot9xTest, AnUnknownWindowsDirectoryRecordsNothing)
{
    const std::string file = MakeFile("unknown.dll");
    qvtest::InUse hold(file);
    util_.UseWindowsDirectory("");
    EXPECT_FALSE(util_.ScheduleDeleteWin9x(file.c_str()));
    EXPECT_TRUE(NothingWritten());
}

} // namespace
