// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "MediaEngine.h"

#include <QObject>

#include <optional>
#include <string>
#include <vector>

// A scripted engine for widget tests. It records every call as text
// ("Load /a.mp4", "Seek 5.2", "SetVolume 40"), moves through the states a real
// engine would (Load gives Ready, Play Playing, Pause Paused, Stop Stopped at
// 0), reports a Seek synchronously like the real one, and lets a test set the
// status, position and duration, raise the engine's own restarts and make the
// checked reads and the load fail.
class TFakeMediaEngine : public TMediaEngine {
public:
    // Recorded calls, oldest first; the reads are not recorded.
    const std::vector<std::string>& Calls() const { return FCalls; }
    void ClearCalls() { FCalls.clear(); }

    // Scripting; each notifies the observer as the real engine would.
    void SetStatus(TEngineStatus Status);
    void SetPlaybackPosition(double Seconds); // playback moving on: cause Playback
    void RaiseRestart(double Seconds);        // a loop or other jump of the engine's own: cause Restart
    void SetDuration(double Seconds);
    void FailPlayback(const QString& Reason); // status Failed with Reason
    void SetFrame(const QImage& Frame);
    void SetVideoSize(QSize Size);

    // Failures: while set, the call throws EQuadvError with this message.
    std::optional<std::string> FFailLoad;
    std::optional<std::string> FFailUrlRead;
    std::optional<std::string> FFailStatusRead;
    std::optional<std::string> FFailMuteRead;
    // While set, a snapshot ends with this error instead of writing its file.
    std::optional<QString> FFailSnapshot;

    // The latest values written.
    bool FMute = false;
    int FVolume = 100;
    int FBalance = 0;
    double FRate = 1.0;
    int FPlayCount = 1;
    bool FLoopHold = false;
    QSize FViewSize;

    // TMediaEngine
    void SetObserver(TMediaEngineObserver* Observer) override { FObserver = Observer; }
    void Load(const QString& Path) override;
    void Unload() override;
    QString Url() const override;
    TEngineStatus Status() const override;
    QString FailureReason() const override { return FFailureReason; }
    void Play() override;
    void Pause() override;
    void Stop() override;
    void Seek(double Seconds) override;
    double Position() const override { return FPosition; }
    double PositionTime() const override { return -1.0; }
    void RefreshClock() override {}
    TPlaybackClock Clock() const override { return {}; }
    double Duration() const override { return FDuration; }
    bool Mute() const override;
    void SetMute(bool Muted) override;
    void SetVolume(int Volume) override;
    void SetBalance(int Balance) override;
    void SetRate(double Rate) override;
    void SetPlayCount(int Count) override;
    void SetLoopHold(bool Hold) override;
    QSize VideoSize() const override { return FVideoSize; }
    void SetViewSize(QSize Size) override;
    const QImage& Frame() const override { return FFrame; }
    void StepFrame(TFrameStep Direction) override;
    // Writes Frame() (a black 16 x 16 picture when there is none) unless FFailSnapshot is set.
    void Snapshot(const QString& File, TSnapshotDone Done) override;

private:
    void Record(std::string Call) { FCalls.push_back(std::move(Call)); }
    void MoveTo(double Seconds, TPositionCause Cause);

    TMediaEngineObserver* FObserver = nullptr;
    std::vector<std::string> FCalls;
    QString FUrl;
    TEngineStatus FStatus = TEngineStatus::NoMedia;
    QString FFailureReason;
    double FPosition = 0.0;
    double FDuration = 0.0;
    QImage FFrame;
    QSize FVideoSize;
    QObject FReceiver; // the snapshots' reports go out through it, and die with the engine
};
