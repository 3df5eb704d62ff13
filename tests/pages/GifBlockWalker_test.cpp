// The GIF block walker: block lengths, frame boundaries, frame assembly, and
// a clean failure (never a read past the data) for every truncation.
#include "pages/GifBlockWalker.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/pages/GifBuilder.h"
#include "tests/support/TestSupport.h"

using namespace giftest;

namespace {

const uint32_t kColours[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};

// Copies bytes so that they end exactly at an inaccessible page: reading one
// byte past them faults.
class GuardedBytes {
public:
    explicit GuardedBytes(const Bytes& bytes)
    {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        const size_t page = info.dwPageSize;
        const size_t dataPages = (bytes.size() + page - 1) / page + 1;
        m_size = (dataPages + 1) * page;
        m_base = static_cast<uint8_t*>(VirtualAlloc(nullptr, m_size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(m_base + dataPages * page, page, PAGE_NOACCESS, &old);
        m_data = m_base + dataPages * page - bytes.size();
        if (!bytes.empty())
            memcpy(m_data, bytes.data(), bytes.size());
    }
    ~GuardedBytes() { VirtualFree(m_base, 0, MEM_RELEASE); }
    const uint8_t* data() const { return m_data; }

private:
    uint8_t* m_base;
    uint8_t* m_data;
    size_t m_size;
};

size_t FirstBlock(const Bytes& gif) { return gif::kHeaderSize + gif::ColourTableSize(gif[10]); }

// Two frames with the blocks a real file carries around them.
Bytes TwoFrameGif()
{
    Bytes gif = Header(16, 12, kColours);
    Append(gif, Application());
    Append(gif, Comment("made for the walker test"));
    Append(gif, GraphicControl(300, 1));
    Append(gif, Image(0, 0, 16, 12, 0));
    Append(gif, Comment("between frames"));
    Append(gif, GraphicControl(7, 3));
    Append(gif, Comment("inside the frame"));
    Append(gif, Image(5, 3, 4, 2, 1, true));
    Append(gif, Trailer());
    return gif;
}

Bytes ReadPicture(const char* name)
{
    Bytes bytes;
    qvtest::ReadBytes(qvtest::SourcePath(std::string("res/pictures/") + name), bytes);
    return bytes;
}

} // namespace

TEST(GifBlockWalker, MeasuresEveryBlockKind)
{
    Bytes gif = Header(4, 4, kColours);
    const size_t first = gif.size();
    Bytes app = Application(), comment = Comment("abc"), control = GraphicControl(10, 2), text = PlainText(),
          image = Image(0, 0, 4, 4, 2, true), trailer = Trailer();
    for (const Bytes* block : {&app, &comment, &control, &text, &image, &trailer})
        Append(gif, *block);
    CGifBlockWalker walker(gif.data(), gif.size(), first);
    size_t at = first, length = 0;
    const GifBlockKind kinds[] = {kGifApplication, kGifComment, kGifGraphicControl, kGifPlainText, kGifImage, kGifTrailer};
    const size_t lengths[] = {app.size(), comment.size(), control.size(), text.size(), image.size(), trailer.size()};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(kinds[i], walker.KindAt(at)) << i;
        ASSERT_TRUE(walker.BlockLength(at, length)) << i;
        EXPECT_EQ(lengths[i], length) << i;
        at += length;
    }
    EXPECT_EQ(14u + 5u, app.size());     // fixed part + chain of one 3-byte block
    EXPECT_EQ(8u, control.size());
    // Descriptor and code size, local table of four entries, then the data.
    EXPECT_EQ(11u + 12u + Chain(SolidPixels(4, 4, 2)).size(), image.size());
    EXPECT_EQ(gif.size(), at);

