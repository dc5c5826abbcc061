// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "VrComm.h"

#include "platform/NotifyChannel.h"
#include "platform/SystemError.h"
#include "platform/ThreadPriority.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>

namespace {

constexpr int32_t kChunkSize = 256;
constexpr int32_t kErrorNoMoreUserHandles = 1158;
// Between the passes of a worker whose line is failing.
constexpr auto kFailingLinePause = std::chrono::milliseconds(100);

constexpr int kPlatformPriority[] = {-2, -1, 0, 1, 2};

int PlatformPriority(TVrThreadPriority Value) {
    return Value >= vtpLowest && Value <= vtpHighest ? kPlatformPriority[Value] : 0;
}

TVrThreadPriority FromPlatform(int Priority) {
    switch (Priority) {
    case -2:
        return vtpLowest;
    case -1:
        return vtpLower;
    case 1:
        return vtpHigher;
    case 2:
        return vtpHighest;
    default:
        return vtpNormal;
    }
}

} // namespace

TVrCustomThreadedComm::TVrCustomThreadedComm(TComponent* Owner, std::shared_ptr<TCommDevice> Device)
    : TVrCustomComm(Owner, std::move(Device)) {
    SetOverlapped(true);
    SetSendTimeoutConstant(1);
    FReceiveChunk = std::make_unique<uint8_t[]>(kChunkSize);
}

TVrCustomThreadedComm::~TVrCustomThreadedComm() {
    BeginDestroy();
    if (GetOpened())
        Close();
    AwaitWorker();
}

void TVrCustomThreadedComm::AwaitWorker() {
    if (FThread.joinable())
        FThread.join(); // also a worker that outlived the bounded wait of Close
    ReclaimWorker();
}

void TVrCustomThreadedComm::Assign(const TComponent* Source) {
    TVrCustomComm::Assign(Source);
    auto* From = dynamic_cast<const TVrCustomThreadedComm*>(Source);
    if (!From)
        return;
    FOnOpen = From->FOnOpen;
    FOnClose = From->FOnClose;
    FOnBreak = From->FOnBreak;
    FOnSent = From->FOnSent;
    FOnReceive = From->FOnReceive;
    FOnLineError = From->FOnLineError;
    FOnChangeSignal = From->FOnChangeSignal;
}

void TVrCustomThreadedComm::ResetIoState() {
    FSendEnabled = true;
    TVrCustomComm::ResetIoState();
}

bool TVrCustomThreadedComm::GetTerminated() const {
    return FTerminated;
}
void TVrCustomThreadedComm::SetTerminated(bool Value) {
    FTerminated = Value;
    if (Value) {
        std::lock_guard Guard(FEndedLock); // a pausing worker checks the flag under it
    }
    FEndedSignal.notify_all();
}
int32_t TVrCustomThreadedComm::GetThreadSleep() const {
    return FThreadSleep;
}
void TVrCustomThreadedComm::SetThreadSleep(int32_t Value) {
    if (Value >= 0)
        FThreadSleep = Value;
}

TVrThreadPriority TVrCustomThreadedComm::GetThreadPriority() {
    if (GetOpened() && FThreadId != 0)
        FThreadPriority = FromPlatform(GetThreadPriorityOf(FThreadId));
    return FThreadPriority;
}

void TVrCustomThreadedComm::SetThreadPriority(TVrThreadPriority Value) {
    FThreadPriority = Value;
    if (GetOpened() && FThreadId != 0)
        SetThreadPriorityOf(FThreadId, PlatformPriority(Value));
}

