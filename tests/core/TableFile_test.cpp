// CTableFile: the cursor, every read and append operation, Save and Open,
// and the edge cases callers depend on.
#include "core/TableFile.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "tests/core/TableTestUtil.h"
#include "tests/support/TestSupport.h"

using qvtest::Bytes;
using qvtest::ExpectedRow;

namespace {

const WideChar kWideHangul[] = {0xD55C, 0xAE00, 0};  // "한글"
const char kHangulShortCp949[] = "\xC7\xD1\xB1\xDB";
const char kHangulShortUtf8[] = "\xED\x95\x9C\xEA\xB8\x80";

unsigned char* MallocCopy(const char* text, size_t length)
{
    unsigned char* block = static_cast<unsigned char*>(malloc(length));
    memcpy(block, text, length);
    return block;
}

// Decodes the first row block of a saved file into its cell stream.
Bytes FirstCellStream(const std::string& path)
{
    Bytes file;
    EXPECT_TRUE(qvtest::ReadBytes(path, file));
    if (file.size() < 15)
        return Bytes();
    uint32_t n = file[7] | file[8] << 8 | file[9] << 16 | static_cast<uint32_t>(file[10]) << 24;
    Bytes stored(file.begin() + 15, file.begin() + 15 + n);
    CDataCodec codec;
    CByteBuffer plain;
    EXPECT_TRUE(codec.Decode(stored.data(), stored.size(), plain, nullptr, 0, file[6]));
    return qvtest::ToBytes(plain);
}

} // namespace

TEST(TableFile, AppendsLeaveTheCursorOnTheNewCell)
{
    CTableFile table;
    ASSERT_TRUE(table.AddRow());
    EXPECT_FALSE(table.HasCell());  // a new row has no cell yet
    std::string text;

    ASSERT_TRUE(table.AddText(kHangulShortCp949, false));
    EXPECT_EQ(table.CellKind(), CELL_ANSI_TEXT);
    ASSERT_TRUE(table.GetText(text));
    EXPECT_EQ(text, kHangulShortCp949);

    ASSERT_TRUE(table.AddText(kHangulShortCp949, true));
    EXPECT_EQ(table.CellKind(), CELL_BYTES);
    ASSERT_TRUE(table.GetText(text));
    EXPECT_EQ(text, kHangulShortCp949);

    ASSERT_TRUE(table.AddWideText(kWideHangul, false));
    EXPECT_EQ(table.CellKind(), CELL_WIDE_TEXT);
    ASSERT_TRUE(table.GetText(text));
    EXPECT_EQ(text, kHangulShortCp949);

    ASSERT_TRUE(table.AddWideText(kWideHangul, true));
    EXPECT_EQ(table.CellKind(), CELL_BYTES);
    ASSERT_TRUE(table.GetText(text));
    EXPECT_EQ(text, kHangulShortCp949);

    ASSERT_TRUE(table.AddBytes(MallocCopy(kHangulShortUtf8, 6), 6));  // no terminator
    EXPECT_EQ(table.CellKind(), CELL_BYTES);
    ASSERT_TRUE(table.GetText(text));
    EXPECT_EQ(text, kHangulShortCp949);

    int32_t n = 0;
    ASSERT_TRUE(table.AddNumber4(-7));
    EXPECT_TRUE(table.GetNumber4(n));
    EXPECT_EQ(n, -7);
    ASSERT_TRUE(table.AddNumber5(INT_MAX));
    EXPECT_TRUE(table.GetNumber5(n));
    EXPECT_EQ(n, INT_MAX);
    ASSERT_TRUE(table.AddNumber6(INT_MIN));
    EXPECT_TRUE(table.GetNumber6(n));
    EXPECT_EQ(n, INT_MIN);
    EXPECT_FALSE(table.NextCell());  // the new cell is the row's last
}

