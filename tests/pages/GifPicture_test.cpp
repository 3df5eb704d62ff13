// The animated picture control under the system's own picture loader: still
// pictures, frame composition by offset and disposal method, the animation
// thread's timing and stop, and damaged data.
#include "pages/GifPicture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "pages/GifBlockWalker.h"
#include "res/resource.h"
#include "tests/pages/GifBuilder.h"

using namespace giftest;

namespace {

const uint32_t kColours[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
const COLORREF kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0), kBlue = RGB(0, 0, 255);

// Opens the composition steps and the surface to the tests.
class ProbePicture : public CGifPicture {
public:
    using CGifPicture::AdvanceFrame;
    using CGifPicture::DisposeFrame;
    using CGifPicture::ShowFrame;
    COLORREF Pixel(int x, int y) const { return GetPixel(SurfaceDC(), x, y); }
};

// A top-level window with one static child, the control's host.
class HostWindow {
public:
    HostWindow(int x, int y, int width, int height)
    {
        m_parent = CreateWindowExA(0, "STATIC", "host", WS_POPUP, 0, 0, 600, 400, nullptr, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
        m_child = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, x, y, width, height, m_parent, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    }
    ~HostWindow()
    {
        if (IsWindow(m_parent))
            DestroyWindow(m_parent);
    }
    HWND parent() const { return m_parent; }
    HWND child() const { return m_child; }
    RECT ChildRectInParent() const
    {
        RECT r;
        GetWindowRect(m_child, &r);
        MapWindowPoints(nullptr, m_parent, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }

private:
    HWND m_parent;
    HWND m_child;
};

bool LoadBytes(CGifPicture& picture, const Bytes& bytes)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.empty() ? 1 : bytes.size());
    void* target = GlobalLock(block);
    if (!bytes.empty())
        memcpy(target, bytes.data(), bytes.size());
    GlobalUnlock(block);
    bool loaded = picture.Load(block, static_cast<DWORD>(bytes.size()));
    GlobalFree(block);
    return loaded;
}

Bytes ResourceBytes(UINT id)
{
    HRSRC info = FindResourceA(nullptr, MAKEINTRESOURCEA(id), "GIF");
    const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, info)));
    return Bytes(data, data + SizeofResource(nullptr, info));
}

// 8 x 8 screen: red everywhere (kept), green 4 x 4 at (2, 2) (restore
// previous), blue 2 x 2 at (0, 0) (restore background).
Bytes DisposalGif()
{
    Bytes gif = Header(8, 8, kColours);
    Append(gif, GraphicControl(5, 1));
    Append(gif, Image(0, 0, 8, 8, 0));
    Append(gif, GraphicControl(5, 3));
    Append(gif, Image(2, 2, 4, 4, 1));
    Append(gif, GraphicControl(5, 2));
    Append(gif, Image(0, 0, 2, 2, 2));
    Append(gif, Trailer());
    return gif;
}

bool GreenDominant(COLORREF c) { return GetGValue(c) > GetRValue(c) + 40 && GetGValue(c) > GetBValue(c) + 40; }

void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

} // namespace

TEST(GifPicture, StillPicturesShowAt476x332AndGrowTheControlKeepingItsCorner)
{
    for (UINT id : {IDR_GIF_WELCOME, IDR_GIF_SUCCESS, IDR_GIF_FAIL}) {
        HostWindow host(7, 9, 20, 20);
        ProbePicture picture;
        ASSERT_TRUE(picture.SubclassWindow(host.child()));
        ASSERT_TRUE(picture.LoadFromResource(id, "GIF")) << id;
        EXPECT_TRUE(picture.IsGif());
        EXPECT_EQ(0u, picture.GetFrameCount());  // one frame: decoded whole
        EXPECT_EQ(476, picture.GetPictureSize().cx);
        EXPECT_EQ(332, picture.GetPictureSize().cy);
        RECT placed = host.ChildRectInParent();
        EXPECT_EQ(7, placed.left);
        EXPECT_EQ(9, placed.top);
        EXPECT_EQ(7 + 476, placed.right);
        EXPECT_EQ(9 + 332, placed.bottom);
        EXPECT_EQ(GetSysColor(COLOR_MENU), picture.Pixel(30, 30));  // filled, not yet drawn
        EXPECT_TRUE(picture.Draw());
        EXPECT_FALSE(picture.HasAnimationThread());
        // The top band of every card is a strong colour, not the fill.
        COLORREF band = picture.Pixel(300, 20);
        EXPECT_NE(GetSysColor(COLOR_MENU), band);
        EXPECT_LT(GetRValue(band) + GetGValue(band) + GetBValue(band), 600) << id;
    }
    ProbePicture missing;
    EXPECT_FALSE(missing.LoadFromResource(999, "GIF"));
    EXPECT_FALSE(missing.LoadFromResource(IDR_GIF_WELCOME, nullptr));
    EXPECT_FALSE(missing.Draw());
}

