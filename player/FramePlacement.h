// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <optional>

// Brings a top-level window's outer frame to a chosen corner. Window
// managers answer a position request in different ways: some put the client
// area there, some the frame, and all of them only once they have framed the
// window, which happens after the program asked. So the placement is
// measured and corrected: the caller looks at the frame at a steady pace
// and does what each look answers. Pure logic; any thread, one at a time.
class TFramePlacement {
public:
    struct TPoint {
        int X;
        int Y;
        bool operator==(const TPoint&) const = default;
    };
    enum TAction {
        paWait, // look again later
        paMove, // shift the window by (Dx, Dy) from where it is, then look again
        paDone, // the frame is where it was wanted, or the manager will not put it there
    };
    struct TStep {
        TAction Action;
        int Dx = 0;
        int Dy = 0;
    };

    explicit TFramePlacement(TPoint Target) : FTarget(Target) {}

    // One look. Frame is the frame's outer top-left corner as the window
    // system reports it now; nullopt while the manager has not framed (shown)
    // the window yet.
    TStep Look(std::optional<TPoint> Frame);

    TPoint Target() const { return FTarget; }
    bool Done() const { return FDone; }

    // Shifts asked for before the manager's answer is taken as final.
    static constexpr int kMaxMoves = 3;
    // Looks to wait for the manager to frame the window.
    static constexpr int kFramingLooks = 150;
    // Looks to wait for a shift to show; a frame that has not moved by then
    // was refused.
    static constexpr int kAnswerLooks = 25;
    // Looks in all, so that a frame that never comes to rest ends the placement.
    static constexpr int kMaxLooks = 300;

private:
    TStep Finish();

    TPoint FTarget;
    std::optional<TPoint> FPrevious; // the last look's frame; two equal looks in a row mean it is at rest
    std::optional<TPoint>
        FBeforeMove; // where the frame was when the last shift was asked for, until it moves
    int FLooks = 0;
    int FUnframedLooks = 0;
    int FAnswerLooks = 0;
    int FMoves = 0;
    bool FDone = false;
};
