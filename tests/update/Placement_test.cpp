// Placement when things go wrong: targets in use (with and without delete
// sharing), read-only targets, leftovers of a run stopped half-way, and a
// disk that fills up while a file is copied or extracted. Whatever happens,
// every installed file is the old version or the new one, whole, and no
// temporary file stays behind. Runs as Windows 7 and as Windows 98.
#include "update/CabinetExtractor.h"
#include "update/UpdateEngine.h"

#include "integration/EngineProduct.h"
#include "tests/update/EngineTestUtil.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using enginetest::Digest;
using enginetest::Row;
using enginetest::ServedFolder;

// Drive R: is a small tmpfs (tests/update/small-drive.sh); everything the
// tests put there lives below this folder.
const char kSmallDriveRoot[] = "R:\\";
const char kOnSmallDrive[] = "R:\\qv";
const unsigned long long kPage = 4096; // tmpfs allocates whole pages

std::string ReadAll(const std::string& path)
{
    std::vector<unsigned char> bytes;
    qvtest::ReadBytes(path, bytes);
    return std::string(bytes.begin(), bytes.end());
}

unsigned long long Pages(size_t bytes) { return (bytes + kPage - 1) / kPage; }

// Bytes that do not repeat, so a mix of two versions cannot pass for either.
std::string Pattern(size_t size, unsigned seed)
{
    std::string text(size, '\0');
    for (char& c : text) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return text;
}

std::set<std::string> Listing(const std::string& folder)
{
    std::set<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (strcmp(data.cFileName, ".") != 0 && strcmp(data.cFileName, "..") != 0)
            names.insert(data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

bool IsWindows9x() { return (GetVersion() & 0x80000000u) != 0; }

class PlacementTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Ready()); }
    int32_t Install(const std::string& baseFolder)
    {
        ResetEngineForProduct(engine);
        return engine.InstallUpdates("127.0.0.1", remote.RemotePath().c_str(), server.Port(), baseFolder.c_str(),
                                     nullptr);
    }
    Row Plain(const std::string& name, const std::string& content, const std::string& targetFolder = "")
    {
        EXPECT_TRUE(qvtest::WriteText(remote.File(name), content));
        Row row;
        row.fileMd5 = row.packageMd5 = Digest(content);
        row.targetFolder = targetFolder;
        row.fileName = row.packageName = name;
        row.size = static_cast<int32_t>(content.size());
        return row;
    }
    // Publishes the list and returns its size.
    size_t Publish(const std::vector<Row>& rows, const std::string& header = "test")
    {
        EXPECT_TRUE(enginetest::SavePatchList(remote.File("QVPatch.dat"), rows, "KorvaneFree", header.c_str()));
        return ReadAll(remote.File("QVPatch.dat")).size();
    }

    qvtest::CTestServer server{"engine_server"};
    ServedFolder remote{server, "place-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name())};
    qvtest::ScratchDir base;
    CUpdateEngine engine;
};