bool TVrCustomThreadedComm::GetSendEnabled() const {
    return FSendEnabled;
}
void TVrCustomThreadedComm::SetSendEnabled(bool Value) {
    if (GetOpened())
        FSendEnabled = Value;
}
uint32_t TVrCustomThreadedComm::GetThreadId() const {
    return FThreadId;
}
std::thread::native_handle_type TVrCustomThreadedComm::GetThreadHandle() {
    return FThread.joinable() ? FThread.native_handle() : std::thread::native_handle_type{};
}
TNotifyChannel* TVrCustomThreadedComm::GetNotifyWindow() const {
    return FNotifyWindow.get();
}
uint8_t* TVrCustomThreadedComm::GetReceiveChunk() const {
    return FReceiveChunk.get();
}
TVrStreamBuffer& TVrCustomThreadedComm::GetSendBuffer() {
    return FSendBuffer;
}
TVrStreamBuffer& TVrCustomThreadedComm::GetReceiveBuffer() {
    return FReceiveBuffer;
}

// Without the lock: the owner may be inside the buffer already, and the
// worker changes the count meanwhile anyway.
int32_t TVrCustomThreadedComm::GetSendCount() const {
    return FSendBuffer.SharedCount();
}
int32_t TVrCustomThreadedComm::GetReceiveCount() const {
    return FReceiveBuffer.SharedCount();
}

const TNotifyEvent& TVrCustomThreadedComm::GetOnOpen() const {
    return FOnOpen;
}
void TVrCustomThreadedComm::SetOnOpen(TNotifyEvent Handler) {
    FOnOpen = std::move(Handler);
}
const TNotifyEvent& TVrCustomThreadedComm::GetOnClose() const {
    return FOnClose;
}
void TVrCustomThreadedComm::SetOnClose(TNotifyEvent Handler) {
    FOnClose = std::move(Handler);
}
const TNotifyEvent& TVrCustomThreadedComm::GetOnBreak() const {
    return FOnBreak;
}
void TVrCustomThreadedComm::SetOnBreak(TNotifyEvent Handler) {
    FOnBreak = std::move(Handler);
}
const TNotifyEvent& TVrCustomThreadedComm::GetOnSent() const {
    return FOnSent;
}
void TVrCustomThreadedComm::SetOnSent(TNotifyEvent Handler) {
    FOnSent = std::move(Handler);
}
const TNotifyEvent& TVrCustomThreadedComm::GetOnReceive() const {
    return FOnReceive;
}
void TVrCustomThreadedComm::SetOnReceive(TNotifyEvent Handler) {
    FOnReceive = std::move(Handler);
}
const TVrNotifyCommEvent& TVrCustomThreadedComm::GetOnLineError() const {
    return FOnLineError;
}
void TVrCustomThreadedComm::SetOnLineError(TVrNotifyCommEvent Handler) {
    FOnLineError = std::move(Handler);
}
const TVrNotifyCommEvent& TVrCustomThreadedComm::GetOnChangeSignal() const {
    return FOnChangeSignal;
}
void TVrCustomThreadedComm::SetOnChangeSignal(TVrNotifyCommEvent Handler) {
    FOnChangeSignal = std::move(Handler);
}

int32_t TVrCustomThreadedComm::Open() {
    if (GetOpened())
        return 0;
    // The worker of the last opening outlived its Close and may still be in
    // the device or the queues: a second one must not start beside it.
    if (!ReclaimWorker())
        return ReportError(vcaOpen, SystemErrorBusy());
    {
        std::lock_guard Guard(FNotifyQueue);
        FNotifyQueue.Clear();
    }
    {
        std::lock_guard Guard(FErrorQueue);
        FErrorQueue.Clear();
    }
    Purge();
    int32_t R = 0;
    try {
        R = TVrCustomComm::Open();
        if (R == 0) {
            FNotifyWindow = TNotifyChannel::Create([this](uint32_t Number) {
                if (FOrphaned)
                    return; // from a worker that outlived its Close
                TVrNotifyMessage Message{Number};
                NotifyWndProc(Message);
            });
            if (FNotifyWindow) {
                R = StartThread();
                if (R == 0 && !GetDestroying())
                    FireOpen({});
            } else {
                R = ReportError(vcaOpen, kErrorNoMoreUserHandles);
            }
        }
        if (R != 0)
            Close();
    } catch (...) {
        Close();
        throw;
    }
    return R;
}

