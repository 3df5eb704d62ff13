// SEED: the RFC 4269 vectors through our word order, and the framing of
// codec mode 2.
#include "core/SeedCipher.h"
#include "core/SeedFraming.h"

#include <gtest/gtest.h>

#include "tests/core/CodecTestUtil.h"

using qvtest::Bytes;
using qvtest::FromHex;

namespace {

// Our cipher reads every 32-bit word little-endian; the RFC reads them
// big-endian. Reversing each group of four bytes converts between the two.
Bytes ReverseWords(Bytes b)
{
    for (size_t i = 0; i + 4 <= b.size(); i += 4) {
        std::swap(b[i], b[i + 3]);
        std::swap(b[i + 1], b[i + 2]);
    }
    return b;
}

struct SeedVector {
    const char* key;
    const char* plain;
    const char* cipher;
};

// RFC 4269, Appendix B (Test Vectors), sets B.1 to B.4.
const SeedVector kRfc4269Vectors[] = {
    {"00000000000000000000000000000000", "000102030405060708090A0B0C0D0E0F", "5EBAC6E0054E166819AFF1CC6D346CDB"},
    {"000102030405060708090A0B0C0D0E0F", "00000000000000000000000000000000", "C11F22F20140505084483597E4370F43"},
    {"4706480851E61BE85D74BFB3FD956185", "83A2F8A288641FB9A4E9A5CC2F131C7D", "EE54D13EBCAE706D226BC3142CD40D4A"},
    {"28DBC3BC49FFD87DCFA509B11D422BE7", "B41E6BE2EBA84A148E2EED84593C5EC7", "9B9B7BFCD1813CB95D0B3618F40F5122"},
};

const uint8_t kKey[16] = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE, 1, 2, 3, 4, 5, 6, 7, 8};

} // namespace

TEST(SeedCipher, Rfc4269VectorsThroughWordOrder)
{
    for (const SeedVector& v : kRfc4269Vectors) {
        Bytes key = ReverseWords(FromHex(v.key));
        Bytes plain = ReverseWords(FromHex(v.plain));
        CSeedCipher cipher(key.data());
        Bytes out(16);
        cipher.EncryptBlock(plain.data(), out.data());
        EXPECT_EQ(ReverseWords(out), FromHex(v.cipher)) << "key " << v.key;
        Bytes back(16);
        cipher.DecryptBlock(out.data(), back.data());
        EXPECT_EQ(back, plain) << "key " << v.key;
    }
}

TEST(SeedCipher, WordOrderIsNotTheRfcByteOrder)
{
    // Fed the RFC's bytes directly, the cipher must not give the RFC's answer.
    const SeedVector& v = kRfc4269Vectors[2];
    CSeedCipher cipher(FromHex(v.key).data());
    Bytes out(16);
    cipher.EncryptBlock(FromHex(v.plain).data(), out.data());
    EXPECT_NE(out, FromHex(v.cipher));
}

TEST(SeedFraming, FramedLengths)
{
    EXPECT_EQ(SeedFramedLength(1), 17u);
    EXPECT_EQ(SeedFramedLength(15), 17u);
    EXPECT_EQ(SeedFramedLength(16), 17u);
    EXPECT_EQ(SeedFramedLength(17), 33u);
    EXPECT_EQ(SeedFramedLength(32), 33u);
    EXPECT_EQ(SeedFramedLength(33), 49u);
    EXPECT_EQ(SeedFramedLength(0), 0u);
    for (size_t length : {15u, 16u, 17u}) {
        CByteBuffer out;
        Bytes plain = qvtest::NoiseBytes(length, 3);
        ASSERT_TRUE(SeedFrameEncrypt(plain.data(), plain.size(), kKey, out));
        EXPECT_EQ(out.Size(), SeedFramedLength(length));
        EXPECT_EQ(out.ByteAt(0), length % 16);
    }
}

TEST(SeedFraming, RoundTripEveryLengthUpTo100)
{
    for (size_t length = 1; length <= 100; ++length) {
        Bytes plain = qvtest::NoiseBytes(length, static_cast<uint32_t>(length));
        CByteBuffer framed, back;
        ASSERT_TRUE(SeedFrameEncrypt(plain.data(), plain.size(), kKey, framed));
        ASSERT_TRUE(SeedFrameDecrypt(framed.Data(), framed.Size(), kKey, back)) << length;
        EXPECT_EQ(qvtest::ToBytes(back), plain) << length;
    }
}

