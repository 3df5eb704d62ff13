#include "pages/GifPicture.h"

#include <process.h>

#include <cstring>

#include "framework/WinApp.h"
#include "pages/GifBlockWalker.h"
#include "platform/Ole32Api.h"
#include "platform/OleAut32Api.h"

namespace {

const char kGifSignature[] = "GIF";
const size_t kGifSignatureLength = 3;
const LONG kHimetricPerInch = 2540;
const DWORD kStopWaitMs = 5000;

// The picture loader decodes through COM on some systems: keep COM ready on
// this thread for as long as a load runs.
class ComScope {
public:
    ComScope() : m_initialised(SUCCEEDED(ole32::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope()
    {
        if (m_initialised)
            ole32::CoUninitialize();
    }

private:
    bool m_initialised;
};

// Holds a movable block locked for as long as the holder lives.
class GlobalLockHolder {
public:
    explicit GlobalLockHolder(HGLOBAL block) : m_block(block), m_data(block ? GlobalLock(block) : nullptr) {}
    ~GlobalLockHolder()
    {
        if (m_data)
            GlobalUnlock(m_block);
    }
    const uint8_t* Data() const { return static_cast<const uint8_t*>(m_data); }

private:
    HGLOBAL m_block;
    void* m_data;
};

IPicture* DecodeStream(IStream* stream, LONG size)
{
    IPicture* picture = nullptr;
    if (FAILED(oleaut32::OleLoadPicture(stream, size, FALSE, __uuidof(IPicture), reinterpret_cast<void**>(&picture))))
        return nullptr;
    return picture;
}

} // namespace

CGifPicture::CGifPicture()
    : m_paintRect(), m_pictureSize(), m_backgroundColour(RGB(255, 255, 255)), m_currentFrame(0), m_dataSize(0),
      m_dataOffset(0), m_globalColourTableSize(0), m_isGif(false), m_isPlaying(0), m_exitThread(0), m_loaded(false),
      m_memoryDC(nullptr), m_memoryBitmap(nullptr), m_memoryOldBitmap(nullptr), m_saveDC(nullptr),
      m_saveBitmap(nullptr), m_saveOldBitmap(nullptr),
      m_exitEvent(CreateEventA(nullptr,   // default security
                               TRUE,      // manual reset
                               FALSE,     // not signalled
                               nullptr)), // no name
      m_picture(nullptr)
{
}

CGifPicture::~CGifPicture()
{
    try {
        Unload();
    } catch (...) {
    }
}

DWORD CGifPicture::FrameWait(int delay)
{
    // A frame without a graphic control extension (-1) would otherwise wait
    // about 49.7 days; it plays like a short delay instead.
    const int kShortestDelay = 5;
    const DWORD kShortFrameMs = 100;
    if (delay < kShortestDelay)
        return kShortFrameMs;
    return static_cast<DWORD>(delay) * 10;
}

bool CGifPicture::LoadFromResource(UINT resourceId, const char* resourceType)
{
    if (!resourceType)
        return false;
    HMODULE module = AfxGetInstanceHandle();
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(resourceId), resourceType);
    if (!info)
        return false;
    DWORD size = SizeofResource(module, info);
    HGLOBAL resource = LoadResource(module, info);
    const void* bytes = resource ? LockResource(resource) : nullptr;
    if (!bytes || size == 0)
        return false;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_NODISCARD, size);
    if (!block)
        return false;
    void* target = GlobalLock(block);
    if (!target) {
        GlobalFree(block);
        return false;
    }
    memcpy(target, bytes, size);
    GlobalUnlock(block);
    FreeResource(resource);
    bool loaded = Load(block, size);
    GlobalFree(block);
    return loaded;
}