int32_t TVrCustomThreadedComm::StartThread() {
    if (!ReclaimWorker())
        return -SystemErrorBusy();
    FTerminated = false;
    {
        std::lock_guard Guard(FEndedLock);
        FThreadEnded = false;
        FThreadId = 0;
    }
    try {
        FThread = std::thread(&TVrCustomThreadedComm::ThreadEntry, this);
    } catch (const std::system_error& E) {
        // Nobody will signal the end: mark it, so Close does not wait for it.
        std::lock_guard Guard(FEndedLock);
        FThreadEnded = true;
        FThreadId = 0;
        return -E.code().value();
    }
    {
        // The identifier is the worker's kernel id, known once it runs.
        std::unique_lock Guard(FEndedLock);
        FEndedSignal.wait(Guard, [this] { return FThreadId != 0 || FThreadEnded; });
    }
    SetThreadPriority(FThreadPriority);
    return 0;
}

void TVrCustomThreadedComm::ThreadEntry(TVrCustomThreadedComm* Self) {
    {
        std::lock_guard Guard(Self->FEndedLock);
        Self->FThreadId = CurrentThreadId();
    }
    Self->FEndedSignal.notify_all();
    try {
        Self->ThreadLoop();
    } catch (const std::exception& E) {
        std::fprintf(stderr, "TVrThreadedComm の補助スレッドで例外: %s\n", E.what());
    } catch (...) {
        std::fprintf(stderr, "TVrThreadedComm の補助スレッドで例外\n");
    }
    // Signalled on every way out, so that Close never waits for a worker that
    // is already gone. The identifier goes with it: the system gives it to the
    // next thread, which the priority calls must not touch.
    TCommHandle Orphan;
    {
        std::lock_guard Guard(Self->FEndedLock);
        Self->FThreadEnded = true;
        Self->FThreadId = 0;
        Orphan = std::exchange(Self->FOrphanHandle, kInvalidCommHandle);
    }
    Self->FEndedSignal.notify_all();
    // The owner joins this thread before it lets the component go.
    if (Orphan != kInvalidCommHandle)
        Self->Device().CloseHandle(Orphan);
}

void TVrCustomThreadedComm::Pause(std::chrono::milliseconds Duration) {
    std::unique_lock Guard(FEndedLock);
    FEndedSignal.wait_for(Guard, Duration, [this] { return FTerminated.load(); });
}

int32_t TVrCustomThreadedComm::PollEvents(TVrCommEvents& Events) {
    // Reported on the worker, the error would reach OnError on the wrong
    // thread, and its exception would end the worker; the loop sends it to
    // the owner's thread instead.
    if (const uint32_t Worker = FThreadId; Worker != 0 && Worker == CurrentThreadId())
        return PollLine(Events);
    return TVrCustomComm::PollEvents(Events);
}

