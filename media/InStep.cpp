// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "InStep.h"

#include <algorithm>
#include <cmath>
#include <vector>

void TInStepControl::SetLinked(bool Linked) {
    FLinked = Linked;
    if (!Linked) {
        FArmed = false;
        FSought.reset();
        FInStep.fill(false);
        FTogether.fill(false);
    }
}

void TInStepControl::Arm() {
    if (!FLinked)
        return;
    FArmed = true;
    FTogether.fill(true);
    FTogetherSince.reset(); // from the next run on
}

void TInStepControl::SetSought(int Pane) {
    if (Pane >= 0 && Pane < kInStepPanes)
        FSought = Pane;
}

void TInStepControl::SetMap(int Pane, const TInStepMap& Map) {
    if (Pane < 0 || Pane >= kInStepPanes || Map == FMaps[Pane] || !(1.0 + Map.Drift > 0.0))
        return;
    FMaps[Pane] = Map;
    // The reports so far place the pane by the old map.
    Forget(Pane);
    FWaiting[Pane] = false;
}

void TInStepControl::Forget(int Pane) {
    FSamples[Pane].clear();
    FReadings[Pane].clear();
}

void TInStepControl::SetSpeed(int Pane, double Now, double Speed) {
    TClock& Clock = FClocks[Pane];
    if (Speed == Clock.Speed)
        return;
    Clock.Ran = Clock.At(Now);
    Clock.Since = Now;
    Clock.Speed = Speed;
}

void TInStepControl::Report(int Pane, double Now, double Position, bool Playback) {
    FLast[Pane] = Position;
    std::deque<TSample>& Samples = FSamples[Pane];
    if (!Playback) {
        Forget(Pane);
        return;
    }
    const TClock& Clock = FClocks[Pane];
    const double Offset = FMaps[Pane].MomentAt(Position) - Clock.At(Now);
    if (!Samples.empty()) {
        // A jump that playback cannot make (a loop of the engine's own) or a
        // long silence (a pause, a stall) makes the older reports useless.
        const TSample& Latest = Samples.back();
        if (Now - Latest.Time > kReportGap || std::abs(Offset - Latest.Offset) > kReseekDistance)
            Forget(Pane);
    }
    Samples.push_back({Now, Offset});
    if (Samples.size() > kSamples)
        Samples.pop_front();
}

void TInStepControl::ClockRead(int Pane, double Time, double Position) {
    std::deque<TSample>& Readings = FReadings[Pane];
    const double Offset = FMaps[Pane].MomentAt(Position) - FClocks[Pane].At(Time);
    if (!Readings.empty() && (Time <= Readings.back().Time || Time - Readings.back().Time > kReportGap ||
                              std::abs(Offset - Readings.back().Offset) > kReseekDistance))
        Readings.clear();
    Readings.push_back({Time, Offset});
    if (Readings.size() > kClockSamples)
        Readings.pop_front();
}

std::optional<double> TInStepControl::Estimate(int Pane, double Now, bool Readings) const {
    const std::deque<TSample>& Samples = Readings ? FReadings[Pane] : FSamples[Pane];
    if (Samples.size() < (Readings ? kClockSamples : kMinSamples))
        return std::nullopt;
    // Each offset is where the pane stood against its clock at one report.
    // Reports come late by uneven amounts: the middle half is averaged.
    std::vector<double> Offsets;
    for (const TSample& S : Samples)
        Offsets.push_back(S.Offset);
    std::sort(Offsets.begin(), Offsets.end());
    const size_t Cut = Offsets.size() / 4;
    double Sum = 0.0;
    for (size_t I = Cut; I < Offsets.size() - Cut; ++I)
        Sum += Offsets[I];
    return FClocks[Pane].At(Now) + Sum / static_cast<double>(Offsets.size() - 2 * Cut);
}

std::optional<double> TInStepControl::FrameTime(int Pane) const {
    const std::deque<TSample>& Samples = FSamples[Pane];
    std::vector<double> Steps;
    const TClock& Clock = FClocks[Pane];
    for (size_t I = 1; I < Samples.size(); ++I) {
        const double Step = Samples[I].Offset + Clock.At(Samples[I].Time) - Samples[I - 1].Offset -
                            Clock.At(Samples[I - 1].Time);
        if (Step > 1e-4)
            Steps.push_back(Step);
    }
    if (Steps.empty())
        return std::nullopt;
    // The median: a report that came late shows as one long step and one short.
    std::nth_element(Steps.begin(), Steps.begin() + Steps.size() / 2, Steps.end());
    return Steps[Steps.size() / 2];
}

