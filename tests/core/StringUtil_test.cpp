// Blank trimming, character replacement and the djb2 name hash.
#include "core/StringUtil.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(StringHash, Djb2OverSignedBytes)
{
    EXPECT_EQ(StringHash(""), 5381u);
    EXPECT_EQ(StringHash(nullptr), 5381u);
    EXPECT_EQ(StringHash("a"), 177670u);
    // Bytes above 0x7F count as negative values.
    EXPECT_EQ(StringHash("\xB0"), 5381u * 33u + static_cast<uint32_t>(-80));
    // Case matters: the folder table's lookups are case-sensitive.
    EXPECT_NE(StringHash("PROGRAM_FILES"), StringHash("program_files"));
}

TEST(TrimBlanks, RemovesOnlySpacesFromBothEnds)
{
    char text[] = "  a b  ";
    EXPECT_TRUE(TrimBlanks(text));
    EXPECT_STREQ(text, "a b");

    char tabs[] = "\tx\t";
    EXPECT_TRUE(TrimBlanks(tabs));
    EXPECT_STREQ(tabs, "\tx\t");

    char blank[] = " ";
    EXPECT_TRUE(TrimBlanks(blank));
    EXPECT_STREQ(blank, "");

    EXPECT_FALSE(TrimBlanks(nullptr));
}

TEST(ReplaceChar, CountsReplacementsWithinTheCount)
{
    char text[] = "a\nb\nc\n";
    EXPECT_EQ(ReplaceChar(text, '\n', '\0', 4), 2);
    EXPECT_EQ(memcmp(text, "a\0b\0c\n", 6), 0);
    EXPECT_EQ(ReplaceChar(nullptr, 'a', 'b', 3), 0);
    EXPECT_EQ(ReplaceChar(text, 'a', 'b', 0), 0);
}

} // namespace

TEST(FormatInto, FormatsWhatFitsAndRefusesWhatDoesNot)
{
    char buffer[8];
    EXPECT_EQ(FormatInto(buffer, sizeof(buffer), "%04X|%s", 0xABu, "ab"), 7);
    EXPECT_STREQ(buffer, "00AB|ab");
    // One character too many: refused, but the buffer stays terminated.
    EXPECT_EQ(FormatInto(buffer, sizeof(buffer), "%s", "12345678"), -1);
    EXPECT_EQ(buffer[sizeof(buffer) - 1], '\0');
    EXPECT_EQ(FormatInto(nullptr, 4, "x"), -1);
    EXPECT_EQ(FormatInto(buffer, 0, "x"), -1);
}
