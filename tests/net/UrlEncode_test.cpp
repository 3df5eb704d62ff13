// Percent-encoding of request parameters and request paths, byte by byte.
#include "net/UrlEncode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {

TEST(UrlEncode, KeepsLettersDigitsAndTheSevenMarksAndEncodesEverythingElse)
{
    const char* kept = "-./:@\\_";
    for (int c = 1; c < 256; ++c) {
        char text[2] = {static_cast<char>(c), '\0'};
        std::string encoded;
        ASSERT_TRUE(UrlEncode(text, encoded)) << c;
        bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (alnum || strchr(kept, c)) {
            EXPECT_EQ(encoded, std::string(text)) << c;
        } else {
            char expected[4];
            snprintf(expected, sizeof(expected), "%%%02X", c);
            EXPECT_EQ(encoded, expected) << c;
        }
    }
}

TEST(UrlEncode, BlankIsPercent20AndNeverPlus)
{
    std::string encoded;
    ASSERT_TRUE(UrlEncode("a b", encoded));
    EXPECT_EQ(encoded, "a%20b");
    ASSERT_TRUE(UrlEncode("x&y=z+1", encoded));
    EXPECT_EQ(encoded, "x%26y%3Dz%2B1");
    ASSERT_TRUE(UrlEncode("C:\\Program Files\\\xC7\xD1", encoded));
    EXPECT_EQ(encoded, "C:\\Program%20Files\\%C7%D1");
}

TEST(UrlEncode, EmptyOrNullTextGivesNoResult)
{
    std::string encoded = "stale";
    EXPECT_FALSE(UrlEncode("", encoded));
    EXPECT_EQ(encoded, "");
    EXPECT_FALSE(UrlEncode(nullptr, encoded));
    EXPECT_EQ(encoded, "");
}

TEST(EncodeRequestPath, RefusesControlBytesEncodesHighBytesAndBlanksAndKeepsTheRest)
{
    for (int c = 1; c < 256; ++c) {
        char path[4] = {'/', static_cast<char>(c), 'x', '\0'};
        std::string encoded = "stale";
        bool sendable = EncodeRequestPath(path, encoded);
        if (c < 0x20 || c == 0x7F) {
            EXPECT_FALSE(sendable) << c;
            EXPECT_EQ(encoded, "") << c;
        } else if (c == ' ' || c >= 0x80) {
            char expected[8];
            snprintf(expected, sizeof(expected), "/%%%02Xx", c);
            ASSERT_TRUE(sendable) << c;
            EXPECT_EQ(encoded, expected) << c;
        } else {
            ASSERT_TRUE(sendable) << c;
            EXPECT_EQ(encoded, std::string(path)) << c;
        }
    }
    std::string encoded;
    ASSERT_TRUE(EncodeRequestPath("/a%20b/\xC7\xD1?q=%C7&r=1", encoded));
    EXPECT_EQ(encoded, "/a%20b/%C7%D1?q=%C7&r=1") << "escapes already there are kept";
    EXPECT_FALSE(EncodeRequestPath(nullptr, encoded));
    EXPECT_TRUE(EncodeRequestPath("", encoded));
    EXPECT_EQ(encoded, "");
    EXPECT_FALSE(HasNoControlBytes(nullptr));
}

} // namespace
