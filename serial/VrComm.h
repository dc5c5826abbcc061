// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "SerialExport.h"

// The serial communication family: one serial port driven by number, its line
// settings, its control lines and its line events. Pure C++ over the device
// layer, so that it serves any program on any system.
//
// Threads: every operation runs on the calling thread. Errors are returned as
// 0 or a system error code (negated for transfers); only ReportError turns one
// into an OnError call and, unless suppressed, an EPropertyError.

#include "VrComponent.h"
#include <quadrelle/platform/CommDevice.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

enum TVrCommErrorAt : int32_t {
    vcaOpen = 0,
    vcaClose = 1,
    vcaSend = 2,
    vcaReceive = 3,
    vcaProperty = 4,
    vcaOther = 5
};

// Raised by ReportError; the message is the stage word, " : " and the system's text.
class QUADRELLE_SERIAL_EXPORT EPropertyError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using TVrNotifyCommError =
    std::function<void(TComponent* Sender, TVrCommErrorAt ErrorAt, int32_t Error, bool& ThrowException)>;

enum TVrCommByteSize : int32_t { vbs5Bits = 0, vbs6Bits = 1, vbs7Bits = 2, vbs8Bits = 3, vbs16Bits = 4 };
enum TVrCommStopBit : int32_t { vsb1StopBit = 0, vsb1_5StopBits = 1, vsb2StopBits = 2 };
enum TVrCommParityBit : int32_t { vpbNone = 0, vpbOdd = 1, vpbEven = 2, vpbSpace = 3, vpbMark = 4 };
enum TVrCommFlowControl : int32_t { vfcHardware = 0, vfcXOnXOff = 1, vfcBoth = 2, vfcManual = 3 };
enum TVrCommDtrLine : int32_t { vdlKeepOff = 0, vdlKeepOn = 1, vdlHandShake = 2 };
enum TVrCommRtsLine : int32_t { vrlKeepOff = 0, vrlKeepOn = 1, vrlHandShake = 2, vrlToggle = 3 };

enum TVrCommEvent : int32_t {
    vevErrUnknown = 0,
    vevErrOverrun = 1,
    vevErrParity = 2,
    vevErrFraming = 3,
    vevErrIo = 4,
    vevErrMode = 5,
    vevErrReceiveOver = 6,
    vevErrSendFull = 7,
    vevError = 8,
    vevBreak = 9,
    vevReceive = 10,
    vevEvent = 11,
    vevSent = 12,
    vevCts = 13,
    vevDsr = 14,
    vevRing = 15,
    vevRlsd = 16,
    vevXOn = 17,
};

// A set of line events, bit n for event n.
struct TVrCommEvents {
    uint32_t Value = 0;
    constexpr TVrCommEvents() = default;
    constexpr TVrCommEvents(std::initializer_list<TVrCommEvent> Events) {
        for (TVrCommEvent E : Events)
            Value |= 1u << E;
    }
    bool Contains(TVrCommEvent E) const { return Value & (1u << E); }
    void Include(TVrCommEvent E) { Value |= 1u << E; }
    void Exclude(TVrCommEvent E) { Value &= ~(1u << E); }
    bool Empty() const { return Value == 0; }
    // Spelled out, not defaulted, so that the header also serves C++17 programs.
    friend bool operator==(TVrCommEvents A, TVrCommEvents B) { return A.Value == B.Value; }
    friend bool operator!=(TVrCommEvents A, TVrCommEvents B) { return A.Value != B.Value; }
};

// The port's handle, raw transfers and the family's one error routine.
class QUADRELLE_SERIAL_EXPORT TVrCustomCommIo : public TComponent {
public:
    // Device: where the port's calls go; null means the system's devices.
    explicit TVrCustomCommIo(TComponent* Owner, std::shared_ptr<TCommDevice> Device = nullptr);
    ~TVrCustomCommIo() override;
    void Assign(const TComponent* Source) override;

