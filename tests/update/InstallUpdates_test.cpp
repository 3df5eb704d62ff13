// Installing a channel: download, cabinets, verification, placement, staging,
// registration and the result codes.
#include "update/UpdateEngine.h"

#include "core/TextConvert.h"
#include "integration/EngineProduct.h"
#include "tests/update/cabinet/RegTestNames.h"
#include "tests/update/EngineTestUtil.h"
#include "tests/support/RegistryReadBack.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

namespace {

using enginetest::Digest;
using enginetest::Row;
using enginetest::ServedFolder;

std::string ReadAll(const std::string& path)
{
    std::vector<unsigned char> bytes;
    qvtest::ReadBytes(path, bytes);
    return std::string(bytes.begin(), bytes.end());
}

std::string CabinetPath(const std::string& name) { return qvtest::BinaryPath("tests/update/cabs/" + name); }

struct Progress {
    std::string name;
    int index, count, overall, file;
};
std::vector<Progress> g_progress;
void RecordProgress(const char* name, int index, int count, int overall, int file)
{
    g_progress.push_back({name, index, count, overall, file});
}

class InstallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Ready());
        g_progress.clear();
        ResetEngineForProduct(engine);
    }
    int32_t Install(UpdateProgressCallback progress = nullptr)
    {
        ResetEngineForProduct(engine);
        return engine.InstallUpdates("127.0.0.1", remote.RemotePath().c_str(), server.Port(),
                                     base.path().c_str(), progress);
    }
    int32_t Check()
    {
        ResetEngineForProduct(engine);
        return engine.CheckForUpdates("127.0.0.1", remote.RemotePath().c_str(), server.Port(),
                                      base.path().c_str());
    }
    // A plain package served under the channel; the record's digests match it.
    Row Plain(const std::string& name, const std::string& content)
    {
        EXPECT_TRUE(qvtest::WriteText(remote.File(name), content));
        Row row;
        row.fileMd5 = Digest(content);
        row.fileName = name;
        row.releaseStamp = "20070315";
        row.packageName = name;
        row.packageMd5 = Digest(content);
        row.size = static_cast<int32_t>(content.size());
        return row;
    }
    // A cabinet package from the build tree holding one entry `file`.
    Row Cabinet(const std::string& cab, const std::string& file)
    {
        std::string bytes = ReadAll(CabinetPath(cab));
        EXPECT_FALSE(bytes.empty()) << cab;
        EXPECT_TRUE(qvtest::WriteText(remote.File(cab), bytes));
        Row row;
        row.fileMd5 = Digest(ReadAll(CabinetPath("files/" + file)));
        row.fileName = file;
        row.releaseStamp = "20070315";
        row.packageName = cab;
        row.packageMd5 = Digest(bytes);
        row.size = static_cast<int32_t>(bytes.size());
        return row;
    }
    void Publish(const std::vector<Row>& rows) { ASSERT_TRUE(enginetest::SavePatchList(remote.File("QVPatch.dat"), rows)); }
    std::string Placed(const std::string& name) const { return base.File(name); }

    qvtest::CTestServer server{"engine_server"};
    ServedFolder remote{server, "install-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name())};
    qvtest::ScratchDir base;
    CUpdateEngine engine;
};