TEST_F(PlacementTest, TargetsThatCannotBeReplacedKeepTheOldFileAndNothingLingers)
{
    for (const char* name : {"shared.dll", "locked.dll", "ro.dat", "free.txt"})
        ASSERT_TRUE(qvtest::WriteText(base.File(name), std::string("old ") + name));
    SetFileAttributesA(base.File("ro.dat").c_str(), FILE_ATTRIBUTE_READONLY);
    // Leftovers of a stopped run: a copy half written, and an old file a
    // Windows 98 swap had moved aside (it comes back, and is current).
    ASSERT_TRUE(qvtest::WriteText(base.File("free.txt.qvtmp"), "half a copy"));
    ASSERT_TRUE(qvtest::WriteText(base.File("aside.txt.qvold"), "old aside.txt"));
    std::vector<Row> rows;
    for (const char* name : {"shared.dll", "locked.dll", "ro.dat", "free.txt"})
        rows.push_back(Plain(name, std::string("new ") + name));
    rows.push_back(Plain("aside.txt", "new aside.txt"));
    rows.back().fileMd5 = Digest("old aside.txt");
    Publish(rows);

    // Delete sharing lets a delete succeed while the file lingers until closed.
    HANDLE shared = CreateFileA(base.File("shared.dll").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE locked = CreateFileA(base.File("locked.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(shared, INVALID_HANDLE_VALUE);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    int32_t result = Install(base.path());
    CloseHandle(shared);
    CloseHandle(locked);

    EXPECT_EQ(result, UPD_RESULT_STAGED);
    std::set<std::string> expected = {"QVPatch.dat", "aside.txt", "free.txt", "locked.dll", "locked.dll.new",
                                      "ro.dat", "ro.dat.new", "shared.dll", "shared.dll.new"};
    // On Windows 98 delete sharing also lets the old file step aside: the new one may take its place.
    if (IsWindows9x() && ReadAll(base.File("shared.dll")) == "new shared.dll") {
        expected.erase("shared.dll.new");
    } else {
        EXPECT_EQ(ReadAll(base.File("shared.dll")), "old shared.dll");
    }
    for (const char* name : {"shared.dll", "locked.dll", "ro.dat"}) {
        if (expected.count(name + std::string(".new"))) {
            EXPECT_EQ(ReadAll(base.File(name + std::string(".new"))), std::string("new ") + name);
        }
    }
    EXPECT_EQ(ReadAll(base.File("locked.dll")), "old locked.dll");
    EXPECT_EQ(ReadAll(base.File("ro.dat")), "old ro.dat");
    EXPECT_EQ(ReadAll(base.File("free.txt")), "new free.txt");
    EXPECT_EQ(ReadAll(base.File("aside.txt")), "old aside.txt");
    EXPECT_EQ(Listing(base.path()), expected);
    SetFileAttributesA(base.File("ro.dat").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A disk that fills up: drive R:, emptied before and after each test, with
// a filler file that leaves exactly the free space a test asks for.
class FullDiskTest : public PlacementTest {
protected:
    void SetUp() override
    {
        PlacementTest::SetUp();
        if (GetDriveTypeA(kSmallDriveRoot) == DRIVE_NO_ROOT_DIR)
            GTEST_SKIP() << "no small drive R: (mounting a tmpfs needs root; see tests/update/small-drive.sh)";
        qvtest::RemoveTree(kOnSmallDrive);
        ASSERT_TRUE(CreateDirectoryA(kOnSmallDrive, nullptr));
    }
    void TearDown() override { qvtest::RemoveTree(kOnSmallDrive); }
    std::string Small(const std::string& name) const { return std::string(kOnSmallDrive) + "\\" + name; }
    bool LeaveFree(unsigned long long pages)
    {
        DeleteFileA(Small("filler").c_str());
        ULARGE_INTEGER available;
        if (!GetDiskFreeSpaceExA(kSmallDriveRoot, &available, nullptr, nullptr) ||
            available.QuadPart < pages * kPage)
            return false;
        return qvtest::WriteText(Small("filler"), std::string(available.QuadPart - pages * kPage, 'f'));
    }
};

TEST_F(FullDiskTest, CopyThatDoesNotFitLeavesTheOldTarget)
{
    const std::string app = Small("app");
    CreateDirectoryA(app.c_str(), nullptr);
    const std::string old = Pattern(64 * 1024, 1);
    ASSERT_TRUE(qvtest::WriteText(app + "\\big.dat", old));
    ASSERT_TRUE(qvtest::WriteText(app + "\\small.txt", "old small"));
    Publish({Plain("small.txt", "new small", app), Plain("big.dat", Pattern(600 * 1024, 2), app)});
    // Room for the small file, not for the big one (even with the old one deleted).
    ASSERT_TRUE(LeaveFree(64));

    EXPECT_EQ(Install(base.path()), UPD_RESULT_BAD_FILE);
    EXPECT_EQ(engine.LastFailedFile(), "big.dat");
    EXPECT_TRUE(ReadAll(app + "\\big.dat") == old);
    EXPECT_EQ(ReadAll(app + "\\small.txt"), "new small");
    EXPECT_EQ(Listing(app), (std::set<std::string>{"big.dat", "small.txt"}));
    EXPECT_FALSE(qvtest::FileExists(base.File("QVPatch.dat")));
}

TEST_F(FullDiskTest, APatchListThatCouldNotBeCopiedLandsWholeByRename)
{
    // The list arrives in the work folder beside the base folder, so it takes
    // its place by a rename, which needs no room: a disk too full for a copy
    // of it still ends with the new list, whole, and nothing left over.
    const std::string product = Small("product");
    CreateDirectoryA(product.c_str(), nullptr);
    ASSERT_TRUE(qvtest::WriteText(product + "\\QVPatch.dat", "the list of the last install"));
    Row a = Plain("a.txt", "new a", base.path()); // the file itself lands on C:
    // A list of some 20 pages: the header carries text that does not compress.
    std::string header = Digest("0");
    while (header.size() < 96 * 1024)
        header += Digest(header.substr(header.size() - 32));
    size_t list = Publish({a}, header);
    ASSERT_GT(Pages(list), 10u);
    // The downloads fit; a copy of the list beside the old one would not.
    ASSERT_TRUE(LeaveFree(Pages(list) + 1 + Pages(list) / 2));

    EXPECT_EQ(Install(product), UPD_RESULT_DONE);
    EXPECT_EQ(ReadAll(base.File("a.txt")), "new a");
    EXPECT_TRUE(ReadAll(product + "\\QVPatch.dat") == ReadAll(remote.File("QVPatch.dat")));
    EXPECT_EQ(Listing(product), std::set<std::string>{"QVPatch.dat"});
}

TEST_F(FullDiskTest, ExtractionThatDoesNotFitInstallsNothing)
{
    const std::string product = Small("product");
    CreateDirectoryA(product.c_str(), nullptr);
    ASSERT_TRUE(qvtest::WriteText(base.File("zeros.dat"), "installed zeros"));
    // zeros.cab: a few kilobytes that extract to 2 MiB.
    const std::string cab = ReadAll(qvtest::BinaryPath("tests/update/cabs/zeros.cab"));
    ASSERT_TRUE(qvtest::WriteText(remote.File("zeros.cab"), cab));
    Row zeros;
    zeros.fileMd5 = Digest(std::string(2 * 1024 * 1024, '\0'));
    zeros.targetFolder = base.path();
    zeros.fileName = "zeros.dat";
    zeros.packageName = "zeros.cab";
    zeros.packageMd5 = Digest(cab);
    size_t list = Publish({zeros, Plain("b.txt", "new b", base.path())});
    ASSERT_TRUE(LeaveFree(Pages(list) + Pages(cab.size()) + 1 + 64));

    EXPECT_EQ(Install(product), UPD_RESULT_BAD_FILE);
    EXPECT_EQ(engine.LastFailedFile(), "zeros.dat");
    EXPECT_TRUE(ReadAll(base.File("zeros.dat")) == "installed zeros");
    EXPECT_EQ(ReadAll(base.File("b.txt")), "new b");

    // The extractor on its own: a short write fails the extraction.
    const std::string destination = Small("dest");
    CreateDirectoryA(destination.c_str(), nullptr);
    ASSERT_TRUE(LeaveFree(64));
    CCabinetExtractor extractor;
    EXPECT_FALSE(extractor.Extract(qvtest::BinaryPath("tests/update/cabs/zeros.cab").c_str(), destination.c_str()));
    EXPECT_EQ(Listing(destination), std::set<std::string>{});
}

} // namespace
