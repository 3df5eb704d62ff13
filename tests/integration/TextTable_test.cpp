// The language text table: which rows are read and which text wins.
#include "integration/TextTable.h"

#include "core/TableFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

void AddTextRow(CTableFile& table, int32_t id, const char* a, const char* b)
{
    table.AddRow();
    table.AddNumber4(1000);
    table.AddNumber4(id);
    table.AddText(a, true);
    table.AddText(b, true);
}

TEST(TextTable, ReadsTextRowsAndKeepsTheFirstTextOfAnIdentifier)
{
    qvtest::ScratchDir dir;
    CTableFile table;
    AddTextRow(table, 10210, "a", "Korvane Free");
    table.AddRow(); // an entry the installer skips, then a text row
    table.AddNumber4(1003);
    table.AddNumber4(1);
    table.AddText("skip", false);
    table.AddNumber4(2);
    AddTextRow(table, 10215, "a", "\xC4\xDA\xB9\xD9\xB3\xD7"); // Korean text B in code page 949
    AddTextRow(table, 10210, "a", "second");
    table.AddRow(); // any other row kind is ignored
    table.AddNumber4(7);
    table.AddNumber4(10220);
    std::string path = dir.File("QVSkinKor.dat");
    ASSERT_TRUE(table.Save(path.c_str(), nullptr, 0, 2, true));

    CTextTable texts;
    ASSERT_TRUE(texts.LoadFile(path));
    EXPECT_EQ(texts.Size(), 2u);
    std::string text;
    EXPECT_TRUE(texts.GetText(10210, text));
    EXPECT_EQ(text, "Korvane Free");
    EXPECT_TRUE(texts.GetText(10215, text));
    EXPECT_EQ(text, "\xC4\xDA\xB9\xD9\xB3\xD7");
    text = "untouched";
    EXPECT_FALSE(texts.GetText(10220, text));
    EXPECT_EQ(text, "untouched");
}

TEST(TextTable, MissingFileOrFolderFailsAndEmptiesTheTable)
{
    qvtest::ScratchDir dir;
    CTableFile table;
    AddTextRow(table, 1, "a", "b");
    std::string path = dir.File("skin.dat");
    ASSERT_TRUE(table.Save(path.c_str(), nullptr, 0, 0, true));
    CTextTable texts;
    ASSERT_TRUE(texts.LoadFile(path));
    EXPECT_EQ(texts.Size(), 1u);

    EXPECT_FALSE(texts.LoadFile(dir.File("absent.dat")));
    EXPECT_EQ(texts.Size(), 0u);
    EXPECT_FALSE(texts.LoadFile(dir.path()));
}

TEST(TextTable, DamagedFileLoadsAsEmpty)
{
    qvtest::ScratchDir dir;
    std::string path = dir.File("broken.dat");
    ASSERT_TRUE(qvtest::WriteText(path, "QVCSF\x04\x02garbage"));
    CTextTable texts;
    EXPECT_TRUE(texts.LoadFile(path));
    EXPECT_EQ(texts.Size(), 0u);
}

} // namespace
