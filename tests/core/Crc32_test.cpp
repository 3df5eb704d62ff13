// CRC-32 guarding every stored row: the published check value and agreement
// with zlib's independent implementation.
#include "core/Crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/core/CodecTestUtil.h"

using qvtest::Bytes;

TEST(Crc32, KnownAnswers)
{
    EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
    const char fox[] = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(Crc32(fox, sizeof(fox) - 1), 0x414FA339u);
}

TEST(Crc32, NullOrEmptyGivesZero)
{
    EXPECT_EQ(Crc32(nullptr, 10), 0u);
    EXPECT_EQ(Crc32("abc", 0), 0u);
}

TEST(Crc32, AgreesWithZlibOverManyLengths)
{
    Bytes data = qvtest::NoiseBytes(4099, 7);
    for (size_t length : {1u, 2u, 3u, 255u, 256u, 1000u, 4099u}) {
        uLong expected = crc32(0L, data.data(), static_cast<uInt>(length));
        EXPECT_EQ(Crc32(data.data(), length), static_cast<uint32_t>(expected)) << "length " << length;
    }
}
