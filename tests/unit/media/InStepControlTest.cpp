// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "InStep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kFrame = 0.04; // 25 fps

TInStepPanes AllPlaying(double Duration = 10.0, bool Repeats = false) {
    TInStepPanes Panes;
    for (TInStepPane& P : Panes)
        P = {true, true, Duration, 1.0, Repeats};
    return Panes;
}

// Four panes playing 25 fps files, each at its own speed: the user's rate
// times the control's trim. Pane I lags Behind[I] seconds (a negative
// value: it is ahead); a change of Behind moves the pane at the next Play.
struct TPlayback {
    TInStepControl Control;
    TInStepPanes Panes = AllPlaying();
    std::array<double, 4> Behind{};
    double Now = 100.0;
    std::array<int, 4> Frames{};
    std::array<std::vector<double>, 4> Sought;
    std::array<std::vector<double>, 4> Trims; // as commanded
    bool ApplySeeks = false;                  // the panes go where they are sought

    TPlayback() {
        Control.SetLinked(true);
        Control.Arm();
    }
    // Plays on for Seconds, reporting every frame shown, and runs the control
    // four times a frame; returns the commands of the last run.
    TInStepCommands Play(double Seconds) {
        for (int I = 0; I < 4; ++I) {
            FMedia[I] -= Behind[I] - FApplied[I];
            FApplied[I] = Behind[I];
        }
        TInStepCommands Last;
        constexpr double kStep = kFrame / 4;
        for (const double End = Now + Seconds; Now < End; Now += kStep) {
            for (int I = 0; I < 4; ++I) {
                if (!Panes[I].Playing)
                    continue;
                FMedia[I] += kStep * Panes[I].Rate * Control.Speed(I);
                const int Frame = static_cast<int>(std::floor(FMedia[I] / kFrame));
                if (Frame > Frames[I]) {
                    Frames[I] = Frame;
                    Control.Report(I, Now, Frame * kFrame, true);
                }
            }
            Last = Control.Update(Now, Panes);
            for (int I = 0; I < 4; ++I) {
                if (Last[I].SeekTo) {
                    Sought[I].push_back(*Last[I].SeekTo);
                    if (ApplySeeks) {
                        FMedia[I] = *Last[I].SeekTo;
                        Frames[I] = static_cast<int>(std::floor(FMedia[I] / kFrame));
                        Control.Report(I, Now, Frames[I] * kFrame, false);
                    }
                }
                if (Last[I].Trim)
                    Trims[I].push_back(*Last[I].Trim);
            }
        }
        return Last;
    }

    double Position(int Pane) const { return FMedia[Pane]; }
    // Pane's map, and where it starts in its file: where the map puts it
    // when the reference is at its start.
    void Map(int Pane, TInStepMap Map) {
        Control.SetMap(Pane, Map);
        Behind[Pane] = FApplied[Pane] - Map.Offset;
    }

private:
    std::array<double, 4> FMedia{};   // where each pane is in its file
    std::array<double, 4> FApplied{}; // the lags already given to FMedia
};

TEST(InStepControl, ReferenceIsTheSoughtPaneElseTheFirstLoadedAndHandsOverToTheNextPlaying) {
    TInStepPanes Panes = AllPlaying();
    EXPECT_EQ(TInStepControl::ChooseReference(2, Panes), 2);
    EXPECT_EQ(TInStepControl::ChooseReference(std::nullopt, Panes), 0);
    Panes[0].Loaded = Panes[0].Playing = false; // an empty first pane
    EXPECT_EQ(TInStepControl::ChooseReference(std::nullopt, Panes), 1);
    Panes[2].Playing = false; // the sought pane was paused or stopped: the next playing one after it
    EXPECT_EQ(TInStepControl::ChooseReference(2, Panes), 3);
    Panes[3].Playing = false;
    EXPECT_EQ(TInStepControl::ChooseReference(2, Panes), 1); // round to the start
    Panes[1].Playing = false;
    EXPECT_EQ(TInStepControl::ChooseReference(2, Panes), -1);
}

