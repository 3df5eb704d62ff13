// CGifPicture: a static control that shows a picture from the program's
// resources and plays an animated GIF on a thread of its own.
//
// Load parses the GIF's blocks itself (CGifBlockWalker), has the system's
// picture loader (OleLoadPicture) decode each frame as a one-frame GIF, and
// prepares an off-screen surface of the picture's size; the control's window
// is resized to that size, keeping its top-left corner. Draw shows a still
// picture at once, or starts the animation thread, which composes frame after
// frame into the surface by each frame's offset, delay and disposal method
// and repeats for as long as the control lives. WM_PAINT copies the surface.
// Stop ends the thread (at once: it waits on an event), Unload frees
// everything. Use the control from the user-interface thread.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <cstdint>
#include <vector>

#include "framework/Static.h"
#include "platform/SystemHandles.h"

struct GifFrame {
    IPicture* picture = nullptr;  // one reference owned
    SIZE frameSize = {0, 0};
    POINT frameOffset = {0, 0};
    int delay = -1;               // hundredths of a second; -1: no graphic control extension
    int disposal = 0;             // GIF disposal method
};

class CGifPicture : public CStatic {
public:
    CGifPicture();
    ~CGifPicture() override;

    // Loads a picture resource of the program (every caller passes "GIF").
    // False when the resource is missing or Load fails.
    bool LoadFromResource(UINT resourceId, const char* resourceType);
    // Loads a picture from a movable memory block the caller keeps and frees.
    // False when the data is no picture the system can decode, a GIF without
    // a frame or with a broken block structure, or the surface cannot be made;
    // the control is then empty.
    bool Load(HGLOBAL block, DWORD size);
    // Animated GIF: starts the animation thread and returns false. Otherwise
    // renders the still picture and returns true when it rendered.
    bool Draw();
    // Ends the animation thread (waiting at most 5,000 ms).
    void Stop();
    // Stops and releases everything loaded.
    void Unload();

    bool IsLoaded() const { return m_loaded; }
    bool IsGif() const { return m_isGif; }
    bool IsPlaying() const { return m_isPlaying != 0; }
    bool HasAnimationThread() const { return m_threadHandle.Valid(); }
    SIZE GetPictureSize() const { return m_pictureSize; }
    size_t GetFrameCount() const { return m_frames.size(); }
    const GifFrame& GetFrame(size_t index) const { return m_frames[index]; }
    size_t GetCurrentFrame() const { return m_currentFrame; }
    COLORREF GetBackgroundColour() const { return m_backgroundColour; }

    // How long a frame stays, in milliseconds, for its delay in hundredths of
    // a second: delays of 5 or more count as given; shorter ones, and frames
    // without a delay (-1), play for 100 ms.
    static DWORD FrameWait(int delay);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Steps of the animation loop, run by the animation thread.
    // Renders frame `index` at its offset (saving the area under it first when
    // its disposal is 3); true when it rendered.
    bool ShowFrame(size_t index);
    // Applies the frame's disposal method to its area.
    void DisposeFrame(size_t index);
    // Moves to the next frame; after the last, back to frame 0 with the whole
    // surface cleared to the background colour.
    void AdvanceFrame();
    HDC SurfaceDC() const { return m_memoryDC; }

private:
    static unsigned __stdcall AnimationThread(void* self);
    void PlayLoop();
    bool LoadFrames(const uint8_t* data, size_t size);
    bool DecodeWhole(HGLOBAL block, IPicture** picture);
    bool PrepareSurface();
    void FillSurface(const RECT& area, COLORREF colour);
    bool RenderPicture(IPicture* picture, int x, int y, int width, int height);
    void OnPaint();

    RECT m_paintRect;
    SIZE m_pictureSize;
    COLORREF m_backgroundColour;
    size_t m_currentFrame;
    size_t m_dataSize;
    size_t m_dataOffset;
    size_t m_globalColourTableSize;
    bool m_isGif;
    volatile LONG m_isPlaying;
    volatile LONG m_exitThread;
    bool m_loaded;
    HDC m_memoryDC;
    HBITMAP m_memoryBitmap;
    HGDIOBJ m_memoryOldBitmap;
    HDC m_saveDC;
    HBITMAP m_saveBitmap;
    HGDIOBJ m_saveOldBitmap;
    CKernelHandle m_threadHandle;
    CKernelHandle m_exitEvent;
    IPicture* m_picture;
    std::vector<GifFrame> m_frames;
};
