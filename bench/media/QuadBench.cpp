// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

// quadv_media_bench MODE CLIP1 CLIP2 CLIP3 CLIP4 [ARG]
//
//   play SECONDS  four panes play for SECONDS (CPU is measured by the caller)
//   seek COUNT    COUNT linked seeks of the four playing panes to random
//                 targets: prints each latency until all four have restarted
//                 at the target, the frame each restarted at, and whether
//                 they are the same
//   drift SECONDS four panes started together play (repeating) for SECONDS;
//                 prints the largest difference of their positions in the
//                 first and the last 2 s, and how far each pane fell back
//   step COUNT    from a linked, paused position, COUNT frame steps of all
//                 four forward and then COUNT back: prints how many steps
//                 left all four on the expected frame, read from the
//                 frame numbers coded in the clips' pictures
//   snapshot DIR  a snapshot of each of four linked, paused panes into DIR:
//                 prints how many files exist, have the video's size and
//                 show the frame the pane shows
//   instep SECONDS four panes started together play, repeating and kept in
//                 step by the link, for SECONDS: prints the spread of their
//                 phases over the last 2 s and the largest over any 2 s
//                 after the first, in frames
//   instep-offset SECONDS
//                 as instep, but each pane's file is offset from the others'
//                 (the clips must be longer than SECONDS plus 4 s, and do not
//                 repeat): the spread is of the moments the panes show
//   pause COUNT   four panes started together are paused and resumed COUNT
//                 times at random moments, first unlinked, then linked:
//                 prints how often all four showed one frame
#include "InStepLink.h"
#include "MpvEngine.h"
#include "SampleClips.h"
#include "WindowsMediaPlayer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <random>

