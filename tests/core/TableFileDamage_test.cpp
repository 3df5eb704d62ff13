// Damaged, truncated and hand-made table files: every failure is clean, and
// what loads is exactly what was stored before the damage.
#include "core/TableFile.h"
#include "core/ZlibBlock.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/core/TableTestUtil.h"
#include "tests/support/TestSupport.h"

using qvtest::Bytes;
using qvtest::CellBytes;
using qvtest::Concat;
using qvtest::ExpectedRow;
using qvtest::ImageBuilder;
using qvtest::NumberCell;

namespace {

const size_t kHeaderSize = 7;
const size_t kModeOffset = 6;

Bytes SavedFixture(int mode)
{
    qvtest::ScratchDir dir;
    CTableFile table;
    EXPECT_TRUE(qvtest::BuildFixtureTable(table));
    std::string path = dir.File("fixture");
    EXPECT_TRUE(table.Save(path.c_str(), nullptr, 0, mode, true));
    Bytes image;
    EXPECT_TRUE(qvtest::ReadBytes(path, image));
    return image;
}

// Offsets at which a row block ends (the header end first).
std::vector<size_t> BlockEnds(const Bytes& image)
{
    std::vector<size_t> ends = {kHeaderSize};
    size_t offset = kHeaderSize;
    while (offset + 8 <= image.size()) {
        uint32_t n = image[offset] | image[offset + 1] << 8 | image[offset + 2] << 16 |
                     static_cast<uint32_t>(image[offset + 3]) << 24;
        offset += 8 + n;
        ends.push_back(offset);
    }
    EXPECT_EQ(offset, image.size());
    return ends;
}

std::vector<ExpectedRow> LoadRows(const Bytes& image, bool& opened)
{
    CTableFile table;
    opened = table.OpenImage(image.data(), image.size(), nullptr, 0);
    return qvtest::ReadRows(table);
}

Bytes Text(const char* s) { return qvtest::ToBytes(std::string(s)); }

} // namespace

TEST(TableFileDamage, EveryPrefixFailsCleanlyOrYieldsTheRowsBeforeTheCut)
{
    std::vector<ExpectedRow> all = qvtest::FixtureRowsAfterLoad();
    size_t prefixes = 0;
    for (int mode : {CODEC_DEFLATE, CODEC_RC4, CODEC_SEED}) {
        Bytes image = SavedFixture(mode);
        std::vector<size_t> ends = BlockEnds(image);
        ASSERT_EQ(ends.size(), all.size() + 1);
        for (size_t cut = 0; cut <= image.size(); ++cut, ++prefixes) {
            size_t complete = 0;  // rows whose block lies wholly before the cut
            while (complete + 1 < ends.size() && ends[complete + 1] <= cut)
                ++complete;
            bool atBoundary = complete > 0 && ends[complete] == cut;
            bool opened = false;
            std::vector<ExpectedRow> rows = LoadRows(Bytes(image.begin(), image.begin() + cut), opened);
            EXPECT_EQ(opened, atBoundary) << "mode " << mode << " cut " << cut;
            EXPECT_EQ(rows, std::vector<ExpectedRow>(all.begin(), all.begin() + complete))
                << "mode " << mode << " cut " << cut;
        }
    }
    // The figure quoted in reports.
    printf("[          ] truncation prefixes checked: %zu\n", prefixes);
}

TEST(TableFileDamage, AnyFlippedStoredByteFailsTheLoad)
{
    size_t flips = 0;
    for (int mode : {CODEC_DEFLATE, CODEC_RC4, CODEC_SEED}) {
        Bytes image = SavedFixture(mode);
        for (size_t at = 0; at < image.size(); ++at) {
            if (at == kModeOffset)
                continue;  // the mode byte has its own test
            for (uint8_t mask : {0x01, 0x80}) {
                Bytes damaged = image;
                damaged[at] ^= mask;
                CTableFile table;
                EXPECT_FALSE(table.OpenImage(damaged.data(), damaged.size(), nullptr, 0))
                    << "mode " << mode << " byte " << at;
                ++flips;
            }
        }
    }
    printf("[          ] flipped bytes checked: %zu\n", flips);
}

