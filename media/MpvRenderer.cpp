// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "MpvRenderer.h"

#include <mpv/client.h>
#include <mpv/render.h>

#include <cstdlib>
#include <cstring>

TMpvRenderer::TMpvRenderer(mpv_handle* Mpv) {
    char ApiType[] = MPV_RENDER_API_TYPE_SW;
    mpv_render_param Params[] = {{MPV_RENDER_PARAM_API_TYPE, ApiType}, {MPV_RENDER_PARAM_INVALID, nullptr}};
    if (int Error = mpv_render_context_create(&FRender, Mpv, Params); Error < 0) {
        FRender = nullptr;
        FError = std::string("the video renderer could not start: ") + mpv_error_string(Error);
        return;
    }
    mpv_render_context_set_update_callback(FRender, &TMpvRenderer::OnUpdate, this);
}

TMpvRenderer::~TMpvRenderer() {
    if (FRender) {
        mpv_render_context_set_update_callback(FRender, nullptr, nullptr);
        mpv_render_context_free(FRender);
    }
    std::free(FBuffer);
}

void TMpvRenderer::OnUpdate(void* Self) {
    auto* Renderer = static_cast<TMpvRenderer*>(Self);
    if (!Renderer->FRenderQueued.exchange(true))
        QMetaObject::invokeMethod(
            &Renderer->FReceiver, [Renderer] { Renderer->Render(); }, Qt::QueuedConnection);
}

void TMpvRenderer::Forget() {
    FHasFrame = false;
    FFrameSeen = false;
}

void TMpvRenderer::Render(bool Redraw) {
    FRenderQueued = false;
    if (!FRender)
        return;
    const uint64_t Flags = mpv_render_context_update(FRender);
    // mpv's call always has a picture for us, even without a new frame: one
    // that waited longer than mpv's 200 ms for us (a busy GUI thread) has
    // become its current frame, and only that is drawn now. A paused pane
    // would show its old picture for good if it were skipped.
    if (!FBuffer || (Redraw && !FFrameSeen && !(Flags & MPV_RENDER_UPDATE_FRAME)))
        return;
    FFrameSeen = true;
    int Size[2] = {FViewSize.width(), FViewSize.height()};
    char Format[] = "bgr0";
    size_t Stride = FStride;
    mpv_render_param Params[] = {{MPV_RENDER_PARAM_SW_SIZE, Size},
                                 {MPV_RENDER_PARAM_SW_FORMAT, Format},
                                 {MPV_RENDER_PARAM_SW_STRIDE, &Stride},
                                 {MPV_RENDER_PARAM_SW_POINTER, FBuffer},
                                 {MPV_RENDER_PARAM_INVALID, nullptr}};
    if (mpv_render_context_render(FRender, Params) < 0)
        return;
    FHasFrame = true;
    if (FOnFrame)
        FOnFrame();
}

void TMpvRenderer::SetViewSize(QSize Size) {
    if (Size == FViewSize)
        return;
    FViewSize = Size;
    std::free(FBuffer);
    FBuffer = nullptr;
    FImage = QImage();
    if (Size.isEmpty())
        return;
    FStride = (static_cast<size_t>(Size.width()) * 4 + 63) / 64 * 64;
    FBuffer = static_cast<unsigned char*>(std::aligned_alloc(64, FStride * Size.height()));
    if (!FBuffer)
        return;
    std::memset(FBuffer, 0, FStride * Size.height());
    // bgr0 in memory is Qt's RGB32 on a little-endian machine.
    FImage =
        QImage(FBuffer, Size.width(), Size.height(), static_cast<qsizetype>(FStride), QImage::Format_RGB32);
    FHasFrame = false;
    // Draw the current picture again at the new size.
    if (FRender && !FRenderQueued.exchange(true))
        QMetaObject::invokeMethod(
            &FReceiver, [this] { Render(true); }, Qt::QueuedConnection);
}

const QImage& TMpvRenderer::Frame() const {
    static const QImage kNone;
    return FHasFrame ? FImage : kNone;
}