TEST(InStepControl, DistanceAcrossALoopCountsFromTheStartOnlyForPanesThatRepeatOneLength) {
    EXPECT_NEAR(TInStepControl::Distance(5.00, 4.99, 10.0, false), 0.01, 1e-9);
    EXPECT_NEAR(TInStepControl::Distance(0.02, 9.98, 10.0, true), 0.04, 1e-9); // the reference has looped
    EXPECT_NEAR(TInStepControl::Distance(9.98, 0.02, 10.0, true), -0.04, 1e-9);
    EXPECT_NEAR(TInStepControl::Distance(0.02, 9.98, 10.0, false), -9.96, 1e-9);
}

TEST(InStepControl, TrimIsSmallCappedAndLeftAloneWithinATenthOfAFrame) {
    EXPECT_EQ(TInStepControl::TrimFor(0.003, kFrame, 1.0), 1.0);  // under 4 ms: free
    EXPECT_GT(TInStepControl::TrimFor(0.006, kFrame, 1.0), 1.0);  // behind: faster
    EXPECT_LT(TInStepControl::TrimFor(-0.006, kFrame, 1.0), 1.0); // ahead: slower
    EXPECT_DOUBLE_EQ(TInStepControl::TrimFor(0.2, kFrame, 1.0), 1.0 + TInStepControl::kMaxTrim);
    EXPECT_DOUBLE_EQ(TInStepControl::TrimFor(-0.2, kFrame, 1.0), 1.0 - TInStepControl::kMaxTrim);
    // A pane being corrected goes on until within a twentieth of a frame.
    EXPECT_GT(TInStepControl::TrimFor(0.003, kFrame, 1.001), 1.0);
    EXPECT_EQ(TInStepControl::TrimFor(0.001, kFrame, 1.001), 1.0);
}

TEST(InStepControl, AFollowerThatLagsIsSpedUpUntilItIsInStep) {
    TPlayback P;
    P.Behind[1] = 0.012; // 12 ms, under a third of a frame
    P.Play(0.5);
    EXPECT_GT(P.Control.Trim(1), 1.0);
    EXPECT_LE(P.Control.Trim(1), 1.0 + TInStepControl::kMaxTrim);
    EXPECT_EQ(P.Control.Trim(0), 1.0);
    EXPECT_EQ(P.Control.Trim(2), 1.0);
    P.Play(15.0);
    // Its lag closed to within the dead band, and nothing was sought.
    const double Lag = P.Control.Estimate(0, P.Now).value() - P.Control.Estimate(1, P.Now).value();
    EXPECT_LT(std::abs(Lag), kFrame / 8);
    EXPECT_TRUE(P.Sought[1].empty());
}

TEST(InStepControl, TheTrimComposesWithTheUsersRate) {
    TPlayback P;
    for (TInStepPane& Pane : P.Panes)
        Pane.Rate = 2.0;
    P.Play(2.0); // all in step at twice the speed: nothing to correct
    for (int I = 0; I < 4; ++I)
        EXPECT_EQ(P.Control.Trim(I), 1.0) << I;
    P.Behind[3] = 0.010;
    P.Play(1.0);
    // Sped up, within the cap, and back to the rate once in step.
    ASSERT_FALSE(P.Trims[3].empty());
    EXPECT_GT(P.Trims[3].front(), 1.0);
    EXPECT_LE(*std::max_element(P.Trims[3].begin(), P.Trims[3].end()), 1.0 + TInStepControl::kMaxTrim);
    EXPECT_EQ(P.Control.Trim(3), 1.0);
}

TEST(InStepControl, FarFollowerIsSoughtOnceAndPanesOverASecondAwayAreLeftAlone) {
    TPlayback P;
    P.Behind[1] = 0.4; // past the 250 ms of speed changes
    P.Behind[2] = 1.5; // on another part of its file
    P.Panes[3].Playing = false;
    P.Play(0.6);
    ASSERT_EQ(P.Sought[1].size(), 1u);
    // Ahead of the reference by about the time the seek takes.
    const double RefAt = P.Control.Estimate(0, P.Now).value();
    EXPECT_NEAR(P.Sought[1][0], RefAt + TInStepControl::kSeekLead, 0.1);
    EXPECT_TRUE(P.Sought[2].empty());
    EXPECT_TRUE(P.Sought[3].empty());
    EXPECT_EQ(P.Control.Trim(2), 1.0);
    EXPECT_EQ(P.Control.Trim(3), 1.0);
}

