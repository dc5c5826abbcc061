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
//   hd SECONDS [WIDTH HEIGHT]
//                 four panes of WIDTH x HEIGHT (default 648 x 544, a 640 x
//                 480 video area) in a 2 x 2 grid play together for SECONDS:
//                 prints the frames their cores dropped, how far each
//                 pane's position is behind the wall clock at the end, and
//                 how long events posted to the window every 10 ms from
//                 another thread waited before they were handled
//   mpv SECONDS WIDTH HEIGHT
//                 the same with four mpv --vo=x11 processes in windows of
//                 WIDTH x HEIGHT, driven through their IPC sockets: loaded
//                 paused, started together, read at the end and quit
#include "InStepLink.h"
#include "MpvEngine.h"
#include "SampleClips.h"
#include "WindowsMediaPlayer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QImage>
#include <QThread>
#include <QWidget>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

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
        // The length is asked for each time until it is known: a pane may
        // report playing before its duration has come in, and a loop counted
        // as no frames would move its phase by the whole loop.
        if (FFramesPerLoop[I] <= 0)
            FFramesPerLoop[I] = std::llround(FPanes[I].Engine->Duration() * 1000.0 / FFrameMs);
        if (FLast[I] >= 0 && Frame < FLast[I] - FFramesPerLoop[I] / 2) {
            if (FFramesPerLoop[I] <= 0)
                std::fprintf(stderr, "quadv_media_bench: pane %d looped before its duration was known\n", I + 1);
            ++FLoops[I];
        }
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

double SteadyMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double Percentile(std::vector<double> Values, double Fraction) {
    if (Values.empty())
        return 0.0;
    std::sort(Values.begin(), Values.end());
    const size_t Index =
        std::min(Values.size() - 1, static_cast<size_t>(std::ceil(Fraction * Values.size())) - 1);
    return Values[Index];
}

// How long events posted to an object wait before it handles them: a thread
// of its own posts one stamped with its time every 10 ms, so that a busy GUI
// thread cannot delay the posting itself.
class TLatencyProbe : public QObject {
public:
    static inline const QEvent::Type kStamp = static_cast<QEvent::Type>(QEvent::registerEventType());

