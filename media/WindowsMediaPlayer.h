// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

// One movie pane: a video area and its own transport bar over a media engine.
// It offers the values and events of the platform's media player control that
// the quad player window uses, with that control's initial state.
//
// PositionChange is raised synchronously inside SetCurrentPosition, before it
// returns, and for the user's seeks on the pane's own bar. It is never raised
// for the engine's own restarts (a loop, a load, the end of a play-through)
// nor for the bar following playback. A window that clears a pane's handler
// around its own position write is therefore safe from echoes.
//
// All members are for the GUI thread only.

enum TWmpPlayState {
    wmppsUndefined = 0,
    wmppsStopped = 1,
    wmppsPaused = 2,
    wmppsPlaying = 3,
    wmppsBuffering = 6,
    wmppsMediaEnded = 8,
    wmppsTransitioning = 9,
    wmppsReady = 10
};

class TWindowsMediaPlayer;
using TPositionChangeEvent =
    std::function<void(TWindowsMediaPlayer* Sender, double oldPosition, double newPosition)>;
// nButton: 1 left, 2 right, 4 middle. nShiftState: 1 Shift, 2 Ctrl, 4 Alt.
// fX, fY: the point in the video area.
using TMediaClickEvent =
    std::function<void(TWindowsMediaPlayer* Sender, short nButton, short nShiftState, int fX, int fY)>;
// Every move of the position, as it happens: Playback true when playback
// moved it on, false for any other move and for a change of the play state.
using TPositionReportEvent = std::function<void(TWindowsMediaPlayer* Sender, double Position, bool Playback)>;

class TMediaEngine;
class TMediaEngineObserver;
class TMediaVideoArea;
class TMediaSeekBar;
class QLabel;
class QToolButton;

class TWindowsMediaPlayer : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFrameWidth = 4;
    static constexpr int kBarHeight = 56; // the height under the video area less the bottom frame

    explicit TWindowsMediaPlayer(QWidget* Parent = nullptr); // the libmpv engine
    explicit TWindowsMediaPlayer(std::unique_ptr<TMediaEngine> Engine, QWidget* Parent = nullptr);
    ~TWindowsMediaPlayer() override;

    // A full path loads it without starting; "" unloads. Throws EQuadvError
    // naming the file and the reason when it cannot be loaded.
    void SetURL(const QString& Url);
    QString GetURL() const;   // throws EQuadvError on failure
    int GetPlayState() const; // a TWmpPlayState; throws EQuadvError on failure

    void Play();
    void Pause(); // keeps the position
    void Stop();  // back to the start, play state stopped

    // Pause (a playing pane first) on the next or the previous decoded frame.
    // The bar follows; PositionChange is not raised.
    void FrameStep();
    void FrameBackStep();
    // Saves the frame shown, at the video's own size, to File (a PNG when
    // its name ends in .png). Done runs later with "" or the reason it failed.
    void SaveSnapshot(const QString& File, std::function<void(const QString& Error)> Done);

    void SetCurrentPosition(double Seconds); // raises PositionChange before it returns
    double GetCurrentPosition() const;
    // The same exact seek without PositionChange: for a window that moves
    // panes to keep them together, not for the user's seeks.
    void AlignPosition(double Seconds);
    double GetDuration() const { return FDuration; } // 0 while unknown
    // When playback last moved the position, in seconds of the steady clock; -1 when unknown.
    double GetPositionTime() const;
    // The engine's playback clock, finer than the position (see TMediaEngine::Clock).
    void RefreshClock();
    double GetClockTime() const;     // -1 while there is no reading
    double GetClockPosition() const; // the position at GetClockTime()

    bool GetMute() const; // throws EQuadvError on failure
    void SetMute(bool Muted);
    void SetVolume(int Volume); // 0..100, other values ignored
    int GetVolume() const { return FVolume; }
    void SetBalance(int Balance); // -100..100, other values ignored
    int GetBalance() const { return FBalance; }
    void SetRate(double Rate); // 0..100, 1.0 normal; 0 holds the picture
    double GetRate() const { return FRate; }
    // The pane plays at its rate times Trim (near 1), so that it can catch
    // up with others, or holds its picture while it plays at 0; GetRate is
    // unchanged.
    void SetSpeedTrim(double Trim);
    double GetSpeedTrim() const { return FSpeedTrim; }
    void SetPlayCount(int Count); // at least 1
    // While set, a play-through with more to come waits on its last frame
    // (at most 1.5 s) for a seek to start the next one, so that a window can
    // restart several panes' loops together.
    void SetLoopHold(bool Hold);
    int GetPlayCount() const { return FPlayCount; }

    void SetOnPositionChange(TPositionChangeEvent Handler) { FOnPositionChange = std::move(Handler); }
    const TPositionChangeEvent& GetOnPositionChange() const { return FOnPositionChange; }
    void SetOnClick(TMediaClickEvent Handler) { FOnClick = std::move(Handler); }
    const TMediaClickEvent& GetOnClick() const { return FOnClick; }
    void SetOnPositionReport(TPositionReportEvent Handler) { FOnPositionReport = std::move(Handler); }
    const TPositionReportEvent& GetOnPositionReport() const { return FOnPositionReport; }

    // An offset of the pane's file against others', shown beside its time
    // ("+3.217"); none by default.
    void SetShownOffset(std::optional<double> Seconds);
    std::optional<double> GetShownOffset() const { return FShownOffset; }

    int GetTag() const { return FTag; }
    void SetTag(int Tag) { FTag = Tag; }

    // The video area's rectangle inside the pane.
    // Whether a picture smaller than the video area is enlarged to fill it,
    // its aspect kept; a larger one is always made smaller. Off by default.
    void SetStretchToFit(bool Stretch);
    bool GetStretchToFit() const { return FStretchToFit; }

    QRect VideoRect() const;
    // Where the picture is drawn inside the video area. The control does not
    // stretch to fit: a video smaller than the area is shown at its own
    // size, centred; a larger one is shrunk to fit, keeping its aspect.
    QRect PictureRect() const;

protected:
    void resizeEvent(QResizeEvent* Event) override;
    void paintEvent(QPaintEvent* Event) override;

private:
    class TObserver;
    friend class TMediaVideoArea;
    friend class TMediaSeekBar;

    void BuildControls();
    void LayoutControls();
    void UpdateControls();
    void UpdateTime();
    void UserSeek(double Seconds);
    void PlayPauseClicked();
    void VideoClicked(short Button, short ShiftState, int X, int Y);

    std::unique_ptr<TMediaEngine> FEngine;
    std::unique_ptr<TObserver> FObserver;
    TMediaVideoArea* FVideo = nullptr;
    QToolButton* FPlayButton = nullptr;
    QToolButton* FStopButton = nullptr;
    TMediaSeekBar* FSeekBar = nullptr;
    QLabel* FTime = nullptr;

    int FVolume = 100;
    int FBalance = 0;
    double FRate = 1.0;
    double FSpeedTrim = 1.0;
    int FPlayCount = 1;
    int FTag = 0;
    double FDuration = 0.0;
    std::optional<double> FShownOffset;
    bool FStretchToFit = false;
    TPositionChangeEvent FOnPositionChange;
    TMediaClickEvent FOnClick;
    TPositionReportEvent FOnPositionReport;
    bool FAligning = false; // inside AlignPosition: the seek raises no PositionChange
};