TEST_F(InstallTest, FreshInstallOfCabinetsAndPlainFiles)
{
    Row main = Plain("QVMain.exe", "main program v2");
    Row engineDat = Cabinet("engine.dat.cab", "engine.dat");
    engineDat.targetFolder = "%BASE%";
    Row readOnly = Cabinet("readonly.cab", "ro.dat");
    Publish({main, engineDat, readOnly});

    EXPECT_EQ(Install(RecordProgress), UPD_RESULT_DONE);
    EXPECT_EQ(ReadAll(Placed("QVMain.exe")), "main program v2");
    EXPECT_EQ(ReadAll(Placed("engine.dat")), ReadAll(CabinetPath("files/engine.dat")));
    EXPECT_EQ(ReadAll(Placed("ro.dat")), ReadAll(CabinetPath("files/ro.dat")));
    EXPECT_TRUE(GetFileAttributesA(Placed("ro.dat").c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(GetFileAttributesA(Placed("engine.dat").c_str()) & FILE_ATTRIBUTE_READONLY);

    // The stored DOS time, taken as local time, is the file's last-write time.
    SYSTEMTIME stamp = {2007, 3, 0, 15, 9, 30, 4, 0};
    FILETIME local, expected, written;
    SystemTimeToFileTime(&stamp, &local);
    LocalFileTimeToFileTime(&local, &expected);
    HANDLE file = CreateFileA(Placed("engine.dat").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    GetFileTime(file, nullptr, nullptr, &written);
    CloseHandle(file);
    EXPECT_EQ(CompareFileTime(&written, &expected), 0);

    EXPECT_TRUE(qvtest::FileExists(Placed("QVPatch.dat")));
    EXPECT_FALSE(qvtest::DirExists(Placed("QVTmp")));

    // Progress: one report before the first file, the last one complete.
    ASSERT_FALSE(g_progress.empty());
    EXPECT_EQ(g_progress.front().name, "");
    EXPECT_EQ(g_progress.front().count, 3);
    EXPECT_EQ(g_progress.front().overall, 0);
    EXPECT_EQ(g_progress.back().index, 3);
    EXPECT_EQ(g_progress.back().overall, 100);
    EXPECT_EQ(g_progress.back().file, 100);
    for (size_t i = 0; i + 1 < g_progress.size(); ++i)
        EXPECT_LE(g_progress[i].overall, 95);

    // Right after, everything is current.
    EXPECT_EQ(Install(), UPD_RESULT_NOTHING);
    EXPECT_EQ(Check(), UPD_RESULT_NOTHING);
}

TEST_F(InstallTest, InstallAfterCheckReusesTheFetchedList)
{
    Publish({Plain("a.txt", "a")});
    ASSERT_EQ(Check(), UPD_AVAILABLE);
    ASSERT_TRUE(server.Reset());
    EXPECT_EQ(Install(), UPD_RESULT_DONE);
    std::vector<qvtest::RecordedRequest> requests;
    ASSERT_TRUE(server.Log(requests));
    ASSERT_EQ(requests.size(), 1u); // the package only, not the list again
    EXPECT_EQ(requests[0].target, remote.RemotePath() + "/a.txt");
}

TEST_F(InstallTest, TargetInUseIsStagedAsNew)
{
    ASSERT_TRUE(qvtest::WriteText(Placed("busy.exe"), "old"));
    ASSERT_TRUE(qvtest::WriteText(Placed("busy.exe.new"), "older staged copy"));
    HANDLE hold = CreateFileA(Placed("busy.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    Publish({Plain("busy.exe", "new program")});
    EXPECT_EQ(Install(), UPD_RESULT_STAGED);
    CloseHandle(hold);
    EXPECT_EQ(ReadAll(Placed("busy.exe")), "old");
    EXPECT_EQ(ReadAll(Placed("busy.exe.new")), "new program");
    EXPECT_TRUE(qvtest::FileExists(Placed("QVPatch.dat")));
}

// The placement trusts the selection's reading of the folder only as far as
// it goes: a stale staged copy still goes, a name placed twice is replaced
// again, and a folder in a file's place is not mistaken for a free name.
TEST_F(InstallTest, PlacementKeepsTrackOfTheFolderItReads)
{
    ASSERT_TRUE(qvtest::WriteText(Placed("tool.dll"), "old"));
    ASSERT_TRUE(qvtest::WriteText(Placed("tool.dll.new"), "older staged copy"));
    ASSERT_TRUE(CreateDirectoryA(Placed("dir.dat").c_str(), nullptr));
    Publish({Plain("tool.dll", "new tool"), Plain("twice.txt", "same"), Plain("twice.txt", "same"),
             Plain("dir.dat", "a file")});
    EXPECT_EQ(Install(), UPD_RESULT_BAD_FILE);
    EXPECT_EQ(ReadAll(Placed("tool.dll")), "new tool");
    EXPECT_FALSE(qvtest::FileExists(Placed("tool.dll.new")));
    EXPECT_EQ(ReadAll(Placed("twice.txt")), "same");
    EXPECT_FALSE(qvtest::FileExists(Placed("twice.txt.new")));
    EXPECT_TRUE(qvtest::DirExists(Placed("dir.dat")));
    EXPECT_FALSE(qvtest::FileExists(Placed("dir.dat.new")));
}

TEST_F(InstallTest, ReadOnlyTargetIsStagedToo)
{
    ASSERT_TRUE(qvtest::WriteText(Placed("rules.dat"), "old"));
    SetFileAttributesA(Placed("rules.dat").c_str(), FILE_ATTRIBUTE_READONLY);
    Publish({Plain("rules.dat", "new rules")});
    EXPECT_EQ(Install(), UPD_RESULT_STAGED);
    EXPECT_EQ(ReadAll(Placed("rules.dat")), "old");
    EXPECT_EQ(ReadAll(Placed("rules.dat.new")), "new rules");
    SetFileAttributesA(Placed("rules.dat").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(InstallTest, DamagedPackageStopsThePlacement)
{
    Row first = Plain("first.txt", "first");
    Row damaged = Plain("damaged.txt", "what the server really holds");
    damaged.fileMd5 = damaged.packageMd5 = Digest("what the list announces");
    Row later = Plain("later.txt", "later");
    Publish({first, damaged, later});
    EXPECT_EQ(Install(), UPD_RESULT_BAD_FILE);
    EXPECT_EQ(engine.LastFailedFile(), "damaged.txt");
    EXPECT_TRUE(qvtest::FileExists(Placed("first.txt")));
    EXPECT_FALSE(qvtest::FileExists(Placed("damaged.txt")));
    EXPECT_FALSE(qvtest::FileExists(Placed("later.txt"))); // untouched after the stop
    EXPECT_FALSE(qvtest::FileExists(Placed("QVPatch.dat")));
}

// A cabinet is checked against its digest before anything is extracted:
// the entries of one the list does not name could overwrite any work file,
// the list itself among them, which would then be installed as the
// product's list.
TEST_F(InstallTest, CabinetIsCheckedBeforeItIsExtracted)
{
    ASSERT_TRUE(qvtest::WriteText(Placed("QVPatch.dat"), "installed list"));
    Row smuggled = Cabinet("smuggler.cab", "engine.dat");
    smuggled.packageMd5 = Digest(ReadAll(CabinetPath("engine.dat.cab"))); // the cabinet the list names
    Publish({smuggled});
    EXPECT_EQ(Install(), UPD_RESULT_BAD_FILE);
    EXPECT_EQ(engine.LastFailedFile(), "engine.dat");
    EXPECT_FALSE(qvtest::FileExists(Placed("engine.dat")));
    EXPECT_EQ(ReadAll(Placed("QVPatch.dat")), "installed list");
}

// A file that differs from its digest after a correct download is reported
// and never installed: the installed copy stays. A file staged after it does
// not turn the failure into success (1).
TEST_F(InstallTest, FileAlteredAfterExtractionIsReportedNotInstalled)
{
    ASSERT_TRUE(qvtest::WriteText(Placed("engine.dat"), "installed database"));
    ASSERT_TRUE(qvtest::WriteText(Placed("busy.exe"), "old"));
    Row altered = Cabinet("engine.dat.cab", "engine.dat");
    altered.fileMd5 = Digest("not what the cabinet holds"); // the package itself is intact
    Row other = Plain("other.txt", "other");
    Row busy = Plain("busy.exe", "new program");
    Publish({altered, other, busy});
    HANDLE hold = CreateFileA(Placed("busy.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Install(), UPD_RESULT_BAD_FILE);
    CloseHandle(hold);
    EXPECT_EQ(engine.LastFailedFile(), "engine.dat");
    EXPECT_TRUE(ReadAll(Placed("engine.dat")) == "installed database");
    EXPECT_EQ(ReadAll(Placed("other.txt")), "other");
    EXPECT_EQ(ReadAll(Placed("busy.exe.new")), "new program");
    EXPECT_FALSE(qvtest::FileExists(Placed("QVPatch.dat")));
}

// A package the server does not have, or one whose length is not the size
// its record gives, fails its record; the installed file stays. A record
// size of 0 (lists that did not keep sizes) is no size at all.
TEST_F(InstallTest, MissingPackageLeavesTheInstalledFileAndFailsTheRecord)
{
    ASSERT_TRUE(qvtest::WriteText(Placed("gone.dll"), "installed and working"));
    ASSERT_TRUE(qvtest::WriteText(Placed("resized.dll"), "installed and working"));
    Row gone = Plain("gone.dll", "new version");
    DeleteFileA(remote.File("gone.dll").c_str()); // the server answers 404
    Row resized = Plain("resized.dll", "new version");
    resized.size += 1;
    Row fine = Plain("fine.txt", "fine");
    Row unsized = Plain("unsized.txt", "unsized");
    unsized.size = 0;
    Publish({gone, resized, fine, unsized});
    EXPECT_EQ(Install(), UPD_RESULT_BAD_FILE);
    EXPECT_EQ(engine.LastFailedFile(), "resized.dll");
    EXPECT_EQ(ReadAll(Placed("gone.dll")), "installed and working");
    EXPECT_EQ(ReadAll(Placed("resized.dll")), "installed and working");
    EXPECT_EQ(ReadAll(Placed("fine.txt")), "fine");
    EXPECT_EQ(ReadAll(Placed("unsized.txt")), "unsized");
    EXPECT_FALSE(qvtest::FileExists(Placed("QVPatch.dat"))); // the next run tries again
    EXPECT_EQ(Check(), UPD_AVAILABLE);
}

TEST_F(InstallTest, CabinetThatDoesNotExtractKeepsTheInstalledFile)
{
    ASSERT_TRUE(qvtest::WriteText(Placed("engine.dat"), "installed database"));
    std::string cab = ReadAll(CabinetPath("engine.dat.cab"));
    std::string broken = cab.substr(0, cab.size() / 2); // served and digested as it is
    ASSERT_TRUE(qvtest::WriteText(remote.File("broken.cab"), broken));
    Row row;
    row.fileMd5 = Digest(ReadAll(CabinetPath("files/engine.dat")));
    row.fileName = "engine.dat";
    row.packageName = "broken.cab";
    row.packageMd5 = Digest(broken);
    row.size = static_cast<int32_t>(broken.size());
    Row fine = Plain("fine.txt", "fine");
    Publish({row, fine});
    EXPECT_EQ(Install(), UPD_RESULT_BAD_FILE);
    EXPECT_EQ(engine.LastFailedFile(), "engine.dat");  // the run's report names it
    EXPECT_EQ(ReadAll(Placed("engine.dat")), "installed database");
    EXPECT_EQ(ReadAll(Placed("fine.txt")), "fine");
}

TEST_F(InstallTest, EveryPackageFailingGivesFail)
{
    Row a = Plain("a.bin", "a");
    Row b = Plain("b.bin", "b");
    DeleteFileA(remote.File("a.bin").c_str());
    DeleteFileA(remote.File("b.bin").c_str());
    Publish({a, b});
    EXPECT_EQ(Install(), UPD_RESULT_FAIL);
    EXPECT_FALSE(qvtest::DirExists(Placed("QVTmp")));
}

TEST_F(InstallTest, MissingListGivesTwo)
{
    EXPECT_EQ(Install(), UPD_RESULT_NO_LIST);
}

// A list that arrives but does not load is no "nothing to update": the check
// and the install report it as a list they could not fetch.
TEST_F(InstallTest, ListThatDoesNotLoadGivesTwo)
{
    Publish({Plain("a.txt", "a")});
    const std::string good = ReadAll(remote.File("QVPatch.dat"));
    ASSERT_GT(good.size(), 20u);
    std::string version = good, flipped = good, huge = good;
    version[5] = 5;                           // format version byte
    flipped[good.size() - 2] ^= 0x01;         // inside the last row block
    huge.replace(7, 4, "\xF0\xFF\xFF\xFF");  // first block claims 4 GB
    for (const std::string& list : {std::string("<html><body>Please log in</body></html>"), version, flipped, huge,
                                    good.substr(0, good.size() - 5)}) {
        ASSERT_TRUE(qvtest::WriteText(remote.File("QVPatch.dat"), list));
        EXPECT_EQ(Check(), UPD_RESULT_NO_LIST) << list.size();
        EXPECT_EQ(Install(), UPD_RESULT_NO_LIST) << list.size();
        EXPECT_FALSE(qvtest::FileExists(Placed("a.txt")));
        EXPECT_FALSE(qvtest::DirExists(Placed("QVTmp")));
    }
}

// Names from the list are names: one that is a path or a device fails its
// record (4) with nothing fetched, written or deleted for it.
TEST_F(InstallTest, RecordsWhoseNamesAreNotPlainNamesFail)
{
    const std::string victim = Placed("victim.txt");
    const std::string escaped = Placed("QVTmp\\..\\..\\qv-escaped.txt"); // beside the base folder
    ASSERT_TRUE(qvtest::WriteText(victim, "keep me"));
    auto record = [](const std::string& fileName, const std::string& packageName) {
        Row row;
        row.fileMd5 = row.packageMd5 = Digest("never served");
        row.fileName = fileName;
        row.packageName = packageName;
        return row;
    };
    std::vector<Row> rows;
    for (const char* name : {"..\\..\\qv-escaped.txt", "C:\\qv-escaped.txt", "sub\\a.txt", "x:y", "..", "CON", "com1.log",
                             "CONOUT$"})
        rows.push_back(record(name, name));
    rows.push_back(record("pkg.txt", "..\\..\\qv-escaped.txt"));
    Row remove;
    remove.targetFolder = Placed("inner");
    remove.fileName = "..\\victim.txt"; // would be the victim
    remove.deleteFlag = 1;
    rows.push_back(remove);
    rows.push_back(Plain("good.txt", "good"));
    Publish(rows);

    EXPECT_EQ(Check(), UPD_AVAILABLE); // the refused records wait for the install to fail them
    ASSERT_TRUE(server.Reset());
    EXPECT_EQ(Install(), UPD_RESULT_BAD_FILE);
    EXPECT_EQ(engine.LastFailedFile(), "..\\victim.txt");
    std::vector<qvtest::RecordedRequest> requests;
    ASSERT_TRUE(server.Log(requests));
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, remote.RemotePath() + "/good.txt");
    EXPECT_EQ(ReadAll(Placed("good.txt")), "good");
    EXPECT_EQ(ReadAll(victim), "keep me");
    EXPECT_FALSE(qvtest::FileExists(escaped));
    EXPECT_FALSE(qvtest::FileExists(Placed("QVPatch.dat")));

    // Refused names only: still a failed file, not a failed download.
    Publish({rows[0]});
    EXPECT_EQ(Install(), UPD_RESULT_BAD_FILE);
    DeleteFileA(escaped.c_str());
}

// gcab stores a non-ASCII name in UTF-8 with the attribute 0x80: it lands
// under its name in the system code page (949 here).
TEST_F(InstallTest, CabinetEntryWithAKoreanNameInstalls)
{
    int length = 0;
    char* converted = Utf8ToAnsi("\xED\x95\x9C\xEA\xB8\x80.dll", &length); // "한글.dll"
    ASSERT_NE(converted, nullptr);
    const std::string name = converted;
    FreeConverted(converted);
    Publish({Cabinet("hangul.cab", name)});
    EXPECT_EQ(Install(), UPD_RESULT_DONE);
    EXPECT_EQ(ReadAll(Placed(name)), "Korean name\n");
}

// Registration of a placed COM server, and none for a staged one.
TEST_F(InstallTest, PlacedComponentIsRegisteredStagedOneIsNot)
{
    const char* key = QV_REG_TEST_KEY; // written by QvRegOk.dll when it registers
    SHDeleteKeyA(HKEY_CURRENT_USER, key);
    std::string dllDir = qvtest::BinaryPath("tests/update/cabinet/dlls");
    Row dependency = Plain("QvRegDep.dll", ReadAll(dllDir + "\\QvRegDep.dll"));
    Row component = Plain("QvRegOk.dll", ReadAll(dllDir + "\\QvRegOk.dll"));
    component.registerFlag = 1;
    Publish({dependency, component});
    ASSERT_EQ(Install(), UPD_RESULT_DONE);
    ASSERT_TRUE(qvtest::RegistryKeyExists(HKEY_CURRENT_USER, key));

    // A newer build of it, while the old one is in use: staged, not registered.
    SHDeleteKeyA(HKEY_CURRENT_USER, key);
    HANDLE hold = CreateFileA(Placed("QvRegOk.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    std::string changed = ReadAll(dllDir + "\\QvRegOk.dll") + std::string(16, '\0');
    Row newer = Plain("QvRegOk.dll", changed);
    newer.registerFlag = 1;
    Publish({dependency, newer});
    EXPECT_EQ(Install(), UPD_RESULT_STAGED);
    CloseHandle(hold);
    EXPECT_FALSE(qvtest::RegistryKeyExists(HKEY_CURRENT_USER, key));
}

} // namespace