    explicit TLatencyProbe(QObject* Target) : FTarget(Target) {
        Target->installEventFilter(this);
        FPoster = std::thread([this] {
            while (FRunning) {
                QCoreApplication::postEvent(FTarget, new TStampEvent(SteadyMs()));
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    ~TLatencyProbe() override { Stop(); }
    void Stop() {
        FRunning = false;
        if (FPoster.joinable())
            FPoster.join();
    }
    const std::vector<double>& Waits() const { return FWaits; }

protected:
    bool eventFilter(QObject* Object, QEvent* Event) override {
        if (Object != FTarget || Event->type() != kStamp)
            return false;
        FWaits.push_back(SteadyMs() - static_cast<TStampEvent*>(Event)->Posted);
        return true;
    }

private:
    struct TStampEvent : QEvent {
        explicit TStampEvent(double At) : QEvent(kStamp), Posted(At) {}
        double Posted;
    };
    QObject* FTarget;
    std::atomic<bool> FRunning{true};
    std::thread FPoster;
    std::vector<double> FWaits; // GUI thread only
};

// One line-based exchange with an mpv process over its JSON IPC socket.
class TMpvIpc {
public:
    bool Connect(const std::string& Path) {
        FSocket = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un Address{};
        Address.sun_family = AF_UNIX;
        std::snprintf(Address.sun_path, sizeof Address.sun_path, "%s", Path.c_str());
        if (FSocket >= 0 && ::connect(FSocket, reinterpret_cast<sockaddr*>(&Address), sizeof Address) == 0)
            return true;
        Close();
        return false;
    }
    ~TMpvIpc() { Close(); }
    void Close() {
        if (FSocket >= 0)
            ::close(FSocket);
        FSocket = -1;
    }
    // Sends Command (a JSON array) and returns the reply's data, nullopt on an error reply.
    std::optional<std::string> Ask(const std::string& Command) {
        const int Id = ++FRequest;
        const std::string Line = "{\"command\":" + Command + ",\"request_id\":" + std::to_string(Id) + "}\n";
        if (::write(FSocket, Line.data(), Line.size()) != static_cast<ssize_t>(Line.size()))
            return std::nullopt;
        const std::string Tag = "\"request_id\":" + std::to_string(Id);
        for (;;) {
            const std::optional<std::string> Reply = ReadLine();
            if (!Reply)
                return std::nullopt;
            if (Reply->find(Tag) == std::string::npos)
                continue; // an event
            if (Reply->find("\"error\":\"success\"") == std::string::npos)
                return std::nullopt;
            const size_t Data = Reply->find("\"data\":");
            if (Data == std::string::npos)
                return std::string();
            const size_t From = Data + 7;
            const size_t To = Reply->find_first_of(",}", From);
            return Reply->substr(From, To - From);
        }
    }

private:
    std::optional<std::string> ReadLine() {
        for (;;) {
            if (const size_t End = FBuffer.find('\n'); End != std::string::npos) {
                std::string Line = FBuffer.substr(0, End);
                FBuffer.erase(0, End + 1);
                return Line;
            }
            char Chunk[4096];
            const ssize_t N = ::read(FSocket, Chunk, sizeof Chunk);
            if (N <= 0)
                return std::nullopt;
            FBuffer.append(Chunk, static_cast<size_t>(N));
        }
    }

    int FSocket = -1;
    int FRequest = 0;
    std::string FBuffer;
};

// The hd modes start playing this long after every pane, or every mpv, shows
// its first picture, as a user presses Play once the pictures are there. In
// the first half second after their files opened, four HD decoders still
// compete to fill their queues, and a pane started then drops a frame or
// two at once, on either side.
constexpr int kHdStartDelayMs = 500;

// Four mpv processes as the baseline of the hd modes, each in a window of
// Width x Height in a 2 x 2 grid. Returns the process's exit code.
int RunMpvBaseline(char** Clips, double Seconds, int Width, int Height) {
    char Folder[] = "/tmp/quadv-bench-XXXXXX";
    if (!::mkdtemp(Folder)) {
        std::perror("quadv_media_bench: mkdtemp");
        return 1;
    }
    std::array<pid_t, 4> Children{};
    std::array<std::string, 4> Sockets;
    for (int I = 0; I < 4; ++I) {
        Sockets[I] = std::string(Folder) + "/mpv" + std::to_string(I);
        const std::string Ipc = "--input-ipc-server=" + Sockets[I];
        const std::string Geometry = "--geometry=" + std::to_string(Width) + "x" + std::to_string(Height) +
                                     "+" + std::to_string(I % 2 * Width) + "+" +
                                     std::to_string(I / 2 * Height);
        Children[I] = ::fork();
        if (Children[I] == 0) {
            ::execlp("mpv", "mpv", "--no-config", "--really-quiet", "--vo=x11", "--ao=null", "--no-border",
                     "--pause", "--keep-open=yes", Geometry.c_str(), Ipc.c_str(), Clips[I],
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    std::array<TMpvIpc, 4> Ipc;
    int Result = 0;
    const auto Limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (int I = 0; I < 4 && Result == 0; ++I) {
        // Connected, and the first picture decoded: the position is known.
        while (!(Ipc[I].Connect(Sockets[I]) && Ipc[I].Ask("[\"get_property\",\"time-pos\"]"))) {
            Ipc[I].Close();
            if (std::chrono::steady_clock::now() > Limit) {
                std::fprintf(stderr, "quadv_media_bench: mpv %d did not open its file\n", I + 1);
                Result = 1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    if (Result == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kHdStartDelayMs));
        for (TMpvIpc& Process : Ipc)
            Process.Ask("[\"set_property\",\"pause\",false]");
        const double Start = SteadyMs();
        std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(Seconds * 1000)));
        long long Dropped = 0;
        double WorstLag = 0.0;
        std::string Lags;
        for (TMpvIpc& Process : Ipc) {
            const double Now = SteadyMs();
            const std::optional<std::string> Position = Process.Ask("[\"get_property\",\"time-pos\"]");
            const std::optional<std::string> Drops = Process.Ask("[\"get_property\",\"frame-drop-count\"]");
            const double Lag = (Now - Start) - (Position ? std::atof(Position->c_str()) * 1000.0 : 0.0);
            Dropped += Drops ? std::atoll(Drops->c_str()) : 0;
            WorstLag = std::max(WorstLag, Lag);
            Lags += (Lags.empty() ? "" : ",") + std::to_string(std::lround(Lag));
        }
        std::printf("mpv dropped=%lld worst-lag-ms=%.0f lag-ms=%s\n", Dropped, WorstLag, Lags.c_str());
    }
    for (int I = 0; I < 4; ++I) {
        if (!Ipc[I].Ask("[\"quit\"]"))
            ::kill(Children[I], SIGTERM);
    }
    for (pid_t Child : Children) {
        int Status = 0;
        ::waitpid(Child, &Status, 0);
    }
    for (const std::string& Socket : Sockets)
        ::unlink(Socket.c_str());
    ::rmdir(Folder);
    return Result;
}
// Four linked panes started together, each Offsets[I] into its file, kept
// in step for Seconds: prints the spread of the moments they show over the
// last 2 s and the largest over any 2 s after the first, in frames.
void MeasureInStep(std::array<TPane, 4>& Panes, double Seconds, const char* Name,
                   const std::array<double, 4>& Offsets) {
    TInStepLink Link({Panes[0].Pane, Panes[1].Pane, Panes[2].Pane, Panes[3].Pane});
    for (int I = 0; I < 4; ++I)
        Link.SetMap(I, {Offsets[I], 0.0});
    Link.SetLinked(true);
    // One linked seek, as the window makes it: the panes restart together.
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
    for (int Window = 0; Window < std::max(1, static_cast<int>(Seconds) / 2 - 1); ++Window) {
        auto Phases = Tracker.Follow(2000, true);
        // A pane at the moment m shows its file at m + offset: its phase is
        // that much earlier.
        for (int I = 0; I < 4; ++I)
            Phases[I] += Offsets[I] * 1000.0;
        Last = Spread(Phases);
        Largest = std::max(Largest, Last);
        if (std::getenv("QUADV_BENCH_TRACE"))
            std::fprintf(stderr, "window %d moments %.1f %.1f %.1f %.1f spread %.1f ms\n", Window, Phases[0],
                         Phases[1], Phases[2], Phases[3], Last);
    }
    std::printf("%s: seconds=%.0f end-spread-frames=%.2f max-spread-frames=%.2f\n", Name, Seconds,
                Last / kFrameMs, Largest / kFrameMs);
}

} // namespace

int main(int Argc, char** Argv) {
    if (Argc < 7) {
        std::fprintf(
            stderr,
            "usage: quadv_media_bench play|seek|drift|step|snapshot|instep|instep-offset|pause|hd|mpv "
            "CLIP1 CLIP2 CLIP3 CLIP4 ARG [WIDTH HEIGHT]\n");
        return 2;
    }
    const std::string Mode = Argv[1];
    const double Arg = std::atof(Argv[6]);
    // The panes' outer size; the default gives a 640 x 480 video area.
    const int PaneWidth = Argc >= 9 ? std::atoi(Argv[7]) : 648;
    const int PaneHeight = Argc >= 9 ? std::atoi(Argv[8]) : 544;
    if (Mode == "mpv")
        return RunMpvBaseline(Argv + 2, Arg, PaneWidth, PaneHeight);
    QApplication App(Argc, Argv);
    QWidget Window;
    std::array<TPane, 4> Panes;
    for (int I = 0; I < 4; ++I) {
        auto Engine = std::make_unique<TMpvEngine>();
        Panes[I].Engine = Engine.get();
        Panes[I].Pane = new TWindowsMediaPlayer(std::move(Engine), &Window);
        Panes[I].Pane->setGeometry((I % 2) * PaneWidth, (I / 2) * PaneHeight, PaneWidth, PaneHeight);
        Panes[I].Pane->SetURL(QString::fromLocal8Bit(Argv[I + 2]));
    }
    Window.resize(2 * PaneWidth, 2 * PaneHeight);
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
        for (TPane& P : Panes)
            P.Pane->SetPlayCount(999);
        MeasureInStep(Panes, Arg, "in-step", {});
    } else if (Mode == "instep-offset") {
        // The reference's file began 2 s after the second pane's; the others
        // began in between and earlier, one of them off the frame grid.
        MeasureInStep(Panes, Arg, "in-step-offset", {2.0, 0.0, 0.52, 3.7});
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
                if (std::getenv("QUADV_BENCH_TRACE"))
                    std::fprintf(
                        stderr,
                        "pause %s round %d reference %d frames %d %d %d %d positions %.3f %.3f %.3f %.3f\n",
                        Linked ? "linked" : "unlinked", Round, Link.Reference(), Frames[0], Frames[1],
                        Frames[2], Frames[3], Panes[0].Pane->GetCurrentPosition(),
                        Panes[1].Pane->GetCurrentPosition(), Panes[2].Pane->GetCurrentPosition(),
                        Panes[3].Pane->GetCurrentPosition());
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
    } else if (Mode == "hd") {
        WaitFor([&] {
            return std::all_of(Panes.begin(), Panes.end(), [](const TPane& P) { return !P.Engine->Frame().isNull(); });
        });
        Spin(kHdStartDelayMs);
        TLatencyProbe Probe(&Window);
        for (TPane& P : Panes)
            P.Pane->Play();
        const double Start = SteadyMs();
        Spin(static_cast<int>(Arg * 1000));
        const double End = SteadyMs();
        Probe.Stop();
        long long Dropped = 0;
        double WorstLag = 0.0;
        std::string Lags;
        for (const TPane& P : Panes) {
            const double Lag = (End - Start) - P.Pane->GetCurrentPosition() * 1000.0;
            Dropped += P.Engine->DroppedFrames();
            WorstLag = std::max(WorstLag, Lag);
            Lags += (Lags.empty() ? "" : ",") + std::to_string(std::lround(Lag));
        }
        std::printf("panes dropped=%lld worst-lag-ms=%.0f lag-ms=%s latency-p50-ms=%.1f latency-p99-ms=%.1f "
                    "events=%zu\n",
                    Dropped, WorstLag, Lags.c_str(), Percentile(Probe.Waits(), 0.5),
                    Percentile(Probe.Waits(), 0.99), Probe.Waits().size());
    } else {
        std::fprintf(stderr, "quadv_media_bench: unknown mode %s\n", Mode.c_str());
        Result = 2;
    }
    for (TPane& P : Panes)
        delete P.Pane; // the panes before their window
    return Result;
}