TEST(GifPicture, InstallAnimationHasTwoThreeSecondFrames)
{
    HostWindow host(3, 5, 13, 12);
    ProbePicture picture;
    ASSERT_TRUE(picture.SubclassWindow(host.child()));
    ASSERT_TRUE(picture.LoadFromResource(IDR_GIF_INSTALL, "GIF"));
    EXPECT_EQ(486, picture.GetPictureSize().cx);
    EXPECT_EQ(150, picture.GetPictureSize().cy);
    ASSERT_EQ(2u, picture.GetFrameCount());
    EXPECT_EQ(300, picture.GetFrame(0).delay);
    EXPECT_EQ(300, picture.GetFrame(1).delay);
    EXPECT_EQ(3000u, CGifPicture::FrameWait(picture.GetFrame(1).delay));
    EXPECT_EQ(5, picture.GetFrame(1).frameOffset.x);
    EXPECT_EQ(13, picture.GetFrame(1).frameOffset.y);
    EXPECT_EQ(476, picture.GetFrame(1).frameSize.cx);
    EXPECT_EQ(124, picture.GetFrame(1).frameSize.cy);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), picture.GetBackgroundColour());
}

TEST(GifPicture, SecondFrameIsDrawnAtItsOffsetAndTheSurfaceClearsOnReturn)
{
    HostWindow host(3, 5, 13, 12);
    ProbePicture picture;
    ASSERT_TRUE(picture.SubclassWindow(host.child()));
    ASSERT_TRUE(picture.LoadFromResource(IDR_GIF_INSTALL, "GIF"));
    ASSERT_TRUE(picture.ShowFrame(0));
    std::vector<COLORREF> first;
    for (int y = 0; y < 150; y += 3)
        for (int x = 0; x < 486; x += 3)
            first.push_back(picture.Pixel(x, y));
    picture.DisposeFrame(0);
    ASSERT_TRUE(picture.ShowFrame(1));
    int inside = 0, changedInside = 0, changedOutside = 0;
    size_t i = 0;
    for (int y = 0; y < 150; y += 3)
        for (int x = 0; x < 486; x += 3, ++i) {
            const bool inSecond = x >= 5 && x < 5 + 476 && y >= 13 && y < 13 + 124;
            const bool changed = picture.Pixel(x, y) != first[i];
            if (inSecond) {
                ++inside;
                changedInside += changed;
            } else {
                changedOutside += changed;
            }
        }
    EXPECT_EQ(0, changedOutside);  // nothing outside the second frame moves
    EXPECT_GT(changedInside, inside / 2);
    EXPECT_TRUE(GreenDominant(picture.Pixel(5 + 2, 13 + 2)));  // the second frame's green edge
    EXPECT_FALSE(GreenDominant(picture.Pixel(4, 12)));

    // Back to the first frame: the whole surface is cleared to the button face.
    picture.DisposeFrame(1);
    picture.AdvanceFrame();
    EXPECT_EQ(1u, picture.GetCurrentFrame());
    picture.AdvanceFrame();
    EXPECT_EQ(0u, picture.GetCurrentFrame());
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    for (int y = 0; y < 150; y += 7)
        for (int x = 0; x < 486; x += 7)
            ASSERT_EQ(face, picture.Pixel(x, y)) << x << "," << y;
}

