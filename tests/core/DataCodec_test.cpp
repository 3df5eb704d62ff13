// The row codec: zlib, then nothing, RC4 or SEED by mode, with built-in or
// caller keys; and the inflate growth of Decode.
#include "core/DataCodec.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "core/Rc4.h"
#include "core/SeedFraming.h"
#include "tests/core/CodecTestUtil.h"

using qvtest::Bytes;

namespace {

Bytes Encode(const CDataCodec& codec, const Bytes& data, int mode, const Bytes& key = Bytes())
{
    CByteBuffer out;
    CDeflater deflater;
    EXPECT_TRUE(codec.Encode(data.data(), data.size(), out, key.empty() ? nullptr : key.data(), key.size(), mode,
                             deflater));
    return qvtest::ToBytes(out);
}

// Decodes a copy (mode 1 decrypts in place); false when Decode fails.
bool Decode(const CDataCodec& codec, Bytes stored, int mode, Bytes& plain, const Bytes& key = Bytes())
{
    CByteBuffer out;
    if (!codec.Decode(stored.data(), stored.size(), out, key.empty() ? nullptr : key.data(), key.size(), mode))
        return false;
    plain = qvtest::ToBytes(out);
    return true;
}

Bytes SampleRow()
{
    Bytes row;
    for (int i = 0; i < 40; ++i) {
        const char* text = "cell text that repeats a little ";
        row.insert(row.end(), text, text + strlen(text));
        row.push_back(static_cast<uint8_t>(i));
    }
    return row;
}

Bytes BuiltInKey(const CDataCodec& codec)
{
    Bytes key(CDataCodec::kBuiltInKeySize);
    codec.BuiltInKey(key.data());
    return key;
}

} // namespace

TEST(DataCodec, EveryModeRoundTrips)
{
    CDataCodec codec;
    Bytes row = SampleRow();
    Bytes callerKey = qvtest::FromHex("00112233445566778899AABBCCDDEEFF0102");
    for (int mode : {0, 1, 2, 7}) {  // 7: unknown, acts as deflate
        for (const Bytes& key : {Bytes(), callerKey}) {
            Bytes plain;
            ASSERT_TRUE(Decode(codec, Encode(codec, row, mode, key), mode, plain, key)) << "mode " << mode;
            EXPECT_EQ(plain, row) << "mode " << mode;
        }
    }
}

TEST(DataCodec, ModeZeroIsOneZlibStream)
{
    CDataCodec codec;
    Bytes row = SampleRow();
    Bytes stored = Encode(codec, row, CODEC_DEFLATE);
    EXPECT_LT(stored.size(), row.size());
    Bytes plain(row.size());
    uLongf plainLength = static_cast<uLongf>(plain.size());
    ASSERT_EQ(uncompress(plain.data(), &plainLength, stored.data(), static_cast<uLong>(stored.size())), Z_OK);
    EXPECT_EQ(plain, row);
    // Unknown modes store the same bytes as mode 0.
    EXPECT_EQ(Encode(codec, row, 3), stored);
    EXPECT_EQ(Encode(codec, row, -1), stored);
}

TEST(DataCodec, ModeOneIsRc4OverTheStreamWithTheBuiltInKey)
{
    CDataCodec codec;
    Bytes row = SampleRow();
    Bytes stream = Encode(codec, row, CODEC_DEFLATE);
    Bytes key = BuiltInKey(codec);
    Bytes rc4 = Encode(codec, row, CODEC_RC4);
    CRc4(key.data(), key.size()).Apply(rc4.data(), rc4.size());
    EXPECT_EQ(rc4, stream);
}

TEST(DataCodec, ModeOneTwiceGivesBackTheInputAndDecodeChangesTheCallersBlock)
{
    CDataCodec codec;
    Bytes row = SampleRow();
    Bytes stream = Encode(codec, row, CODEC_DEFLATE);
    Bytes stored = Encode(codec, row, CODEC_RC4);
    Bytes twice = stored;
    CRc4 first(BuiltInKey(codec).data(), CDataCodec::kBuiltInKeySize);
    first.Apply(twice.data(), twice.size());
    CRc4 second(BuiltInKey(codec).data(), CDataCodec::kBuiltInKeySize);
    second.Apply(twice.data(), twice.size());
    EXPECT_EQ(twice, stored);

    CByteBuffer out;
    ASSERT_TRUE(codec.Decode(stored.data(), stored.size(), out, nullptr, 0, CODEC_RC4));
    EXPECT_EQ(qvtest::ToBytes(out), row);
    EXPECT_EQ(stored, stream);  // decrypted in place
}

TEST(DataCodec, ModeTwoIsFramedSeedOverTheStream)
{
    CDataCodec codec;
    Bytes row = SampleRow();
    Bytes stream = Encode(codec, row, CODEC_DEFLATE);
    Bytes stored = Encode(codec, row, CODEC_SEED);
    EXPECT_EQ(stored.size(), SeedFramedLength(stream.size()));
    CByteBuffer plain;
    ASSERT_TRUE(SeedFrameDecrypt(stored.data(), stored.size(), BuiltInKey(codec).data(), plain));
    EXPECT_EQ(qvtest::ToBytes(plain), stream);
}