TEST(TableFile, EmptyAndNullTextsGiveEmptyCells)
{
    CTableFile table;
    ASSERT_TRUE(table.AddRow());
    std::string text = "stale";
    ASSERT_TRUE(table.AddText(nullptr, false));
    EXPECT_EQ(table.CellKind(), CELL_ANSI_TEXT);
    EXPECT_TRUE(table.GetText(text));
    EXPECT_EQ(text, "");
    ASSERT_TRUE(table.AddText(nullptr, true));  // failed conversion: empty kind 3
    EXPECT_EQ(table.CellKind(), CELL_BYTES);
    EXPECT_TRUE(table.GetText(text));
    EXPECT_EQ(text, "");
    ASSERT_TRUE(table.AddWideText(nullptr, false));
    EXPECT_EQ(table.CellKind(), CELL_WIDE_TEXT);
    ASSERT_TRUE(table.AddBytes(nullptr, 5));
    EXPECT_EQ(table.CellKind(), CELL_BYTES);
    ASSERT_TRUE(table.AddBytes(MallocCopy("x", 1), 0));  // zero length: the block is freed
    EXPECT_TRUE(table.GetText(text));
    EXPECT_EQ(text, "");
}

TEST(TableFile, NumberAndTextReadersRespectKinds)
{
    CTableFile table;
    ASSERT_TRUE(table.AddRow());
    ASSERT_TRUE(table.AddNumber5(99));
    int32_t value = 1234;
    EXPECT_FALSE(table.GetNumber4(value));
    EXPECT_EQ(value, 1234);  // kind-4 reader leaves it untouched
    value = 1234;
    EXPECT_FALSE(table.GetNumber6(value));
    EXPECT_EQ(value, 0);  // kind-6 reader clears it first
    std::string text = "stale";
    EXPECT_FALSE(table.GetText(text));
    EXPECT_EQ(text, "");

    ASSERT_TRUE(table.AddText("abc", false));
    value = 1234;
    EXPECT_FALSE(table.GetNumber5(value));
    EXPECT_EQ(value, 0);
    value = 1234;
    EXPECT_FALSE(table.GetNumber4(value));
    EXPECT_EQ(value, 1234);
}

TEST(TableFile, AppendsNeedACurrentRow)
{
    CTableFile table;
    EXPECT_FALSE(table.AddText("x", false));
    EXPECT_FALSE(table.AddNumber4(1));
    EXPECT_FALSE(table.AddBytes(MallocCopy("abc", 3), 3));  // the block is still released
    EXPECT_FALSE(table.HasCell());
    std::string text;
    EXPECT_FALSE(table.GetText(text));
    EXPECT_FALSE(table.NextCell());
    EXPECT_FALSE(table.NextRow());

    ASSERT_TRUE(table.AddRow());
    ASSERT_TRUE(table.AddText("x", false));
    table.Clear();
    EXPECT_EQ(table.RowCount(), 0u);
    EXPECT_FALSE(table.AddText("y", false));
}

TEST(TableFile, SaveAndOpenEveryMode)
{
    qvtest::ScratchDir dir;
    for (int mode : {CODEC_DEFLATE, CODEC_RC4, CODEC_SEED}) {
        CTableFile table;
        ASSERT_TRUE(qvtest::BuildFixtureTable(table));
        std::string path = dir.File("table" + std::to_string(mode));
        ASSERT_TRUE(table.Save(path.c_str(), nullptr, 0, mode, false));

        CTableFile loaded;
        ASSERT_TRUE(loaded.Open(path.c_str(), nullptr, 0)) << "mode " << mode;
        EXPECT_EQ(qvtest::ReadRows(loaded), qvtest::FixtureRowsAfterLoad()) << "mode " << mode;
    }
}

TEST(TableFile, CursorWalksRowsAndCells)
{
    qvtest::ScratchDir dir;
    CTableFile table;
    ASSERT_TRUE(table.AddRow());
    ASSERT_TRUE(table.AddText("a", false));
    ASSERT_TRUE(table.AddText("b", false));
    ASSERT_TRUE(table.AddRow());
    ASSERT_TRUE(table.AddNumber4(3));
    std::string path = dir.File("walk");
    ASSERT_TRUE(table.Save(path.c_str(), nullptr, 0, CODEC_DEFLATE, false));

    CTableFile loaded;
    ASSERT_TRUE(loaded.Open(path.c_str(), nullptr, 0));
    std::string text;
    ASSERT_TRUE(loaded.HasCell());
    EXPECT_TRUE(loaded.GetText(text));
    EXPECT_EQ(text, "a");
    EXPECT_TRUE(loaded.NextCell());
    EXPECT_TRUE(loaded.GetText(text));
    EXPECT_EQ(text, "b");
    EXPECT_FALSE(loaded.NextCell());
    EXPECT_FALSE(loaded.HasCell());
    EXPECT_FALSE(loaded.GetText(text));
    EXPECT_FALSE(loaded.NextCell());  // stays past the end
    ASSERT_TRUE(loaded.NextRow());
    int32_t n = 0;
    EXPECT_TRUE(loaded.GetNumber4(n));
    EXPECT_EQ(n, 3);
    EXPECT_FALSE(loaded.NextRow());
    EXPECT_TRUE(loaded.GetNumber4(n));  // the cursor stays on the last row
}

