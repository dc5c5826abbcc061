// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "MpvEngine.h"

#include "MpvRenderer.h"
#include "MpvSyncGroup.h"
#include "QuadvError.h"

#include <mpv/client.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <thread>

namespace {

// mpv's names, in one place.
namespace mpvname {
constexpr char kTimePos[] = "time-pos";
constexpr char kDuration[] = "duration";
constexpr char kEofReached[] = "eof-reached";
constexpr char kPausedForCache[] = "paused-for-cache";
constexpr char kFrameNumber[] = "estimated-frame-number";
constexpr char kDroppedFrames[] = "frame-drop-count"; // frames the video output dropped for being late
constexpr char kAudioPts[] = "audio-pts"; // the sound's position, finer than a frame; the picture follows it
constexpr char kVideoWidth[] = "dwidth";  // the display size, aspect applied
constexpr char kVideoHeight[] = "dheight";
constexpr char kPause[] = "pause";
constexpr char kVolume[] = "volume";
constexpr char kMute[] = "mute";
constexpr char kSpeed[] = "speed";
constexpr char kPitchCorrection[] = "audio-pitch-correction";
constexpr char kLoopFile[] = "loop-file";
constexpr char kAudioFilters[] = "af";
constexpr char kAudioOutput[] = "ao";
constexpr char kDecoderThreads[] = "vd-lavc-threads";
constexpr char kScaler[] = "zimg-scaler"; // the software renderer's scaler of the picture
constexpr char kShrinkingScaler[] = "bilinear";
constexpr char kLoadFile[] = "loadfile";
constexpr char kStop[] = "stop";
constexpr char kSeek[] = "seek";
constexpr char kSeekExact[] = "absolute+exact";
// The balance is a labelled filter that stays in the chain for the whole
// file. Replacing the chain at each step of a drag broke the sound, so a
// playing file gets the new value through af-command. At every seek and
// loop mpv resets its filters to the values they were made with from the af
// option, so the option is rewritten too, which rebuilds them, where that
// cannot be heard: while paused (a seek pauses first), and just after a
// loop, which breaks the sound anyway.
constexpr char kAfCommand[] = "af-command";
constexpr char kBalanceLabel[] = "bal";
constexpr char kBalanceOption[] = "balance_out";
constexpr char kBalanceFilter[] = "@bal:stereotools=balance_out=";
constexpr char kPlaylistEntryId[] = "playlist_entry_id"; // in loadfile's result
constexpr char kFrameStep[] = "frame-step";
constexpr char kFrameBackStep[] = "frame-back-step";
constexpr char kScreenshotToFile[] = "screenshot-to-file";
constexpr char kScreenshotVideo[] = "video"; // the video at its own size, nothing drawn over it
} // namespace mpvname

// Every pane's core starts with these: no autostart, exact seeks, nothing of
// mpv's own user interface, and never SDL audio (it hung in shutdown and
// installs signal handlers of its own).
constexpr std::pair<const char*, const char*> kCoreOptions[] = {
    {"vo", "libmpv"},
    {"idle", "yes"},
    {"keep-open", "yes"},
    {"pause", "yes"},
    {"hr-seek", "yes"},
    // framedrop keeps mpv's default, the video output's drops only. With the
    // decoder skipping late frames as well, four 1080p files at 30 to 45
    // Mbit/s fell 1.1 to 1.2 s behind their sound in 15 s rather than 4.2 to
    // 4.6 s, but unlinked panes that loop drifted up to 2 frames apart in a
    // minute, against at most half of one.
    // video-timing-offset keeps mpv's default: each pane renders on a thread
    // of its own, where waiting for a picture's time holds nothing up. At 0,
    // one pane in three came back from a linked loop a frame late, and took
    // seconds of speed trims to catch up.
    {mpvname::kAudioOutput, "pipewire,pulse,alsa"},
    {"audio-fallback-to-null", "yes"},
    {"input-default-bindings", "no"},
    {"input-vo-keyboard", "no"},
    {"input-cursor", "no"},
    {"osc", "no"},
    {"load-scripts", "no"},
    {"ytdl", "no"},
    {"load-stats-overlay", "no"},
    {"load-osd-console", "no"},
    {"load-auto-profiles", "no"},
    {"terminal", "no"},
    {"config", "no"},
};

// Reply ids. The observed properties use their index in kObserved; the
// frame-number request made at a seek's restart has its own; a loadfile
// carries kLoadReplyTag plus the load's serial number.
constexpr uint64_t kRestartFrameReply = 1000;
constexpr uint64_t kStepFromReply = 1001; // the position a forward frame step starts from
constexpr uint64_t kStepBackReply = 1002; // the position a step back reached
constexpr uint64_t kLoadReplyTag = uint64_t{1} << 32;
constexpr uint64_t kSnapshotReplyTag = uint64_t{2} << 32;
constexpr uint64_t kClockReplyTag = uint64_t{3} << 32;
constexpr uint64_t kReplySerialMask = (uint64_t{1} << 32) - 1;

constexpr double kMinSpeed = 0.01; // mpv refuses lower speeds
constexpr double kMaxSpeed = 100.0;
// Speeds this close to normal are played by resampling the sound, which
// shifts its pitch by as much but changes smoothly. mpv's tempo filter,
// which keeps the pitch, breaks the sound each time it comes in or goes out
// and at changes of its speed; it serves the rates a user picks.
constexpr double kResampledSpeeds = 0.02;
// A seek mpv never completes (it cannot seek in a pipe, and only logs that)
// is given up after the same time, so that the position and the end of
// playback are followed again.
constexpr int kSeekPatienceMs = kSyncGroupPatienceMs;
// A frame step that never shows a frame (at the end of the file, or in a
// file without video) is over after this.
constexpr int kStepPatienceMs = kSyncGroupPatienceMs;
constexpr size_t kMaxBackTrail = 100000; // frames that steps back retrace exactly
// A play-through held at its end for a window's seek starts the next one
// itself after this, should the seek never come.
constexpr int kEndHoldPatienceMs = 1500;

double SteadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string LoopFileValue(int PlayCount) {
    return PlayCount <= 1 ? std::string("no") : std::to_string(PlayCount - 1);
}

std::string BalanceValue(int Balance) {
    char Value[32];
    std::snprintf(Value, sizeof Value, "%.2f", Balance / 100.0);
    return Value;
}

std::string BalanceFilter(int Balance) {
    return mpvname::kBalanceFilter + BalanceValue(Balance);
}

} // namespace