TEST(DataCodec, CallerKeysChangeTheStoredForm)
{
    CDataCodec codec;
    Bytes row = SampleRow();
    Bytes key16 = qvtest::FromHex("000102030405060708090A0B0C0D0E0F");
    for (int mode : {CODEC_RC4, CODEC_SEED}) {
        Bytes builtIn = Encode(codec, row, mode);
        Bytes keyed = Encode(codec, row, mode, key16);
        EXPECT_NE(keyed, builtIn) << "mode " << mode;
        Bytes plain;
        EXPECT_FALSE(Decode(codec, keyed, mode, plain) && plain == row) << "mode " << mode;
    }
    // SEED takes the first 16 bytes of a longer key.
    Bytes key20 = key16;
    key20.insert(key20.end(), {9, 9, 9, 9});
    EXPECT_EQ(Encode(codec, row, CODEC_SEED, key20), Encode(codec, row, CODEC_SEED, key16));
}

TEST(DataCodec, SeedWithAKeyShorterThanSixteenBytesUsesTheBuiltInKey)
{
    CDataCodec codec;
    Bytes row = SampleRow();
    Bytes shortKey = {1, 2, 3};
    EXPECT_EQ(Encode(codec, row, CODEC_SEED, shortKey), Encode(codec, row, CODEC_SEED));
}

TEST(DataCodec, InflateGrowsPastTwiceTheStoredSize)
{
    CDataCodec codec;
    for (int mode : {CODEC_DEFLATE, CODEC_RC4, CODEC_SEED}) {
        Bytes zeros(200000, 0);
        zeros[12345] = 1;
        Bytes stored = Encode(codec, zeros, mode);
        ASSERT_LT(stored.size() * 2, zeros.size());  // the first output buffer cannot hold it
        Bytes plain;
        ASSERT_TRUE(Decode(codec, stored, mode, plain)) << "mode " << mode;
        EXPECT_EQ(plain, zeros) << "mode " << mode;
    }
}

TEST(DataCodec, IncompressibleRowsStillEncode)
{
    CDataCodec codec;
    Bytes noise = qvtest::NoiseBytes(100000, 1);
    Bytes stored = Encode(codec, noise, CODEC_DEFLATE);
    Bytes plain;
    ASSERT_TRUE(Decode(codec, stored, CODEC_DEFLATE, plain));
    EXPECT_EQ(plain, noise);
}

TEST(DataCodec, TruncatedOrDamagedStreamsFail)
{
    CDataCodec codec;
    Bytes row = SampleRow();
    Bytes stream = Encode(codec, row, CODEC_DEFLATE);
    Bytes plain;
    for (size_t cut = 1; cut < stream.size(); ++cut)
        EXPECT_FALSE(Decode(codec, Bytes(stream.begin(), stream.begin() + cut), CODEC_DEFLATE, plain)) << cut;
    Bytes notZlib = qvtest::ToBytes(std::string("definitely not a zlib stream"));
    EXPECT_FALSE(Decode(codec, notZlib, CODEC_DEFLATE, plain));
    EXPECT_FALSE(Decode(codec, notZlib, CODEC_RC4, plain));
    EXPECT_FALSE(Decode(codec, notZlib, CODEC_SEED, plain));  // 28 bytes: not a SEED shape
}

TEST(DataCodec, EmptyInputFailsAndFailureLeavesTheOutput)
{
    CDataCodec codec;
    CByteBuffer out;
    ASSERT_TRUE(out.Allocate(5, true));
    CDeflater deflater;
    unsigned char byte = 0;
    EXPECT_FALSE(codec.Encode(&byte, 0, out, nullptr, 0, CODEC_DEFLATE, deflater));
    EXPECT_FALSE(codec.Decode(&byte, 0, out, nullptr, 0, CODEC_DEFLATE));
    EXPECT_FALSE(codec.Encode(nullptr, 4, out, nullptr, 0, CODEC_SEED, deflater));
    Bytes garbage(32, 0x5A);
    EXPECT_FALSE(codec.Decode(garbage.data(), garbage.size(), out, nullptr, 0, CODEC_SEED));
    EXPECT_EQ(out.Size(), 5u);
}

// Stored packing: every mode reads it back, at block boundaries too, and the
// stream is the input plus its framing only.
TEST(DataCodec, StoredRowsDecodeInEveryModeAndAcrossBlockBoundaries)
{
    CDataCodec codec;
    CStoredPacker packer;
    for (size_t size : {size_t(1), size_t(65535), size_t(65536), size_t(200000)}) {
        Bytes row(size);
        for (size_t i = 0; i < size; ++i)
            row[i] = static_cast<unsigned char>(i * 7 + i / 251);
        CByteBuffer stream;
        ASSERT_TRUE(packer.Pack(row.data(), row.size(), stream));
        const size_t blocks = (size + 65534) / 65535;
        EXPECT_EQ(stream.Size(), size + 2 + 5 * blocks + 4) << size;
        EXPECT_EQ(stream.ByteAt(0), 0x78);
        for (int mode : {CODEC_DEFLATE, CODEC_RC4, CODEC_SEED}) {
            CByteBuffer out;
            ASSERT_TRUE(codec.Encode(row.data(), row.size(), out, nullptr, 0, mode, packer));
            Bytes plain;
            ASSERT_TRUE(Decode(codec, qvtest::ToBytes(out), mode, plain)) << size << " mode " << mode;
            EXPECT_EQ(plain, row) << size << " mode " << mode;
        }
    }
    CByteBuffer out;
    unsigned char byte = 0;
    EXPECT_FALSE(packer.Pack(&byte, 0, out));
    EXPECT_FALSE(packer.Pack(nullptr, 4, out));
}