TEST(TableFile, KoreanAnsiTextSurvivesLoadSaveLoad)
{
    qvtest::ScratchDir dir;
    CTableFile table;
    ASSERT_TRUE(table.AddRow());
    ASSERT_TRUE(table.AddText(qvtest::kHangulCp949, false));
    std::string first = dir.File("first");
    ASSERT_TRUE(table.Save(first.c_str(), nullptr, 0, CODEC_SEED, false));

    CTableFile loaded;
    ASSERT_TRUE(loaded.Open(first.c_str(), nullptr, 0));
    std::string text;
    ASSERT_TRUE(loaded.GetText(text));
    EXPECT_EQ(text, qvtest::kHangulCp949);
    EXPECT_EQ(loaded.CellKind(), CELL_BYTES);
    std::string second = dir.File("second");
    ASSERT_TRUE(loaded.Save(second.c_str(), nullptr, 0, CODEC_SEED, false));

    CTableFile again;
    ASSERT_TRUE(again.Open(second.c_str(), nullptr, 0));
    ASSERT_TRUE(again.GetText(text));
    EXPECT_EQ(text, qvtest::kHangulCp949);
}

TEST(TableFile, ResavedTextsAreUtf8WithTheirTerminator)
{
    qvtest::ScratchDir dir;
    CTableFile table;
    ASSERT_TRUE(table.AddRow());
    ASSERT_TRUE(table.AddText(kHangulShortCp949, false));
    ASSERT_TRUE(table.AddWideText(kWideHangul, false));
    std::string first = dir.File("first");
    ASSERT_TRUE(table.Save(first.c_str(), nullptr, 0, CODEC_DEFLATE, false));
    Bytes original = FirstCellStream(first);
    EXPECT_EQ(original, qvtest::Concat({qvtest::CellBytes(1, qvtest::ToBytes(std::string(kHangulShortCp949))),
                                        qvtest::CellBytes(2, {0x5C, 0xD5, 0x00, 0xAE})}));

    CTableFile loaded;
    ASSERT_TRUE(loaded.Open(first.c_str(), nullptr, 0));
    std::string second = dir.File("second");
    ASSERT_TRUE(loaded.Save(second.c_str(), nullptr, 0, CODEC_DEFLATE, false));
    Bytes utf8(kHangulShortUtf8, kHangulShortUtf8 + sizeof(kHangulShortUtf8));  // with its zero
    EXPECT_EQ(FirstCellStream(second), qvtest::Concat({qvtest::CellBytes(3, utf8), qvtest::CellBytes(3, utf8)}));
}

TEST(TableFile, OnlyEmptyRowsSaveAHeaderOnlyFileThatDoesNotOpen)
{
    qvtest::ScratchDir dir;
    CTableFile table;
    ASSERT_TRUE(table.AddRow());
    std::string path = dir.File("empty");
    EXPECT_FALSE(table.Save(path.c_str(), nullptr, 0, CODEC_DEFLATE, false));
    Bytes file;
    ASSERT_TRUE(qvtest::ReadBytes(path, file));
    EXPECT_EQ(file, (Bytes{'Q', 'V', 'C', 'S', 'F', 4, 0}));
    CTableFile loaded;
    EXPECT_FALSE(loaded.Open(path.c_str(), nullptr, 0));
    EXPECT_EQ(loaded.RowCount(), 0u);

    CTableFile none;
    EXPECT_FALSE(none.Save(path.c_str(), nullptr, 0, CODEC_DEFLATE, true));
}

