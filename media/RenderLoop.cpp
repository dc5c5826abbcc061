// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "RenderLoop.h"

#include <cstdlib>
#include <utility>

namespace {

constexpr size_t kAlignment = 64;

} // namespace

void TFrameBuffer::TFree::operator()(unsigned char* Pixels) const {
    std::free(Pixels);
}

bool TFrameBuffer::Resize(int Width, int Height) {
    if (Width <= 0 || Height <= 0) {
        FPixels.reset();
        FCapacity = 0;
        FWidth = FHeight = 0;
        FStride = 0;
        return false;
    }
    const size_t Stride = (static_cast<size_t>(Width) * 4 + kAlignment - 1) / kAlignment * kAlignment;
    const size_t Bytes = Stride * static_cast<size_t>(Height);
    if (Bytes > FCapacity) {
        FPixels.reset(static_cast<unsigned char*>(std::aligned_alloc(kAlignment, Bytes)));
        FCapacity = FPixels ? Bytes : 0;
    }
    if (!FPixels) {
        FWidth = FHeight = 0;
        FStride = 0;
        return false;
    }
    FWidth = Width;
    FHeight = Height;
    FStride = Stride;
    return true;
}

TRenderLoop::TRenderLoop(TDraw Draw, TReady Ready)
    : FDraw(std::move(Draw)), FReady(std::move(Ready)), FThread([this] { Run(); }) {}

TRenderLoop::~TRenderLoop() {
    Stop();
}

void TRenderLoop::RequestDraw() {
    {
        const std::lock_guard<std::mutex> Lock(FLock);
        FDrawWanted = true;
    }
    FWake.notify_one();
}

void TRenderLoop::Stop() {
    {
        const std::lock_guard<std::mutex> Lock(FLock);
        FStop = true;
    }
    FWake.notify_one();
    if (FThread.joinable())
        FThread.join();
}

void TRenderLoop::SetSize(int Width, int Height) {
    {
        const std::lock_guard<std::mutex> Lock(FLock);
        if (Width == FWidth && Height == FHeight)
            return;
        FWidth = Width;
        FHeight = Height;
        FRedrawWanted = true;
    }
    FWake.notify_one();
}

void TRenderLoop::NewGeneration() {
    const std::lock_guard<std::mutex> Lock(FLock);
    ++FGeneration;
    FFresh = false;
}

const TFrameBuffer* TRenderLoop::Take() {
    const std::lock_guard<std::mutex> Lock(FLock);
    FNotified = false;
    if (!FFresh)
        return nullptr;
    FFresh = false;
    // A picture of an earlier file is dropped where it lies, so that the one
    // the owner still shows is never drawn over.
    if (FLatest->Generation != FGeneration)
        return nullptr;
    std::swap(FShown, FLatest);
    return FShown.get();
}

void TRenderLoop::Run() {
    std::unique_lock<std::mutex> Lock(FLock);
    for (;;) {
        FWake.wait(Lock, [this] { return FStop || FDrawWanted || FRedrawWanted; });
        if (FStop)
            return;
        // A new picture asked for as well is drawn as one, not as a redraw.
        const bool Redraw = !FDrawWanted;
        FDrawWanted = FRedrawWanted = false;
        const int Width = FWidth, Height = FHeight;
        const uint64_t Generation = FGeneration;
        Lock.unlock();
        // Drawn outside the lock: the owner takes and sizes meanwhile.
        const bool Drawn = FDrawn->Resize(Width, Height) && FDraw(*FDrawn, Redraw);
        Lock.lock();
        if (!Drawn || FStop)
            continue;
        FDrawn->Generation = Generation;
        std::swap(FDrawn, FLatest);
        FFresh = true;
        if (!FNotified) {
            FNotified = true;
            // Outside the lock, in case the owner's queue takes a lock of its own.
            Lock.unlock();
            FReady();
            Lock.lock();
        }
    }
}
