// CCabinetExtractor against the system's Cabinet.dll, on cabinets packed by
// gcab and written by cab_fixtures.py at build time: folders and content,
// stored times and attributes, missing pieces, damaged cabinets, and entries
// whose names would leave the destination.
#include "core/TextConvert.h"
#include "tests/support/TestSupport.h"
#include "update/CabinetExtractor.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

std::string Cabinet(const std::string& name) { return qvtest::BinaryPath("tests/update/cabinet/cabs/" + name); }
std::string Packed(const std::string& name) { return qvtest::BinaryPath("tests/update/cabinet/content/" + name); }

// A folder made below parent.
std::string MakeFolder(const std::string& parent, const std::string& name)
{
    std::string path = parent + "\\" + name;
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

bool SameContent(const std::string& a, const std::string& b)
{
    std::vector<unsigned char> left;
    std::vector<unsigned char> right;
    return qvtest::ReadBytes(a, left) && qvtest::ReadBytes(b, right) && left == right;
}

unsigned long long Ticks(const FILETIME& time)
{
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::string UtcText(const FILETIME& time)
{
    SYSTEMTIME utc;
    if (!FileTimeToSystemTime(&time, &utc))
        return "invalid";
    char text[32];
    snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u", utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
             utc.wMinute, utc.wSecond);
    return text;
}

// Every file and folder below root, as paths relative to it.
void ListTree(const std::string& root, const std::string& relative, std::set<std::string>& found)
{
    WIN32_FIND_DATAA data;
    std::string folder = relative.empty() ? root : root + "\\" + relative;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string child = relative.empty() ? name : relative + "\\" + name;
        found.insert(child);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListTree(root, child, found);
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

std::set<std::string> Tree(const std::string& root)
{
    std::set<std::string> found;
    ListTree(root, "", found);
    return found;
}

const char* const kTreeEntries[] = {"top.txt", "docs\\readme.txt", "docs\\deep\\nested.bin"};

// tree-mszip.cab and tree-plain.cab: gcab's cabinets of the same tree, with
// and without compression.
class GcabTree : public ::testing::TestWithParam<const char*> {};

TEST_P(GcabTree, EntriesLandInTheirSubFoldersWithTheirContent)
{
    qvtest::ScratchDir scratch;
    std::string destination = MakeFolder(scratch.path(), "work");

    CCabinetExtractor extractor;
    ASSERT_TRUE(extractor.Extract(Cabinet(GetParam()).c_str(), destination.c_str()));

    EXPECT_TRUE(qvtest::DirExists(destination + "\\docs"));
    EXPECT_TRUE(qvtest::DirExists(destination + "\\docs\\deep"));
    for (const char* entry : kTreeEntries) {
        std::string packed = entry;
        for (char& c : packed)
            if (c == '\\')
                c = '/';
        EXPECT_TRUE(SameContent(destination + "\\" + entry, Packed(packed))) << entry;
    }
    EXPECT_EQ(5u, Tree(destination).size()) << "two folders and three files, nothing else";
}

TEST_P(GcabTree, StoredTimeReadAsLocalBecomesCreationAndWriteTimeAndAccessIsNow)
{
    // gcab stored 2009-06-15 13:45:32 (the files' time in UTC fields). Taken
    // as Korean local time that is 04:45:32 UTC; taken as UTC it would stay 13:45:32.
    TIME_ZONE_INFORMATION zone;
    GetTimeZoneInformation(&zone);
    ASSERT_EQ(-540, zone.Bias) << "the test runs with TZ=Asia/Seoul";

    qvtest::ScratchDir scratch;
    std::string destination = MakeFolder(scratch.path(), "work") + "\\"; // the engine's form
    FILETIME before;
    GetSystemTimeAsFileTime(&before);
    CCabinetExtractor extractor;
    ASSERT_TRUE(extractor.Extract(Cabinet(GetParam()).c_str(), destination.c_str()));
    FILETIME after;
    GetSystemTimeAsFileTime(&after);

    const unsigned long long kSlack = 2ull * 10000000; // 2 s in 100 ns units
    for (const char* entry : kTreeEntries) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(GetFileAttributesExA((destination + entry).c_str(), GetFileExInfoStandard, &data)) << entry;
        EXPECT_EQ("2009-06-15 04:45:32", UtcText(data.ftLastWriteTime)) << entry;
        EXPECT_EQ("2009-06-15 04:45:32", UtcText(data.ftCreationTime)) << entry;
        EXPECT_GE(Ticks(data.ftLastAccessTime) + kSlack, Ticks(before)) << entry << " " << UtcText(data.ftLastAccessTime);
        EXPECT_LE(Ticks(data.ftLastAccessTime), Ticks(after) + kSlack) << entry << " " << UtcText(data.ftLastAccessTime);
    }
}

INSTANTIATE_TEST_SUITE_P(Cabinets, GcabTree, ::testing::Values("tree-mszip.cab", "tree-plain.cab"));

// attribs.cab (cab_fixtures.py): entries with each kept attribute, one with
// bits that must be dropped, and one stored with "/" separators.
TEST(HandMadeCabinet, AttributesKeptAndForwardSlashesSplitFolders)
{
    qvtest::ScratchDir scratch;
    std::string destination = MakeFolder(scratch.path(), "work");
    CCabinetExtractor extractor;
    ASSERT_TRUE(extractor.Extract(Cabinet("attribs.cab").c_str(), destination.c_str()));

    const struct {
        const char* name;
        DWORD expected;
    } cases[] = {
        {"readonly.txt", FILE_ATTRIBUTE_READONLY},
        {"hidden.txt", FILE_ATTRIBUTE_HIDDEN},
        {"system.txt", FILE_ATTRIBUTE_SYSTEM},
        {"archive.txt", FILE_ATTRIBUTE_ARCHIVE},
        {"all.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE},
        // Stored with exec (0x40), directory (0x10) and volume (0x08) besides read-only.
        {"extra.txt", FILE_ATTRIBUTE_READONLY},
    };
    // Read-only, hidden, system, volume and directory. The archive bit is
    // left out: Wine reports it on every file, whatever was set.
    const DWORD kComparedBits = 0x1F;
    for (const auto& c : cases) {
        DWORD attributes = GetFileAttributesA((destination + "\\" + c.name).c_str());
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes) << c.name;
        EXPECT_EQ(c.expected & kComparedBits, attributes & kComparedBits) << c.name;
    }

    std::vector<unsigned char> bytes;
    ASSERT_TRUE(qvtest::DirExists(destination + "\\fwd\\slash"));
    ASSERT_TRUE(qvtest::ReadBytes(destination + "\\fwd\\slash\\entry.txt", bytes));
    EXPECT_EQ("stored with forward slashes\r\n", std::string(bytes.begin(), bytes.end()));
}

TEST(CabinetFailures, MissingDestinationFailsBeforeTheLibraryIsLoaded)
{
    qvtest::ScratchDir scratch;
    std::string missing = scratch.File("missing");
    // With a library that does not exist, reaching the load would record operation 1000.
    CCabinetExtractor extractor("QvNoSuchCabinet.dll");
    EXPECT_FALSE(extractor.Extract(Cabinet("tree-plain.cab").c_str(), missing.c_str()));
    EXPECT_EQ(0, extractor.LastError().erfOper);
    EXPECT_FALSE(extractor.LastError().fError);
    EXPECT_FALSE(qvtest::DirExists(missing));

    EXPECT_FALSE(extractor.Extract(Cabinet("tree-plain.cab").c_str(), nullptr));
    EXPECT_EQ(0, extractor.LastError().erfOper);
}

TEST(CabinetFailures, MissingLibraryOrEntryPointFailsWithOperation1000)
{
    qvtest::ScratchDir scratch;
    const char* const libraries[] = {"QvNoSuchCabinet.dll", "kernel32.dll"}; // absent; present without FDI
    for (const char* library : libraries) {
        CCabinetExtractor extractor(library);
        EXPECT_FALSE(extractor.Extract(Cabinet("tree-plain.cab").c_str(), scratch.path().c_str())) << library;
        EXPECT_EQ(1000, extractor.LastError().erfOper) << library;
        EXPECT_TRUE(extractor.LastError().fError) << library;
    }
    EXPECT_TRUE(Tree(scratch.path()).empty());
}

TEST(CabinetFailures, MissingEmptyOrNonCabinetFilesFail)
{
    qvtest::ScratchDir scratch;
    std::string destination = MakeFolder(scratch.path(), "work");
    std::string text = scratch.File("notes.cab");
    ASSERT_TRUE(qvtest::WriteText(text, "this is not a cabinet, only text that is long enough to look at\r\n"));

    CCabinetExtractor extractor;
    EXPECT_FALSE(extractor.Extract(nullptr, destination.c_str()));
    EXPECT_FALSE(extractor.Extract("", destination.c_str()));
    EXPECT_FALSE(extractor.Extract(scratch.File("absent.cab").c_str(), destination.c_str()));
    EXPECT_FALSE(extractor.Extract(text.c_str(), destination.c_str()));
    EXPECT_TRUE(Tree(destination).empty());
}

TEST(CabinetFailures, DamagedCabinetFailsAndKeepsWhatWasWritten)
{
    qvtest::ScratchDir scratch;
    std::string destination = MakeFolder(scratch.path(), "work");
    CCabinetExtractor extractor;
    EXPECT_FALSE(extractor.Extract(Cabinet("damaged.cab").c_str(), destination.c_str()));
    EXPECT_TRUE(extractor.LastError().fError);
    // The first half holds the first compressed block: the small entries in it stay.
    EXPECT_TRUE(SameContent(destination + "\\top.txt", Packed("top.txt")));
}

TEST(CabinetFailures, EveryKindOfTruncationFails)
{
    std::vector<unsigned char> whole;
    ASSERT_TRUE(qvtest::ReadBytes(Cabinet("tree-plain.cab"), whole));
    ASSERT_GT(whole.size(), 1000u);
    // Inside the header, at the folder, at and inside the file table, inside
    // the data, and one byte short.
    const size_t lengths[] = {0, 4, 35, 36, 40, 44, 60, 120, 1000, whole.size() / 2, whole.size() - 1};
    for (size_t length : lengths) {
        qvtest::ScratchDir scratch;
        std::string destination = MakeFolder(scratch.path(), "work");
        std::string cut = scratch.File("cut.cab");
        ASSERT_TRUE(qvtest::WriteBytes(cut, whole.data(), length));
        CCabinetExtractor extractor;
        EXPECT_FALSE(extractor.Extract(cut.c_str(), destination.c_str())) << "length " << length;
    }
}

// Each evil cabinet holds "inside.txt", then an entry whose name would leave
// the destination (or make a path over 259 characters), then "after.txt".
// The destination sits three folders deep in a scratch folder, so an escape
// would land inside the scratch folder.
class EvilCabinet : public ::testing::TestWithParam<const char*> {};

TEST_P(EvilCabinet, RefusedEntryStopsTheExtractionAndNothingIsWrittenOutside)
{
    const char kEscaped[] = "qv-cab-escaped.txt";
    ASSERT_FALSE(qvtest::FileExists(std::string("\\") + kEscaped));
    ASSERT_FALSE(qvtest::FileExists(std::string("C:\\") + kEscaped));

    qvtest::ScratchDir scratch;
    std::string destination = MakeFolder(MakeFolder(MakeFolder(scratch.path(), "outer"), "middle"), "dest");
    CCabinetExtractor extractor;
    EXPECT_FALSE(extractor.Extract(Cabinet(GetParam()).c_str(), destination.c_str()));

    std::set<std::string> expected = {"outer", "outer\\middle", "outer\\middle\\dest",
                                      "outer\\middle\\dest\\inside.txt"};
    EXPECT_EQ(expected, Tree(scratch.path()));
    // Names resolved against the current drive or drive C: did not land there either.
    EXPECT_FALSE(qvtest::FileExists(std::string("\\") + kEscaped));
    EXPECT_FALSE(qvtest::FileExists(std::string("C:\\") + kEscaped));
    DeleteFileA((std::string("\\") + kEscaped).c_str());
    DeleteFileA((std::string("C:\\") + kEscaped).c_str());
}

INSTANTIATE_TEST_SUITE_P(Names, EvilCabinet,
                         ::testing::Values("evil-parent.cab", "evil-nested.cab", "evil-slash.cab", "evil-dots.cab",
                                           "evil-absolute.cab", "evil-slashabsolute.cab", "evil-drive.cab",
                                           "evil-driverelative.cab", "evil-long.cab"));
// Device names (con.txt, sub\Nul, COM1, lpt9.log, CONOUT$) are refused the same way.
INSTANTIATE_TEST_SUITE_P(Devices, EvilCabinet,
                         ::testing::Values("evil-con.cab", "evil-nul.cab", "evil-com1.cab", "evil-lpt9.cab",
                                           "evil-conout.cab"));

// gcab stores a non-ASCII name in UTF-8 and flags it (attribute 0x80): the
// entry lands under its name in the system code page (949 here), and one the
// code page cannot hold (Thai) is refused like an escaping name.
TEST(GcabNames, Utf8NamesLandInTheSystemCodePageOrAreRefused)
{
    int length = 0;
    char* converted = Utf8ToAnsi("\xED\x95\x9C\xEA\xB8\x80.txt", &length); // "한글.txt"
    ASSERT_NE(converted, nullptr);
    const std::string korean = converted;
    FreeConverted(converted);

    qvtest::ScratchDir scratch;
    std::string destination = MakeFolder(scratch.path(), "korean");
    CCabinetExtractor extractor;
    EXPECT_TRUE(extractor.Extract(Cabinet("korean.cab").c_str(), destination.c_str()));
    EXPECT_EQ(std::set<std::string>{korean}, Tree(destination));
    EXPECT_TRUE(SameContent(destination + "\\" + korean, Packed(korean)));

    destination = MakeFolder(scratch.path(), "thai");
    EXPECT_FALSE(extractor.Extract(Cabinet("thai.cab").c_str(), destination.c_str()));
    EXPECT_EQ(std::set<std::string>{"top.txt"}, Tree(destination));
}

} // namespace
