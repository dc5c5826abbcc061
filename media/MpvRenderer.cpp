// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "MpvRenderer.h"

#include "RenderLoop.h"

#include <mpv/client.h>
#include <mpv/render.h>

TMpvRenderer::TMpvRenderer(mpv_handle* Mpv) {
    char ApiType[] = MPV_RENDER_API_TYPE_SW;
    mpv_render_param Params[] = {{MPV_RENDER_PARAM_API_TYPE, ApiType}, {MPV_RENDER_PARAM_INVALID, nullptr}};
    if (int Error = mpv_render_context_create(&FRender, Mpv, Params); Error < 0) {
        FRender = nullptr;
        FError = std::string("the video renderer could not start: ") + mpv_error_string(Error);
        return;
    }
    FLoop = std::make_unique<TRenderLoop>(
        [this](TFrameBuffer& Target, bool Redraw) { return Draw(Target, Redraw); },
        [this] {
            QMetaObject::invokeMethod(
                &FReceiver, [this] { Deliver(); }, Qt::QueuedConnection);
        });
    // The thread draws nothing before a size is set, so this call, one of
    // the render API's, never runs beside one of its own.
    mpv_render_context_set_update_callback(FRender, &TMpvRenderer::OnUpdate, this);
}

TMpvRenderer::~TMpvRenderer() {
    if (!FRender)
        return;
    // The render API's calls must not overlap: the thread ends first. mpv's
    // callback may still ask it to draw meanwhile, which it ignores.
    FLoop->Stop();
    mpv_render_context_set_update_callback(FRender, nullptr, nullptr);
    mpv_render_context_free(FRender);
}

void TMpvRenderer::OnUpdate(void* Self) {
    static_cast<TMpvRenderer*>(Self)->FLoop->RequestDraw();
}

bool TMpvRenderer::Draw(TFrameBuffer& Target, bool Redraw) {
    const uint64_t Flags = mpv_render_context_update(FRender);
    // mpv's call always has a picture for us, even without a new frame: one
    // that waited longer than mpv's 200 ms for us has become its current
    // frame, and only that is drawn now. A paused pane would show its old
    // picture for good if it were skipped. A redraw before the file's first
    // picture would only draw black.
    if (Redraw && !FFrameSeen && !(Flags & MPV_RENDER_UPDATE_FRAME))
        return false;
    FFrameSeen = true;
    int Size[2] = {Target.Width(), Target.Height()};
    // bgr0 is Qt's RGB32 on a little-endian machine: the pane paints it as
    // it is, and mpv's converters write it straight from the decoder's YUV.
    char Format[] = "bgr0";
    size_t Stride = Target.Stride();
    mpv_render_param Params[] = {{MPV_RENDER_PARAM_SW_SIZE, Size},
                                 {MPV_RENDER_PARAM_SW_FORMAT, Format},
                                 {MPV_RENDER_PARAM_SW_STRIDE, &Stride},
                                 {MPV_RENDER_PARAM_SW_POINTER, Target.Pixels()},
                                 {MPV_RENDER_PARAM_INVALID, nullptr}};
    return mpv_render_context_render(FRender, Params) >= 0;
}

void TMpvRenderer::Deliver() {
    const TFrameBuffer* Picture = FLoop->Take();
    if (!Picture || FViewSize.isEmpty())
        return;
    FImage = QImage(Picture->Pixels(), Picture->Width(), Picture->Height(),
                    static_cast<qsizetype>(Picture->Stride()), QImage::Format_RGB32);
    if (FOnFrame)
        FOnFrame();
}

void TMpvRenderer::SetViewSize(QSize Size) {
    if (Size == FViewSize)
        return;
    FViewSize = Size;
    if (Size.isEmpty())
        FImage = QImage();
    if (FLoop)
        FLoop->SetSize(Size.width(), Size.height());
}

void TMpvRenderer::Forget() {
    FImage = QImage();
    FFrameSeen = false;
    if (FLoop)
        FLoop->NewGeneration();
}

const QImage& TMpvRenderer::Frame() const {
    return FImage;
}
