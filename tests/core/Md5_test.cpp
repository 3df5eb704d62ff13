// MD5 against the test suite of RFC 1321, and the file and buffer helpers.
#include "core/Md5.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::string DigestOf(const std::string& text)
{
    std::string hex;
    EXPECT_TRUE(Md5Buffer(text.data(), text.size(), hex));
    return hex;
}

TEST(Md5, Rfc1321TestSuite)
{
    EXPECT_EQ(DigestOf(""), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(DigestOf("a"), "0CC175B9C0F1B6A831C399E269772661");
    EXPECT_EQ(DigestOf("abc"), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(DigestOf("message digest"), "F96B697D7CB7938D525A2F31AAF161D0");
    EXPECT_EQ(DigestOf("abcdefghijklmnopqrstuvwxyz"), "C3FCD3D76192E4007DFB496CCA67E13B");
    EXPECT_EQ(DigestOf("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "D174AB98D277D9F5A5611C2C9F419D9F");
    EXPECT_EQ(DigestOf("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57EDF4A22BE3C955AC49DA2E2107B67A");
}

TEST(Md5, PiecewiseUpdatesAgreeWithOneUpdate)
{
    std::string text(1000, '\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>(i * 7 + 3);
    // Pieces that straddle the 64-byte block boundary in every way.
    for (size_t piece : {1u, 3u, 63u, 64u, 65u, 511u}) {
        CMd5 md5;
        for (size_t at = 0; at < text.size(); at += piece)
            md5.Update(text.data() + at, std::min(piece, text.size() - at));
        uint8_t digest[16];
        md5.Final(digest);
        std::string hex;
        AppendDigestHex(digest, hex);
        EXPECT_EQ(hex, DigestOf(text)) << "piece " << piece;
    }
}

TEST(Md5, BufferRejectsNullAndEmptiesTheText)
{
    std::string hex = "left over";
    EXPECT_FALSE(Md5Buffer(nullptr, 4, hex));
    EXPECT_TRUE(hex.empty());
}

TEST(Md5, FileDigestsWholeFilesOfEverySize)
{
    qvtest::ScratchDir dir;
    for (size_t size : {0u, 1u, 511u, 512u, 513u, 5000u}) {
        std::string content(size, 'x');
        for (size_t i = 0; i < size; ++i)
            content[i] = static_cast<char>(i % 251);
        std::string path = dir.File("f" + std::to_string(size));
        ASSERT_TRUE(qvtest::WriteBytes(path, content.data(), content.size()));
        std::string hex = "stale";
        ASSERT_TRUE(Md5File(path.c_str(), hex)) << size;
        EXPECT_EQ(hex, DigestOf(content)) << size;
    }
}

TEST(Md5, FileFailsForMissingFileAndNullPath)
{
    qvtest::ScratchDir dir;
    std::string hex = "stale";
    EXPECT_FALSE(Md5File(dir.File("absent").c_str(), hex));
    EXPECT_TRUE(hex.empty());
    EXPECT_FALSE(Md5File(nullptr, hex));
}

} // namespace