class TMpvEngine::TImpl : public TSyncMember {
public:
    explicit TImpl(const TMpvEngineOptions& Options);
    ~TImpl();

    // Called from any mpv thread; only queues a call to the GUI thread.
    static void OnWakeup(void* Self);

    void DrainEvents();
    void HandleEvent(const mpv_event& Event);

    // Observed properties, dispatched from kObserved by the event's reply id.
    void OnTimePos(const mpv_event_property& Property);
    void OnDuration(const mpv_event_property& Property);
    void OnEofReached(const mpv_event_property& Property);
    void OnPausedForCache(const mpv_event_property& Property);
    void OnFrameNumber(const mpv_event_property& Property);
    void OnDroppedFrames(const mpv_event_property& Property);
    void OnVideoWidth(const mpv_event_property& Property);
    void OnVideoHeight(const mpv_event_property& Property);
    void SetVideoSize(QSize Size);

    void OnLoadReply(const mpv_event& Event);
    void OnFileLoaded();
    void OnEndFile(const mpv_event_end_file& End);
    void OnPlaybackRestart();
    void ChooseScaler();
    void FirstFrameDone();
    void SeekDone(); // the seek restarted, or was given up
    void OnSnapshotReply(const mpv_event& Event);
    // Sends the next waiting frame step once nothing else is under way.
    void NextStep();
    // Moved: the step showed another frame.
    void StepDone(bool Moved = false);
    void ClearSteps();
    // Once something else moves the pane, the steps waiting and the frames
    // they left are of no use; a step under way still ends as usual.
    void ForgetSteps();

    void RequireCore() const;
    void SetProperty(const char* Name, const std::string& Value);
    void SetFlag(const char* Name, bool Value);
    void SetDouble(const char* Name, double Value);
    void Command(std::initializer_list<const char*> Arguments, uint64_t Reply = 0);
    void SendSeek(double Seconds);
    // Writes the balance into mpv's af option, which rebuilds the filters.
    void SyncBalance();
    // mpv's pause follows the pane's intent, the rate and the sync group.
    // Force: send it even if it was sent before (mpv may have changed it).
    void ApplyPause(bool Force = false);
    // Asks for one of the observed properties; the reply comes like a change.
    void RequestObserved(const char* Name);
    void MovePosition(double Seconds, TPositionCause Cause);
    void NotifyStatus();
    void ResetForLoad();
    // A play-through ended while playing: the next one, a wait for it, or the stop after the last.
    void EndPlayThrough();
    void FinishPlayThrough();
    // The play-throughs are counted afresh; mpv is told how many loops follow.
    void CountAfresh();
    std::string LoopValue() const { return FHoldLoops ? std::string("no") : LoopFileValue(FPlayCount); }

    // TSyncMember
    bool SyncSeeking() const override { return FSeeking; }
    void SyncReleased() override { ApplyPause(); }

    mpv_handle* FMpv = nullptr;
    std::unique_ptr<TMpvRenderer> FRenderer;
    QObject FReceiver;                     // queued calls land here, on the GUI thread
    std::atomic<bool> FDrainQueued{false}; // one queued drain at a time
    std::atomic<double> FWokenAt{-1.0};    // when mpv woke the queued drain, on the steady clock
    double FDrainFrom = -1.0;              // that time, for the events of the drain under way
    double FPositionTime = -1.0;           // when mpv told the latest playback position
    TPlaybackClock FClock;                 // the latest reading of the sound's position
    double FClockAsked = -1.0;             // when the reading under way was asked for, -1 when none is
    uint64_t FClockSerial = 0;             // moves on at each seek, so that a reading from before is dropped
    std::string FCoreError;                // why the core could not start, "" when it runs
    TMediaEngineObserver* FObserver = nullptr;

    enum class TPhase { NoMedia, Opening, Loaded, Failed };
    TPhase FPhase = TPhase::NoMedia;
    QString FUrl;
    QString FFailureReason;
    // mpv may fold loads given together and start only the last of them, so
    // its file events are matched to the current load by playlist entry.
    uint64_t FLoadReply = 0;   // reply id of the current load's loadfile, 0 when there is none
    int64_t FLoadEntry = 0;    // the current load's playlist entry, 0 until its reply
    int64_t FStartedEntry = 0; // the entry of the latest START_FILE
    int64_t FLoadedEntry = 0;  // the entry whose FILE_LOADED came last
    uint64_t FLoadSerial = 0;
    bool FWantPlay = false; // the pane's play intent, apart from mpv's pause
    bool FStarted = false;  // played or paused since the load: Paused rather than Ready
    bool FStopped = false;  // our own stop (mpv's stop would unload)
    bool FEof = false;      // mpv sits paused at the end
    // Held loops: mpv does not loop; a play-through with more to come waits
    // on its last frame for a seek, which starts the next one.
    bool FHoldLoops = false;
    int FPlaysLeft = 1;      // with held loops, the play-throughs left, this one included
    bool FAtEnd = false;     // waiting at the end for the seek that starts the next
    uint64_t FEndSerial = 0; // counts the waits; a late patience timer finds it moved on
    bool FBuffering = false;
    // The file is open but its first frames are still being decoded. Play
    // waits for them: four HD files started meanwhile spent their first
    // fifth of a second catching up, dropping frames.
    bool FFirstFrameDue = false;
    bool FSeeking = false;               // a seek was sent and its restart has not come
    uint64_t FSeekSerial = 0;            // counts the seeks sent; a late patience timer finds it moved on
    std::optional<double> FPendingSeek;  // a seek before the file was open
    std::deque<TFrameStep> FSteps;       // frame steps waiting to be sent
    std::optional<TFrameStep> FStepping; // the step sent, until its frame shows
    // A forward step is over when mpv plays past the position it paused at,
    // which is asked for just before the step, or reaches the end.
    std::optional<double> FStepFrom;
    // The frames that forward steps left, latest last, while nothing else
    // has moved the pane. A step back goes to the latest by an exact seek:
    // mpv's own step back starts from the position of the sound, which at
    // the end lies past the last frame, so it would find that frame again.
    std::vector<double> FBackTrail;
    uint64_t FStepSerial = 0;
    std::map<uint64_t, TSnapshotDone> FSnapshots; // by reply serial
    uint64_t FSnapshotSerial = 0;
    double FPosition = 0.0;
    double FDuration = 0.0;
    int64_t FFrameNumber = -1;
    int64_t FDroppedFrames = 0;
    int64_t FRestartFrame = -1; // the frame the last seek restarted at, -1 until known
    bool FMute = false;
    int FBalance = 0;
    bool FBalanceInOption = true; // mpv's af option holds FBalance, not only its running filter
    double FRate = 1.0;
    bool FKeepPitch = true; // mpv's pitch correction, on by default
    int FPlayCount = 1;
    bool FPauseSent = true; // the last pause value given to mpv