TEST(SeedFraming, EncryptsEachBlockOnItsOwn)
{
    // Two equal plaintext blocks give two equal ciphertext blocks (electronic
    // codebook), and the zero-padded tail is a block of its own.
    Bytes plain(32 + 3, 0xAB);
    CByteBuffer framed;
    ASSERT_TRUE(SeedFrameEncrypt(plain.data(), plain.size(), kKey, framed));
    ASSERT_EQ(framed.Size(), 49u);
    EXPECT_EQ(Bytes(framed.Data() + 1, framed.Data() + 17), Bytes(framed.Data() + 17, framed.Data() + 33));
    uint8_t tail[16] = {0xAB, 0xAB, 0xAB};
    uint8_t expected[16];
    CSeedCipher(kKey).EncryptBlock(tail, expected);
    EXPECT_EQ(Bytes(framed.Data() + 33, framed.Data() + 49), Bytes(expected, expected + 16));
}

TEST(SeedFraming, DecryptHonoursTheLengthByte)
{
    Bytes five = {1, 2, 3, 4, 5};
    CByteBuffer framed;
    ASSERT_TRUE(SeedFrameEncrypt(five.data(), five.size(), kKey, framed));
    ASSERT_EQ(framed.Size(), 17u);
    Bytes cipher = qvtest::ToBytes(framed);

    CByteBuffer out;
    ASSERT_TRUE(SeedFrameDecrypt(cipher.data(), cipher.size(), kKey, out));
    EXPECT_EQ(qvtest::ToBytes(out), five);

    // Length byte 0 on 17 bytes: the whole block, padding included.
    cipher[0] = 0;
    ASSERT_TRUE(SeedFrameDecrypt(cipher.data(), cipher.size(), kKey, out));
    Bytes padded = five;
    padded.resize(16, 0);
    EXPECT_EQ(qvtest::ToBytes(out), padded);

    // 33 bytes with length byte 3: one whole block and 3 bytes.
    Bytes nineteen = qvtest::NoiseBytes(19, 11);
    ASSERT_TRUE(SeedFrameEncrypt(nineteen.data(), nineteen.size(), kKey, framed));
    ASSERT_EQ(framed.Size(), 33u);
    EXPECT_EQ(framed.ByteAt(0), 3);
    ASSERT_TRUE(SeedFrameDecrypt(framed.Data(), framed.Size(), kKey, out));
    EXPECT_EQ(out.Size(), 19u);
    EXPECT_EQ(qvtest::ToBytes(out), nineteen);
}

TEST(SeedFraming, BareBlocksDecryptToTheirOwnLength)
{
    Bytes plain = qvtest::NoiseBytes(32, 5);
    Bytes cipher(32);
    CSeedCipher seed(kKey);
    seed.EncryptBlock(plain.data(), cipher.data());
    seed.EncryptBlock(plain.data() + 16, cipher.data() + 16);
    CByteBuffer out;
    ASSERT_TRUE(SeedFrameDecrypt(cipher.data(), cipher.size(), kKey, out));
    EXPECT_EQ(qvtest::ToBytes(out), plain);
}

TEST(SeedFraming, RejectsBadShapes)
{
    Bytes data(64, 0);
    CByteBuffer out;
    ASSERT_TRUE(out.Allocate(3, true));
    EXPECT_FALSE(SeedFrameDecrypt(data.data(), 20, kKey, out));  // neither 1 nor 0 mod 16
    EXPECT_FALSE(SeedFrameDecrypt(data.data(), 15, kKey, out));  // shorter than a block
    EXPECT_FALSE(SeedFrameDecrypt(data.data(), 1, kKey, out));
    EXPECT_FALSE(SeedFrameDecrypt(nullptr, 17, kKey, out));
    // A length byte of 16 or more would claim bytes that were never there.
    data[0] = 16;
    EXPECT_FALSE(SeedFrameDecrypt(data.data(), 17, kKey, out));
    data[0] = 0xFF;
    EXPECT_FALSE(SeedFrameDecrypt(data.data(), 33, kKey, out));
    EXPECT_EQ(out.Size(), 3u);  // a failed call leaves the output as it was

    EXPECT_FALSE(SeedFrameEncrypt(data.data(), 0, kKey, out));
    EXPECT_FALSE(SeedFrameEncrypt(nullptr, 5, kKey, out));
    EXPECT_EQ(out.Size(), 3u);
}
