// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>

// The seam between a media pane and whatever decodes and shows its file. The
// pane keeps the control's values and events; an engine only plays. Every
// function is called on the GUI thread, and every notification arrives there.

// What the engine is doing with its file, as far as the pane needs to know.
enum class TEngineStatus {
    NoMedia,   // nothing loaded
    Opening,   // a file was given and is being opened
    Ready,     // loaded, never started since the load
    Playing,   // playing, or meant to play (a rate of 0 holds the picture but is still playing)
    Paused,    // paused by the pane, position kept
    Stopped,   // stopped at the start, also after the last play-through
    Buffering, // waiting for data while meant to play
    Failed     // the file cannot be played; see FailureReason()
};

// Why the position moved. Only a seek asked for by the pane becomes a
// PositionChange event; the others just move the bar.
enum class TPositionCause {
    Seek,     // a Seek() call; reported synchronously inside it
    Playback, // playback moving on
    Restart   // the engine's own jump: a loop, a load, a stop
};

enum class TFrameStep { Forward, Back };

// Where the engine's playback clock stood at a moment: finer than the
// position, which moves a frame at a time. Time is in seconds of
// std::chrono's steady clock, -1 when there is no reading.
struct TPlaybackClock {
    double Time = -1.0;
    double Position = 0.0;
};

// How a snapshot ended: "" when the file was written, else why not.
using TSnapshotDone = std::function<void(const QString& Error)>;

class TMediaEngineObserver {
public:
    virtual void EngineStatusChanged() = 0;
    virtual void EnginePositionChanged(double OldPosition, double NewPosition, TPositionCause Cause) = 0;
    virtual void EngineDurationChanged(double Duration) = 0;
    virtual void EngineFrameReady() = 0;
    virtual void EngineVideoSizeChanged() = 0;

protected:
    ~TMediaEngineObserver() = default;
};

class TMediaEngine {
public:
    virtual ~TMediaEngine() = default;

    // The pane registers itself once, before any other call; nullptr detaches.
    virtual void SetObserver(TMediaEngineObserver* Observer) = 0;

    // Loads Path without starting it. Throws EQuadvError naming the file and
    // the reason when the file cannot be given to the engine (missing,
    // unreadable). A file that turns out to be unplayable is reported later
    // through status Failed.
    virtual void Load(const QString& Path) = 0;
    virtual void Unload() = 0;
    // The path last given to Load, "" after Unload. Throws EQuadvError on failure.
    virtual QString Url() const = 0;
    // Throws EQuadvError on failure.
    virtual TEngineStatus Status() const = 0;
    // Short reason for status Failed, "" otherwise.
    virtual QString FailureReason() const = 0;

    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    // An exact seek. Reports the move with cause Seek before it returns. A
    // seek before the file is open is kept and carried out once it is.
    virtual void Seek(double Seconds) = 0;
    virtual double Position() const = 0;
    // When playback last moved the position, in seconds of std::chrono's
    // steady clock, as early as the engine learned it; -1 when it cannot tell.
    virtual double PositionTime() const = 0;
    // Asks for a fresh reading of the playback clock, which Clock() gives
    // once it has come; an engine without a finer clock never has one.
    virtual void RefreshClock() = 0;
    virtual TPlaybackClock Clock() const = 0;
    virtual double Duration() const = 0;

    // Throws EQuadvError on failure.
    virtual bool Mute() const = 0;
    virtual void SetMute(bool Muted) = 0;
    virtual void SetVolume(int Volume) = 0;   // 0..100
    virtual void SetBalance(int Balance) = 0; // -100 (left only) .. 100 (right only)
    // 1.0 normal; 0.0 holds the picture. Rates within 2 % of normal shift the
    // pitch with the speed and change without a break in the sound; others
    // keep the pitch.
    virtual void SetRate(double Rate) = 0;
    virtual void SetPlayCount(int Count) = 0; // times the file plays through
    // While set, a play-through with more to come waits on its last frame
    // for a Seek, which starts the next one, instead of starting it itself,
    // so that panes can start their next play-through together. One that
    // waits too long (1.5 s) starts it itself; so does clearing it. The
    // play-throughs are counted afresh.
    virtual void SetLoopHold(bool Hold) = 0;

    // The video's own size as it is meant to be shown (its display aspect
    // applied); empty while unknown and for a file without video.
    virtual QSize VideoSize() const = 0;
    // The size the video is drawn at; the frame is rendered to fit it.
    virtual void SetViewSize(QSize Size) = 0;
    // The latest picture; null when there is none.
    virtual const QImage& Frame() const = 0;

    // Pauses (a playing file first), then shows the next or the previous
    // decoded frame, however far apart the frames are. Steps given while one
    // is under way follow in order. The move is reported with cause Playback.
    virtual void StepFrame(TFrameStep Direction) = 0;
    // Saves the frame shown, at the video's own size, to File, in the format
    // its extension names (replacing it). Done runs once, later, on the GUI
    // thread and never inside this call; not at all if the engine is
    // destroyed first.
    virtual void Snapshot(const QString& File, TSnapshotDone Done) = 0;
};