    QSize FVideoSize; // empty while unknown
    QSize FViewSize;  // the size pictures are drawn at
    // A picture drawn smaller than the video is scaled with a bilinear
    // filter, widened to the scale as every scaler here is, which shrinks
    // without aliasing. It cost a tenth less CPU than mpv's default, a
    // Lanczos filter, for four 1080p files in 640x480 panes. An enlarged
    // picture keeps the default, which is sharper there.
    std::string FDefaultScaler; // mpv's, read at start
    bool FShrinking = false;
};

namespace {

struct TObservedProperty {
    const char* Name;
    mpv_format Format;
    void (TMpvEngine::TImpl::*Handler)(const mpv_event_property&);
};

const TObservedProperty kObserved[] = {
    {mpvname::kTimePos, MPV_FORMAT_DOUBLE, &TMpvEngine::TImpl::OnTimePos},
    {mpvname::kDuration, MPV_FORMAT_DOUBLE, &TMpvEngine::TImpl::OnDuration},
    {mpvname::kEofReached, MPV_FORMAT_FLAG, &TMpvEngine::TImpl::OnEofReached},
    {mpvname::kPausedForCache, MPV_FORMAT_FLAG, &TMpvEngine::TImpl::OnPausedForCache},
    {mpvname::kFrameNumber, MPV_FORMAT_INT64, &TMpvEngine::TImpl::OnFrameNumber},
    {mpvname::kDroppedFrames, MPV_FORMAT_INT64, &TMpvEngine::TImpl::OnDroppedFrames},
    {mpvname::kVideoWidth, MPV_FORMAT_INT64, &TMpvEngine::TImpl::OnVideoWidth},
    {mpvname::kVideoHeight, MPV_FORMAT_INT64, &TMpvEngine::TImpl::OnVideoHeight},
};

} // namespace

TMpvEngine::TImpl::TImpl(const TMpvEngineOptions& Options) {
    // mpv parses numbers with the C locale, whatever Qt set from the environment.
    std::setlocale(LC_NUMERIC, "C");
    FMpv = mpv_create();
    if (!FMpv) {
        FCoreError = "the media engine could not be created";
        return;
    }
    for (const auto& [Name, Value] : kCoreOptions)
        mpv_set_option_string(FMpv, Name, Value);
    // FFmpeg's default of a thread per core and one more, up to 16, per
    // pane, gives four panes more decoders than cores to run them on.
    const std::string DecoderThreads = std::to_string(std::max(1u, std::thread::hardware_concurrency()));
    mpv_set_option_string(FMpv, mpvname::kDecoderThreads, DecoderThreads.c_str());
    if (const char* Ao = std::getenv("QUADV_MPV_AO"); Ao && *Ao)
        mpv_set_option_string(FMpv, mpvname::kAudioOutput, Ao);
    for (const auto& [Name, Value] : Options.Extra) {
        if (int Error = mpv_set_option_string(FMpv, Name.c_str(), Value.c_str()); Error < 0) {
            FCoreError = "media engine option " + Name + "=" + Value + ": " + mpv_error_string(Error);
            break;
        }
    }
    if (FCoreError.empty()) {
        if (int Error = mpv_initialize(FMpv); Error < 0)
            FCoreError = std::string("the media engine could not start: ") + mpv_error_string(Error);
    }
    if (FCoreError.empty()) {
        if (char* Scaler = mpv_get_property_string(FMpv, mpvname::kScaler)) {
            FDefaultScaler = Scaler;
            mpv_free(Scaler);
        }
    }
    if (FCoreError.empty()) {
        FRenderer = std::make_unique<TMpvRenderer>(FMpv);
        FCoreError = FRenderer->Error();
    }
    if (!FCoreError.empty()) {
        FRenderer.reset();
        mpv_terminate_destroy(FMpv);
        FMpv = nullptr;
        return;
    }
    for (size_t Index = 0; Index < std::size(kObserved); ++Index)
        mpv_observe_property(FMpv, Index, kObserved[Index].Name, kObserved[Index].Format);
    FRenderer->SetOnFrame([this] {
        if (FObserver)
            FObserver->EngineFrameReady();
    });
    mpv_set_wakeup_callback(FMpv, &TImpl::OnWakeup, this);
}

TMpvEngine::TImpl::~TImpl() {
    LeaveSyncGroup();
    FRenderer.reset(); // the render context goes before its core
    if (FMpv) {
        mpv_set_wakeup_callback(FMpv, nullptr, nullptr);
        mpv_terminate_destroy(FMpv);
    }
}

void TMpvEngine::TImpl::OnWakeup(void* Self) {
    auto* Engine = static_cast<TImpl*>(Self);
    if (!Engine->FDrainQueued.load()) // the first wakeup of a drain is when its events came
        Engine->FWokenAt = SteadySeconds();
    if (!Engine->FDrainQueued.exchange(true))
        QMetaObject::invokeMethod(
            &Engine->FReceiver, [Engine] { Engine->DrainEvents(); }, Qt::QueuedConnection);
}

