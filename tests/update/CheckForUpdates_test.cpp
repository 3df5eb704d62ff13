// Checks of a channel: reading the patch list, choosing what to fetch, flags,
// deletions, placeholders and the release stamp.
#include "update/UpdateEngine.h"

#include "integration/EngineProduct.h"
#include "integration/ProductSettings.h"
#include "tests/update/EngineTestUtil.h"
#include "tests/support/RegistryReadBack.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

namespace {

using enginetest::Digest;
using enginetest::Row;
using enginetest::ServedFolder;

const std::string kOld = "old content";
const std::string kNew = "new content";

class CheckTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Ready());
        ResetEngineForProduct(engine);
        target = base.File("target");
        CreateDirectoryA(target.c_str(), nullptr);
    }
    int32_t Check()
    {
        return engine.CheckForUpdates("127.0.0.1", remote.RemotePath().c_str(), server.Port(),
                                      base.path().c_str());
    }
    Row FileRow(const std::string& name, const std::string& content, const char* restart = "")
    {
        Row row;
        row.fileMd5 = Digest(content);
        row.targetFolder = target;
        row.fileName = name;
        row.restartKind = restart;
        row.releaseStamp = "20070101";
        row.packageName = name;
        row.packageMd5 = Digest(content);
        row.size = static_cast<int32_t>(content.size());
        return row;
    }
    std::string InTarget(const std::string& name) const { return target + "\\" + name; }

    qvtest::CTestServer server{"engine_server"};
    ServedFolder remote{server, "check-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name())};
    qvtest::ScratchDir base;
    std::string target;
    CUpdateEngine engine;
};

TEST_F(CheckTest, MissingListGivesTwoAndRemovesTheWorkFolder)
{
    EXPECT_EQ(Check(), UPD_RESULT_NO_LIST);
    EXPECT_FALSE(qvtest::DirExists(base.File("QVTmp")));
}

TEST_F(CheckTest, HeaderOnlyListGivesEightAndKeepsTheHeaderValues)
{
    ASSERT_TRUE(enginetest::SavePatchList(remote.File("QVPatch.dat"), {}, "KorvaneFree", "2007.03"));
    EXPECT_EQ(Check(), UPD_RESULT_NOTHING);
    EXPECT_EQ(engine.HeaderValue(0), "KorvaneFree");
    EXPECT_EQ(engine.HeaderValue(1), "2007.03");
    EXPECT_FALSE(qvtest::DirExists(base.File("QVTmp")));
}

TEST_F(CheckTest, UpToDateFilesGiveEight)
{
    ASSERT_TRUE(qvtest::WriteText(InTarget("a.dll"), kNew));
    // Whatever a ".new" copy holds, a current file is not selected.
    ASSERT_TRUE(qvtest::WriteText(InTarget("a.dll.new"), kOld));
    // Names compare as Windows compares them (letter case and trailing dots
    // do not count), in every target folder of the list.
    ASSERT_TRUE(qvtest::WriteText(InTarget("Mixed.DAT"), kNew));
    std::string other = base.File("other");
    CreateDirectoryA(other.c_str(), nullptr);
    ASSERT_TRUE(qvtest::WriteText(other + "\\b.txt", kNew));
    Row dotted = FileRow("B.TXT.", kNew);
    dotted.targetFolder = other;
    ASSERT_TRUE(enginetest::SavePatchList(remote.File("QVPatch.dat"),
                                          {FileRow("a.dll", kNew), FileRow("mixed.dat", kNew), dotted}));
    EXPECT_EQ(Check(), UPD_RESULT_NOTHING);
}

TEST_F(CheckTest, AvailableUpdatesKeepTheListForTheInstall)
{
    Row missing = FileRow("missing.dat", kNew);
    missing.fileMd5 = ""; // an absent target is selected whatever its digest
    Row changed = FileRow("changed.dat", kNew, "ENGINE_RESTART");
    ASSERT_TRUE(qvtest::WriteText(InTarget("changed.dat"), kOld));
    ASSERT_TRUE(enginetest::SavePatchList(remote.File("QVPatch.dat"), {missing, changed}));
    EXPECT_EQ(Check(), UPD_AVAILABLE | UPD_ENGINE_RESTART);
    EXPECT_TRUE(qvtest::FileExists(base.File("QVTmp\\QVPatch.dat")));
}