TEST(InStepControl, LinkOffOrNotYetBroughtTogetherMovesNothingAndOffEndsTheTrims) {
    TPlayback P;
    P.Control.SetLinked(false);
    P.Behind[1] = 0.012;
    P.Behind[2] = 0.4;
    P.Play(2.0);
    for (int I = 0; I < 4; ++I) {
        EXPECT_EQ(P.Control.Trim(I), 1.0);
        EXPECT_TRUE(P.Sought[I].empty());
    }
    P.Control.SetLinked(true); // on, but the panes were not brought together since
    P.Play(2.0);
    for (int I = 0; I < 4; ++I)
        EXPECT_TRUE(P.Sought[I].empty());
    EXPECT_EQ(P.Control.Trim(1), 1.0);

    P.Control.Arm();
    P.Play(0.5);
    EXPECT_GT(P.Control.Trim(1), 1.0);
    P.Control.SetLinked(false);
    const TInStepCommands Off = P.Control.Update(P.Now, P.Panes);
    EXPECT_EQ(Off[1].Trim, 1.0);
    EXPECT_FALSE(Off[2].SeekTo);
}

TEST(InStepControl, PanesOfOneLengthLoopTogetherWhenTheReferenceShowsItsLastFrame) {
    TPlayback P;
    P.Panes = AllPlaying(2.0, true);
    P.Panes[3].Duration = 2.2; // a longer file loops on its own
    P.Behind[3] = -0.005;
    P.Play(1.98); // up to the reference's last frame, at 1.96 s
    for (int I = 0; I < 3; ++I) {
        ASSERT_EQ(P.Sought[I].size(), 1u) << I;
        EXPECT_EQ(P.Sought[I][0], 0.0);
    }
    EXPECT_TRUE(P.Sought[3].empty());
}

TEST(InStepControl, LoopsWaitAtTheEndOnlyForPanesInStepOfTheReferencesLength) {
    TInStepControl Control;
    Control.SetLinked(true);
    Control.Arm();
    TInStepPanes Panes = AllPlaying(10.0, true);
    Panes[2].Duration = 12.0;
    std::array<std::optional<bool>, 4> Hold;
    for (int Frame = 0; Frame < 20; ++Frame) {
        for (int I = 0; I < 4; ++I)
            Control.Report(I, 100.0 + Frame * kFrame, Frame * kFrame, true);
        const TInStepCommands C = Control.Update(100.0 + Frame * kFrame + 0.001, Panes);
        for (int I = 0; I < 4; ++I)
            if (C[I].HoldLoops)
                Hold[I] = C[I].HoldLoops;
    }
    EXPECT_EQ(Hold[0], true);
    EXPECT_EQ(Hold[1], true);
    EXPECT_FALSE(Hold[2].value_or(false));
    EXPECT_EQ(Hold[3], true);
    Panes[1].Playing = false;
    EXPECT_EQ(Control.Update(101.0, Panes)[1].HoldLoops, false);
}

TEST(InStepControl, APauseLandsThePanesThatPlayedInStepOnTheReferencesFrame) {
    TPlayback P;
    P.Behind[1] = 0.006;
    P.Behind[2] = 0.039;
    P.Behind[3] = 1.5; // elsewhere in its file
    P.Play(1.0);
    for (TInStepPane& Pane : P.Panes)
        Pane.Playing = false;
    const TInStepCommands Land = P.Control.LandPaused(P.Panes);
    const double Shown = P.Frames[0] * kFrame;
    for (int I = 0; I < 3; ++I) {
        ASSERT_TRUE(Land[I].SeekTo) << I;
        EXPECT_DOUBLE_EQ(*Land[I].SeekTo, Shown);
    }
    EXPECT_FALSE(Land[3].SeekTo);
    P.Control.SetLinked(false);
    EXPECT_FALSE(P.Control.LandPaused(P.Panes)[1].SeekTo);
}

