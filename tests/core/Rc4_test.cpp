// RC4 against published vectors.
#include "core/Rc4.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/core/CodecTestUtil.h"

using qvtest::Bytes;
using qvtest::FromHex;

namespace {

Bytes Crypt(const Bytes& key, Bytes data)
{
    CRc4 rc4(key.data(), key.size());
    rc4.Apply(data.data(), data.size());
    return data;
}

} // namespace

// RFC 6229, section 2: key stream (the cipher of zero bytes) at offsets 0 and 16.
TEST(Rc4, Rfc6229KeyStreams)
{
    EXPECT_EQ(Crypt(FromHex("0102030405"), Bytes(32)),
              FromHex("b2396305f03dc027ccc3524a0a1118a8 6982944f18fc82d589c403a47a0d0919"));
    EXPECT_EQ(Crypt(FromHex("01020304050607"), Bytes(16)), FromHex("293f02d47f37c9b633f2af5285feb46b"));
}

// The widely published plaintext vectors ("Key"/"Plaintext" and friends).
TEST(Rc4, TextVectors)
{
    EXPECT_EQ(Crypt(qvtest::ToBytes(std::string("Key")), qvtest::ToBytes(std::string("Plaintext"))),
              FromHex("BBF316E8D940AF0AD3"));
    EXPECT_EQ(Crypt(qvtest::ToBytes(std::string("Wiki")), qvtest::ToBytes(std::string("pedia"))),
              FromHex("1021BF0420"));
    EXPECT_EQ(Crypt(qvtest::ToBytes(std::string("Secret")), qvtest::ToBytes(std::string("Attack at dawn"))),
              FromHex("45A01F645FC35B383552544B9BF5"));
}

TEST(Rc4, StreamContinuesAcrossCalls)
{
    Bytes key = FromHex("0102030405");
    Bytes whole = Crypt(key, Bytes(32));
    CRc4 rc4(key.data(), key.size());
    Bytes pieces(32);
    rc4.Apply(pieces.data(), 5);
    rc4.Apply(pieces.data() + 5, 27);
    EXPECT_EQ(pieces, whole);
}
