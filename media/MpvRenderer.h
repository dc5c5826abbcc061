// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QImage>
#include <QObject>
#include <QSize>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

struct mpv_handle;
struct mpv_render_context;
class TFrameBuffer;
class TRenderLoop;

// Draws one core's video with mpv's software renderer into pictures of the
// size the pane shows them at, so that it works on every Qt platform,
// offscreen included. The drawing runs on a thread of the renderer's own,
// which mpv's render API allows, so that the GUI thread only shows finished
// pictures and four panes convert and scale at once. Create, use and destroy
// the renderer on the GUI thread.
class TMpvRenderer {
public:
    // Creates the render context of Mpv, an initialised core; Error() says
    // why when it could not.
    explicit TMpvRenderer(mpv_handle* Mpv);
    // Stops the drawing thread, then frees the render context; the core must
    // still exist. No picture is announced afterwards.
    ~TMpvRenderer();
    TMpvRenderer(const TMpvRenderer&) = delete;
    TMpvRenderer& operator=(const TMpvRenderer&) = delete;

    // "" when the renderer runs, else why it does not.
    const std::string& Error() const { return FError; }
    // Runs on the GUI thread each time Frame() holds a new picture.
    void SetOnFrame(std::function<void()> OnFrame) { FOnFrame = std::move(OnFrame); }
    // The size pictures are drawn at; the current one is drawn again. The
    // picture shown keeps its size until the new one comes.
    void SetViewSize(QSize Size);
    // A new file is loading: no picture until it gives one, and none drawn
    // from the file before is shown.
    void Forget();
    // The latest picture; null when there is none. It stays as it is until
    // the GUI thread returns to its event loop.
    const QImage& Frame() const;

private:
    static void OnUpdate(void* Self);             // from an mpv thread
    bool Draw(TFrameBuffer& Target, bool Redraw); // on the drawing thread
    void Deliver();                               // on the GUI thread

    mpv_render_context* FRender = nullptr;
    std::string FError;
    QObject FReceiver; // queued calls land here, on the GUI thread
    std::function<void()> FOnFrame;
    QSize FViewSize;
    QImage FImage;                       // the drawing thread's last picture handed over, not a copy
    std::atomic<bool> FFrameSeen{false}; // mpv has given a picture since the load
    std::unique_ptr<TRenderLoop> FLoop;  // after the render context exists, before it is freed
};
