// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <array>
#include <deque>
#include <optional>

// Keeps linked panes in step while they play. This is the arithmetic alone:
// the link feeds it every pane's position reports with the moment each came,
// reads what the panes are doing, and carries out the commands it answers.
// Times, positions and durations are in seconds.
//
// The panes are compared by the moment they show (see TInStepMap), which is
// their position when their files began together.
//
// One pane is the reference. A playing pane within kFollowWindow of it is a
// follower: a small change of its speed brings it back, or, beyond
// kReseekDistance, one exact seek. Panes farther away are on another part of
// their file and are left alone, as are stopped, paused and empty ones.
//
// A report comes when a pane shows a new frame, a little later than that by
// however busy the program is. Each report tells where the pane's clock
// stood; their mean over the last kSamples, leaving out the quarter that
// came latest and the quarter that came earliest, is where the pane is.
// Each pane's clock runs at its speed, which the control itself changes.

inline constexpr int kInStepPanes = 4;

// Where a pane's file stands against the others': the moment at which the
// reference file (offset 0, drift 0) shows t, this pane shows
// Offset + (1 + Drift) * t. Two cameras start at different moments (the
// offset), and their clocks run a few hundred ppm apart (the drift). The
// control keeps the panes at one moment, each at its own position in its file.
struct TInStepMap {
    double Offset = 0.0;
    double Drift = 0.0; // a fraction: 100 ppm is 1e-4

    double PositionAt(double Moment) const { return Offset + (1.0 + Drift) * Moment; }
    double MomentAt(double Position) const { return (Position - Offset) / (1.0 + Drift); }
    bool operator==(const TInStepMap&) const = default;
};

// What a pane is doing, read each time the control runs.
struct TInStepPane {
    bool Loaded = false;   // holds a file that can play
    bool Playing = false;  // playing; not paused, stopped, buffering or empty
    double Duration = 0.0; // 0 while unknown
    double Rate = 1.0;     // the user's rate
    bool Repeats = false;  // plays its file more than once
};
using TInStepPanes = std::array<TInStepPane, kInStepPanes>;

// What to do to one pane; nothing when both are empty.
struct TInStepCommand {
    std::optional<double> Trim;    // the pane's speed becomes the user's rate times this; 0 holds its picture
    std::optional<double> SeekTo;  // an exact seek, together with the others of this turn
    std::optional<bool> HoldLoops; // the pane's loops wait on its last frame for a seek, or not
};
using TInStepCommands = std::array<TInStepCommand, kInStepPanes>;

class TInStepControl {
public:
    static constexpr double kFollowWindow = 1.0;
    static constexpr double kReseekDistance = 0.25;
    // A follower plays at most this much faster or slower than the user's
    // rate. Near normal speed the engine resamples the sound, so the pitch
    // moves with the speed: 0.5 % is under a tenth of a semitone, which
    // nobody hears, and it changes without a break in the sound.
    static constexpr double kMaxTrim = 0.005;
    static constexpr double kGain = 0.5; // trim per second of distance: the cap at a quarter of a frame
    static constexpr double kTrimStep =
        0.0005; // trims are rounded to this, so that tiny changes are not sent
    // A re-sought pane lands this much (at rate 1) ahead of the reference:
    // about the time a seek takes to show its frame.
    static constexpr double kSeekLead = 0.1;
    static constexpr double kReseekPause = 1.0; // a re-sought pane is not sought again sooner
    static constexpr double kReportGap = 1.0;   // reports further apart than this start afresh
    static constexpr size_t kSamples = 16;      // the reports an estimate is made of
    static constexpr size_t kMinSamples = 4;
    static constexpr size_t kClockSamples = 4; // readings an estimate is made of
    // Panes brought together (a start, a resume, a loop for all) count as in
    // step for this long at most while they have too few reports to compare.
    static constexpr double kTogetherPatience = 0.75;

    // Link on or off. Off also ends the keeping in step: the next Update
    // sets every trim back to 1 and moves nothing.
    void SetLinked(bool Linked);
    bool Linked() const { return FLinked; }
    // The panes were just brought together (a linked seek, a start): from
    // now on they are kept in step. Turning Link on alone moves no pane.
    void Arm();
    bool Armed() const { return FArmed; }
    // The user sought Pane while Link was on: it becomes the reference.
    void SetSought(int Pane);
    // Where Pane's file stands against the others'; by default where they do.
    void SetMap(int Pane, const TInStepMap& Map);
    const TInStepMap& Map(int Pane) const { return FMaps[Pane]; }