void TMpvEngine::TImpl::DrainEvents() {
    FDrainFrom = FWokenAt;
    FDrainQueued = false;
    while (FMpv) {
        const mpv_event* Event = mpv_wait_event(FMpv, 0);
        if (Event->event_id == MPV_EVENT_NONE)
            break;
        HandleEvent(*Event);
    }
}

void TMpvEngine::TImpl::HandleEvent(const mpv_event& Event) {
    switch (Event.event_id) {
    case MPV_EVENT_GET_PROPERTY_REPLY:
        if (Event.reply_userdata == kStepFromReply) {
            const auto& Property = *static_cast<const mpv_event_property*>(Event.data);
            if (FStepping == TFrameStep::Forward)
                FStepFrom =
                    Property.format == MPV_FORMAT_DOUBLE ? *static_cast<const double*>(Property.data) : -1.0;
            break;
        }
        if (Event.reply_userdata == kStepBackReply) {
            const auto& Property = *static_cast<const mpv_event_property*>(Event.data);
            if (FStepping == TFrameStep::Back && Property.format == MPV_FORMAT_DOUBLE)
                MovePosition(*static_cast<const double*>(Property.data), TPositionCause::Playback);
            if (FStepping == TFrameStep::Back)
                StepDone();
            break;
        }
        if ((Event.reply_userdata & ~kReplySerialMask) == kClockReplyTag) {
            const auto& Property = *static_cast<const mpv_event_property*>(Event.data);
            // mpv answers at once; the moment it was asked is when the reading holds.
            if ((Event.reply_userdata & kReplySerialMask) == (FClockSerial & kReplySerialMask) &&
                Event.error >= 0 && Property.format == MPV_FORMAT_DOUBLE && FClockAsked >= 0.0)
                FClock = {FClockAsked, *static_cast<const double*>(Property.data)};
            FClockAsked = -1.0;
            break;
        }
        if (Event.reply_userdata == kRestartFrameReply) {
            const auto& Property = *static_cast<const mpv_event_property*>(Event.data);
            FRestartFrame =
                Property.format == MPV_FORMAT_INT64 ? *static_cast<const int64_t*>(Property.data) : -1;
            break;
        }
        [[fallthrough]];
    case MPV_EVENT_PROPERTY_CHANGE:
        if (Event.reply_userdata < std::size(kObserved)) {
            const auto& Property = *static_cast<const mpv_event_property*>(Event.data);
            (this->*kObserved[Event.reply_userdata].Handler)(Property);
        }
        break;
    case MPV_EVENT_COMMAND_REPLY:
        if (Event.reply_userdata != 0 && Event.reply_userdata == FLoadReply)
            OnLoadReply(Event);
        else if ((Event.reply_userdata & ~kReplySerialMask) == kSnapshotReplyTag)
            OnSnapshotReply(Event);
        break;
    case MPV_EVENT_START_FILE:
        FStartedEntry = static_cast<const mpv_event_start_file*>(Event.data)->playlist_entry_id;
        break;
    case MPV_EVENT_FILE_LOADED:
        FLoadedEntry = FStartedEntry;
        if (FLoadEntry != 0 && FLoadedEntry == FLoadEntry)
            OnFileLoaded();
        break;
    case MPV_EVENT_END_FILE: {
        const auto& End = *static_cast<const mpv_event_end_file*>(Event.data);
        if (FLoadEntry != 0 && End.playlist_entry_id == FLoadEntry)
            OnEndFile(End);
        break;
    }
    case MPV_EVENT_PLAYBACK_RESTART:
        OnPlaybackRestart();
        break;
    default:
        break;
    }
}

void TMpvEngine::TImpl::OnTimePos(const mpv_event_property& Property) {
    if (Property.format != MPV_FORMAT_DOUBLE || FSeeking || FPhase != TPhase::Loaded)
        return;
    const double Position = *static_cast<const double*>(Property.data);
    // Timed by mpv's wakeup: the GUI thread may reach the event much later.
    FPositionTime = FDrainFrom;
    MovePosition(Position, TPositionCause::Playback);
    if (FStepping == TFrameStep::Forward && FStepFrom && Position > *FStepFrom)
        StepDone(true);
}

void TMpvEngine::TImpl::OnDuration(const mpv_event_property& Property) {
    const double Duration =
        Property.format == MPV_FORMAT_DOUBLE ? *static_cast<const double*>(Property.data) : 0.0;
    if (Duration == FDuration)
        return;
    FDuration = Duration;
    if (FObserver)
        FObserver->EngineDurationChanged(Duration);
}

void TMpvEngine::TImpl::OnEofReached(const mpv_event_property& Property) {
    FEof = Property.format == MPV_FORMAT_FLAG && *static_cast<const int*>(Property.data);
    if (FEof && FStepping == TFrameStep::Forward)
        StepDone(true); // onto the last frame
    if (FEof && FWantPlay && FPhase == TPhase::Loaded && !FSeeking)
        EndPlayThrough();
}

void TMpvEngine::TImpl::OnPausedForCache(const mpv_event_property& Property) {
    const bool Buffering = Property.format == MPV_FORMAT_FLAG && *static_cast<const int*>(Property.data);
    if (Buffering == FBuffering)
        return;
    FBuffering = Buffering;
    NotifyStatus();
}

void TMpvEngine::TImpl::OnFrameNumber(const mpv_event_property& Property) {
    FFrameNumber = Property.format == MPV_FORMAT_INT64 ? *static_cast<const int64_t*>(Property.data) : -1;
}

void TMpvEngine::TImpl::OnDroppedFrames(const mpv_event_property& Property) {
    if (Property.format == MPV_FORMAT_INT64)
        FDroppedFrames = *static_cast<const int64_t*>(Property.data);
}