void TVrCustomThreadedComm::ThreadLoop() {
    TVrCommEvents Events;
    TVrCommEvents Previous;
    // What the owner has been told of the current run of failing passes. The
    // two parts may show up in different passes while the line goes down.
    bool ToldLineError = false, ToldError = false;
    while (!FTerminated && GetOpened()) {
        const int32_t R = PollEvents(Events);
        // A failed poll or an I/O error means that the device itself fails (its
        // far end gone, its adapter pulled), and it fails alike in every pass
        // until it recovers: the owner hears of it once, the transfers wait,
        // and the worker pauses between passes instead of spinning.
        const bool Failing = R != 0 || Events.Contains(vevErrIo);
        if (Failing) {
            if (!ToldLineError && Events.Contains(vevError)) {
                DoLineError(Events);
                ToldLineError = true;
            }
            if (!ToldError && R != 0) {
                NotifyError(vcaOther, R);
                ToldError = true;
            }
        } else {
            ToldLineError = ToldError = false;
            if (Events.Contains(vevError))
                DoLineError(Events);
            if (Events.Contains(vevReceive)) {
                const int32_t N = ReceiveStep(Events);
                if (N < 0)
                    NotifyError(vcaReceive, -N);
            }
            const bool HaveToSend = FSendBuffer.SharedCount() > 0;
            if ((!GetSendPending() && HaveToSend) || Events.Contains(vevSent)) {
                const int32_t N = SendStep(Events);
                if (N < 0)
                    NotifyError(vcaSend, -N);
            }
            if (GetSignals() != Previous) {
                DoChangeSignal(Events);
                Previous = GetSignals();
            }
            if (Events.Contains(vevBreak))
                DoBreak(Events);
        }
        const auto Sleep = std::chrono::milliseconds(FThreadSleep.load());
        if (Failing)
            Pause(std::max(Sleep, kFailingLinePause));
        else if (Sleep.count() != 0)
            Pause(Sleep);
        else if (Events.Empty())
            // Wake as soon as input arrives, a pending write can go on or
            // bytes are queued, instead of sleeping blindly; the terminate
            // flag is seen within the same millisecond.
            Device().WaitReadable(GetHandle(), 1);
    }
}

int32_t TVrCustomThreadedComm::ReceiveStep(TVrCommEvents Events) {
    const int32_t N = ReadPort(FReceiveChunk.get(), kChunkSize);
    if (N > 0 && !Events.Contains(vevError)) {
        {
            std::lock_guard Guard(FReceiveBuffer);
            FReceiveBuffer.Write(FReceiveChunk.get(), N);
        }
        PostNotify(kNotifyReceive, Events);
    }
    return N;
}

int32_t TVrCustomThreadedComm::SendStep(TVrCommEvents Events) {
    int32_t Result = 0;
    bool Empty;
    {
        std::lock_guard Guard(FSendBuffer);
        if (GetSendPending()) {
            const int32_t C = CompletePending(true, true);
            Result = C > 0 ? FSendBuffer.Read(nullptr, C) : C;
        }
        // The device layer keeps its own copy of a pending write's bytes, so
        // the block may move under a later Send.
        if (FSendEnabled && !GetSendPending() && FSendBuffer.Count() > 0) {
            int32_t W;
            do {
                W = WritePort(FSendBuffer.Data(), FSendBuffer.Count());
                if (W > 0)
                    Result += FSendBuffer.Read(nullptr, W);
            } while (W > 0 && FSendBuffer.Count() > 0);
            if (W < 0)
                Result = W;
        }
        Empty = FSendBuffer.Count() == 0;
    }
    if (Result > 0 && Empty)
        PostNotify(kNotifySent, Events);
    return Result;
}

void TVrCustomThreadedComm::DoLineError(TVrCommEvents Events) {
    PostNotify(kNotifyLineError, Events);
}
void TVrCustomThreadedComm::DoBreak(TVrCommEvents Events) {
    PostNotify(kNotifyBreak, Events);
}
void TVrCustomThreadedComm::DoChangeSignal(TVrCommEvents Events) {
    PostNotify(kNotifyChangeSignal, Events);
}

void TVrCustomThreadedComm::PostNotify(uint32_t Number, TVrCommEvents Events) {
    {
        std::lock_guard Guard(FNotifyQueue);
        FNotifyQueue.Write(&Events.Value, sizeof Events.Value);
    }
    if (FNotifyWindow && !FNotifyWindow->Post(Number)) {
        // Refused (a full queue): without its record taken back, every later
        // notification would take the set of the one before it. Only this
        // worker writes, and the owner takes records only for notifications
        // that arrived, so it is still the last one.
        std::lock_guard Guard(FNotifyQueue);
        FNotifyQueue.Unwrite(sizeof Events.Value);
    }
}