TEST(TableFileDamage, TheModeByteSelectsTheCodec)
{
    Bytes image = SavedFixture(CODEC_DEFLATE);
    bool opened = false;
    image[kModeOffset] = 9;  // unknown modes act as deflate
    EXPECT_EQ(LoadRows(image, opened), qvtest::FixtureRowsAfterLoad());
    EXPECT_TRUE(opened);
    image[kModeOffset] = CODEC_RC4;  // no row decodes: nothing loads
    EXPECT_TRUE(LoadRows(image, opened).empty());
    EXPECT_FALSE(opened);
}

TEST(TableFileDamage, HeaderMustBeExact)
{
    Bytes image = SavedFixture(CODEC_DEFLATE);
    bool opened = true;
    Bytes wrongMagic = image;
    wrongMagic[0] = 'X';
    EXPECT_TRUE(LoadRows(wrongMagic, opened).empty());
    EXPECT_FALSE(opened);
    Bytes wrongVersion = image;
    wrongVersion[5] = 3;
    EXPECT_TRUE(LoadRows(wrongVersion, opened).empty());
    EXPECT_FALSE(opened);
    EXPECT_TRUE(LoadRows(Bytes(image.begin(), image.begin() + kHeaderSize), opened).empty());
    EXPECT_FALSE(opened);  // header alone: no rows
}

TEST(TableFileDamage, UnknownKindAbandonsTheRestOfItsRow)
{
    Bytes bad = Concat({NumberCell(4, 1), CellBytes(7, Text("??")), NumberCell(4, 2)});
    std::vector<ExpectedRow> expected = {{{4, "", 10}}, {{4, "", 1}}, {{4, "", 20}}};
    ImageBuilder middle(CODEC_DEFLATE);
    middle.AddRow(NumberCell(4, 10));
    middle.AddRow(bad);
    middle.AddRow(NumberCell(4, 20));
    bool opened = false;
    EXPECT_EQ(LoadRows(middle.image(), opened), expected);
    EXPECT_TRUE(opened);  // the last block decoded cleanly

    ImageBuilder last(CODEC_DEFLATE);
    last.AddRow(NumberCell(4, 10));
    last.AddRow(bad);
    expected.pop_back();
    EXPECT_EQ(LoadRows(last.image(), opened), expected);
    EXPECT_FALSE(opened);  // the last block failed
}

TEST(TableFileDamage, CellsRunningPastThePayloadAreRejected)
{
    // A text cell that claims one byte more than the payload holds.
    ImageBuilder overrun(CODEC_SEED);
    overrun.AddRow(Concat({NumberCell(5, 7), CellBytes(3, Text("abc"), 4)}));
    bool opened = true;
    std::vector<ExpectedRow> expected = {{{5, "", 7}}};
    EXPECT_EQ(LoadRows(overrun.image(), opened), expected);
    EXPECT_FALSE(opened);

    // A length so large that offset arithmetic could wrap.
    ImageBuilder huge(CODEC_DEFLATE);
    huge.AddRow(CellBytes(1, Text("abc"), 0xFFFFFFFFu));
    EXPECT_EQ(LoadRows(huge.image(), opened), std::vector<ExpectedRow>{ExpectedRow()});
    EXPECT_FALSE(opened);

    // A cell header cut short at the end of the payload.
    ImageBuilder shortHeader(CODEC_DEFLATE);
    shortHeader.AddRow(Concat({NumberCell(4, 1), Bytes{3, 0, 0}}));
    expected = {{{4, "", 1}}};
    EXPECT_EQ(LoadRows(shortHeader.image(), opened), expected);
    EXPECT_FALSE(opened);

    // A number cell shorter than its four bytes.
    ImageBuilder shortNumber(CODEC_DEFLATE);
    shortNumber.AddRow(CellBytes(4, Bytes{1, 2}));
    EXPECT_EQ(LoadRows(shortNumber.image(), opened), std::vector<ExpectedRow>{ExpectedRow()});
    EXPECT_FALSE(opened);
}