void TMpvEngine::TImpl::OnLoadReply(const mpv_event& Event) {
    FLoadReply = 0;
    if (Event.error < 0) {
        if (FPhase == TPhase::Opening) {
            mpv_event_end_file Failed{};
            Failed.reason = MPV_END_FILE_REASON_ERROR;
            Failed.error = Event.error;
            OnEndFile(Failed);
        }
        return;
    }
    const mpv_node& Result = static_cast<const mpv_event_command*>(Event.data)->result;
    if (Result.format == MPV_FORMAT_NODE_MAP)
        for (int I = 0; I < Result.u.list->num; ++I)
            if (std::strcmp(Result.u.list->keys[I], mpvname::kPlaylistEntryId) == 0 &&
                Result.u.list->values[I].format == MPV_FORMAT_INT64)
                FLoadEntry = Result.u.list->values[I].u.int64;
    // The file may have opened before the reply was read.
    if (FLoadEntry != 0 && FLoadedEntry == FLoadEntry)
        OnFileLoaded();
}

// mpv has no size to tell for a moment during seeks and at the end of the
// file; the file keeps the size it had until the next load.
void TMpvEngine::TImpl::OnVideoWidth(const mpv_event_property& Property) {
    if (Property.format == MPV_FORMAT_INT64 && *static_cast<const int64_t*>(Property.data) > 0)
        SetVideoSize(
            QSize(static_cast<int>(*static_cast<const int64_t*>(Property.data)), FVideoSize.height()));
}

void TMpvEngine::TImpl::OnVideoHeight(const mpv_event_property& Property) {
    if (Property.format == MPV_FORMAT_INT64 && *static_cast<const int64_t*>(Property.data) > 0)
        SetVideoSize(
            QSize(FVideoSize.width(), static_cast<int>(*static_cast<const int64_t*>(Property.data))));
}

void TMpvEngine::TImpl::ChooseScaler() {
    const bool Shrinking = !FVideoSize.isEmpty() && !FViewSize.isEmpty() &&
                           FViewSize.width() < FVideoSize.width() && FViewSize.height() < FVideoSize.height();
    if (Shrinking == FShrinking || FDefaultScaler.empty())
        return;
    FShrinking = Shrinking;
    SetProperty(mpvname::kScaler, Shrinking ? mpvname::kShrinkingScaler : FDefaultScaler);
}

void TMpvEngine::TImpl::SetVideoSize(QSize Size) {
    if (Size == FVideoSize)
        return;
    FVideoSize = Size;
    ChooseScaler();
    if (FObserver)
        FObserver->EngineVideoSizeChanged();
}

void TMpvEngine::TImpl::OnFileLoaded() {
    if (FPhase != TPhase::Opening)
        return;
    FPhase = TPhase::Loaded;
    FFirstFrameDue = true;
    // A file whose playback never restarts still plays, after the wait a seek gets.
    QTimer::singleShot(kSeekPatienceMs, &FReceiver, [this, Serial = FLoadSerial] {
        if (Serial == FLoadSerial && FFirstFrameDue)
            FirstFrameDone();
    });
    if (FPendingSeek) {
        const double Target = *FPendingSeek;
        FPendingSeek.reset();
        SendSeek(Target);
    }
    ApplyPause();
    NextStep();
    NotifyStatus();
}

void TMpvEngine::TImpl::OnEndFile(const mpv_event_end_file& End) {
    if (End.reason != MPV_END_FILE_REASON_ERROR || FPhase == TPhase::NoMedia)
        return;
    FPhase = TPhase::Failed;
    FFailureReason = QString::fromUtf8(mpv_error_string(End.error));
    FWantPlay = false;
    FSeeking = false;
    FPendingSeek.reset();
    ClearSteps();
    LeaveSyncGroup();
    NotifyStatus();
}

void TMpvEngine::TImpl::FirstFrameDone() {
    FFirstFrameDue = false;
    ApplyPause();
}

void TMpvEngine::TImpl::OnPlaybackRestart() {
    // mpv does not renew its frame estimate after a seek while paused, so ask.
    RequestObserved(mpvname::kFrameNumber);
    if (FFirstFrameDue)
        FirstFrameDone();
    if (FStepping == TFrameStep::Back) {
        // A step back is a seek, mpv's or ours; its position comes with the answer.
        FSeeking = false;
        if (FMpv)
            mpv_get_property_async(FMpv, kStepBackReply, mpvname::kTimePos, MPV_FORMAT_DOUBLE);
        return;
    }
    if (!FSeeking) {
        // A loop or another restart of mpv's own, which reset the balance
        // filter to the value it was made with.
        SyncBalance();
        return;
    }
    SeekDone();
}

void TMpvEngine::TImpl::NextStep() {
    if (FStepping || FSeeking || FPhase != TPhase::Loaded || FSteps.empty() || !FMpv)
        return;
    FStepping = FSteps.front();
    FSteps.pop_front();
    FStepFrom.reset();
    if (*FStepping == TFrameStep::Forward && FEof) {
        StepDone(); // there is no frame after the last
        return;
    }
    if (*FStepping == TFrameStep::Forward) {
        // Asked before the step, so the answer is the paused frame's position.
        mpv_get_property_async(FMpv, kStepFromReply, mpvname::kTimePos, MPV_FORMAT_DOUBLE);
        Command({mpvname::kFrameStep});
    } else if (!FBackTrail.empty()) {
        const double Frame = FBackTrail.back();
        FBackTrail.pop_back();
        SendSeek(Frame);
    } else {
        Command({mpvname::kFrameBackStep});
    }
    const uint64_t Serial = ++FStepSerial;
    QTimer::singleShot(kStepPatienceMs, &FReceiver, [this, Serial] {
        if (FStepping && Serial == FStepSerial)
            StepDone();
    });
}

void TMpvEngine::TImpl::StepDone(bool Moved) {
    if (FStepping == TFrameStep::Forward && Moved && FStepFrom && *FStepFrom >= 0.0) {
        FBackTrail.push_back(*FStepFrom);
        if (FBackTrail.size() > kMaxBackTrail)
            FBackTrail.erase(FBackTrail.begin());
    }
    FStepping.reset();
    FStepFrom.reset();
    ++FStepSerial;
    RequestObserved(mpvname::kFrameNumber);
    // mpv pauses itself after a step, also over a Play given meanwhile.
    ApplyPause(true);
    NextStep();
}

void TMpvEngine::TImpl::ForgetSteps() {
    FSteps.clear();
    FBackTrail.clear();
}