TEST(TableFile, EmptyRowsBetweenFullOnesAreNotWritten)
{
    qvtest::ScratchDir dir;
    CTableFile table;
    ASSERT_TRUE(table.AddRow());
    ASSERT_TRUE(table.AddNumber4(1));
    ASSERT_TRUE(table.AddRow());
    ASSERT_TRUE(table.AddRow());
    ASSERT_TRUE(table.AddNumber4(2));
    ASSERT_TRUE(table.AddRow());  // the last row handled is empty: still a success
    std::string path = dir.File("gaps");
    ASSERT_TRUE(table.Save(path.c_str(), nullptr, 0, CODEC_DEFLATE, false));
    CTableFile loaded;
    ASSERT_TRUE(loaded.Open(path.c_str(), nullptr, 0));
    std::vector<ExpectedRow> expected = {{{4, "", 1}}, {{4, "", 2}}};
    EXPECT_EQ(qvtest::ReadRows(loaded), expected);
}

TEST(TableFile, SaveWithoutOverwriteLeavesAnExistingFile)
{
    qvtest::ScratchDir dir;
    std::string path = dir.File("existing");
    ASSERT_TRUE(qvtest::WriteText(path, "precious"));
    CTableFile table;
    ASSERT_TRUE(table.AddRow());
    ASSERT_TRUE(table.AddText("new", false));
    EXPECT_FALSE(table.Save(path.c_str(), nullptr, 0, CODEC_DEFLATE, false));
    Bytes file;
    ASSERT_TRUE(qvtest::ReadBytes(path, file));
    EXPECT_EQ(file, qvtest::ToBytes(std::string("precious")));

    ASSERT_TRUE(table.Save(path.c_str(), nullptr, 0, CODEC_DEFLATE, true));
    CTableFile loaded;
    ASSERT_TRUE(loaded.Open(path.c_str(), nullptr, 0));
}

TEST(TableFile, BadPathsFail)
{
    qvtest::ScratchDir dir;
    CTableFile table;
    EXPECT_FALSE(table.Open(nullptr, nullptr, 0));
    EXPECT_FALSE(table.Open("", nullptr, 0));
    EXPECT_FALSE(table.Open(dir.File("missing").c_str(), nullptr, 0));
    EXPECT_FALSE(table.Open(dir.path().c_str(), nullptr, 0));  // a folder
    ASSERT_TRUE(table.AddRow());
    ASSERT_TRUE(table.AddNumber4(1));
    EXPECT_FALSE(table.Save(nullptr, nullptr, 0, CODEC_DEFLATE, true));
    EXPECT_FALSE(table.Save("", nullptr, 0, CODEC_DEFLATE, true));
    EXPECT_FALSE(table.Save(dir.File("no-such-folder/file").c_str(), nullptr, 0, CODEC_DEFLATE, true));
}

TEST(TableFile, CallerKeysAndTheBuiltInKey)
{
    qvtest::ScratchDir dir;
    CDataCodec codec;
    uint8_t builtIn[CDataCodec::kBuiltInKeySize];
    codec.BuiltInKey(builtIn);
    const uint8_t key[] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 11, 12, 13, 14, 15, 16, 17};
    for (int mode : {CODEC_RC4, CODEC_SEED}) {
        CTableFile table;
        ASSERT_TRUE(table.AddRow());
        ASSERT_TRUE(table.AddText("keyed", false));
        std::string plain = dir.File("builtin" + std::to_string(mode));
        std::string keyed = dir.File("keyed" + std::to_string(mode));
        ASSERT_TRUE(table.Save(plain.c_str(), nullptr, 0, mode, true));
        ASSERT_TRUE(table.Save(keyed.c_str(), key, sizeof(key), mode, true));

        CTableFile loaded;
        // A null key with length 0 means the built-in key bytes.
        EXPECT_TRUE(loaded.Open(plain.c_str(), builtIn, sizeof(builtIn))) << mode;
        EXPECT_FALSE(loaded.Open(keyed.c_str(), nullptr, 0)) << mode;
        EXPECT_EQ(loaded.RowCount(), 0u);  // the row did not decode and was dropped
        ASSERT_TRUE(loaded.Open(keyed.c_str(), key, sizeof(key))) << mode;
        std::string text;
        EXPECT_TRUE(loaded.GetText(text));
        EXPECT_EQ(text, "keyed");
    }
}