void TVrCustomThreadedComm::NotifyError(TVrCommErrorAt ErrorAt, int32_t Error) {
    {
        std::lock_guard Guard(FErrorQueue);
        const int32_t Record[2] = {static_cast<int32_t>(ErrorAt), Error};
        FErrorQueue.Write(Record, sizeof Record);
    }
    if (FNotifyWindow)
        FNotifyWindow->Send(kNotifyError);
}

void TVrCustomThreadedComm::NotifyWndProc(TVrNotifyMessage& Message) {
    if (Message.Msg < kNotifyError || Message.Msg > kNotifyChangeSignal) {
        DefaultNotify(Message);
        return;
    }
    if (Message.Msg == kNotifyError) {
        int32_t Record[2];
        bool Taken;
        {
            std::lock_guard Guard(FErrorQueue);
            Taken = FErrorQueue.Count() >= static_cast<int32_t>(sizeof Record) &&
                    FErrorQueue.Read(Record, sizeof Record) == sizeof Record;
        }
        if (Taken)
            ReportError(static_cast<TVrCommErrorAt>(Record[0]), Record[1]);
        return;
    }
    TVrCommEvents Events;
    bool Taken;
    {
        std::lock_guard Guard(FNotifyQueue);
        Taken = FNotifyQueue.Count() >= 4 && FNotifyQueue.Read(&Events.Value, 4) == 4;
    }
    if (!Taken)
        return;
    switch (Message.Msg) {
    case kNotifyLineError:
        FireLineError(Events);
        break;
    case kNotifyOpen:
        FireOpen(Events);
        break;
    case kNotifyClose:
        FireClose(Events);
        break;
    case kNotifyReceive:
        FireReceive(Events);
        break;
    case kNotifySent:
        FireSent(Events);
        break;
    case kNotifyBreak:
        FireBreak(Events);
        break;
    case kNotifyChangeSignal:
        FireChangeSignal(Events);
        break;
    default:
        break;
    }
}

void TVrCustomThreadedComm::DefaultNotify(TVrNotifyMessage&) {}

void TVrCustomThreadedComm::FireOpen(TVrCommEvents) {
    if (FOnOpen)
        FOnOpen(this);
}
void TVrCustomThreadedComm::FireClose(TVrCommEvents) {
    if (FOnClose)
        FOnClose(this);
}
void TVrCustomThreadedComm::FireLineError(TVrCommEvents Events) {
    if (FOnLineError)
        FOnLineError(this, Events);
}
void TVrCustomThreadedComm::FireReceive(TVrCommEvents) {
    if (FOnReceive)
        FOnReceive(this);
}
void TVrCustomThreadedComm::FireSent(TVrCommEvents) {
    if (FOnSent)
        FOnSent(this);
}
void TVrCustomThreadedComm::FireBreak(TVrCommEvents) {
    if (FOnBreak)
        FOnBreak(this);
}
void TVrCustomThreadedComm::FireChangeSignal(TVrCommEvents Events) {
    if (FOnChangeSignal)
        FOnChangeSignal(this, Events);
}

int32_t TVrCustomThreadedComm::StopThread() {
    SetTerminated(true);
    if (GetOpened())
        Device().WakeWaiter(GetHandle());
    const auto Deadline = std::chrono::steady_clock::now() + FStopWait;
    bool Ended = false;
    for (;;) {
        {
            std::unique_lock Guard(FEndedLock);
            Ended =
                FEndedSignal.wait_for(Guard, std::chrono::milliseconds(1), [this] { return FThreadEnded; });
        }
        if (Ended || std::chrono::steady_clock::now() >= Deadline)
            break;
        // A worker blocked in NotifyError waits for this thread: serve its error
        // so that it can see the terminate flag, instead of both waiting 10 s.
        try {
            DrainSentNotifications();
        } catch (const EPropertyError&) {
            // Reported through OnError already; the close goes on.
        }
    }
    if (!Ended)
        return SystemErrorTimedOut();
    ReclaimWorker();
    return 0;
}

