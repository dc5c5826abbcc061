// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "FramePlacement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <ostream>
#include <string>

namespace {

using TPoint = TFramePlacement::TPoint;

// A window manager as the placement sees it: how long it takes to frame the
// window, where the frame first lands, and how it answers a shift.
struct TManager {
    const char* Name;
    TPoint FirstFrame;                           // where the frame appears once framed
    int FramingLooks = 0;                        // looks before the window is framed
    int AnswerDelay = 0;                         // looks before a shift shows
    bool Refuses = false;                        // never moves the frame once placed
    int MinX = -100000;                          // keeps the frame's left edge at or right of this
    bool Restless = false;                       // the frame never stays put
    std::optional<TPoint> Detour = std::nullopt; // the frame passes here before it lands on FirstFrame
};

struct TRun {
    TPoint Frame;
    int Moves = 0;
    int Looks = 0;
    bool Done = false;
    bool ShiftedBeforeAnswer = false; // asked again while an earlier shift had not shown
};

// Plays the placement against the manager until it is done or a bound is hit.
TRun Play(const TManager& M, TPoint Target) {
    TFramePlacement placement(Target);
    TRun run{M.Detour ? *M.Detour : M.FirstFrame};
    std::deque<std::pair<int, TPoint>>
        pending; // shifts still on their way: look at which they show, where to
    for (int look = 0; look < 2000 && !run.Done; ++look) {
        while (!pending.empty() && pending.front().first <= look) {
            run.Frame = pending.front().second;
            pending.pop_front();
        }
        if (M.Detour && look == M.FramingLooks + 1)
            run.Frame = M.FirstFrame;
        if (M.Restless)
            run.Frame.X += look % 2 ? 1 : -1;
        const bool framed = look >= M.FramingLooks;
        const TFramePlacement::TStep step = placement.Look(framed ? std::optional(run.Frame) : std::nullopt);
        ++run.Looks;
        if (step.Action == TFramePlacement::paDone) {
            run.Done = true;
        } else if (step.Action == TFramePlacement::paMove) {
            ++run.Moves;
            if (!pending.empty())
                run.ShiftedBeforeAnswer = true;
            if (!M.Refuses) {
                const TPoint from = pending.empty() ? run.Frame : pending.back().second;
                const TPoint to{std::max(M.MinX, from.X + step.Dx), from.Y + step.Dy};
                pending.emplace_back(look + 1 + M.AnswerDelay, to);
            }
        }
    }
    return run;
}

constexpr TPoint kTarget{100, 100};

struct TRow {
    TManager Manager;
    TPoint Final;
    int Moves;
};

void PrintTo(const TRow& Row, std::ostream* Out) {
    *Out << Row.Manager.Name;
}

class FramePlacementTest : public ::testing::TestWithParam<TRow> {};

TEST_P(FramePlacementTest, EndsWhereTheManagerLetsItWithoutPilingUpShifts) {
    const TRow& row = GetParam();
    const TRun run = Play(row.Manager, kTarget);
    ASSERT_TRUE(run.Done);
    EXPECT_EQ(run.Frame, row.Final);
    EXPECT_EQ(run.Moves, row.Moves);
    EXPECT_FALSE(run.ShiftedBeforeAnswer);
    EXPECT_LE(run.Looks, TFramePlacement::kMaxLooks + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Managers, FramePlacementTest,
    ::testing::Values(
        // The request taken as the client area's corner: the frame lands up
        // and left by the border and the title bar.
        TRow{{.Name = "ClientAtRequest", .FirstFrame = {99, 80}}, kTarget, 1},
        TRow{{.Name = "FrameAtRequest", .FirstFrame = kTarget}, kTarget, 0},
        TRow{{.Name = "SlowToFrameAndToAnswer", .FirstFrame = {95, 76}, .FramingLooks = 40, .AnswerDelay = 6},
             kTarget,
             1},
        TRow{{.Name = "PlacesInTwoSteps", .FirstFrame = {95, 76}, .FramingLooks = 2, .Detour = TPoint{0, 0}},
             kTarget,
             1},
        // A refused shift is asked for once and the frame stays where the
        // manager keeps it.
        TRow{{.Name = "RefusesShifts", .FirstFrame = {99, 80}, .Refuses = true}, TPoint{99, 80}, 1},
        TRow{{.Name = "KeepsTheFrameRightOfAnEdge", .FirstFrame = {99, 80}, .MinX = 120},
             TPoint{120, 100},
             2}),
    [](const ::testing::TestParamInfo<TRow>& Info) { return std::string(Info.param.Manager.Name); });

TEST(FramePlacement, StopsAfterItsShiftsWhenEachLandsShort) {
    // A manager that moves the frame but never the whole way: three shifts,
    // then its answer stands.
    TFramePlacement placement(kTarget);
    TPoint frame{0, 0};
    int moves = 0;
    for (int look = 0; look < 1000 && !placement.Done(); ++look) {
        const TFramePlacement::TStep step = placement.Look(frame);
        if (step.Action == TFramePlacement::paMove) {
            ++moves;
            frame = {frame.X + step.Dx / 2, frame.Y + step.Dy / 2};
        }
    }
    EXPECT_TRUE(placement.Done());
    EXPECT_EQ(moves, TFramePlacement::kMaxMoves);
    EXPECT_EQ(frame, (TPoint{87, 87}));
}

TEST(FramePlacement, GivesUpOnAWindowThatIsNeverFramedOrNeverAtRest) {
    TFramePlacement unframed(kTarget);
    int looks = 0;
    while (!unframed.Done() && looks < 10000) {
        EXPECT_NE(unframed.Look(std::nullopt).Action, TFramePlacement::paMove);
        ++looks;
    }
    EXPECT_EQ(looks, TFramePlacement::kFramingLooks + 1);

    const TManager restless{.Name = "Restless", .FirstFrame = {50, 50}, .Restless = true};
    const TRun run = Play(restless, kTarget);
    EXPECT_TRUE(run.Done);
    EXPECT_EQ(run.Moves, 0);
    EXPECT_EQ(run.Looks, TFramePlacement::kMaxLooks + 1);
}

} // namespace