    virtual bool GetSuppressException() const;
    virtual void SetSuppressException(bool Value);
    virtual int32_t GetLastError() const;
    virtual void SetLastError(int32_t Value);
    virtual TCommHandle GetHandle() const;
    virtual bool GetOpened() const;
    virtual int32_t GetPortNumber() const;
    virtual void SetPortNumber(int32_t Value); // only while closed, only > 0
    virtual bool GetOverlapped() const;
    virtual void SetOverlapped(bool Value); // only while closed
    virtual bool GetSendPending() const;
    virtual bool GetReceivePending() const;
    virtual const TVrNotifyCommError& GetOnError() const;
    virtual void SetOnError(TVrNotifyCommError Handler);

    // Reports Error (0: the thread's last error) at ErrorAt; returns the
    // reported code, or 0 when nothing was reported. May raise EPropertyError.
    int32_t ReportError(TVrCommErrorAt ErrorAt, int32_t Error);
    void ClearLineError();
    int32_t OpenPort(); // 0 or the system error code
    // 0 or the system error code. The port is closed afterwards either way: a
    // handle whose close failed is not valid any more.
    int32_t ClosePort();
    // Bytes transferred; 0 for nothing or pending; the negated code on failure,
    // and for a negative Count.
    int32_t WritePort(const void* Data, int32_t Count);
    int32_t ReadPort(void* Buffer, int32_t Count);
    int32_t CompletePending(bool Send, bool Wait);

    // Device wrappers: 0 or the system error code; 0 while closed.
    int32_t GetLineStatus(uint32_t& Errors, TCommStat& Status);
    int32_t GetModemStatus(uint32_t& Status);
    int32_t SetBreakState();
    int32_t ClearBreakState();
    int32_t GetState(TCommDcb& Dcb);
    int32_t SetState(const TCommDcb& Dcb);
    int32_t GetTimeouts(TCommTimeouts& Timeouts);
    int32_t SetTimeouts(const TCommTimeouts& Timeouts);
    int32_t SetQueueSizes(int32_t SendSize, int32_t ReceiveSize);
    int32_t GetProperties(TCommProp& Props);
    int32_t PurgePort(bool Send, bool Receive);
    int32_t TransmitChar(char Ch);

    TCommDevice& Device() const { return *FDevice; }

protected:
    // The code to report for Error at ErrorAt; 0 reports nothing.
    virtual int32_t FilterError(TVrCommErrorAt ErrorAt, int32_t Error);
    // Clears the state of one opening; runs before every open and after every close.
    virtual void ResetIoState();
    // Closes the port without closing its handle, which the caller closes
    // through Device() once nothing uses it any more.
    TCommHandle DetachHandle();

private:
    int32_t Failed(); // ClearLineError, then the device's last error

    std::shared_ptr<TCommDevice> FDevice;
    bool FSuppressException = false;
    // Written by the worker and the owner's thread alike.
    std::atomic<bool> FSendPending{false};
    std::atomic<bool> FReceivePending{false};
    int32_t FPortNumber = 1;
    std::atomic<int32_t> FLastError{0};
    std::atomic<TCommHandle> FHandle{kInvalidCommHandle};
    TVrNotifyCommError FOnError;
    TCommOverlapped FWriteRecord{};
    TCommOverlapped FReadRecord{};
    // Both set (overlapped mode) or both null (plain mode).
    TCommOverlapped* FActiveWrite = nullptr;
    TCommOverlapped* FActiveRead = nullptr;
};

// Line settings, port control and line events.
class QUADRELLE_SERIAL_EXPORT TVrCustomComm : public TVrCustomCommIo {
public:
    explicit TVrCustomComm(TComponent* Owner, std::shared_ptr<TCommDevice> Device = nullptr);
    ~TVrCustomComm() override;
    void Assign(const TComponent* Source) override;

    virtual int32_t ApplyState(bool Force);
    virtual int32_t ApplyTimeouts(bool Force);
    // One poll of the line: Events receives the set. 0, or the modem-status error.
    virtual int32_t PollEvents(TVrCommEvents& Events);
    virtual const TCommDcb* CurrentDcb() const;
    virtual const TCommDcb* RequestedDcb() const;