bool TVrCustomThreadedComm::ReclaimWorker() {
    {
        std::lock_guard Guard(FEndedLock);
        if (!FThreadEnded)
            return false;
    }
    if (FThread.joinable())
        FThread.join();
    if (FOrphaned) {
        FNotifyWindow.reset();
        FOrphaned = false;
    }
    return true;
}

void TVrCustomThreadedComm::DisownHandle(TCommHandle Handle) {
    {
        std::lock_guard Guard(FEndedLock);
        if (!FThreadEnded) {
            FOrphanHandle = Handle;
            return;
        }
    }
    Device().CloseHandle(Handle); // it ended meanwhile
}

int32_t TVrCustomThreadedComm::Close() {
    if (!GetOpened())
        return 0;
    FSendEnabled = false;
    int32_t E1 = StopThread();
    bool Running;
    {
        std::lock_guard Guard(FEndedLock);
        Running = !FThreadEnded;
    }
    int32_t E2 = 0;
    if (!Running) {
        E2 = TVrCustomComm::Close();
        FNotifyWindow.reset();
    } else {
        // The worker outlived the wait and may be inside a device call or a
        // post. The port closes for the owner, but the handle stays open until
        // the worker ends, which closes it; the channel stays until the next
        // Open or the destructor, and carries nothing more to the handlers.
        // Aborting the transfers ends a wait of the worker's for a write.
        const TCommHandle Handle = DetachHandle();
        Device().PurgeComm(Handle, kPurgeTxAbort | kPurgeRxAbort);
        FOrphaned = true;
        DisownHandle(Handle);
    }
    Purge();
    if (E1 != 0)
        E1 = ReportError(vcaClose, E1);
    const int32_t Result = E1 != 0 ? E1 : E2;
    if (Result == 0 && !GetDestroying())
        FireClose({});
    return Result;
}

int32_t TVrCustomThreadedComm::Send(const void* Data, int32_t Count) {
    if (!GetOpened() || !Data || Count <= 0)
        return 0;
    int32_t N;
    {
        std::lock_guard Guard(FSendBuffer);
        N = FSendBuffer.Write(Data, Count);
    }
    Device().WakeWaiter(GetHandle()); // an idle worker would only see the bytes after its pause
    return N;
}

int32_t TVrCustomThreadedComm::Receive(void* Buffer, int32_t Count) {
    if (!GetOpened() || Count <= 0 || FReceiveBuffer.SharedCount() == 0)
        return 0;
    std::lock_guard Guard(FReceiveBuffer);
    return FReceiveBuffer.Read(Buffer, Count);
}

int64_t TVrCustomThreadedComm::SendStream(TVrStream& Stream) {
    if (!GetOpened() || Stream.GetSize() == 0)
        return 0;
    int64_t N;
    {
        std::lock_guard Guard(FSendBuffer);
        N = FSendBuffer.CopyFrom(Stream, 0);
    }
    Device().WakeWaiter(GetHandle());
    return N;
}

int64_t TVrCustomThreadedComm::ReceiveStream(TVrStream& Stream) {
    if (!GetOpened() || FReceiveBuffer.SharedCount() == 0)
        return 0;
    std::lock_guard Guard(FReceiveBuffer);
    if (FReceiveBuffer.Count() == 0)
        return 0;
    const int64_t N = FReceiveBuffer.CopyTo(Stream);
    FReceiveBuffer.Clear();
    return N;
}

int32_t TVrCustomThreadedComm::Purge() {
    const int32_t R = TVrCustomComm::Purge();
    {
        std::lock_guard Guard(FSendBuffer);
        FSendBuffer.Clear();
    }
    {
        std::lock_guard Guard(FReceiveBuffer);
        FReceiveBuffer.Clear();
    }
    return R;
}

TVrThreadedComm::~TVrThreadedComm() {
    BeginDestroy();
    if (GetOpened())
        Close();
    AwaitWorker();
}