namespace {

struct TPane {
    TMpvEngine* Engine = nullptr;
    TWindowsMediaPlayer* Pane = nullptr;
};

bool WaitFor(const std::function<bool()>& Done, int LimitMs = 20000) {
    QElapsedTimer Timer;
    Timer.start();
    while (!Done()) {
        if (Timer.elapsed() > LimitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
    return true;
}

void Spin(int Ms) {
    QElapsedTimer Timer;
    Timer.start();
    WaitFor([&] { return Timer.elapsed() >= Ms; }, Ms + 1000);
}

bool AllSettled(const std::array<TPane, 4>& Panes) {
    for (const TPane& P : Panes)
        if (!P.Engine->Settled())
            return false;
    return true;
}

// Where each pane is in its clip, measured without stopping it: the pane's
// phase is the mean of (time - frame index x frame time) over the frames it
// reported in a window, with the index counted on across loop restarts, and
// each report timed by the engine, as mpv tells it.
// Two panes showing the same frame at the same moment have the same phase; a
// pane 10 ms behind has a phase 10 ms larger. Averaging over a window's
// frames takes out the jitter of the moment each report comes.
class TPhaseTracker {
public:
    TPhaseTracker(std::array<TPane, 4>& Panes, double FrameMs) : FPanes(Panes), FFrameMs(FrameMs) {
        FClock.start();
        for (int I = 0; I < 4; ++I) {
            FFramesPerLoop[I] = std::llround(Panes[I].Engine->Duration() * 1000.0 / FrameMs);
            TPositionReportEvent Inner = Panes[I].Pane->GetOnPositionReport();
            Panes[I].Pane->SetOnPositionReport(
                [this, I, Inner](TWindowsMediaPlayer* Sender, double Position, bool Playback) {
                    if (Playback)
                        Seen(I, Position, Sender->GetPositionTime());
                    if (Inner)
                        Inner(Sender, Position, Playback);
                });
        }
    }
    ~TPhaseTracker() {
        for (TPane& P : FPanes)
            P.Pane->SetOnPositionReport(nullptr);
    }
    // Follows the panes for Ms; with Record, returns each pane's phase over them.
    std::array<double, 4> Follow(int Ms, bool Record) {
        FSum = {};
        FCount = {};
        FRecord = Record;
        Spin(Ms);
        FRecord = false;
        std::array<double, 4> Phase{};
        for (int I = 0; I < 4; ++I)
            Phase[I] = FCount[I] ? FSum[I] / FCount[I] : 0.0;
        return Phase;
    }

private:
    // Told: when the engine learned of it, on the steady clock.
    void Seen(int I, double Position, double Told) {
        const double Now = Told >= 0.0 ? Told * 1000.0 : FClock.nsecsElapsed() / 1e6;
        const int64_t Frame = std::llround(Position * 1000.0 / FFrameMs);
        if (Frame == FLast[I])
            return;
        if (FLast[I] >= 0 && Frame < FLast[I] - FFramesPerLoop[I] / 2)
            ++FLoops[I];
        FLast[I] = Frame;
        if (FRecord) {
            FSum[I] += Now - static_cast<double>(FLoops[I] * FFramesPerLoop[I] + Frame) * FFrameMs;
            ++FCount[I];
        }
    }

    std::array<TPane, 4>& FPanes;
    double FFrameMs;
    QElapsedTimer FClock;
    bool FRecord = false;
    std::array<double, 4> FSum{};
    std::array<int, 4> FCount{};
    std::array<int64_t, 4> FFramesPerLoop{};
    std::array<int64_t, 4> FLast{-1, -1, -1, -1};
    std::array<int64_t, 4> FLoops{};
};

// Waits until every pane has settled and shows the frame Expected; false if
// one of them does not within a generous time.
bool AllShow(const std::array<TPane, 4>& Panes, int Expected) {
    return WaitFor(
        [&] {
            for (const TPane& P : Panes)
                if (!P.Engine->Settled() || SampleClipFrame(P.Engine->Frame()) != Expected)
                    return false;
            return true;
        },
        3000);
}

// Every pane shows a picture and has settled; then the frame numbers its picture shows.
std::array<int, 4> ShownFrames(const std::array<TPane, 4>& Panes) {
    WaitFor([&] { return AllSettled(Panes); }, 3000);
    Spin(200); // the picture of the frame the seek reached is drawn after it settles
    std::array<int, 4> Frames{};
    for (int I = 0; I < 4; ++I)
        Frames[I] = SampleClipFrame(Panes[I].Engine->Frame());
    return Frames;
}

// The four panes repeat their clips and start together: a linked seek to the
// start releases all four at once.
void StartTogether(std::array<TPane, 4>& Panes) {
    for (TPane& P : Panes)
        P.Pane->SetPlayCount(999);
    for (TPane& P : Panes)
        P.Pane->Play();
    for (TPane& P : Panes)
        P.Pane->SetCurrentPosition(0.0);
}

template <class T> T Spread(const std::array<T, 4>& Values) {
    return *std::max_element(Values.begin(), Values.end()) - *std::min_element(Values.begin(), Values.end());
}

} // namespace

int main(int Argc, char** Argv) {
    QApplication App(Argc, Argv);
    if (Argc < 7) {
        std::fprintf(stderr,
                     "usage: quadv_media_bench play|seek|drift|step|snapshot|instep|instep-offset|pause "
                     "CLIP1 CLIP2 CLIP3 CLIP4 ARG\n");
        return 2;
    }
    const std::string Mode = Argv[1];
    const double Arg = std::atof(Argv[6]);
    QWidget Window;
    std::array<TPane, 4> Panes;
    for (int I = 0; I < 4; ++I) {
        auto Engine = std::make_unique<TMpvEngine>();
        Panes[I].Engine = Engine.get();
        Panes[I].Pane = new TWindowsMediaPlayer(std::move(Engine), &Window);
        Panes[I].Pane->setGeometry((I % 2) * 648, (I / 2) * 544, 648, 544);
        Panes[I].Pane->SetURL(QString::fromLocal8Bit(Argv[I + 2]));
    }
    Window.resize(2 * 648, 2 * 544);
    Window.show();
    if (!WaitFor([&] { return AllSettled(Panes); })) {
        std::fprintf(stderr, "quadv_media_bench: the clips did not load\n");
        return 1;
    }
    int Result = 0;
    if (Mode == "play") {
        for (TPane& P : Panes)
            P.Pane->Play();
        Spin(static_cast<int>(Arg * 1000));
    } else if (Mode == "seek") {
        for (TPane& P : Panes)
            P.Pane->Play();
        Spin(500);
        std::mt19937 Random(20150727);
        std::uniform_int_distribution<int> Frame(10, 220);
        for (int Round = 0; Round < static_cast<int>(Arg); ++Round) {
            for (TPane& P : Panes)
                P.Pane->Play();
            Spin(200);
            const int Target = Frame(Random);
            QElapsedTimer Timer;
            Timer.start();
            for (TPane& P : Panes)
                P.Pane->SetCurrentPosition(Target / 25.0);
            if (!WaitFor([&] { return AllSettled(Panes); })) {
                std::printf("seek %d timeout\n", Target);
                Result = 1;
                continue;
            }
            const double Ms = Timer.nsecsElapsed() / 1e6;
            WaitFor([&] {
                for (const TPane& P : Panes)
                    if (P.Engine->RestartFrame() < 0)
                        return false;
                return true;
            });
            std::array<int64_t, 4> Frames{};
            for (int I = 0; I < 4; ++I)
                Frames[I] = Panes[I].Engine->RestartFrame();
            std::printf("seek target=%d ms=%.1f frames=%lld,%lld,%lld,%lld same=%d\n", Target, Ms,
                        static_cast<long long>(Frames[0]), static_cast<long long>(Frames[1]),
                        static_cast<long long>(Frames[2]), static_cast<long long>(Frames[3]),
                        Spread(Frames) == 0 && Frames[0] == Target ? 1 : 0);
            std::fflush(stdout);
        }
    } else if (Mode == "drift") {
        StartTogether(Panes);
        // The clips are 25 fps; the first and the last 2 s are measured.
        constexpr double kFrameMs = 40.0;
        TPhaseTracker Tracker(Panes, kFrameMs);
        Tracker.Follow(1000, false);
        const auto Start = Tracker.Follow(2000, true);
        Tracker.Follow(std::max(0, static_cast<int>(Arg * 1000) - 5000), false);
        const auto End = Tracker.Follow(2000, true);
        std::printf("drift seconds=%.0f start-spread=%.1fms end-spread=%.1fms end-spread-frames=%.2f "
                    "phase-change-ms=%.1f,%.1f,%.1f,%.1f\n",
                    Arg, Spread(Start), Spread(End), Spread(End) / kFrameMs, End[0] - Start[0],
                    End[1] - Start[1], End[2] - Start[2], End[3] - Start[3]);
    } else if (Mode == "step") {
        const int Count = static_cast<int>(Arg);
        constexpr int kStart = 100; // frame 100 of the 25 fps clips, 4 s in
        for (TPane& P : Panes)
            P.Pane->SetCurrentPosition(kStart / 25.0);
        if (!AllShow(Panes, kStart)) {
            std::fprintf(stderr, "quadv_media_bench: the panes did not reach frame %d\n", kStart);
            Result = 1;
        }
        int Forward = 0, Back = 0;
        for (int Step = 1; Step <= Count; ++Step) {
            for (TPane& P : Panes)
                P.Pane->FrameStep();
            Forward += AllShow(Panes, kStart + Step) ? 1 : 0;
        }
        for (int Step = 1; Step <= Count; ++Step) {
            for (TPane& P : Panes)
                P.Pane->FrameBackStep();
            Back += AllShow(Panes, kStart + Count - Step) ? 1 : 0;
        }
        std::printf("frame-step: forward %d/%d back %d/%d\n", Forward, Count, Back, Count);
    } else if (Mode == "snapshot") {
        const QDir Folder(QString::fromLocal8Bit(Argv[6]));
        constexpr int kFrame = 57;
        for (TPane& P : Panes)
            P.Pane->SetCurrentPosition(kFrame / 25.0);
        if (!AllShow(Panes, kFrame)) {
            std::fprintf(stderr, "quadv_media_bench: the panes did not reach frame %d\n", kFrame);
            Result = 1;
        }
        std::array<std::optional<QString>, 4> Errors;
        for (int I = 0; I < 4; ++I)
            Panes[I].Pane->SaveSnapshot(Folder.filePath(QStringLiteral("pane%1.png").arg(I + 1)),
                                        [&Errors, I](const QString& Error) { Errors[I] = Error; });
        WaitFor([&] {
            return std::all_of(Errors.begin(), Errors.end(), [](const auto& E) { return E.has_value(); });
        });
        int Match = 0;
        for (int I = 0; I < 4; ++I) {
            const QImage Saved(Folder.filePath(QStringLiteral("pane%1.png").arg(I + 1)), "PNG");
            const bool Good = Errors[I] && Errors[I]->isEmpty() &&
                              Saved.size() == Panes[I].Engine->VideoSize() &&
                              SampleClipFrame(Saved) == SampleClipFrame(Panes[I].Engine->Frame());
            Match += Good ? 1 : 0;
        }
        std::printf("snapshot: %d/4 match\n", Match);
    } else if (Mode == "instep") {
        TInStepLink Link({Panes[0].Pane, Panes[1].Pane, Panes[2].Pane, Panes[3].Pane});
        Link.SetLinked(true);
        StartTogether(Panes);
        Link.SetSought(0);
        Link.Arm();
        constexpr double kFrameMs = 40.0;
        TPhaseTracker Tracker(Panes, kFrameMs);
        Tracker.Follow(2000, false);
        double Largest = 0.0, Last = 0.0;
        for (int Window = 0; Window < std::max(1, static_cast<int>(Arg) / 2 - 1); ++Window) {
            const auto Phases = Tracker.Follow(2000, true);
            Last = Spread(Phases);
            Largest = std::max(Largest, Last);
            if (std::getenv("QUADV_BENCH_TRACE"))
                std::fprintf(stderr, "window %d phases %.1f %.1f %.1f %.1f spread %.1f ms\n", Window,
                             Phases[0], Phases[1], Phases[2], Phases[3], Last);
        }
        std::printf("in-step: seconds=%.0f end-spread-frames=%.2f max-spread-frames=%.2f\n", Arg,
                    Last / kFrameMs, Largest / kFrameMs);
    } else if (Mode == "instep-offset") {
        // The reference's file began 2 s after the second pane's; the others
        // began in between and earlier, one of them off the frame grid.
        const std::array<double, 4> Offsets = {2.0, 0.0, 0.52, 3.7};
        TInStepLink Link({Panes[0].Pane, Panes[1].Pane, Panes[2].Pane, Panes[3].Pane});
        for (int I = 0; I < 4; ++I)
            Link.SetMap(I, {Offsets[I], 0.0});
        Link.SetLinked(true);
        for (TPane& P : Panes)
            P.Pane->Play();
        for (int I = 0; I < 4; ++I)
            Panes[I].Pane->SetCurrentPosition(Offsets[I]);
        Link.SetSought(0);
        Link.Arm();
        constexpr double kFrameMs = 40.0;
        TPhaseTracker Tracker(Panes, kFrameMs);
        Tracker.Follow(2000, false);
        double Largest = 0.0, Last = 0.0;
        for (int Window = 0; Window < std::max(1, static_cast<int>(Arg) / 2 - 1); ++Window) {
            auto Phases = Tracker.Follow(2000, true);
            // A pane at the moment m shows its file at m + offset: its phase
            // is that much earlier.
            for (int I = 0; I < 4; ++I)
                Phases[I] += Offsets[I] * 1000.0;
            Last = Spread(Phases);
            Largest = std::max(Largest, Last);
            if (std::getenv("QUADV_BENCH_TRACE"))
                std::fprintf(stderr, "window %d moments %.1f %.1f %.1f %.1f spread %.1f ms\n", Window,
                             Phases[0], Phases[1], Phases[2], Phases[3], Last);
        }
        std::printf("in-step-offset: seconds=%.0f end-spread-frames=%.2f max-spread-frames=%.2f\n", Arg,
                    Last / kFrameMs, Largest / kFrameMs);
    } else if (Mode == "pause") {
        const int Count = static_cast<int>(Arg);
        TInStepLink Link({Panes[0].Pane, Panes[1].Pane, Panes[2].Pane, Panes[3].Pane});
        std::mt19937 Random(20261209);
        std::uniform_int_distribution<int> Moment(300, 1500);
        for (const bool Linked : {false, true}) {
            Link.SetLinked(Linked);
            StartTogether(Panes);
            Link.Arm();
            int Same = 0;
            for (int Round = 0; Round < Count; ++Round) {
                Spin(Moment(Random));
                for (TPane& P : Panes)
                    P.Pane->Pause();
                Link.LandPaused(); // as the window does after Play/Pause with Link on
                const std::array<int, 4> Frames = ShownFrames(Panes);
                Same += Frames[0] >= 0 && Spread(Frames) == 0 ? 1 : 0;
                for (TPane& P : Panes)
                    P.Pane->Play();
                Link.Arm();
            }
            for (TPane& P : Panes)
                P.Pane->Pause();
            if (Linked)
                std::printf("pause: same-frame %d/%d\n", Same, Count);
            else
                std::printf("pause (Link off): same-frame %d/%d\n", Same, Count);
            std::fflush(stdout);
        }
    } else {
        std::fprintf(stderr, "quadv_media_bench: unknown mode %s\n", Mode.c_str());
        Result = 2;
    }
    for (TPane& P : Panes)
        delete P.Pane; // the panes before their window
    return Result;
}
