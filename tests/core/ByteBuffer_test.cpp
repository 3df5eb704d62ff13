// The owned buffer under the codec and table file: ownership, growth and
// the byte-at accessor the readers rely on.
#include "core/ByteBuffer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

TEST(ByteBuffer, AllocateZeroFillsAndZeroSizeIsEmpty)
{
    CByteBuffer buffer;
    ASSERT_TRUE(buffer.Allocate(32, true));
    ASSERT_EQ(buffer.Size(), 32u);
    for (size_t i = 0; i < 32; ++i)
        EXPECT_EQ(buffer.Data()[i], 0);
    ASSERT_TRUE(buffer.Allocate(0, true));
    EXPECT_EQ(buffer.Data(), nullptr);
    EXPECT_EQ(buffer.Size(), 0u);
}

TEST(ByteBuffer, ByteAtPastTheEndIsZero)
{
    CByteBuffer buffer;
    ASSERT_TRUE(buffer.Allocate(3, false));
    memcpy(buffer.Data(), "abc", 3);
    EXPECT_EQ(buffer.ByteAt(2), 'c');
    EXPECT_EQ(buffer.ByteAt(3), 0);
    EXPECT_EQ(CByteBuffer().ByteAt(0), 0);
}

TEST(ByteBuffer, AttachTakesOwnershipAndRefusesNull)
{
    CByteBuffer buffer;
    EXPECT_FALSE(buffer.Attach(nullptr, 4, false));
    unsigned char* block = static_cast<unsigned char*>(malloc(4));
    memcpy(block, "wxyz", 4);
    ASSERT_TRUE(buffer.Attach(block, 4, true));
    EXPECT_EQ(buffer.Data(), block);
    EXPECT_EQ(buffer.ByteAt(0), 0);  // zero-filled on request
    unsigned char* taken = buffer.Detach(false);
    EXPECT_EQ(taken, block);
    EXPECT_TRUE(buffer.Empty());
    free(taken);
}

TEST(ByteBuffer, GrowAppendsZerosAndKeepsContents)
{
    CByteBuffer buffer;
    ASSERT_TRUE(buffer.Allocate(2, false));
    buffer.Data()[0] = 7;
    buffer.Data()[1] = 9;
    ASSERT_TRUE(buffer.Grow(3));
    ASSERT_EQ(buffer.Size(), 5u);
    EXPECT_EQ(buffer.ByteAt(0), 7);
    EXPECT_EQ(buffer.ByteAt(1), 9);
    EXPECT_EQ(buffer.ByteAt(4), 0);
    EXPECT_FALSE(buffer.Grow(static_cast<size_t>(-1)));  // overflow refused, contents kept
    EXPECT_EQ(buffer.Size(), 5u);
    EXPECT_EQ(buffer.ByteAt(0), 7);

    CByteBuffer empty;
    ASSERT_TRUE(empty.Grow(4));
    EXPECT_EQ(empty.Size(), 4u);
}