TEST_F(CheckTest, StagedCopiesAskForARestartOnly)
{
    ASSERT_TRUE(qvtest::WriteText(InTarget("svc.exe"), kOld));
    ASSERT_TRUE(qvtest::WriteText(InTarget("svc.exe.new"), kNew));
    ASSERT_TRUE(qvtest::WriteText(InTarget("eng.dat"), kOld));
    ASSERT_TRUE(qvtest::WriteText(InTarget("eng.dat.new"), kNew));
    ASSERT_TRUE(qvtest::WriteText(InTarget("plain.txt"), kOld));
    ASSERT_TRUE(qvtest::WriteText(InTarget("plain.txt.new"), kNew));

    ASSERT_TRUE(enginetest::SavePatchList(remote.File("QVPatch.dat"), {FileRow("svc.exe", kNew, "service_restart")}));
    EXPECT_EQ(Check(), 0x31);
    ASSERT_TRUE(enginetest::SavePatchList(remote.File("QVPatch.dat"), {FileRow("eng.dat", kNew, "ENGINE_RESTART")}));
    EXPECT_EQ(Check(), 0x51);
    // Without a restart kind a staged copy needs nothing more.
    ASSERT_TRUE(enginetest::SavePatchList(remote.File("QVPatch.dat"), {FileRow("plain.txt", kNew)}));
    EXPECT_EQ(Check(), UPD_RESULT_NOTHING);
    // A stale ".new" (another digest) selects the record again.
    ASSERT_TRUE(qvtest::WriteText(InTarget("plain.txt.new"), "stale"));
    EXPECT_EQ(Check(), UPD_AVAILABLE);
}

TEST_F(CheckTest, DeleteRecordsAreCarriedOutByTheCheck)
{
    ASSERT_TRUE(qvtest::WriteText(InTarget("obsolete.dll"), kOld));
    Row remove;
    remove.targetFolder = target;
    remove.fileName = "obsolete.dll";
    remove.deleteFlag = 1;
    Row absent = remove;
    absent.fileName = "never-there.dll";
    ASSERT_TRUE(enginetest::SavePatchList(remote.File("QVPatch.dat"), {remove, absent}));
    EXPECT_EQ(Check(), UPD_RESULT_NOTHING);
    EXPECT_FALSE(qvtest::FileExists(InTarget("obsolete.dll")));
}

TEST_F(CheckTest, LockedDeleteTargetIsScheduledForTheNextStart)
{
    std::string locked = InTarget("busy.dll");
    ASSERT_TRUE(qvtest::WriteText(locked, kOld));
    HANDLE hold = CreateFileA(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    Row remove;
    remove.targetFolder = target;
    remove.fileName = "busy.dll";
    remove.deleteFlag = 1;
    ASSERT_TRUE(enginetest::SavePatchList(remote.File("QVPatch.dat"), {remove}));
    EXPECT_EQ(Check(), UPD_RESULT_NOTHING);
    CloseHandle(hold);
    EXPECT_TRUE(qvtest::FileExists(locked)); // still there until Windows starts again

    const char* sessionManager = "System\\CurrentControlSet\\Control\\Session Manager";
    std::vector<BYTE> data;
    ASSERT_TRUE(qvtest::ReadRegistryValue(HKEY_LOCAL_MACHINE, sessionManager, "PendingFileRenameOperations", data));
    data.resize(data.size() + 2, 0); // ends in two zeros, whatever was stored
    bool scheduled = false;
    for (const char* p = reinterpret_cast<const char*>(data.data()); *p; p += strlen(p) + 2) // path, empty target
        if (strstr(p, "busy.dll"))
            scheduled = true;
    EXPECT_TRUE(scheduled);
    SHDeleteValueA(HKEY_LOCAL_MACHINE, sessionManager, "PendingFileRenameOperations");
}

TEST_F(CheckTest, ParsingRulesOfTheRecordCells)
{
    Row spaces = FileRow("a", kNew);
    spaces.remoteFolder = "   ";
    spaces.releaseStamp = "9";
    Row later = FileRow("b", kNew);
    later.remoteFolder = " /files ";
    later.releaseStamp = "10"; // byte order: "9" is the greater stamp
    ASSERT_TRUE(enginetest::SavePatchList(remote.File("QVPatch.dat"), {spaces, later}));
    ASSERT_EQ(Check(), UPD_AVAILABLE);

    std::deque<PatchRecord> records;
    ASSERT_TRUE(engine.ParsePatchList(base.File("QVTmp\\QVPatch.dat").c_str(), records));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].remoteFolder, remote.RemotePath());
    EXPECT_EQ(records[1].remoteFolder, "/files");
    EXPECT_EQ(records[0].size, static_cast<int32_t>(kNew.size()));
    EXPECT_EQ(engine.LatestReleaseStamp(), "9");

    // A stamp that is a prefix of a longer one is the smaller.
    CUpdateEngine fresh;
    ASSERT_TRUE(enginetest::SavePatchList(base.File("p.dat"), {[&] { Row r = spaces; r.releaseStamp = "2007"; return r; }(),
                                                              [&] { Row r = spaces; r.releaseStamp = "20070"; return r; }()}));
    records.clear();
    ASSERT_TRUE(fresh.ParsePatchList(base.File("p.dat").c_str(), records));
    EXPECT_EQ(fresh.LatestReleaseStamp(), "20070");
}