    const uint8_t unknown[] = {0x21, 0x99, 0x00, 0x55};
    CGifBlockWalker other(unknown, sizeof(unknown), 0);
    EXPECT_EQ(kGifUnknown, other.KindAt(0));
    EXPECT_FALSE(other.BlockLength(0, length));
    EXPECT_FALSE(other.BlockLength(3, length));
}

TEST(GifBlockWalker, FindsFramesWithTheirDelayDisposalAndPlace)
{
    Bytes gif = TwoFrameGif();
    CGifBlockWalker walker(gif.data(), gif.size(), FirstBlock(gif));
    int count = 0;
    while (walker.SkipFrame())
        ++count;
    EXPECT_EQ(2, count);

    walker.Rewind();
    GifFrameInfo first, second, none;
    ASSERT_TRUE(walker.ExtractFrame(first));
    ASSERT_TRUE(walker.ExtractFrame(second));
    EXPECT_FALSE(walker.ExtractFrame(none));  // the trailer ends the walk

    EXPECT_EQ(300, first.delay);
    EXPECT_EQ(1, first.disposal);
    EXPECT_EQ(0, first.left);
    EXPECT_EQ(16, first.width);
    EXPECT_EQ(12, first.height);
    EXPECT_EQ(7, second.delay);
    EXPECT_EQ(3, second.disposal);
    EXPECT_EQ(5, second.left);
    EXPECT_EQ(3, second.top);
    EXPECT_EQ(4, second.width);
    EXPECT_EQ(2, second.height);
    // A frame starts at its graphic control extension: the comment before it
    // belongs to no frame, the one after it is part of the frame.
    EXPECT_EQ(0xF9, gif[first.start + 1]);
    EXPECT_EQ(0xF9, gif[second.start + 1]);
    EXPECT_EQ(0xFE, gif[second.start + 8 + 1]);
    EXPECT_EQ(0x3B, gif[second.end]);
}

TEST(GifBlockWalker, FrameWithoutControlExtensionHasNoDelay)
{
    Bytes gif = Header(8, 8, kColours);
    Append(gif, Comment("x"));
    Append(gif, Image(1, 2, 3, 4, 0));
    Append(gif, Trailer());
    CGifBlockWalker walker(gif.data(), gif.size(), FirstBlock(gif));
    GifFrameInfo frame;
    ASSERT_TRUE(walker.ExtractFrame(frame));
    EXPECT_EQ(gif::kNoDelay, frame.delay);
    EXPECT_EQ(0, frame.disposal);
    EXPECT_EQ(0x2C, gif[frame.start]);
    EXPECT_EQ(3, frame.width);
}

TEST(GifBlockWalker, PlainTextEndsAFrameAndTrailerOrJunkEndsTheWalk)
{
    Bytes gif = Header(8, 8, kColours);
    Append(gif, GraphicControl(20, 0));
    Append(gif, PlainText());
    Append(gif, Image(0, 0, 8, 8, 0));
    Append(gif, Trailer());
    CGifBlockWalker walker(gif.data(), gif.size(), FirstBlock(gif));
    int count = 0;
    while (walker.SkipFrame())
        ++count;
    EXPECT_EQ(2, count);  // control + plain text, then the image alone

    Bytes onlyTrailer = Header(8, 8, kColours);
    Append(onlyTrailer, Trailer());
    CGifBlockWalker empty(onlyTrailer.data(), onlyTrailer.size(), FirstBlock(onlyTrailer));
    EXPECT_FALSE(empty.SkipFrame());

    Bytes junk = Header(8, 8, kColours);
    Append(junk, GraphicControl(20, 0));
    junk.push_back(0x77);
    CGifBlockWalker broken(junk.data(), junk.size(), FirstBlock(junk));
    EXPECT_FALSE(broken.SkipFrame());

    Bytes controlThenTrailer = Header(8, 8, kColours);
    Append(controlThenTrailer, GraphicControl(20, 0));
    Append(controlThenTrailer, Trailer());
    CGifBlockWalker cut(controlThenTrailer.data(), controlThenTrailer.size(), FirstBlock(controlThenTrailer));
    EXPECT_FALSE(cut.SkipFrame());
}

TEST(GifBlockWalker, AssemblesAStandAloneOneFrameGif)
{
    Bytes gif = TwoFrameGif();
    const size_t first = FirstBlock(gif);
    CGifBlockWalker walker(gif.data(), gif.size(), first);
    GifFrameInfo frame;
    ASSERT_TRUE(walker.ExtractFrame(frame));
    ASSERT_TRUE(walker.ExtractFrame(frame));
    Bytes single = walker.AssembleFrame(frame);
    ASSERT_EQ(first + (frame.end - frame.start) + 1, single.size());
    EXPECT_TRUE(std::equal(gif.begin(), gif.begin() + first, single.begin()));
    EXPECT_TRUE(std::equal(gif.begin() + frame.start, gif.begin() + frame.end, single.begin() + first));
    EXPECT_EQ(0x3B, single.back());

    // The stand-alone GIF walks as exactly one frame.
    CGifBlockWalker again(single.data(), single.size(), first);
    EXPECT_TRUE(again.SkipFrame());
    EXPECT_FALSE(again.SkipFrame());

    GifFrameInfo outside;
    outside.start = gif.size() - 2;
    outside.end = gif.size() + 10;
    EXPECT_TRUE(walker.AssembleFrame(outside).empty());
}

TEST(GifBlockWalker, EveryTruncationFailsCleanly)
{
    for (const Bytes& whole : {TwoFrameGif(), ReadPicture("install.gif")}) {
        ASSERT_GT(whole.size(), FirstBlock(whole));
        CGifBlockWalker full(whole.data(), whole.size(), FirstBlock(whole));
        int fullCount = 0;
        while (full.SkipFrame())
            ++fullCount;
        ASSERT_EQ(2, fullCount);
        for (size_t cut = 0; cut < whole.size(); ++cut) {
            Bytes prefix(whole.begin(), whole.begin() + cut);
            GuardedBytes guarded(prefix);
            CGifBlockWalker walker(guarded.data(), cut, FirstBlock(whole));
            int count = 0;
            GifFrameInfo frame;
            while (walker.ExtractFrame(frame)) {
                EXPECT_LE(frame.end, cut);
                EXPECT_FALSE(walker.AssembleFrame(frame).empty());
                ++count;
            }
            // A cut inside the last frame loses it; only the trailer may go
            // without losing a frame.
            if (cut + 1 < whole.size()) {
                EXPECT_LT(count, fullCount) << "cut at " << cut;
            }
            EXPECT_LE(count, fullCount);
        }
    }
}

TEST(GifBlockWalker, OurPicturesHaveTheFramesTheWizardPlays)
{
    Bytes install = ReadPicture("install.gif");
    ASSERT_FALSE(install.empty());
    EXPECT_EQ(486, install[6] | install[7] << 8);
    EXPECT_EQ(150, install[8] | install[9] << 8);
    CGifBlockWalker walker(install.data(), install.size(), FirstBlock(install));
    GifFrameInfo first, second, none;
    ASSERT_TRUE(walker.ExtractFrame(first));
    ASSERT_TRUE(walker.ExtractFrame(second));
    EXPECT_FALSE(walker.ExtractFrame(none));
    EXPECT_EQ(300, first.delay);
    EXPECT_EQ(300, second.delay);
    EXPECT_EQ(0, first.left);
    EXPECT_EQ(0, first.top);
    EXPECT_EQ(486, first.width);
    EXPECT_EQ(150, first.height);
    EXPECT_EQ(5, second.left);
    EXPECT_EQ(13, second.top);

    for (const char* name : {"welcome.gif", "success.gif", "failure.gif"}) {
        Bytes still = ReadPicture(name);
        ASSERT_FALSE(still.empty()) << name;
        EXPECT_EQ(476, still[6] | still[7] << 8) << name;
        EXPECT_EQ(332, still[8] | still[9] << 8) << name;
        CGifBlockWalker stillWalker(still.data(), still.size(), FirstBlock(still));
        int count = 0;
        while (stillWalker.SkipFrame())
            ++count;
        EXPECT_EQ(1, count) << name;
    }
}