int TInStepControl::ChooseReference(std::optional<int> Sought, const TInStepPanes& Panes) {
    int Start = -1;
    if (Sought && *Sought >= 0 && *Sought < kInStepPanes && Panes[*Sought].Loaded)
        Start = *Sought;
    for (int I = 0; I < kInStepPanes && Start < 0; ++I)
        if (Panes[I].Loaded)
            Start = I;
    if (Start < 0)
        return -1;
    for (int K = 0; K < kInStepPanes; ++K)
        if (const int I = (Start + K) % kInStepPanes; Panes[I].Playing)
            return I;
    return -1;
}

double TInStepControl::Distance(double Reference, double Position, double Duration, bool Wraps) {
    const double Behind = Reference - Position;
    if (!Wraps || Duration <= 0.0)
        return Behind;
    return std::remainder(Behind, Duration);
}

double TInStepControl::TrimFor(double Distance, double Frame, double Previous) {
    // A pane within a tenth of a frame plays at its own speed; one that is
    // being corrected is corrected until within a twentieth, so that the
    // speed does not change at every report.
    const double Near = Previous != 1.0 ? Frame / 20.0 : Frame / 10.0;
    if (std::abs(Distance) < Near)
        return 1.0;
    const double Change = std::clamp(kGain * Distance, -kMaxTrim, kMaxTrim);
    const double Rounded = std::round(Change / kTrimStep) * kTrimStep;
    return 1.0 + (Rounded == 0.0 ? std::copysign(kTrimStep, Distance) : Rounded);
}