TEST_F(CheckTest, SizeCellOfAnotherKindCountsAsZero)
{
    CTableFile table;
    table.AddRow();
    table.AddText("h", true);
    for (int32_t size : {500, -1}) {
        table.AddRow();
        for (const char* text : {"", "", "", "f", "", "1", "f", ""})
            table.AddText(text, true);
        if (size < 0)
            table.AddNumber6(77); // wrong kind for the size
        else
            table.AddNumber4(size);
        table.AddNumber6(0);
        table.AddNumber6(0);
    }
    std::string path = base.File("sizes.dat");
    ASSERT_TRUE(table.Save(path.c_str(), nullptr, 0, 0, true));
    std::deque<PatchRecord> records;
    ASSERT_TRUE(engine.ParsePatchList(path.c_str(), records));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].size, 500);
    EXPECT_EQ(records[1].size, 0);
}

TEST_F(CheckTest, MissingOrBrokenListFilesDoNotParse)
{
    std::deque<PatchRecord> records;
    EXPECT_FALSE(engine.ParsePatchList(base.File("absent.dat").c_str(), records));
    EXPECT_FALSE(engine.ParsePatchList(base.path().c_str(), records));
    ASSERT_TRUE(qvtest::WriteText(base.File("broken.dat"), "QVCSF\x04"));
    EXPECT_FALSE(engine.ParsePatchList(base.File("broken.dat").c_str(), records));
    EXPECT_TRUE(records.empty());
}

// Placeholders of target folders.
TEST(TargetFolder, PlaceholdersExpandToWholeFolders)
{
    CUpdateEngine engine;
    ResetEngineForProduct(engine);
    std::string install;
    g_productSettings.GetInstallFolder(install);
    qvtest::ScratchDir base;
    ASSERT_EQ(engine.CheckForUpdates("", "/none", 1, base.path().c_str()), UPD_RESULT_NO_LIST); // sets the base folder

    std::string out;
    engine.ExpandTargetFolder("", out);
    EXPECT_EQ(out, base.path());
    engine.ExpandTargetFolder("%BASE%", out);
    EXPECT_EQ(out, base.path());
    engine.ExpandTargetFolder("%VC%\\further", out); // the rest of the text is dropped
    EXPECT_EQ(out, install + "\\VC");
    EXPECT_TRUE(qvtest::DirExists(install + "\\VC"));
    engine.ExpandTargetFolder("%VP%", out);
    EXPECT_EQ(out, install + "\\VP");

    // An absolute folder without "%" is taken as it is and not created.
    std::string absolute = base.File("not-created");
    engine.ExpandTargetFolder(absolute, out);
    EXPECT_EQ(out, absolute);
    EXPECT_FALSE(qvtest::DirExists(absolute));

    // A symbolic name between "%" signs is not a folder name: it stays literal
    // and a folder of that name is created.
    std::string literal = base.File("%PROGRAM_FILES%");
    engine.ExpandTargetFolder(literal, out);
    EXPECT_EQ(out, literal);
    EXPECT_TRUE(qvtest::DirExists(literal));
}

} // namespace