void TMpvEngine::TImpl::ClearSteps() {
    FSteps.clear();
    FStepping.reset();
    FStepFrom.reset();
    FBackTrail.clear();
    ++FStepSerial;
}

void TMpvEngine::TImpl::OnSnapshotReply(const mpv_event& Event) {
    const auto Found = FSnapshots.find(Event.reply_userdata & kReplySerialMask);
    if (Found == FSnapshots.end())
        return;
    TSnapshotDone Done = std::move(Found->second);
    FSnapshots.erase(Found);
    const QString Error = Event.error < 0 ? QString::fromUtf8(mpv_error_string(Event.error)) : QString();
    // Out of the event drain, so that Done may run a dialog of its own.
    QMetaObject::invokeMethod(
        &FReceiver, [Done = std::move(Done), Error] { Done(Error); }, Qt::QueuedConnection);
}

void TMpvEngine::TImpl::SeekDone() {
    FSeeking = false;
    // Asked before a sync group lets go, so the answer is the frame the seek reached.
    if (FMpv)
        mpv_get_property_async(FMpv, kRestartFrameReply, mpvname::kFrameNumber, MPV_FORMAT_INT64);
    SyncSeekDone();
    // A play-through that ended while the seek was under way.
    if (FEof && FWantPlay)
        EndPlayThrough();
    if (FStepping)
        StepDone(); // the seek took the step's place
    else
        NextStep();
}

void TMpvEngine::TImpl::EndPlayThrough() {
    if (!FHoldLoops || FPlaysLeft <= 1) {
        FinishPlayThrough();
        return;
    }
    FAtEnd = true;
    const uint64_t Serial = ++FEndSerial;
    QTimer::singleShot(kEndHoldPatienceMs, &FReceiver, [this, Serial] {
        if (!FAtEnd || Serial != FEndSerial || !FWantPlay)
            return;
        FAtEnd = false;
        --FPlaysLeft;
        SendSeek(0.0);
        MovePosition(0.0, TPositionCause::Restart);
        ApplyPause(true); // mpv paused itself at the end
    });
}

void TMpvEngine::TImpl::CountAfresh() {
    FPlaysLeft = FPlayCount;
    FAtEnd = false;
    SetProperty(mpvname::kLoopFile, LoopValue());
}

void TMpvEngine::TImpl::FinishPlayThrough() {
    // The last play-through is over: stopped at the start, ready to play again.
    FWantPlay = false;
    FStopped = true;
    ApplyPause();
    CountAfresh();
    SendSeek(0.0);
    MovePosition(0.0, TPositionCause::Restart);
    NotifyStatus();
}

void TMpvEngine::TImpl::RequireCore() const {
    if (!FMpv)
        throw EQuadvError(FCoreError);
}

void TMpvEngine::TImpl::SetProperty(const char* Name, const std::string& Value) {
    if (!FMpv)
        return;
    const char* Text = Value.c_str();
    mpv_set_property_async(FMpv, 0, Name, MPV_FORMAT_STRING, &Text);
}

void TMpvEngine::TImpl::SetFlag(const char* Name, bool Value) {
    if (!FMpv)
        return;
    int Flag = Value ? 1 : 0;
    mpv_set_property_async(FMpv, 0, Name, MPV_FORMAT_FLAG, &Flag);
}

void TMpvEngine::TImpl::SetDouble(const char* Name, double Value) {
    if (!FMpv)
        return;
    mpv_set_property_async(FMpv, 0, Name, MPV_FORMAT_DOUBLE, &Value);
}

void TMpvEngine::TImpl::Command(std::initializer_list<const char*> Arguments, uint64_t Reply) {
    if (!FMpv)
        return;
    std::vector<const char*> Argv(Arguments);
    Argv.push_back(nullptr);
    mpv_command_async(FMpv, Reply, Argv.data());
}

void TMpvEngine::TImpl::SyncBalance() {
    if (FBalanceInOption)
        return;
    FBalanceInOption = true;
    SetProperty(mpvname::kAudioFilters, BalanceFilter(FBalance));
}

void TMpvEngine::TImpl::SendSeek(double Seconds) {
    char Target[32];
    std::snprintf(Target, sizeof Target, "%.6f", Seconds);
    Command({mpvname::kSeek, Target, mpvname::kSeekExact});
    FSeeking = true;
    FClock = {};
    ++FClockSerial;
    FRestartFrame = -1;
    FEof = false;
    const uint64_t Serial = ++FSeekSerial;
    QTimer::singleShot(kSeekPatienceMs, &FReceiver, [this, Serial] {
        if (!FSeeking || Serial != FSeekSerial)
            return;
        RequestObserved(mpvname::kTimePos); // what mpv plays, since the target was never reached
        SeekDone();
    });
}

void TMpvEngine::TImpl::ApplyPause(bool Force) {
    const bool Pause = !FWantPlay || FRate <= 0.0 || SyncHeld() || FPhase != TPhase::Loaded || FFirstFrameDue;
    if (Pause == FPauseSent && !Force)
        return;
    FPauseSent = Pause;
    SetFlag(mpvname::kPause, Pause);
    if (Pause) {
        RequestObserved(mpvname::kFrameNumber); // the frame it holds
        SyncBalance();                          // nothing to hear while paused
    }
}

void TMpvEngine::TImpl::RequestObserved(const char* Name) {
    if (!FMpv)
        return;
    for (size_t Index = 0; Index < std::size(kObserved); ++Index)
        if (std::strcmp(kObserved[Index].Name, Name) == 0)
            mpv_get_property_async(FMpv, Index, Name, kObserved[Index].Format);
}

void TMpvEngine::TImpl::MovePosition(double Seconds, TPositionCause Cause) {
    const double Old = FPosition;
    if (Old == Seconds && Cause != TPositionCause::Seek)
        return;
    FPosition = Seconds;
    if (FObserver)
        FObserver->EnginePositionChanged(Old, Seconds, Cause);
}

void TMpvEngine::TImpl::NotifyStatus() {
    if (FObserver)
        FObserver->EngineStatusChanged();
}

