// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "InStepLink.h"

#include "QuadvError.h"
#include "WindowsMediaPlayer.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <cmath>

TInStepLink::TInStepLink(std::array<TWindowsMediaPlayer*, kInStepPanes> Panes, QObject* Parent, TClock Clock)
    : QObject(Parent), FClock(std::move(Clock)) {
    for (int I = 0; I < kInStepPanes; ++I)
        FPanes[I] = Panes[I];
    FTimedByEngine = !FClock; // the engines' times are on the steady clock
    if (!FClock)
        FClock = [] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
        };
    FWake.setSingleShot(true);
    FWake.setTimerType(Qt::PreciseTimer);
    connect(&FWake, &QTimer::timeout, this, [this] { RunControl(); });
    for (int I = 0; I < kInStepPanes; ++I)
        FPanes[I]->SetOnPositionReport(
            [this, I](TWindowsMediaPlayer*, double Position, bool Playback) { PaneReported(I, Position, Playback); });
}

TInStepLink::~TInStepLink() {
    for (TWindowsMediaPlayer* Pane : FPanes)
        if (Pane)
            Pane->SetOnPositionReport(nullptr);
}

void TInStepLink::SetLinked(bool Linked) {
    if (Linked == FControl.Linked())
        return;
    FControl.SetLinked(Linked);
    if (!Linked)
        RunControl();
}

void TInStepLink::Arm() {
    FControl.Arm();
}

void TInStepLink::SetSought(int Pane) {
    FControl.SetSought(Pane);
}

void TInStepLink::LandPaused() {
    Carry(FControl.LandPaused(ReadPanes()));
}

void TInStepLink::PaneReported(int Pane, double Position, bool Playback) {
    // The engine's own time of the report is earlier and steadier than ours.
    const double Told = Playback ? FPanes[Pane]->GetPositionTime() : -1.0;
    FReported[Pane] = FReported[Pane] || Playback;
    FControl.Report(Pane, Told >= 0.0 && FTimedByEngine ? Told : FClock(), Position, Playback);
    if (!FControl.Armed() || FQueued)
        return;
    // After the engines' event handling, not inside it; the reports of one
    // turn are answered once.
    FQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            FQueued = false;
            RunControl();
        },
        Qt::QueuedConnection);
}

void TInStepLink::RunControl() {
    for (int I = 0; I < kInStepPanes; ++I)
        if (const double Time = FPanes[I] ? FPanes[I]->GetClockTime() : -1.0;
            FTimedByEngine && Time > FClockSeen[I]) {
            FClockSeen[I] = Time;
            FControl.ClockRead(I, Time, FPanes[I]->GetClockPosition());
        }
    const double Now = FClock();
    Carry(FControl.Update(Now, ReadPanes()));
    // A fresh reading for the next run, from each pane that showed a new
    // frame: no more often than the panes report.
    for (int I = 0; I < kInStepPanes; ++I)
        if (FReported[I] && FPanes[I]) {
            FReported[I] = false;
            FPanes[I]->RefreshClock();
        }
    if (const std::optional<double> Next = FControl.NextRun())
        FWake.start(std::max(0, static_cast<int>(std::ceil((*Next - Now) * 1000.0))));
    else
        FWake.stop();
}

TInStepPanes TInStepLink::ReadPanes() const {
    TInStepPanes Panes;
    for (int I = 0; I < kInStepPanes; ++I) {
        const TWindowsMediaPlayer* Pane = FPanes[I];
        if (!Pane)
            continue;
        int State = wmppsUndefined;
        try {
            State = Pane->GetPlayState();
        } catch (const EQuadvError&) {
            // A pane whose state cannot be read is left alone.
        }
        Panes[I].Loaded = State != wmppsUndefined;
        Panes[I].Playing = State == wmppsPlaying;
        Panes[I].Duration = Pane->GetDuration();
        Panes[I].Rate = Pane->GetRate();
        Panes[I].Repeats = Pane->GetPlayCount() > 1;
    }
    return Panes;
}

void TInStepLink::Carry(const TInStepCommands& Commands) {
    for (int I = 0; I < kInStepPanes; ++I) {
        if (!FPanes[I])
            continue;
        if (Commands[I].Trim)
            FPanes[I]->SetSpeedTrim(*Commands[I].Trim);
        if (Commands[I].HoldLoops)
            FPanes[I]->SetLoopHold(*Commands[I].HoldLoops);
        if (Commands[I].SeekTo)
            FPanes[I]->AlignPosition(*Commands[I].SeekTo);
    }
}