TInStepCommands TInStepControl::Update(double Now, const TInStepPanes& Panes) {
    TInStepCommands Commands;
    FNextRun.reset();
    auto SetHold = [&](int Pane, bool Hold) {
        if (Hold == FHold[Pane])
            return;
        FHold[Pane] = Hold;
        Commands[Pane].HoldLoops = Hold;
    };
    // A pane of another clock plays that much faster or slower, so that its
    // moments pass as fast as the others'.
    auto SetTrim = [&](int Pane, double Trim) {
        const double Drift = FMaps[Pane].Drift;
        FTrim[Pane] = Trim;
        const double Speed = FWaiting[Pane] ? 0.0 : Trim * (FLinked && FArmed ? 1.0 + Drift : 1.0);
        if (Speed == FSpeed[Pane])
            return;
        FSpeed[Pane] = Speed;
        SetSpeed(Pane, Now, FRate[Pane] * Speed / (1.0 + Drift));
        Commands[Pane].Trim = Speed;
    };
    for (int I = 0; I < kInStepPanes; ++I) {
        if (Panes[I].Rate != FRate[I]) {
            // Older reports ran at the old rate; and the engines take up a
            // new rate at slightly different moments, which is not a reason
            // to seek.
            FRate[I] = Panes[I].Rate;
            FSamples[I].clear();
            FNoSeekUntil[I] = Now + kReseekPause;
            SetSpeed(I, Now, FRate[I] * FSpeed[I] / (1.0 + FMaps[I].Drift));
        }
        if (!Panes[I].Playing) {
            Forget(I);
            FWaiting[I] = false;
            FTogether[I] = false;
        }
    }
    if (!FTogetherSince)
        FTogetherSince = Now;
    // A pane brought together that has not reported enough to be placed by
    // now is not playing with the others.
    if (Now - *FTogetherSince > kTogetherPatience)
        FTogether.fill(false);
    FInStep.fill(false);
    FReference = FLinked && FArmed ? ChooseReference(FSought, Panes) : -1;
    const int Ref = FReference;
    // The panes are compared by one kind of estimate: the clock readings
    // where every playing pane that has reports has them too.
    bool UseReadings = true;
    for (int I = 0; I < kInStepPanes; ++I)
        if (Panes[I].Playing && Estimate(I, Now) && !Estimate(I, Now, true))
            UseReadings = false;
    const std::optional<double> RefAt = Ref >= 0 ? Estimate(Ref, Now, UseReadings) : std::nullopt;
    const std::optional<double> Frame = Ref >= 0 ? FrameTime(Ref) : std::nullopt;
    if (Ref < 0 || !RefAt || !Frame) {
        // Right after a start or a loop there are too few reports yet; the
        // panes keep their trims and holds meanwhile.
        for (int I = 0; I < kInStepPanes; ++I)
            if (Ref < 0 || !Panes[I].Playing) {
                SetTrim(I, 1.0);
                SetHold(I, false);
            }
        // Panes just brought together are in step until their reports can say otherwise.
        for (int I = 0; I < kInStepPanes && Ref >= 0; ++I)
            FInStep[I] = I == Ref || FTogether[I];
        return Commands;
    }
    const TInStepPane& R = Panes[Ref];
    FInStep[Ref] = true;
    SetTrim(Ref, 1.0);
    SetHold(Ref, R.Repeats);
    std::array<bool, kInStepPanes> Wraps{};
    for (int I = 0; I < kInStepPanes; ++I) {
        if (I == Ref)
            continue;
        const TInStepMap& Map = FMaps[I];
        // Loops join only panes that show one moment at each of their frames.
        Wraps[I] = R.Repeats && Panes[I].Repeats && R.Duration > 0.0 &&
                   std::abs(Panes[I].Duration - R.Duration) <= *Frame &&
                   std::abs(Map.Offset - FMaps[Ref].Offset) <= *Frame;
        if (Panes[I].Playing && !Wraps[I]) {
            // A pane whose file begins later than the moment waits on its
            // first frame for it; one that ended before it is left alone.
            const double Wanted = Map.PositionAt(*RefAt);
            const bool Early = Wanted < 0.0 && FLast[I] < kFollowWindow;
            if (Early != FWaiting[I]) {
                FWaiting[I] = Early;
                Forget(I);
                if (Early && FLast[I] > 0.0)
                    Commands[I].SeekTo = 0.0;
            }
            if (Early || (Panes[I].Duration > 0.0 && Wanted > Panes[I].Duration)) {
                SetTrim(I, 1.0);
                SetHold(I, false);
                continue;
            }
        }
        const std::optional<double> At = Estimate(I, Now, UseReadings);
        if (At)
            FTogether[I] = false; // from now on its reports say where it is
        else
            FInStep[I] = FTogether[I];
        if (!Panes[I].Playing || !At) {
            SetTrim(I, 1.0);
            if (!Panes[I].Playing)
                SetHold(I, false);
            continue;
        }
        const double Behind = Distance(*RefAt, *At, R.Duration, Wraps[I]);
        if (std::abs(Behind) > kFollowWindow) {
            SetTrim(I, 1.0);
            SetHold(I, false);
            continue;
        }
        FInStep[I] = true;
        SetHold(I, Wraps[I]);
        if (std::abs(Behind) > kReseekDistance) {
            if (Now >= FNoSeekUntil[I]) {
                double Target = Map.PositionAt(*RefAt + kSeekLead * R.Rate);
                if (Wraps[I])
                    Target = std::fmod(Target, R.Duration);
                Commands[I].SeekTo = std::max(0.0, Target);
                FNoSeekUntil[I] = Now + kReseekPause;
            }
            SetTrim(I, 1.0);
            continue;
        }
        SetTrim(I, TrimFor(Behind, *Frame, FTrim[I]));
    }
    // Panes of one length restart their loop together, on its first frame,
    // when the reference shows its last one. They wait there for it, and a
    // follower still short of its end is a fraction of a frame from it.
    if (R.Repeats && R.Duration > 0.0) {
        const double Over = R.Duration + *Frame; // where a pane waiting at the end would be by now
        const double RefPosition = FMaps[Ref].PositionAt(*RefAt);
        if (FLast[Ref] < R.Duration / 2.0) {
            FLoopSent = false;
        } else if (!FLoopSent && (FLast[Ref] >= R.Duration - 1.5 * *Frame || RefPosition >= Over)) {
            FLoopSent = true;
            Commands[Ref].SeekTo = 0.0;
            for (int I = 0; I < kInStepPanes; ++I)
                if (Wraps[I] && FInStep[I]) {
                    Commands[I].SeekTo = 0.0;
                    FTogether[I] = true;
                }
            FTogetherSince = Now;
        } else if (!FLoopSent && R.Rate > 0.0 && RefPosition >= R.Duration - 4.0 * *Frame) {
            // The last frame's report may be missed; waiting, nobody reports.
            FNextRun = Now + (Over - RefPosition) / R.Rate;
        }
    }
    return Commands;
}

TInStepCommands TInStepControl::LandPaused(const TInStepPanes& Panes) {
    TInStepCommands Commands;
    if (!FLinked || !FArmed || FReference < 0)
        return Commands;
    const double Moment = FMaps[FReference].MomentAt(FLast[FReference]);
    for (int I = 0; I < kInStepPanes; ++I)
        if (FInStep[I] && Panes[I].Loaded && !Panes[I].Playing)
            Commands[I].SeekTo = I == FReference ? FLast[I] : std::max(0.0, FMaps[I].PositionAt(Moment));
    return Commands;
}