// Right after a start, a resume or the loop the control started for all, the
// panes have too few reports to be compared, and a pause then must still land
// all of them on the reference's frame; not so a pane that has not reported
// for longer than that takes.
TEST(InStepControl, APauseRightAfterThePanesWereBroughtTogetherLandsThemAll) {
    struct TRow {
        const char* Name;
        bool Loop;  // brought together by the control's loop, else by Arm
        int Silent; // a pane that reports nothing after being brought together, -1 for none
        int Wait;   // further frames reported before the pause
    };
    const TRow Rows[] = {
        {"start", false, -1, 0},
        {"loop", true, -1, 0},
        {"start, pane 3 silent", false, 3, 0},
        {"start, pane 3 silent for too long", false, 3, 25},
    };
    for (const TRow& Row : Rows) {
        TInStepControl Control;
        Control.SetLinked(true);
        Control.Arm();
        TInStepPanes Panes = AllPlaying(2.0, true);
        double Now = 100.0;
        int Frame = 0;
        auto ReportAll = [&](int Frames) {
            for (int F = 0; F < Frames; ++F, ++Frame) {
                Now += kFrame;
                for (int I = 0; I < 4; ++I)
                    if (I != Row.Silent || (Row.Loop && Frame > 0))
                        Control.Report(I, Now + I * 0.002, Frame * kFrame, true);
                const TInStepCommands C = Control.Update(Now + 0.01, Panes);
                if (Row.Loop && C[0].SeekTo == 0.0) {
                    // The panes restart their loop together, as the link's seeks do.
                    for (int I = 0; I < 4; ++I)
                        if (C[I].SeekTo)
                            Control.Report(I, Now + 0.02, 0.0, false);
                    Frame = 0;
                    return;
                }
            }
        };
        if (Row.Loop)
            ReportAll(60); // plays to the end of the 2 s file, where the loop starts
        ReportAll(2);      // fewer reports than an estimate needs
        ReportAll(Row.Wait);
        // Pane 2's pause reached its engine a frame later than the others'.
        Control.Report(2, Now + 0.03, Frame * kFrame, true);
        for (TInStepPane& Pane : Panes)
            Pane.Playing = false;
        const TInStepCommands Land = Control.LandPaused(Panes);
        const double Shown = (Frame - 1) * kFrame; // the reference's last report
        for (int I = 0; I < 4; ++I) {
            if (I == Row.Silent && Row.Wait > 0) {
                EXPECT_FALSE(Land[I].SeekTo) << Row.Name << ": pane " << I;
                continue;
            }
            ASSERT_TRUE(Land[I].SeekTo) << Row.Name << ": pane " << I;
            EXPECT_DOUBLE_EQ(*Land[I].SeekTo, Shown) << Row.Name << ": pane " << I;
        }
    }
}

TEST(InStepControl, ClockReadingsWinOverReportsThatComeUnevenly) {
    TInStepControl Control;
    Control.SetLinked(true);
    Control.Arm();
    const TInStepPanes Panes = AllPlaying();
    // Reports late by up to 30 ms, unevenly; the clocks say all four are together.
    const double Late[4][8] = {{0, 30, 0, 30, 0, 30, 0, 30},
                               {30, 0, 30, 0, 30, 0, 30, 0},
                               {0, 0, 0, 0, 0, 0, 0, 0},
                               {25, 25, 25, 25, 25, 25, 25, 25}};
    double Now = 100.0;
    for (int Frame = 0; Frame < 8; ++Frame) {
        Now = 100.0 + Frame * kFrame;
        for (int I = 0; I < 4; ++I) {
            Control.Report(I, Now + Late[I][Frame] / 1000.0, Frame * kFrame, true);
            Control.ClockRead(I, Now + 0.01, Frame * kFrame + 0.01);
        }
    }
    const TInStepCommands C = Control.Update(Now + 0.035, Panes);
    for (int I = 0; I < 4; ++I) {
        EXPECT_FALSE(C[I].Trim) << I;
        EXPECT_FALSE(C[I].SeekTo) << I;
    }
}

