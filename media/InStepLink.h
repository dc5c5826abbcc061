// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "InStep.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <array>
#include <functional>

class TWindowsMediaPlayer;

// Keeps four panes in step while Link is on (see TInStepControl): it takes
// their position reports, runs the control once per turn of the event loop
// after them, and carries out its trims and seeks. Its seeks raise no
// PositionChange, and the seeks of one turn form one sync group, so that the
// panes they move restart on one frame. For the GUI thread only.
class TInStepLink : public QObject {
public:
    // The clock the reports are timed by, in seconds; by default a steady one.
    using TClock = std::function<double()>;

    // Takes over the panes' position reports until it is destroyed.
    explicit TInStepLink(std::array<TWindowsMediaPlayer*, kInStepPanes> Panes, QObject* Parent = nullptr,
                         TClock Clock = {});
    ~TInStepLink() override;

    // Off: every pane plays at the user's rate again, at once.
    void SetLinked(bool Linked);
    bool Linked() const { return FControl.Linked(); }
    // The linked panes were just brought together (a linked seek, a start).
    void Arm();
    // The user sought Pane while Link was on.
    void SetSought(int Pane);
    // Where Pane's file stands against the others' (see TInStepMap).
    void SetMap(int Pane, const TInStepMap& Map) { FControl.SetMap(Pane, Map); }
    const TInStepMap& Map(int Pane) const { return FControl.Map(Pane); }
    // Call right after pausing linked panes: those that played in step land
    // on the frame the reference showed.
    void LandPaused();
    // The pane the others follow, -1 when none.
    int Reference() const { return FControl.Reference(); }

private:
    void PaneReported(int Pane, double Position, bool Playback);
    void RunControl();
    TInStepPanes ReadPanes() const;
    void Carry(const TInStepCommands& Commands);

    // The panes may go first: a window deletes them before the link.
    std::array<QPointer<TWindowsMediaPlayer>, kInStepPanes> FPanes;
    TClock FClock;
    TInStepControl FControl;
    bool FTimedByEngine = false;                // reports are timed by the engines, on the clock FClock reads
    bool FQueued = false;                       // a run of the control is queued for this turn
    std::array<bool, kInStepPanes> FReported{}; // reported a new frame since its clock was last asked
    std::array<double, kInStepPanes> FClockSeen{-1.0, -1.0, -1.0,
                                                -1.0}; // the latest reading given to the control
    QTimer FWake;                                      // runs the control when it asked for it
};
