// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "MediaEngine.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The engine that really plays: one libmpv core per pane, drawn by mpv's
// software renderer into an image on a thread of the pane's own, so that it
// works on every Qt platform, offscreen included. Create, use and destroy it
// on the GUI thread only.
//
// Seeks are exact. Engines sought within one turn of the event loop form a
// sync group: each holds playback until all of them have restarted at their
// targets, and then they resume together, so linked panes show the same frame.
struct TMpvEngineOptions {
    // mpv options set before the core starts, after the defaults, so they win
    // (for example {"ao", "pcm"}, {"ao-pcm-file", "/tmp/out.wav"}). The audio
    // output can also be chosen with the environment variable QUADV_MPV_AO.
    std::vector<std::pair<std::string, std::string>> Extra;
};

class TMpvEngine : public TMediaEngine {
public:
    explicit TMpvEngine(const TMpvEngineOptions& Options = {});
    ~TMpvEngine() override; // frees the render context, then the core

    // mpv's estimate of the frame shown, -1 when unknown.
    int64_t FrameNumber() const;
    // The frames mpv's video output dropped for coming late, as mpv counts them; 0 until it tells.
    int64_t DroppedFrames() const;
    // The frame the last seek restarted at (before a sync group resumed), -1 until known.
    int64_t RestartFrame() const;
    // True once the file is open, its first frames decoded, and no seek or
    // frame step is under way.
    bool Settled() const;

    void SetObserver(TMediaEngineObserver* Observer) override;
    void Load(const QString& Path) override;
    void Unload() override;
    QString Url() const override;
    TEngineStatus Status() const override;
    QString FailureReason() const override;
    void Play() override;
    void Pause() override;
    void Stop() override;
    void Seek(double Seconds) override;
    double Position() const override;
    double PositionTime() const override;
    void RefreshClock() override;
    TPlaybackClock Clock() const override;
    double Duration() const override;
    bool Mute() const override;
    void SetMute(bool Muted) override;
    void SetVolume(int Volume) override;
    void SetBalance(int Balance) override;
    void SetRate(double Rate) override;
    void SetPlayCount(int Count) override;
    void SetLoopHold(bool Hold) override;
    QSize VideoSize() const override;
    void SetViewSize(QSize Size) override;
    const QImage& Frame() const override;
    void StepFrame(TFrameStep Direction) override;
    void Snapshot(const QString& File, TSnapshotDone Done) override;

    class TImpl;

private:
    std::unique_ptr<TImpl> FImpl;
};