TEST(TableFileDamage, LongerNumberCellsUseTheirFirstFourBytes)
{
    ImageBuilder image(CODEC_DEFLATE);
    image.AddRow(Concat({CellBytes(6, Bytes{0x78, 0x56, 0x34, 0x12, 0xEE, 0xEE}), NumberCell(4, 5)}));
    bool opened = false;
    std::vector<ExpectedRow> expected = {{{6, "", 0x12345678}, {4, "", 5}}};
    EXPECT_EQ(LoadRows(image.image(), opened), expected);
    EXPECT_TRUE(opened);
}

TEST(TableFileDamage, RowsThatDoNotInflateAreDroppedSilently)
{
    ImageBuilder image(CODEC_RC4);
    image.AddRow(NumberCell(4, 1));
    image.AddStored(Text("decrypts to noise that is no zlib stream"));
    image.AddRow(NumberCell(4, 3));
    bool opened = false;
    std::vector<ExpectedRow> expected = {{{4, "", 1}}, {{4, "", 3}}};
    EXPECT_EQ(LoadRows(image.image(), opened), expected);
    EXPECT_TRUE(opened);
}

TEST(TableFileDamage, AnEmptyPayloadGivesAnEmptyRow)
{
    // deflate of nothing: a valid stream the writer itself never produces.
    Bytes stream(64);
    uLongf length = static_cast<uLongf>(stream.size());
    ASSERT_EQ(compress2(stream.data(), &length, stream.data(), 0, 9), Z_OK);
    stream.resize(length);
    ImageBuilder image(CODEC_DEFLATE);
    image.AddRow(NumberCell(4, 1));
    image.AddStored(stream);
    image.AddRow(NumberCell(4, 3));
    CTableFile table;
    ASSERT_TRUE(table.OpenImage(image.image().data(), image.image().size(), nullptr, 0));
    ASSERT_TRUE(table.NextRow());
    EXPECT_FALSE(table.HasCell());
    ASSERT_TRUE(table.NextRow());
    int32_t n = 0;
    EXPECT_TRUE(table.GetNumber4(n));
    EXPECT_EQ(n, 3);
}

TEST(TableFileDamage, TrailingBytesAndOversizedBlocksFail)
{
    ImageBuilder image(CODEC_DEFLATE);
    image.AddRow(NumberCell(4, 1));
    for (size_t extra = 1; extra < 8; ++extra) {
        Bytes trailing = image.image();
        trailing.insert(trailing.end(), extra, 0);
        bool opened = true;
        EXPECT_EQ(LoadRows(trailing, opened).size(), 1u);
        EXPECT_FALSE(opened) << extra;
    }
    // A block claiming 4 GB in a small file fails without trying to read it.
    ImageBuilder oversized(CODEC_DEFLATE);
    oversized.AddRaw({0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 1, 2, 3});
    bool opened = true;
    EXPECT_TRUE(LoadRows(oversized.image(), opened).empty());
    EXPECT_FALSE(opened);
}

TEST(TableFileDamage, ARowInflatingPastTheCapFailsTheWholeLoad)
{
    // A few tens of kilobytes on disk that inflate to more than any real row:
    // the load fails (it is not a row to drop and go on from), while a large
    // but sane row below the cap still loads.
    for (size_t inflated : {kMaxInflatedBlock + 1, size_t(8) << 20}) {
        // One byte cell of zeros, with its kind and length in front.
        const size_t payload = inflated - 8;
        Bytes zeros(inflated, 0);
        zeros[0] = 3;
        for (int i = 0; i < 4; ++i)
            zeros[4 + i] = static_cast<unsigned char>(payload >> (8 * i));
        Bytes stream(compressBound(static_cast<uLong>(zeros.size())));
        uLongf length = static_cast<uLongf>(stream.size());
        ASSERT_EQ(compress2(stream.data(), &length, zeros.data(), static_cast<uLong>(zeros.size()), 9), Z_OK);
        stream.resize(length);
        ImageBuilder image(CODEC_DEFLATE);
        image.AddRow(NumberCell(4, 1));
        image.AddStored(stream);
        CTableFile table;
        const bool opened = table.OpenImage(image.image().data(), image.image().size(), nullptr, 0);
        EXPECT_EQ(opened, inflated <= kMaxInflatedBlock) << inflated << " bytes from a " << length << "-byte block";
    }
}