bool CGifPicture::Load(HGLOBAL block, DWORD size)
{
    Unload();
    if (!block || size == 0 || size > GlobalSize(block))
        return false;
    ComScope com;
    bool ok;
    {
        GlobalLockHolder lock(block);
        const uint8_t* data = lock.Data();
        if (!data)
            return false;
        m_dataSize = size;
        if (size < kGifSignatureLength || memcmp(data, kGifSignature, kGifSignatureLength) != 0) {
            ok = DecodeWhole(block, &m_picture);
            if (ok) {
                OLE_XSIZE_HIMETRIC width = 0;
                OLE_YSIZE_HIMETRIC height = 0;
                m_picture->get_Width(&width);
                m_picture->get_Height(&height);
                HDC screen = GetDC(nullptr);
                m_pictureSize.cx = MulDiv(width, GetDeviceCaps(screen, LOGPIXELSX), kHimetricPerInch);
                m_pictureSize.cy = MulDiv(height, GetDeviceCaps(screen, LOGPIXELSY), kHimetricPerInch);
                ReleaseDC(nullptr, screen);
            }
        } else {
            ok = LoadFrames(data, size);
            if (ok && m_frames.empty())
                ok = DecodeWhole(block, &m_picture);
        }
    }
    if (!ok || !PrepareSurface()) {
        Unload();
        return false;
    }
    return true;
}

bool CGifPicture::DecodeWhole(HGLOBAL block, IPicture** picture)
{
    IStream* stream = nullptr;
    if (FAILED(ole32::CreateStreamOnHGlobal(block, FALSE, &stream)))  // the caller keeps the block
        return false;
    *picture = DecodeStream(stream, static_cast<LONG>(m_dataSize));
    stream->Release();
    return *picture != nullptr;
}

// Reads the header and, for two or more frames, decodes every frame on its
// own. Leaves m_frames empty for a one-frame GIF, which is decoded whole.
bool CGifPicture::LoadFrames(const uint8_t* data, size_t size)
{
    if (size < gif::kHeaderSize)
        return false;
    m_isGif = true;
    m_pictureSize.cx = data[6] | (data[7] << 8);
    m_pictureSize.cy = data[8] | (data[9] << 8);
    const uint8_t packed = data[10];
    const uint8_t backgroundIndex = data[11];
    m_globalColourTableSize = gif::ColourTableSize(packed);
    const size_t firstBlock = gif::kHeaderSize + m_globalColourTableSize;
    if (firstBlock > size)
        return false;
    if (m_globalColourTableSize) {
        const size_t entry = gif::kHeaderSize + 3u * backgroundIndex;
        if (entry + 2 < firstBlock)
            m_backgroundColour = RGB(data[entry], data[entry + 1], data[entry + 2]);
    }

    CGifBlockWalker walker(data, size, firstBlock);
    size_t frameCount = 0;
    while (walker.SkipFrame())
        ++frameCount;
    if (frameCount == 0)
        return false;
    if (frameCount == 1)
        return true;

    walker.Rewind();
    GifFrameInfo info;
    while (walker.ExtractFrame(info)) {
        m_dataOffset = walker.Offset();
        std::vector<uint8_t> bytes = walker.AssembleFrame(info);
        if (bytes.empty())
            continue;
        HGLOBAL frameBlock = GlobalAlloc(GMEM_FIXED, bytes.size());
        if (!frameBlock)
            continue;
        memcpy(frameBlock, bytes.data(), bytes.size());  // a fixed block's handle is its address
        IStream* stream = nullptr;
        if (FAILED(ole32::CreateStreamOnHGlobal(frameBlock, TRUE, &stream))) {  // the stream frees the block
            GlobalFree(frameBlock);
            continue;
        }
        IPicture* picture = DecodeStream(stream, static_cast<LONG>(bytes.size()));
        stream->Release();
        if (!picture)
            continue;
        GifFrame frame;
        frame.picture = picture;
        frame.frameSize.cx = info.width;
        frame.frameSize.cy = info.height;
        frame.frameOffset.x = info.left;
        frame.frameOffset.y = info.top;
        frame.delay = info.delay;
        frame.disposal = info.disposal;
        m_frames.push_back(frame);
    }
    return !m_frames.empty();
}

bool CGifPicture::PrepareSurface()
{
    if (m_hWnd)
        SetWindowPos(m_hWnd, nullptr, 0, 0, m_pictureSize.cx, m_pictureSize.cy, SWP_NOMOVE | SWP_NOZORDER);
    HDC dc = GetDC(m_hWnd);
    if (!dc)
        return false;
    m_memoryDC = CreateCompatibleDC(dc);
    if (m_memoryDC)
        m_memoryBitmap = CreateCompatibleBitmap(dc, m_pictureSize.cx, m_pictureSize.cy);
    ReleaseDC(m_hWnd, dc);
    if (!m_memoryDC || !m_memoryBitmap)
        return false;
    m_memoryOldBitmap = SelectObject(m_memoryDC, m_memoryBitmap);
    m_backgroundColour = GetSysColor(COLOR_BTNFACE);
    RECT whole = {0, 0, m_pictureSize.cx, m_pictureSize.cy};
    FillRect(m_memoryDC, &whole, reinterpret_cast<HBRUSH>(COLOR_MENU + 1));  // system colour brush
    m_loaded = true;
    return true;
}