    // A reading of Pane's playback clock: it stood at Position at Time. Where
    // every playing pane has readings, they are compared instead of the
    // reports, which come a frame at a time and at uneven moments.
    void ClockRead(int Pane, double Time, double Position);
    // Pane's position moved to Position at Now: by playback, or otherwise
    // (a seek, a loop, a load, a stop, a change of state), which starts its
    // estimate afresh.
    void Report(int Pane, double Now, double Position, bool Playback);
    // The commands that keep the panes in step at Now.
    TInStepCommands Update(double Now, const TInStepPanes& Panes);
    // The panes were just paused: those that played in step with the
    // reference go to the frame the reference showed, the reference too.
    TInStepCommands LandPaused(const TInStepPanes& Panes);

    // When the control wants to run again without a report, if at all: at
    // their ends the panes wait without reporting.
    std::optional<double> NextRun() const { return FNextRun; }

    // The reference of the latest Update, -1 when there was none.
    int Reference() const { return FReference; }
    double Trim(int Pane) const { return FTrim[Pane]; }
    // The pane's speed against the user's rate, as last commanded: the trim
    // and the pane's drift, or 0 while it waits for its file to begin.
    double Speed(int Pane) const { return FSpeed[Pane]; }
    // The moment Pane shows at Now, from its recent reports (Readings false)
    // or clock readings; nullopt without enough of them.
    std::optional<double> Estimate(int Pane, double Now, bool Readings = false) const;
    // The time one frame of Pane lasts, from its recent reports.
    std::optional<double> FrameTime(int Pane) const;

    // The pane the sought one hands over to: Sought while it plays, else the
    // first loaded pane, else the next playing pane after it; -1 when none plays.
    static int ChooseReference(std::optional<int> Sought, const TInStepPanes& Panes);
    // How far Position is behind Reference (negative: ahead). Wraps: both
    // repeat a file of this Duration, so that a loop's start follows its end.
    static double Distance(double Reference, double Position, double Duration, bool Wraps);
    // The trim that closes Distance for a pane whose trim is Previous.
    static double TrimFor(double Distance, double Frame, double Previous);

private:
    // How far the pane's clock has run at Time, in seconds of the moment,
    // counted from an arbitrary start: its speed, integrated.
    struct TClock {
        double Since = 0.0; // the time of the latest change of speed
        double Ran = 0.0;   // how far it had run then
        double Speed = 1.0;
        double At(double Time) const { return Ran + (Time - Since) * Speed; }
    };
    struct TSample {
        double Time;
        double Offset; // the moment reported less the clock at Time
    };
    void SetSpeed(int Pane, double Now, double Speed);
    void Forget(int Pane);

    bool FLinked = false;
    bool FArmed = false;
    std::optional<int> FSought;
    int FReference = -1;
    bool FLoopSent = false;                 // the reference's loop was started for all
    std::array<bool, kInStepPanes> FHold{}; // the pane's loops wait for a seek
    std::optional<double> FNextRun;
    std::array<std::deque<TSample>, kInStepPanes> FSamples;
    std::array<std::deque<TSample>, kInStepPanes> FReadings;
    std::array<TClock, kInStepPanes> FClocks;
    std::array<double, kInStepPanes> FLast{}; // the latest reported position
    std::array<bool, kInStepPanes> FInStep{}; // the reference or a follower at the latest Update
    // Brought together with the others (Arm, or the loop the control started
    // for all) and not yet placed by reports of its own since: right after a
    // start, a resume or a loop there are too few of them to compare.
    std::array<bool, kInStepPanes> FTogether{};
    std::optional<double> FTogetherSince; // when they were, as the next run saw it
    std::array<double, kInStepPanes> FTrim{1.0, 1.0, 1.0, 1.0};
    std::array<double, kInStepPanes> FSpeed{1.0, 1.0, 1.0, 1.0}; // as commanded
    std::array<TInStepMap, kInStepPanes> FMaps{};
    std::array<bool, kInStepPanes> FWaiting{}; // held on its first frame until its file begins
    std::array<double, kInStepPanes> FRate{1.0, 1.0, 1.0, 1.0};
    std::array<double, kInStepPanes> FNoSeekUntil{};
};