    virtual int32_t GetBaudRate() const;
    virtual void SetBaudRate(int32_t Value);
    virtual TVrCommByteSize GetByteSize() const;
    virtual void SetByteSize(TVrCommByteSize Value);
    virtual TVrCommStopBit GetStopBit() const;
    virtual void SetStopBit(TVrCommStopBit Value);
    virtual TVrCommParityBit GetParityBit() const;
    virtual void SetParityBit(TVrCommParityBit Value);
    virtual bool GetCheckParity() const;
    virtual void SetCheckParity(bool Value);
    virtual bool GetUseErrorChar() const;
    virtual void SetUseErrorChar(bool Value);
    virtual bool GetAbortOnError() const;
    virtual void SetAbortOnError(bool Value);
    virtual bool GetIgnoreNull() const;
    virtual void SetIgnoreNull(bool Value);
    virtual bool GetBreak() const;
    virtual void SetBreak(bool Value);
    virtual TVrCommEvents GetSignals() const;
    virtual int32_t GetXOnChar() const;
    virtual void SetXOnChar(int32_t Value);
    virtual int32_t GetXOffChar() const;
    virtual void SetXOffChar(int32_t Value);
    virtual int32_t GetErrorChar() const;
    virtual void SetErrorChar(int32_t Value);
    virtual int32_t GetEventChar() const;
    virtual void SetEventChar(int32_t Value);
    virtual int32_t GetEofChar() const;
    virtual void SetEofChar(int32_t Value);
    virtual TVrCommFlowControl GetFlowControl() const;
    virtual void SetFlowControl(TVrCommFlowControl Value);
    virtual bool GetRequireCts() const;
    virtual void SetRequireCts(bool Value);
    virtual bool GetRequireDsr() const;
    virtual void SetRequireDsr(bool Value);
    virtual bool GetIgnoreNoDsr() const;
    virtual void SetIgnoreNoDsr(bool Value);
    virtual TVrCommDtrLine GetDtrLine() const;
    virtual void SetDtrLine(TVrCommDtrLine Value);
    virtual TVrCommRtsLine GetRtsLine() const;
    virtual void SetRtsLine(TVrCommRtsLine Value);
    virtual bool GetSilentWithXOff() const;
    virtual void SetSilentWithXOff(bool Value);
    virtual bool GetAcceptXControl() const;
    virtual void SetAcceptXControl(bool Value);
    virtual bool GetUseXControl() const;
    virtual void SetUseXControl(bool Value);
    virtual int32_t GetXOnThreshold() const;
    virtual void SetXOnThreshold(int32_t Value);
    virtual int32_t GetXOffThreshold() const;
    virtual void SetXOffThreshold(int32_t Value);
    virtual int32_t GetSendBufferSize() const;
    virtual void SetSendBufferSize(int32_t Value);
    virtual int32_t GetReceiveBufferSize() const;
    virtual void SetReceiveBufferSize(int32_t Value);
    virtual uint32_t GetSendTimeoutMultiplier() const;
    virtual void SetSendTimeoutMultiplier(uint32_t Value);
    virtual uint32_t GetSendTimeoutConstant() const;
    virtual void SetSendTimeoutConstant(uint32_t Value);
    virtual uint32_t GetReceiveIntervalTimeout() const;
    virtual void SetReceiveIntervalTimeout(uint32_t Value);
    virtual uint32_t GetReceiveTimeoutMultiplier() const;
    virtual void SetReceiveTimeoutMultiplier(uint32_t Value);
    virtual uint32_t GetReceiveTimeoutConstant() const;
    virtual void SetReceiveTimeoutConstant(uint32_t Value);

    virtual int32_t Open();
    virtual int32_t Close();
    virtual int32_t Send(const void* Data, int32_t Count); // bytes sent, 0 or -1
    virtual int32_t Receive(void* Buffer, int32_t Count);  // bytes received, 0 or -1
    virtual int32_t SendChar(char Ch);
    virtual int32_t Purge();

protected:
    void ResetIoState() override;
    // PollEvents without reporting the modem-status error it returns.
    int32_t PollLine(TVrCommEvents& Events);

private:
    int32_t CloseOwn(); // this class's Close, whatever a subclass does
    bool GetFlag(uint32_t Bit) const;
    void SetFlag(uint32_t Bit, bool Value, bool ManualOnly);
    void SetControl(int Shift, uint32_t Value);
    static int32_t ReadChar(char C);
    void SetTimeoutField(uint32_t TCommTimeouts::*Field, uint32_t Value);