TEST(GifPicture, DisposalMethodsKeepRestoreOrClearTheFrameArea)
{
    HostWindow host(0, 0, 8, 8);
    ProbePicture picture;
    ASSERT_TRUE(picture.SubclassWindow(host.child()));
    ASSERT_TRUE(LoadBytes(picture, DisposalGif()));
    ASSERT_EQ(3u, picture.GetFrameCount());
    const COLORREF face = GetSysColor(COLOR_BTNFACE);

    picture.DisposeFrame(0);  // before the first frame: nothing saved, nothing to do
    ASSERT_TRUE(picture.ShowFrame(0));
    EXPECT_EQ(kRed, picture.Pixel(4, 4));
    picture.DisposeFrame(0);  // method 1 keeps the frame
    EXPECT_EQ(kRed, picture.Pixel(4, 4));

    ASSERT_TRUE(picture.ShowFrame(1));
    EXPECT_EQ(kGreen, picture.Pixel(4, 4));
    EXPECT_EQ(kRed, picture.Pixel(1, 1));
    picture.DisposeFrame(1);  // method 3 puts back what was under it
    EXPECT_EQ(kRed, picture.Pixel(4, 4));

    ASSERT_TRUE(picture.ShowFrame(2));
    EXPECT_EQ(kBlue, picture.Pixel(0, 0));
    picture.DisposeFrame(2);  // method 2 clears to the background colour
    EXPECT_EQ(face, picture.Pixel(0, 0));
    EXPECT_EQ(face, picture.Pixel(1, 1));
    EXPECT_EQ(kRed, picture.Pixel(2, 2));
}

TEST(GifPicture, FrameWaitFollowsTheDelayAndGivesFramesWithoutOne100ms)
{
    EXPECT_EQ(3000u, CGifPicture::FrameWait(300));
    EXPECT_EQ(50u, CGifPicture::FrameWait(5));
    for (int delay : {4, 3, 1, 0})
        EXPECT_EQ(100u, CGifPicture::FrameWait(delay)) << delay;
    // No graphic control extension: a short frame, not a wait of 49.7 days.
    EXPECT_EQ(100u, CGifPicture::FrameWait(gif::kNoDelay));

    Bytes gif = Header(4, 4, kColours);
    Append(gif, Image(0, 0, 4, 4, 0));
    Append(gif, GraphicControl(20, 0));
    Append(gif, Image(0, 0, 4, 4, 1));
    Append(gif, Trailer());
    HostWindow host(0, 0, 4, 4);
    ProbePicture picture;
    ASSERT_TRUE(picture.SubclassWindow(host.child()));
    ASSERT_TRUE(LoadBytes(picture, gif));
    ASSERT_EQ(2u, picture.GetFrameCount());
    EXPECT_EQ(-1, picture.GetFrame(0).delay);
    EXPECT_EQ(100u, CGifPicture::FrameWait(picture.GetFrame(0).delay));
}

TEST(GifPicture, AnimationAlternatesItsFramesEveryThreeSeconds)
{
    HostWindow host(3, 5, 13, 12);
    ProbePicture picture;
    ASSERT_TRUE(picture.SubclassWindow(host.child()));
    ASSERT_TRUE(picture.LoadFromResource(IDR_GIF_INSTALL, "GIF"));
    const DWORD start = GetTickCount();
    EXPECT_FALSE(picture.Draw());  // animated: the thread plays it
    EXPECT_TRUE(picture.HasAnimationThread());
    std::vector<DWORD> switches;
    size_t last = picture.GetCurrentFrame();
    while (GetTickCount() - start < 6800 && switches.size() < 2) {
        Sleep(10);
        PumpMessages();
        size_t now = picture.GetCurrentFrame();
        if (now != last) {
            switches.push_back(GetTickCount() - start);
            last = now;
        }
    }
    EXPECT_TRUE(picture.IsPlaying());
    ASSERT_EQ(2u, switches.size());
    printf("install animation: frame 1 at %lu ms, frame 0 again at %lu ms\n", switches[0], switches[1]);
    EXPECT_GE(switches[0], 2700u);
    EXPECT_LE(switches[0], 3700u);
    EXPECT_GE(switches[1] - switches[0], 2700u);
    EXPECT_LE(switches[1] - switches[0], 3700u);
    picture.Stop();
    EXPECT_FALSE(picture.HasAnimationThread());
}

TEST(GifPicture, DestroyingTheWindowEndsTheAnimationThreadAtOnce)
{
    HostWindow host(3, 5, 13, 12);
    ProbePicture picture;
    ASSERT_TRUE(picture.SubclassWindow(host.child()));
    ASSERT_TRUE(picture.LoadFromResource(IDR_GIF_INSTALL, "GIF"));
    picture.Draw();
    for (int i = 0; i < 200 && !picture.IsPlaying(); ++i)
        Sleep(5);
    ASSERT_TRUE(picture.IsPlaying());
    Sleep(200);  // the thread now waits out the first frame's 3 s
    const DWORD start = GetTickCount();
    DestroyWindow(host.parent());
    const DWORD took = GetTickCount() - start;
    printf("window destroyed while the frame waited: thread ended after %lu ms\n", took);
    EXPECT_LT(took, 1000u);
    EXPECT_FALSE(picture.HasAnimationThread());
    EXPECT_FALSE(picture.IsPlaying());
    EXPECT_EQ(nullptr, picture.m_hWnd);
    // Draw restarts the animation where it stopped; Unload ends it again.
    picture.Draw();
    EXPECT_TRUE(picture.HasAnimationThread());
    picture.Unload();
    EXPECT_FALSE(picture.HasAnimationThread());
    EXPECT_FALSE(picture.IsLoaded());
}

