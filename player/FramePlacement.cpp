// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "FramePlacement.h"

#include <utility>

TFramePlacement::TStep TFramePlacement::Look(std::optional<TPoint> Frame) {
    if (FDone)
        return {paDone};
    if (++FLooks > kMaxLooks)
        return Finish();
    if (!Frame) {
        FPrevious.reset();
        return ++FUnframedLooks > kFramingLooks ? Finish() : TStep{paWait};
    }
    const std::optional<TPoint> previous = std::exchange(FPrevious, Frame);
    if (FBeforeMove) {
        // Until the frame leaves the place it had when the shift was asked
        // for, the manager has not answered; measuring now and shifting again
        // would overshoot.
        if (*Frame == *FBeforeMove)
            return ++FAnswerLooks > kAnswerLooks ? Finish() : TStep{paWait};
        FBeforeMove.reset();
    }
    // A manager may place the frame in more than one step; act on rest only.
    if (!previous || *previous != *Frame)
        return {paWait};
    if (*Frame == FTarget || FMoves == kMaxMoves)
        return Finish();
    ++FMoves;
    FBeforeMove = *Frame;
    FAnswerLooks = 0;
    return {paMove, FTarget.X - Frame->X, FTarget.Y - Frame->Y};
}

TFramePlacement::TStep TFramePlacement::Finish() {
    FDone = true;
    return {paDone};
}