void TMpvEngine::TImpl::ResetForLoad() {
    LeaveSyncGroup();
    FFailureReason.clear();
    FWantPlay = false;
    FStarted = false;
    FStopped = false;
    FEof = false;
    FBuffering = false;
    FFirstFrameDue = false;
    FSeeking = false;
    FPendingSeek.reset();
    ClearSteps();
    FLoadReply = 0;
    FLoadEntry = 0;
    FFrameNumber = -1;
    if (FRenderer)
        FRenderer->Forget();
    SetVideoSize(QSize());
    if (FDuration != 0.0) {
        FDuration = 0.0;
        if (FObserver)
            FObserver->EngineDurationChanged(0.0);
    }
    MovePosition(0.0, TPositionCause::Restart);
}

TMpvEngine::TMpvEngine(const TMpvEngineOptions& Options) : FImpl(std::make_unique<TImpl>(Options)) {}

TMpvEngine::~TMpvEngine() = default;

int64_t TMpvEngine::FrameNumber() const {
    return FImpl->FFrameNumber;
}

int64_t TMpvEngine::DroppedFrames() const {
    return FImpl->FDroppedFrames;
}

int64_t TMpvEngine::RestartFrame() const {
    return FImpl->FRestartFrame;
}

bool TMpvEngine::Settled() const {
    const TImpl& E = *FImpl;
    return E.FPhase == TImpl::TPhase::Loaded && !E.FFirstFrameDue && !E.FSeeking && !E.FPendingSeek &&
           !E.FStepping && E.FSteps.empty();
}

void TMpvEngine::SetObserver(TMediaEngineObserver* Observer) {
    FImpl->FObserver = Observer;
}

void TMpvEngine::Load(const QString& Path) {
    TImpl& E = *FImpl;
    const std::string Name = Path.toStdString();
    const QFileInfo Info(Path);
    if (!Info.exists())
        throw EQuadvError(Name + ": no such file");
    if (Info.isDir())
        throw EQuadvError(Name + ": is a folder, not a media file");
    QFile File(Path);
    if (!File.open(QIODevice::ReadOnly))
        throw EQuadvError(Name + ": cannot be read: " + File.errorString().toStdString());
    File.close();
    E.RequireCore();

    E.ResetForLoad();
    E.FUrl = Path;
    E.FPhase = TImpl::TPhase::Opening;
    // Each load starts paused and plays its file the current number of times.
    E.FPauseSent = true;
    E.SetFlag(mpvname::kPause, true);
    E.CountAfresh();
    E.FBalanceInOption = false;
    E.SyncBalance();
    const QByteArray Local = QFile::encodeName(Info.absoluteFilePath());
    E.FLoadReply = kLoadReplyTag | ++E.FLoadSerial;
    E.Command({mpvname::kLoadFile, Local.constData(), "replace"}, E.FLoadReply);
    E.NotifyStatus();
}

void TMpvEngine::Unload() {
    TImpl& E = *FImpl;
    if (E.FPhase != TImpl::TPhase::NoMedia)
        E.Command({mpvname::kStop});
    E.ResetForLoad();
    E.FUrl.clear();
    E.FPhase = TImpl::TPhase::NoMedia;
    E.ApplyPause();
    E.NotifyStatus();
}

QString TMpvEngine::Url() const {
    FImpl->RequireCore();
    return FImpl->FUrl;
}

TEngineStatus TMpvEngine::Status() const {
    const TImpl& E = *FImpl;
    E.RequireCore();
    switch (E.FPhase) {
    case TImpl::TPhase::NoMedia:
        return TEngineStatus::NoMedia;
    case TImpl::TPhase::Opening:
        return E.FWantPlay  ? TEngineStatus::Playing
               : E.FStarted ? TEngineStatus::Paused
                            : TEngineStatus::Opening;
    case TImpl::TPhase::Failed:
        return TEngineStatus::Failed;
    case TImpl::TPhase::Loaded:
        break;
    }
    if (E.FWantPlay)
        return E.FBuffering ? TEngineStatus::Buffering : TEngineStatus::Playing;
    if (E.FStopped)
        return TEngineStatus::Stopped;
    return E.FStarted ? TEngineStatus::Paused : TEngineStatus::Ready;
}

QString TMpvEngine::FailureReason() const {
    return FImpl->FFailureReason;
}

void TMpvEngine::Play() {
    TImpl& E = *FImpl;
    if (E.FPhase == TImpl::TPhase::NoMedia || E.FPhase == TImpl::TPhase::Failed || E.FWantPlay)
        return;
    if (E.FStopped || E.FEof) {
        // A replay counts its play-throughs afresh; at the end, unpausing alone would do nothing.
        E.CountAfresh();
        if (E.FEof && E.FPhase == TImpl::TPhase::Loaded) {
            E.SendSeek(0.0);
            E.MovePosition(0.0, TPositionCause::Restart);
        }
    }
    E.ForgetSteps();
    E.FWantPlay = true;
    E.FStarted = true;
    E.FStopped = false;
    E.ApplyPause();
    E.NotifyStatus();
}

void TMpvEngine::Pause() {
    TImpl& E = *FImpl;
    if (E.FPhase == TImpl::TPhase::NoMedia || E.FPhase == TImpl::TPhase::Failed)
        return;
    const bool WasPlaying = E.FWantPlay;
    E.FWantPlay = false;
    E.FAtEnd = false; // Play starts the file again from its end
    if (WasPlaying)
        E.FStarted = true;
    E.ApplyPause();
    E.NotifyStatus();
}

void TMpvEngine::Stop() {
    TImpl& E = *FImpl;
    if (E.FPhase == TImpl::TPhase::NoMedia || E.FPhase == TImpl::TPhase::Failed)
        return;
    E.ForgetSteps();
    E.FWantPlay = false;
    E.FStopped = true;
    E.FStarted = true;
    E.ApplyPause();
    E.CountAfresh();
    if (E.FPhase == TImpl::TPhase::Loaded)
        E.SendSeek(0.0);
    else
        E.FPendingSeek = 0.0;
    E.MovePosition(0.0, TPositionCause::Restart);
    E.NotifyStatus();
}