TEST(GifPicture, DamagedOrForeignDataLeavesTheControlEmpty)
{
    HostWindow host(0, 0, 8, 8);
    ProbePicture picture;
    ASSERT_TRUE(picture.SubclassWindow(host.child()));

    Bytes whole = DisposalGif();
    for (size_t cut = 0; cut + 1 < whole.size(); ++cut) {
        Bytes prefix(whole.begin(), whole.begin() + cut);
        bool loaded = LoadBytes(picture, prefix);
        // A cut before the end of the first frame's data leaves no frame.
        if (cut < gif::kHeaderSize + 12 + 8 + 11) {
            EXPECT_FALSE(loaded) << cut;
            EXPECT_FALSE(picture.IsLoaded()) << cut;
            EXPECT_FALSE(picture.Draw()) << cut;
        }
        if (loaded) {
            EXPECT_LT(picture.GetFrameCount(), 3u) << cut;
        }
    }
    Bytes install = ResourceBytes(IDR_GIF_INSTALL);
    for (size_t cut = 0; cut < install.size(); cut += 97) {
        Bytes prefix(install.begin(), install.begin() + cut);
        if (LoadBytes(picture, prefix)) {
            EXPECT_LE(picture.GetFrameCount(), 1u) << cut;
        }
    }

    Bytes junk(300, 0x5A);
    EXPECT_FALSE(LoadBytes(picture, junk));
    EXPECT_FALSE(picture.IsLoaded());
    Bytes broken = Header(8, 8, kColours);
    broken.push_back(0x99);  // no block starts with this byte
    EXPECT_FALSE(LoadBytes(picture, broken));
    EXPECT_FALSE(picture.Load(nullptr, 10));
    HGLOBAL small = GlobalAlloc(GMEM_MOVEABLE, 16);
    EXPECT_FALSE(picture.Load(small, 4096));  // more bytes claimed than the block holds
    GlobalFree(small);
}

TEST(GifPicture, AFrameThatCannotBeDecodedIsLeftOut)
{
    Bytes gif = Header(4, 4, kColours);
    Append(gif, GraphicControl(10, 1));
    Append(gif, Image(0, 0, 4, 4, 0));
    Append(gif, GraphicControl(10, 1));
    Append(gif, PlainText());  // a frame of text only: no picture in it
    Append(gif, GraphicControl(10, 1));
    Append(gif, Image(0, 0, 4, 4, 2));
    Append(gif, Trailer());
    HostWindow host(0, 0, 4, 4);
    ProbePicture picture;
    ASSERT_TRUE(picture.SubclassWindow(host.child()));
    ASSERT_TRUE(LoadBytes(picture, gif));
    EXPECT_EQ(2u, picture.GetFrameCount());
}

TEST(GifPicture, APictureThatIsNoGifIsDecodedWhole)
{
    // An 8 x 8, 24-bit bottom-up bitmap file, all pure blue.
    const int side = 8, rowBytes = side * 3;
    Bytes bmp = {'B', 'M'};
    auto put32 = [&bmp](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    put32(54 + rowBytes * side);
    put32(0);
    put32(54);
    put32(40);
    put32(side);
    put32(side);
    Put16(bmp, 1);
    Put16(bmp, 24);
    for (int i = 0; i < 6; ++i)
        put32(0);
    for (int i = 0; i < side * side; ++i) {
        bmp.push_back(255);  // B
        bmp.push_back(0);
        bmp.push_back(0);
    }
    HostWindow host(0, 0, 2, 2);
    ProbePicture picture;
    ASSERT_TRUE(picture.SubclassWindow(host.child()));
    ASSERT_TRUE(LoadBytes(picture, bmp));
    EXPECT_FALSE(picture.IsGif());
    EXPECT_EQ(side, picture.GetPictureSize().cx);
    EXPECT_EQ(side, picture.GetPictureSize().cy);
    EXPECT_TRUE(picture.Draw());
    EXPECT_EQ(kBlue, picture.Pixel(3, 3));
}
