// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// A pane's pictures are drawn on a thread of their own, so that a slow
// conversion never holds up the GUI thread and four panes draw at once. This
// unit knows nothing of Qt or of mpv: it runs the drawing thread and hands
// finished pictures over to the owner thread, which only shows them.

// One picture: 4 bytes a pixel, rows 64-byte aligned, as mpv's converters
// work fastest on them.
class TFrameBuffer {
public:
    TFrameBuffer() = default;
    TFrameBuffer(const TFrameBuffer&) = delete;
    TFrameBuffer& operator=(const TFrameBuffer&) = delete;

    // Makes room for Width x Height, keeping the memory when it fits;
    // false when it cannot be had (the buffer is then empty).
    bool Resize(int Width, int Height);
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    size_t Stride() const { return FStride; }
    unsigned char* Pixels() { return FPixels.get(); }
    const unsigned char* Pixels() const { return FPixels.get(); }
    bool Empty() const { return !FPixels; }
    // The file the picture belongs to (see TRenderLoop::NewGeneration).
    uint64_t Generation = 0;

private:
    struct TFree {
        void operator()(unsigned char* Pixels) const;
    };
    std::unique_ptr<unsigned char, TFree> FPixels;
    size_t FCapacity = 0;
    int FWidth = 0;
    int FHeight = 0;
    size_t FStride = 0;
};

// The drawing thread of one pane and the hand-over of its pictures. There
// are three buffers: the one the owner shows, the latest finished one, and
// the one being drawn; the owner takes the latest in exchange for the one it
// showed, so neither side ever waits for the other's drawing or painting.
class TRenderLoop {
public:
    // Draws the source's current picture into Target, which has the size
    // asked for; Redraw is true when only the size changed, not the picture.
    // Returns false when it drew nothing. Runs on the drawing thread.
    using TDraw = std::function<bool(TFrameBuffer& Target, bool Redraw)>;
    // A new picture waits to be taken. Runs on the drawing thread, once
    // until the owner takes a picture; it should only queue a call to the
    // owner thread.
    using TReady = std::function<void()>;

    // Starts the drawing thread; it draws nothing until a size is set.
    TRenderLoop(TDraw Draw, TReady Ready);
    // Stops the thread first (see Stop).
    ~TRenderLoop();
    TRenderLoop(const TRenderLoop&) = delete;
    TRenderLoop& operator=(const TRenderLoop&) = delete;

    // The source has a new picture. Any thread; it neither blocks for long
    // nor calls Draw, so it may be called from the source's own callbacks.
    void RequestDraw();

    // Owner thread only, from here on.
    // Stops the thread and waits for it: afterwards Draw and Ready are
    // never called again. Idempotent.
    void Stop();
    // Pictures are drawn at Width x Height from now on (none while either
    // is 0), and the current one is drawn again at that size.
    void SetSize(int Width, int Height);
    // A new file: pictures drawn before this are never handed over.
    void NewGeneration();
    // The latest finished picture of the current generation, if it is newer
    // than the one taken last, else nullptr. The buffer stays untouched
    // until the next call.
    const TFrameBuffer* Take();

private:
    void Run();

    TDraw FDraw;
    TReady FReady;
    std::mutex FLock; // guards everything below but FDrawn, which only the thread touches
    std::condition_variable FWake;
    bool FStop = false;
    bool FDrawWanted = false;   // the source has a new picture
    bool FRedrawWanted = false; // the size changed
    int FWidth = 0;
    int FHeight = 0;
    uint64_t FGeneration = 0;
    bool FFresh = false;    // FReady holds a picture not yet taken
    bool FNotified = false; // Ready was called and no picture has been taken since
    std::unique_ptr<TFrameBuffer> FShown = std::make_unique<TFrameBuffer>();  // the owner's
    std::unique_ptr<TFrameBuffer> FLatest = std::make_unique<TFrameBuffer>(); // finished, shared
    std::unique_ptr<TFrameBuffer> FDrawn = std::make_unique<TFrameBuffer>();  // the thread's
    std::thread FThread; // last: starts once the rest exists
};