void TMpvEngine::Seek(double Seconds) {
    TImpl& E = *FImpl;
    if (E.FDuration > 0.0)
        Seconds = std::min(Seconds, E.FDuration);
    E.ForgetSteps();
    if (E.FAtEnd) {
        E.FAtEnd = false;
        --E.FPlaysLeft;
    }
    if (E.FPhase == TImpl::TPhase::Loaded) {
        E.JoinSyncGroup();
        E.ApplyPause(); // held before the seek, so that the group starts from one frame
        E.SendSeek(Seconds);
    } else if (E.FPhase == TImpl::TPhase::Opening) {
        E.FPendingSeek = Seconds; // mpv drops a seek before the file is open
    }
    if (Seconds > 0.0 && E.FStopped) {
        E.FStopped = false;
        E.NotifyStatus();
    }
    E.MovePosition(Seconds, TPositionCause::Seek);
}

double TMpvEngine::Position() const {
    return FImpl->FPosition;
}
double TMpvEngine::PositionTime() const {
    return FImpl->FPositionTime;
}

void TMpvEngine::RefreshClock() {
    TImpl& E = *FImpl;
    if (!E.FMpv || E.FPhase != TImpl::TPhase::Loaded || E.FSeeking || E.FClockAsked >= 0.0)
        return;
    E.FClockAsked = SteadySeconds();
    mpv_get_property_async(E.FMpv, kClockReplyTag | (E.FClockSerial & kReplySerialMask), mpvname::kAudioPts,
                           MPV_FORMAT_DOUBLE);
}

TPlaybackClock TMpvEngine::Clock() const {
    return FImpl->FPauseSent ? TPlaybackClock{} : FImpl->FClock;
}
double TMpvEngine::Duration() const {
    return FImpl->FDuration;
}

bool TMpvEngine::Mute() const {
    FImpl->RequireCore();
    return FImpl->FMute;
}

void TMpvEngine::SetMute(bool Muted) {
    FImpl->FMute = Muted;
    FImpl->SetFlag(mpvname::kMute, Muted);
}

void TMpvEngine::SetVolume(int Volume) {
    FImpl->SetDouble(mpvname::kVolume, std::clamp(Volume, 0, 100));
}

void TMpvEngine::SetBalance(int Balance) {
    TImpl& E = *FImpl;
    E.FBalance = std::clamp(Balance, -100, 100);
    E.FBalanceInOption = false;
    // A playing file changes its running filter, so that a drag is not
    // heard; otherwise nothing sounds and the filters may be rebuilt.
    if (E.FPhase == TImpl::TPhase::Loaded && !E.FPauseSent) {
        E.Command({mpvname::kAfCommand, mpvname::kBalanceLabel, mpvname::kBalanceOption,
                   BalanceValue(E.FBalance).c_str()});
        return;
    }
    E.SyncBalance();
}

void TMpvEngine::SetRate(double Rate) {
    TImpl& E = *FImpl;
    E.FRate = Rate;
    if (Rate > 0.0) {
        const bool KeepPitch = std::abs(Rate - 1.0) > kResampledSpeeds;
        if (KeepPitch != E.FKeepPitch) {
            E.FKeepPitch = KeepPitch;
            E.SetFlag(mpvname::kPitchCorrection, KeepPitch);
        }
        E.SetDouble(mpvname::kSpeed, std::clamp(Rate, kMinSpeed, kMaxSpeed));
    }
    E.ApplyPause(); // a rate of 0 holds the picture while the pane still plays
}

void TMpvEngine::SetPlayCount(int Count) {
    FImpl->FPlayCount = std::max(1, Count);
    FImpl->CountAfresh();
}

void TMpvEngine::SetLoopHold(bool Hold) {
    TImpl& E = *FImpl;
    if (Hold == E.FHoldLoops)
        return;
    const bool Waiting = E.FAtEnd;
    E.FHoldLoops = Hold;
    E.CountAfresh();
    if (Waiting) { // nobody starts the next play-through now but the engine
        E.SendSeek(0.0);
        E.MovePosition(0.0, TPositionCause::Restart);
        E.ApplyPause(true);
    }
}

QSize TMpvEngine::VideoSize() const {
    return FImpl->FVideoSize.isEmpty() ? QSize() : FImpl->FVideoSize;
}

void TMpvEngine::SetViewSize(QSize Size) {
    FImpl->FViewSize = Size;
    FImpl->ChooseScaler();
    if (FImpl->FRenderer)
        FImpl->FRenderer->SetViewSize(Size);
}

const QImage& TMpvEngine::Frame() const {
    static const QImage kNone;
    return FImpl->FRenderer ? FImpl->FRenderer->Frame() : kNone;
}

void TMpvEngine::StepFrame(TFrameStep Direction) {
    TImpl& E = *FImpl;
    if (E.FPhase == TImpl::TPhase::NoMedia || E.FPhase == TImpl::TPhase::Failed)
        return;
    E.FWantPlay = false;
    E.FAtEnd = false;
    E.FStarted = true;
    E.FStopped = false;
    E.ApplyPause();
    E.FSteps.push_back(Direction);
    E.NextStep(); // or once the file is open, or the seek under way has restarted
    E.NotifyStatus();
}

void TMpvEngine::Snapshot(const QString& File, TSnapshotDone Done) {
    TImpl& E = *FImpl;
    if (E.FPhase != TImpl::TPhase::Loaded || !E.FMpv) {
        const QString Error =
            E.FMpv ? QStringLiteral("there is no picture yet") : QString::fromStdString(E.FCoreError);
        QMetaObject::invokeMethod(
            &E.FReceiver, [Done = std::move(Done), Error] { Done(Error); }, Qt::QueuedConnection);
        return;
    }
    const uint64_t Serial = ++E.FSnapshotSerial & kReplySerialMask;
    E.FSnapshots.emplace(Serial, std::move(Done));
    const QByteArray Local = QFile::encodeName(File);
    E.Command({mpvname::kScreenshotToFile, Local.constData(), mpvname::kScreenshotVideo},
              kSnapshotReplyTag | Serial);
}