// The largest distance, over Seconds of play, of each pane from where its
// map puts the reference's moment.
std::array<double, 4> WorstMiss(TPlayback& P, double Seconds) {
    std::array<double, 4> Worst{};
    for (double T = 0.0; T < Seconds; T += 0.1) {
        P.Play(0.1);
        const double Moment = P.Control.Map(0).MomentAt(P.Position(0));
        for (int I = 1; I < 4; ++I)
            Worst[I] = std::max(Worst[I], std::abs(P.Position(I) - P.Control.Map(I).PositionAt(Moment)));
    }
    return Worst;
}

TEST(InStepControl, PanesWithOffsetsAndDriftAreKeptAtOneMomentEachInItsOwnFile) {
    TPlayback P;
    P.ApplySeeks = true;
    P.Panes = AllPlaying(600.0);
    P.Map(1, {3.217, 0.0});
    P.Map(2, {1.5, 300e-6}); // a camera whose clock runs 300 ppm fast
    P.Map(3, {0.7, -100e-6});
    P.Behind[1] += 0.015; // and a little behind its moment
    P.Play(5.0);
    // 300 ppm is below the trims' step: without its own speed, the pane would
    // be corrected back and forth for ever.
    const std::array<double, 4> Worst = WorstMiss(P, 120.0);
    for (int I = 1; I < 4; ++I)
        EXPECT_LT(Worst[I], kFrame / 4) << I;
    EXPECT_NEAR(P.Control.Speed(2), 1.0 + 300e-6, 1e-9);
    EXPECT_NEAR(P.Control.Speed(3), 1.0 - 100e-6, 1e-9);
    EXPECT_TRUE(P.Sought[2].empty());

    // Paused, each lands on its own frame of the reference's moment.
    for (TInStepPane& Pane : P.Panes)
        Pane.Playing = false;
    const TInStepCommands Land = P.Control.LandPaused(P.Panes);
    const double Moment = P.Frames[0] * kFrame;
    for (int I = 1; I < 4; ++I) {
        ASSERT_TRUE(Land[I].SeekTo) << I;
        EXPECT_NEAR(*Land[I].SeekTo, P.Control.Map(I).PositionAt(Moment), 1e-9) << I;
    }
}

TEST(InStepControl, APaneWhoseFileBeginsLaterWaitsOnItsFirstFrameAndOneThatEndedIsLeftAlone) {
    TPlayback P;
    P.ApplySeeks = true;
    P.Map(1, {-2.0, 0.0}); // began 2 s after the reference
    P.Behind[1] = 0.0;     // but was started with it, at its own start
    P.Panes[2].Duration = 4.0;
    P.Map(2, {3.0, 0.0}); // ends when the reference is at 1 s
    P.Play(1.5);
    EXPECT_EQ(P.Control.Speed(1), 0.0);
    ASSERT_EQ(P.Sought[1].size(), 1u);
    EXPECT_EQ(P.Sought[1][0], 0.0);
    EXPECT_EQ(P.Control.Speed(2), 1.0);
    const size_t SoughtBefore = P.Sought[2].size();
    P.Play(1.0); // the moment comes into its file
    EXPECT_GT(P.Control.Speed(1), 0.0);
    const std::array<double, 4> Worst = WorstMiss(P, 5.0);
    EXPECT_LT(Worst[1], kFrame / 4);
    EXPECT_EQ(P.Sought[2].size(), SoughtBefore);
    EXPECT_EQ(P.Control.Speed(2), 1.0);

    // A pause ends the waiting: played again, the pane waits afresh.
    P.Control.SetMap(1, {-30.0, 0.0});
    P.Panes[1].Playing = false;
    P.Play(0.2);
    EXPECT_EQ(P.Control.Speed(1), 1.0);
}

TEST(InStepControl, LoopsJoinOnlyPanesWhoseOffsetsMatch) {
    TPlayback P;
    P.Panes = AllPlaying(2.0, true);
    P.Map(1, {0.02, 0.0}); // within a frame
    P.Map(2, {0.5, 0.0});  // half a second: each loops on its own
    P.Play(0.5);
    P.Play(1.48);
    ASSERT_EQ(P.Sought[1].size(), 1u);
    EXPECT_EQ(P.Sought[1][0], 0.0);
    EXPECT_EQ(std::count(P.Sought[2].begin(), P.Sought[2].end(), 0.0), 0);
}

} // namespace