    bool FBreak = false;
    int32_t FSendSize = 256;
    int32_t FReceiveSize = 256;
    // Written by the worker's polls, read by the owner.
    std::atomic<uint32_t> FSignals{0};
    TVrCommFlowControl FFlowControl = vfcManual;
    TCommDcb FAppliedDcb{};
    TCommDcb FRequestedDcb{};
    TCommTimeouts FAppliedTimeouts{};
    TCommTimeouts FRequestedTimeouts{};
};

#include "VrStreamBuffer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class TNotifyChannel;

enum TVrThreadPriority : int32_t {
    vtpLowest = 0,
    vtpLower = 1,
    vtpNormal = 2,
    vtpHigher = 3,
    vtpHighest = 4
};

using TNotifyEvent = std::function<void(TComponent* Sender)>;
using TVrNotifyCommEvent = std::function<void(TComponent* Sender, TVrCommEvents Event)>;

// Notification numbers; the record travels in the component's queues.
inline constexpr uint32_t kNotifyError = 0xBB47;
inline constexpr uint32_t kNotifyLineError = 0xBB48;
inline constexpr uint32_t kNotifyOpen = 0xBB49;
inline constexpr uint32_t kNotifyClose = 0xBB4A;
inline constexpr uint32_t kNotifyReceive = 0xBB4B;
inline constexpr uint32_t kNotifySent = 0xBB4C;
inline constexpr uint32_t kNotifyBreak = 0xBB4D;
inline constexpr uint32_t kNotifyChangeSignal = 0xBB4E;

struct TVrNotifyMessage {
    uint32_t Msg;
    intptr_t WParam = 0;
    intptr_t LParam = 0;
    intptr_t Result = 0;
};

// The port driven by a worker thread: Send queues, Receive takes what the
// worker collected, and the seven events run on the thread that opened the
// port, whenever that thread drains its notifications (DrainNotifications, or
// the Qt integration in a Qt program).
class QUADRELLE_SERIAL_EXPORT TVrCustomThreadedComm : public TVrCustomComm {
public:
    explicit TVrCustomThreadedComm(TComponent* Owner, std::shared_ptr<TCommDevice> Device = nullptr);
    ~TVrCustomThreadedComm() override;
    void Assign(const TComponent* Source) override;

    // 0, or the negated system error code; refused (busy) while a worker runs.
    virtual int32_t StartThread();
    // 0, or the system's time-out code when the worker did not end in time;
    // not reported here (Close reports it).
    virtual int32_t StopThread();
    // On the worker the poll reports nothing itself: its error reaches OnError
    // through the error notification, on the owner's thread.
    int32_t PollEvents(TVrCommEvents& Events) override;

    virtual bool GetTerminated() const;
    virtual void SetTerminated(bool Value);
    virtual int32_t GetThreadSleep() const;
    virtual void SetThreadSleep(int32_t Value);
    virtual TVrThreadPriority GetThreadPriority();
    virtual void SetThreadPriority(TVrThreadPriority Value);
    virtual bool GetSendEnabled() const;
    virtual void SetSendEnabled(bool Value);
    virtual uint32_t GetThreadId() const;
    virtual std::thread::native_handle_type GetThreadHandle();
    virtual TNotifyChannel* GetNotifyWindow() const;
    virtual uint8_t* GetReceiveChunk() const;
    virtual TVrStreamBuffer& GetSendBuffer();
    virtual TVrStreamBuffer& GetReceiveBuffer();
    virtual int32_t GetSendCount() const;
    virtual int32_t GetReceiveCount() const;

    virtual const TNotifyEvent& GetOnOpen() const;
    virtual void SetOnOpen(TNotifyEvent Handler);
    virtual const TNotifyEvent& GetOnClose() const;
    virtual void SetOnClose(TNotifyEvent Handler);
    virtual const TNotifyEvent& GetOnBreak() const;
    virtual void SetOnBreak(TNotifyEvent Handler);
    virtual const TNotifyEvent& GetOnSent() const;
    virtual void SetOnSent(TNotifyEvent Handler);
    virtual const TNotifyEvent& GetOnReceive() const;
    virtual void SetOnReceive(TNotifyEvent Handler);
    virtual const TVrNotifyCommEvent& GetOnLineError() const;
    virtual void SetOnLineError(TVrNotifyCommEvent Handler);
    virtual const TVrNotifyCommEvent& GetOnChangeSignal() const;
    virtual void SetOnChangeSignal(TVrNotifyCommEvent Handler);