void CGifPicture::FillSurface(const RECT& area, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    if (!brush)
        return;
    FillRect(m_memoryDC, &area, brush);
    DeleteObject(brush);
}

bool CGifPicture::RenderPicture(IPicture* picture, int x, int y, int width, int height)
{
    if (!picture || !m_memoryDC)
        return false;
    OLE_XSIZE_HIMETRIC pictureWidth = 0;
    OLE_YSIZE_HIMETRIC pictureHeight = 0;
    picture->get_Width(&pictureWidth);
    picture->get_Height(&pictureHeight);
    // Picture units run bottom-up: start at the top (the height) and go down.
    return SUCCEEDED(picture->Render(m_memoryDC, x, y, width, height, 0, pictureHeight, pictureWidth,
                                     -pictureHeight, nullptr));
}

bool CGifPicture::Draw()
{
    if (!m_loaded)
        return false;
    if (m_isGif && m_frames.size() > 1) {
        if (m_threadHandle)
            return false;  // already playing
        uintptr_t thread = _beginthreadex(nullptr, 0, &CGifPicture::AnimationThread, this, CREATE_SUSPENDED, nullptr);
        if (!thread)
            return false;
        m_threadHandle.Reset(reinterpret_cast<HANDLE>(thread));
        ResumeThread(m_threadHandle.Get());
        return false;
    }
    bool rendered;
    if (m_picture) {
        rendered = RenderPicture(m_picture, 0, 0, m_pictureSize.cx, m_pictureSize.cy);
    } else if (m_frames.size() == 1) {
        // Only one frame of an animation could be decoded: show it still.
        rendered = ShowFrame(0);
    } else {
        rendered = false;
    }
    if (rendered && m_hWnd)
        InvalidateRect(m_hWnd, nullptr, FALSE);
    return rendered;
}

unsigned __stdcall CGifPicture::AnimationThread(void* self)
{
    CGifPicture* control = static_cast<CGifPicture*>(self);
    InterlockedExchange(&control->m_isPlaying, 1);
    control->PlayLoop();
    InterlockedExchange(&control->m_isPlaying, 0);
    return 0;
}

void CGifPicture::PlayLoop()
{
    DisposeFrame(m_currentFrame);
    while (!m_exitThread) {
        const GifFrame& frame = m_frames[m_currentFrame];
        if (frame.picture) {
            ShowFrame(m_currentFrame);
            if (m_exitThread)
                break;
            WaitForSingleObject(m_exitEvent.Get(), FrameWait(frame.delay));
            if (m_exitThread)
                break;
            DisposeFrame(m_currentFrame);
        }
        AdvanceFrame();
    }
}

bool CGifPicture::ShowFrame(size_t index)
{
    if (index >= m_frames.size() || !m_memoryDC)
        return false;
    const GifFrame& frame = m_frames[index];
    if (!frame.picture)
        return false;
    if (frame.disposal == 3) {
        // Keep the area under the frame to put it back afterwards.
        if (m_saveDC) {
            SelectObject(m_saveDC, m_saveOldBitmap);
            DeleteObject(m_saveBitmap);
            DeleteDC(m_saveDC);
        }
        m_saveDC = CreateCompatibleDC(m_memoryDC);
        m_saveBitmap = m_saveDC ? CreateCompatibleBitmap(m_memoryDC, frame.frameSize.cx, frame.frameSize.cy) : nullptr;
        if (m_saveBitmap) {
            m_saveOldBitmap = SelectObject(m_saveDC, m_saveBitmap);
            BitBlt(m_saveDC, 0, 0, frame.frameSize.cx, frame.frameSize.cy, m_memoryDC, frame.frameOffset.x,
                   frame.frameOffset.y, SRCCOPY);
        } else if (m_saveDC) {
            DeleteDC(m_saveDC);
            m_saveDC = nullptr;
        }
    }
    bool rendered = RenderPicture(frame.picture, frame.frameOffset.x, frame.frameOffset.y, frame.frameSize.cx,
                                  frame.frameSize.cy);
    if (rendered && m_hWnd)
        InvalidateRect(m_hWnd, nullptr, FALSE);
    return rendered;
}

