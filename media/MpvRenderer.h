// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QImage>
#include <QObject>
#include <QSize>

#include <atomic>
#include <functional>
#include <string>

struct mpv_handle;
struct mpv_render_context;

// Draws one core's video with mpv's software renderer into an image of the
// size the pane shows it at, so that it works on every Qt platform,
// offscreen included. Create, use and destroy it on the GUI thread.
class TMpvRenderer {
public:
    // Creates the render context of Mpv, an initialised core; Error() says
    // why when it could not.
    explicit TMpvRenderer(mpv_handle* Mpv);
    // Frees the render context; the core must still exist.
    ~TMpvRenderer();
    TMpvRenderer(const TMpvRenderer&) = delete;
    TMpvRenderer& operator=(const TMpvRenderer&) = delete;

    // "" when the renderer runs, else why it does not.
    const std::string& Error() const { return FError; }
    // Runs on the GUI thread each time Frame() holds a new picture.
    void SetOnFrame(std::function<void()> OnFrame) { FOnFrame = std::move(OnFrame); }
    // The size pictures are drawn at; the current one is drawn again.
    void SetViewSize(QSize Size);
    // A new file is loading: no picture until it gives one.
    void Forget();
    // The latest picture; null when there is none.
    const QImage& Frame() const;

private:
    static void OnUpdate(void* Self); // from an mpv thread
    // Redraw: asked by us, not by mpv, to draw the last picture again, e.g. after a resize.
    void Render(bool Redraw = false);

    mpv_render_context* FRender = nullptr;
    std::string FError;
    QObject FReceiver;                      // queued calls land here, on the GUI thread
    std::atomic<bool> FRenderQueued{false}; // one queued render at a time
    std::function<void()> FOnFrame;
    QSize FViewSize;
    unsigned char* FBuffer = nullptr; // 64-byte aligned bgr0 pixels of FImage
    size_t FStride = 0;
    QImage FImage;
    bool FHasFrame = false;  // FImage holds a picture at the current size
    bool FFrameSeen = false; // mpv has given a picture since the load
};