    // Refused (busy, reported at vcaOpen) while the worker of an earlier opening
    // that outlived its Close still runs.
    int32_t Open() override;
    // When the worker does not end in time, reports the time-out and closes the
    // port all the same; the handle and the channel that the worker uses stay
    // alive until it ends, and it delivers nothing more.
    int32_t Close() override;
    int32_t Send(const void* Data, int32_t Count) override; // bytes queued
    int32_t Receive(void* Buffer, int32_t Count) override;  // bytes taken
    virtual int64_t SendStream(TVrStream& Stream);
    virtual int64_t ReceiveStream(TVrStream& Stream);
    int32_t Purge() override;

    // The notification channel's handler; runs on the owner's thread.
    virtual void NotifyWndProc(TVrNotifyMessage& Message);

protected:
    void ResetIoState() override;
    // Waits for the worker, even one that outlived Close, and frees what it used.
    void AwaitWorker();
    virtual void ThreadLoop();
    virtual void DoLineError(TVrCommEvents Events);
    virtual int32_t ReceiveStep(TVrCommEvents Events);
    virtual int32_t SendStep(TVrCommEvents Events);
    virtual void DoBreak(TVrCommEvents Events);
    virtual void DoChangeSignal(TVrCommEvents Events);
    virtual void PostNotify(uint32_t Number, TVrCommEvents Events);
    virtual void NotifyError(TVrCommErrorAt ErrorAt, int32_t Error);
    virtual void FireOpen(TVrCommEvents Events);
    virtual void FireClose(TVrCommEvents Events);
    virtual void FireLineError(TVrCommEvents Events);
    virtual void FireReceive(TVrCommEvents Events);
    virtual void FireSent(TVrCommEvents Events);
    virtual void FireBreak(TVrCommEvents Events);
    virtual void FireChangeSignal(TVrCommEvents Events);
    virtual void DefaultNotify(TVrNotifyMessage& Message);

    // How long Close waits for the worker to end.
    std::chrono::milliseconds FStopWait{10000};

private:
    static void ThreadEntry(TVrCustomThreadedComm* Self);
    bool ReclaimWorker(); // false while a worker runs
    void DisownHandle(TCommHandle Handle);
    void Pause(std::chrono::milliseconds Duration);

    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FSendEnabled{false};
    std::unique_ptr<uint8_t[]> FReceiveChunk;
    std::atomic<uint32_t> FThreadId{0}; // the worker's kernel thread id
    std::thread FThread;
    std::atomic<int32_t> FThreadSleep{0};
    TVrThreadPriority FThreadPriority = vtpNormal;
    std::unique_ptr<TNotifyChannel> FNotifyWindow;
    TNotifyEvent FOnOpen, FOnClose, FOnBreak, FOnSent, FOnReceive;
    TVrNotifyCommEvent FOnLineError, FOnChangeSignal;
    TVrStreamBuffer FSendBuffer;
    TVrStreamBuffer FReceiveBuffer;
    TVrStreamBuffer FNotifyQueue; // 4-byte event records, one per posted notification
    // Error records (stage, code) wait apart from the event records: an error is
    // handled as soon as it is sent, possibly before events posted earlier, and
    // each notification must take its own record.
    TVrStreamBuffer FErrorQueue;
    // The thread-ended event: set while no worker runs. The signal also wakes
    // a worker that pauses between passes when it is asked to end.
    std::mutex FEndedLock;
    std::condition_variable FEndedSignal;
    bool FThreadEnded = true;
    // A worker that outlived its Close: its handle, closed when it ends, and
    // whether its notifications are dropped (owner's thread only).
    TCommHandle FOrphanHandle = kInvalidCommHandle;
    bool FOrphaned = false;
};

// The threaded port as placed in a program: adds nothing to its base.
class QUADRELLE_SERIAL_EXPORT TVrThreadedComm : public TVrCustomThreadedComm {
public:
    using TVrCustomThreadedComm::TVrCustomThreadedComm;
    // Stops the worker before any base part is torn down: the worker calls
    // virtual operations until it has ended. A class derived from this one
    // that is destroyed while open closes in its own destructor likewise.
    ~TVrThreadedComm() override;
};