void CGifPicture::DisposeFrame(size_t index)
{
    if (index >= m_frames.size() || !m_memoryDC)
        return;
    const GifFrame& frame = m_frames[index];
    const RECT area = {frame.frameOffset.x, frame.frameOffset.y, frame.frameOffset.x + frame.frameSize.cx,
                       frame.frameOffset.y + frame.frameSize.cy};
    if (frame.disposal == 2) {
        FillSurface(area, m_backgroundColour);
    } else if (frame.disposal == 3 && m_saveDC) {
        BitBlt(m_memoryDC, frame.frameOffset.x, frame.frameOffset.y, frame.frameSize.cx, frame.frameSize.cy, m_saveDC,
               0, 0, SRCCOPY);
        SelectObject(m_saveDC, m_saveOldBitmap);
        DeleteObject(m_saveBitmap);
        DeleteDC(m_saveDC);
        m_saveDC = nullptr;
        m_saveBitmap = nullptr;
        m_saveOldBitmap = nullptr;
    }
}

void CGifPicture::AdvanceFrame()
{
    if (m_frames.empty())
        return;
    ++m_currentFrame;
    if (m_currentFrame >= m_frames.size()) {
        m_currentFrame = 0;
        const RECT whole = {0, 0, m_pictureSize.cx, m_pictureSize.cy};
        FillSurface(whole, m_backgroundColour);
    }
}

void CGifPicture::Stop()
{
    InterlockedExchange(&m_isPlaying, 0);
    InterlockedExchange(&m_exitThread, 1);
    SetEvent(m_exitEvent.Get());
    if (m_threadHandle) {
        WaitForSingleObject(m_threadHandle.Get(), kStopWaitMs);
        m_threadHandle.Close();
    }
    ResetEvent(m_exitEvent.Get());
    InterlockedExchange(&m_exitThread, 0);
}

void CGifPicture::Unload()
{
    Stop();
    if (m_picture) {
        m_picture->Release();
        m_picture = nullptr;
    }
    for (GifFrame& frame : m_frames)
        if (frame.picture)
            frame.picture->Release();
    m_frames.clear();
    if (m_memoryDC) {
        SelectObject(m_memoryDC, m_memoryOldBitmap);
        DeleteDC(m_memoryDC);
    }
    if (m_memoryBitmap)
        DeleteObject(m_memoryBitmap);
    if (m_saveDC) {
        SelectObject(m_saveDC, m_saveOldBitmap);
        DeleteDC(m_saveDC);
    }
    if (m_saveBitmap)
        DeleteObject(m_saveBitmap);
    m_memoryDC = m_saveDC = nullptr;
    m_memoryBitmap = m_saveBitmap = nullptr;
    m_memoryOldBitmap = m_saveOldBitmap = nullptr;
    SetRectEmpty(&m_paintRect);
    m_backgroundColour = RGB(255, 255, 255);
    m_pictureSize.cx = m_pictureSize.cy = 0;
    m_currentFrame = m_dataSize = m_dataOffset = m_globalColourTableSize = 0;
    m_isGif = m_loaded = false;
}

LRESULT CGifPicture::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_DESTROY:
        Stop();
        return Default();
    default:
        return Default();
    }
}

void CGifPicture::OnPaint()
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    if (dc && m_loaded && m_memoryDC) {
        if (IsRectEmpty(&m_paintRect))
            BitBlt(dc, 0, 0, m_pictureSize.cx, m_pictureSize.cy, m_memoryDC, 0, 0, SRCCOPY);
        else
            BitBlt(dc, 0, 0, m_paintRect.right - m_paintRect.left, m_paintRect.bottom - m_paintRect.top, m_memoryDC,
                   m_paintRect.left, m_paintRect.top, SRCCOPY);
    }
    EndPaint(m_hWnd, &paint);
}
