// Conversions between code page 949, UTF-16 and UTF-8 (the system code page is
// 949 on the test prefix and in the host build).
#include "core/TextConvert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const char kHangulCp949[] = "\xC7\xD1\xB1\xDB abc";            // "한글 abc"
const char kHangulUtf8[] = "\xED\x95\x9C\xEA\xB8\x80 abc";
const WideChar kHangulWide[] = {0xD55C, 0xAE00, ' ', 'a', 'b', 'c', 0};

TEST(TextConvert, AnsiToWideAndBack)
{
    WideChar* wide = AnsiToWide(kHangulCp949);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(memcmp(wide, kHangulWide, sizeof(kHangulWide)), 0);
    char* ansi = WideToAnsi(wide);
    ASSERT_NE(ansi, nullptr);
    EXPECT_STREQ(ansi, kHangulCp949);
    FreeConverted(wide);
    FreeConverted(ansi);
}

TEST(TextConvert, Utf8LengthsCountTheTerminator)
{
    int length = -1;
    char* utf8 = AnsiToUtf8(kHangulCp949, &length);
    ASSERT_NE(utf8, nullptr);
    EXPECT_STREQ(utf8, kHangulUtf8);
    EXPECT_EQ(length, static_cast<int>(sizeof(kHangulUtf8)));
    FreeConverted(utf8);

    WideChar* wide = Utf8ToWide(kHangulUtf8, &length);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(length, 7); // six characters and the terminator
    FreeConverted(wide);

    char* ansi = Utf8ToAnsi(kHangulUtf8, &length);
    ASSERT_NE(ansi, nullptr);
    EXPECT_STREQ(ansi, kHangulCp949);
    EXPECT_EQ(length, static_cast<int>(strlen(kHangulCp949))); // without the terminator
    FreeConverted(ansi);
}

TEST(TextConvert, EmptyTexts)
{
    int length = -1;
    char* ansi = Utf8ToAnsi("", &length);
    ASSERT_NE(ansi, nullptr);
    EXPECT_STREQ(ansi, "");
    EXPECT_EQ(length, 0);
    FreeConverted(ansi);

    char* utf8 = AnsiToUtf8("", &length);
    ASSERT_NE(utf8, nullptr);
    EXPECT_EQ(length, 1);
    FreeConverted(utf8);
}

TEST(TextConvert, NullGivesNoBufferAndZeroLength)
{
    int length = 5;
    EXPECT_EQ(AnsiToWide(nullptr), nullptr);
    EXPECT_EQ(WideToAnsi(nullptr), nullptr);
    EXPECT_EQ(WideToUtf8(nullptr, &length), nullptr);
    EXPECT_EQ(length, 0);
    length = 5;
    EXPECT_EQ(Utf8ToWide(nullptr, &length), nullptr);
    EXPECT_EQ(length, 0);
    length = 5;
    EXPECT_EQ(Utf8ToAnsi(nullptr, &length), nullptr);
    EXPECT_EQ(length, 0);
}

TEST(TextConvert, SupplementaryCharactersUseSurrogatePairs)
{
    const char emoji[] = "\xF0\x9F\x98\x80"; // U+1F600
    int length = 0;
    WideChar* wide = Utf8ToWide(emoji, &length);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(wide[0], 0xD83D);
    EXPECT_EQ(wide[1], 0xDE00);
    char* back = WideToUtf8(wide, &length);
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back, emoji);
    EXPECT_EQ(length, 5);
    FreeConverted(wide);
    FreeConverted(back);
}

TEST(TextConvert, UnmappableCharactersDoNotFail)
{
    // U+00E9 (é) has no code page 949 form; it comes out as some replacement.
    const WideChar accented[] = {'x', 0x00E9, 'y', 0};
    char* ansi = WideToAnsi(accented);
    ASSERT_NE(ansi, nullptr);
    EXPECT_EQ(ansi[0], 'x');
    EXPECT_EQ(ansi[strlen(ansi) - 1], 'y');
    FreeConverted(ansi);
}

} // namespace
