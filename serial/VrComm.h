// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "SerialExport.h"

/// @file
/// The serial communication family: one serial port driven by number, its line
/// settings, its control lines and its line events. Pure C++ over the device
/// layer (TCommDevice), so that it serves any program on any system.
///
/// - TVrCustomCommIo: the port's handle, raw transfers and the one error routine.
/// - TVrCustomComm: line settings, port control and line events, polled.
/// - TVrCustomThreadedComm / TVrThreadedComm: the port driven by a worker
///   thread, with events on the thread that opened it.
///
/// Threads: every operation runs on the calling thread; call a component's
/// operations from one thread at a time, the one that opened the port for the
/// threaded port (its owner's thread). What may be called from elsewhere says
/// so. Errors are returned as 0 or a system error code (negated for
/// transfers); only ReportError turns one into an OnError call and, unless
/// suppressed, an EPropertyError.

#include "VrComponent.h"
#include <quadrelle/platform/CommDevice.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

/// Where an error happened: the stage that TVrCustomCommIo::ReportError names.
enum TVrCommErrorAt : int32_t {
    vcaOpen = 0,     ///< opening the port (message word 開始)
    vcaClose = 1,    ///< closing it (停止)
    vcaSend = 2,     ///< sending, or setting the break state (送信)
    vcaReceive = 3,  ///< receiving (受信)
    vcaProperty = 4, ///< applying a setting (その他)
    vcaOther = 5     ///< anything else: polling the line, purging (その他)
};

/// Raised by ReportError; the message is the stage word, " : " and the system's text.
class QUADRELLE_SERIAL_EXPORT EPropertyError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The OnError handler: Sender reported Error (a system error code) at
/// ErrorAt. ThrowException comes in true; leave it true for the error to be
/// raised as EPropertyError after the handler returns (unless the component
/// suppresses exceptions), set it false to have the error only returned. Runs
/// on the thread that reports: the owner's thread for the threaded port.
using TVrNotifyCommError =
    std::function<void(TComponent* Sender, TVrCommErrorAt ErrorAt, int32_t Error, bool& ThrowException)>;

/// Data bits per character. Linux takes 5 to 8; 16 is refused.
enum TVrCommByteSize : int32_t {
    vbs5Bits = 0, ///< five
    vbs6Bits = 1, ///< six
    vbs7Bits = 2, ///< seven (the default)
    vbs8Bits = 3, ///< eight
    vbs16Bits = 4 ///< sixteen, where a device has them
};
/// Stop bits. Linux refuses 1.5.
enum TVrCommStopBit : int32_t {
    vsb1StopBit = 0,    ///< one (the default)
    vsb1_5StopBits = 1, ///< one and a half
    vsb2StopBits = 2    ///< two
};
/// Parity bit.
enum TVrCommParityBit : int32_t {
    vpbNone = 0,  ///< none (the default)
    vpbOdd = 1,   ///< odd
    vpbEven = 2,  ///< even
    vpbSpace = 3, ///< always 0
    vpbMark = 4   ///< always 1
};
/// Flow control: a preset of the handshake settings (see TVrCustomComm::SetFlowControl).
enum TVrCommFlowControl : int32_t {
    vfcHardware = 0, ///< CTS/DSR and RTS/DTR handshake
    vfcXOnXOff = 1,  ///< XON/XOFF both ways; DTR and RTS kept on
    vfcBoth = 2,     ///< both of the above
    vfcManual = 3    ///< the handshake settings one by one (the default)
};
/// What the DTR line does.
enum TVrCommDtrLine : int32_t {
    vdlKeepOff = 0,  ///< held off
    vdlKeepOn = 1,   ///< held on (the default)
    vdlHandShake = 2 ///< DTR handshake (kept only, on Linux)
};
/// What the RTS line does.
enum TVrCommRtsLine : int32_t {
    vrlKeepOff = 0,   ///< held off
    vrlKeepOn = 1,    ///< held on (the default)
    vrlHandShake = 2, ///< RTS/CTS handshake
    vrlToggle = 3     ///< on while there are bytes to send (kept only, on Linux)
};

/// A line event, or, in TVrCustomComm::GetSignals, a line that is on.
enum TVrCommEvent : int32_t {
    vevErrUnknown = 0,     ///< a line error of no known kind
    vevErrOverrun = 1,     ///< the device lost a character: its buffer overran
    vevErrParity = 2,      ///< a parity error
    vevErrFraming = 3,     ///< a framing error
    vevErrIo = 4,          ///< an I/O error: the line hung up (the device is gone)
    vevErrMode = 5,        ///< the device refused the mode (CE_MODE)
    vevErrReceiveOver = 6, ///< the input queue overflowed
    vevErrSendFull = 7,    ///< the output queue was full
    vevError = 8,          ///< any line error; comes with the vevErr* events that say which
    vevBreak = 9,          ///< a break was received
    vevReceive = 10,       ///< input waits to be read
    vevEvent = 11,         ///< the event character; not reported by this family
    vevSent = 12,          ///< a pending write has been sent
    vevCts = 13,           ///< CTS changed (in GetSignals: CTS is on)
    vevDsr = 14,           ///< DSR changed (DSR is on)
    vevRing = 15,          ///< RING changed (RING is on)
    vevRlsd = 16,          ///< RLSD (carrier detect) changed (RLSD is on)
    vevXOn = 17,           ///< the XOFF hold changed (output is not held by XOFF)
};

/// A set of line events, bit n for event n.
struct TVrCommEvents {
    uint32_t Value = 0; ///< the set's bits: bit n is TVrCommEvent n
    /// The empty set.
    constexpr TVrCommEvents() = default;
    /// The set of Events.
    constexpr TVrCommEvents(std::initializer_list<TVrCommEvent> Events) {
        for (TVrCommEvent E : Events)
            Value |= 1u << E;
    }
    /// True when E is in the set.
    bool Contains(TVrCommEvent E) const { return Value & (1u << E); }
    /// Adds E.
    void Include(TVrCommEvent E) { Value |= 1u << E; }
    /// Removes E.
    void Exclude(TVrCommEvent E) { Value &= ~(1u << E); }
    /// True for the empty set.
    bool Empty() const { return Value == 0; }
    // Spelled out, not defaulted, so that the header also serves C++17 programs.
    /// True when both sets hold the same events.
    friend bool operator==(TVrCommEvents A, TVrCommEvents B) { return A.Value == B.Value; }
    /// True when the sets differ.
    friend bool operator!=(TVrCommEvents A, TVrCommEvents B) { return A.Value != B.Value; }
};

/// The port's handle, raw transfers and the family's one error routine.
///
/// The raw operations (OpenPort, WritePort, GetState, ...) return 0 or a
/// system error code and report nothing; the operations of TVrCustomComm
/// report their failures through ReportError.
class QUADRELLE_SERIAL_EXPORT TVrCustomCommIo : public TComponent {
public:
    /// Device: where the port's calls go; null means the system's devices.
    explicit TVrCustomCommIo(TComponent* Owner, std::shared_ptr<TCommDevice> Device = nullptr);
    /// Closes the port if it is open, without calling OnError.
    ~TVrCustomCommIo() override;
    /// Copies Overlapped, OnError and, while this port is closed, PortNumber.
    void Assign(const TComponent* Source) override;

    /// True when ReportError never raises EPropertyError. Default false.
    virtual bool GetSuppressException() const;
    /// Sets SuppressException.
    virtual void SetSuppressException(bool Value);
    /// The code of the last error reported through ReportError; each port
    /// operation sets it back to 0 when it starts.
    virtual int32_t GetLastError() const;
    /// Sets LastError.
    virtual void SetLastError(int32_t Value);
    /// The open port's handle; kInvalidCommHandle while closed. Any thread.
    virtual TCommHandle GetHandle() const;
    /// True while the port is open. Any thread.
    virtual bool GetOpened() const;
    /// The port's number: port n is COMn (on Linux, the device that
    /// VRCOMM_PORTn names, else /dev/ttyS<n-1>). Default 1.
    virtual int32_t GetPortNumber() const;
    /// Sets PortNumber; ignored while open and for a value that is not positive.
    virtual void SetPortNumber(int32_t Value); // only while closed, only > 0
    /// True when transfers are overlapped: a write or read that cannot finish
    /// at once stays pending (GetSendPending) instead of blocking. Default
    /// false; true for the threaded port.
    virtual bool GetOverlapped() const;
    /// Sets Overlapped; ignored while open.
    virtual void SetOverlapped(bool Value); // only while closed
    /// True while an overlapped write is pending. Any thread.
    virtual bool GetSendPending() const;
    /// True while an overlapped read is pending. Any thread.
    virtual bool GetReceivePending() const;
    /// The OnError handler; empty unless set.
    virtual const TVrNotifyCommError& GetOnError() const;
    /// Sets the OnError handler, which ReportError calls for every error it
    /// reports, on the thread that reports.
    virtual void SetOnError(TVrNotifyCommError Handler);

    /// Reports Error (0: the thread's last error) at ErrorAt; returns the
    /// reported code, or 0 when nothing was reported. May raise EPropertyError.
    ///
    /// The code passes FilterError first; 0 from it, or a component that is
    /// being destroyed, reports nothing. Otherwise LastError takes the code,
    /// OnError runs, and unless the handler cleared ThrowException or
    /// SuppressException is set, EPropertyError is raised with the stage word
    /// and the system's text ("受信 : Input/output error").
    int32_t ReportError(TVrCommErrorAt ErrorAt, int32_t Error);
    /// Takes and drops the line's error flags (ClearCommError), which on
    /// Windows also lets a port that stopped on an error go on. Nothing while closed.
    void ClearLineError();
    /// Opens port PortNumber, in overlapped mode when Overlapped is set. 0 (also
    /// when open already) or the system error code; not reported.
    int32_t OpenPort(); // 0 or the system error code
    /// 0 or the system error code. The port is closed afterwards either way: a
    /// handle whose close failed is not valid any more. Not reported.
    int32_t ClosePort();
    /// Writes Count bytes of Data. Bytes transferred; 0 for nothing, while
    /// closed, or pending (overlapped: finish it with CompletePending); the
    /// negated code on failure, and for a negative Count. Not reported.
    int32_t WritePort(const void* Data, int32_t Count);
    /// Reads up to Count bytes into Buffer; returns as WritePort. A pending
    /// read fills Buffer later, so it must stay valid until the read ends.
    int32_t ReadPort(void* Buffer, int32_t Count);
    /// Finishes the pending write (Send true) or read: bytes transferred, 0 when
    /// none is pending or (without Wait) it still runs, the negated code on failure.
    int32_t CompletePending(bool Send, bool Wait);

    /// @name Device wrappers
    /// Device wrappers: 0 or the system error code; 0 while closed, with the
    /// out-parameters zeroed. Not reported.
    /**@{*/
    /// The line errors since the last call (kCe* bits) and the queues' state (ClearCommError).
    int32_t GetLineStatus(uint32_t& Errors, TCommStat& Status);
    /// The modem lines (kMs* bits).
    int32_t GetModemStatus(uint32_t& Status);
    /// Puts the line into the break state.
    int32_t SetBreakState();
    /// Ends the break state.
    int32_t ClearBreakState();
    /// The device's line settings.
    int32_t GetState(TCommDcb& Dcb);
    /// Applies line settings to the device.
    int32_t SetState(const TCommDcb& Dcb);
    /// The device's time-outs.
    int32_t GetTimeouts(TCommTimeouts& Timeouts);
    /// Applies time-outs to the device.
    int32_t SetTimeouts(const TCommTimeouts& Timeouts);
    /// Asks for queues of the given sizes in bytes (SetupComm).
    int32_t SetQueueSizes(int32_t SendSize, int32_t ReceiveSize);
    /// What the device can do.
    int32_t GetProperties(TCommProp& Props);
    /// Aborts the pending transfer and clears the queue of each direction asked for.
    int32_t PurgePort(bool Send, bool Receive);
    /// Sends Ch ahead of the queued output where the device can (TransmitCommChar).
    int32_t TransmitChar(char Ch);
    /**@}*/

    /// The device the port's calls go to. Any thread.
    TCommDevice& Device() const { return *FDevice; }

protected:
    /// The code to report for Error at ErrorAt; 0 reports nothing. The base
    /// returns Error; override it to ignore codes that do not matter to the program.
    virtual int32_t FilterError(TVrCommErrorAt ErrorAt, int32_t Error);
    /// Clears the state of one opening; runs before every open and after every close.
    virtual void ResetIoState();
    /// Closes the port without closing its handle, which the caller closes
    /// through Device() once nothing uses it any more.
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

/// Line settings, port control and line events: a port used from one thread,
/// which polls it for events (PollEvents).
///
/// Settings: each setter records the value and, while the port is open,
/// applies it at once; a closed port applies them all when it opens. A value
/// the setter does not accept is ignored. When the device refuses a value,
/// the settings take what the device holds and the error is reported at
/// vcaProperty. The getters read the settings as applied.
///
/// The defaults: 1200 baud, 7 data bits, no parity, one stop bit, parity
/// checking on, DTR and RTS on, manual flow control, XON 0x11, XOFF 0x13,
/// thresholds 128 and 192, queues of 256 bytes, and reads that return at once
/// with what is there (ReceiveIntervalTimeout MAXDWORD, no totals).
class QUADRELLE_SERIAL_EXPORT TVrCustomComm : public TVrCustomCommIo {
public:
    /// As TVrCustomCommIo; the settings start at their defaults.
    explicit TVrCustomComm(TComponent* Owner, std::shared_ptr<TCommDevice> Device = nullptr);
    /// Closes the port if it is open, reporting nothing.
    ~TVrCustomComm() override;
    /// Copies the base's part, the line settings, the time-outs, the queue
    /// sizes and FlowControl, applying them at once when this port is open.
    void Assign(const TComponent* Source) override;

    /// Applies the requested line settings when they differ from the applied
    /// ones, or always with Force. 0, or the code reported at vcaProperty.
    virtual int32_t ApplyState(bool Force);
    /// Applies the requested time-outs as ApplyState does the line settings.
    virtual int32_t ApplyTimeouts(bool Force);
    /// One poll of the line: Events receives the set. 0, or the modem-status error.
    ///
    /// The set holds the line errors since the last poll (vevError with the
    /// vevErr* events that say which), vevBreak, vevReceive while input waits,
    /// vevSent when a pending write has gone, and the lines (vevCts, vevDsr,
    /// vevRing, vevRlsd, vevXOn) that changed since the last poll. The
    /// modem-status error is also reported at vcaOther.
    virtual int32_t PollEvents(TVrCommEvents& Events);
    /// The line settings as applied; valid as long as the component.
    virtual const TCommDcb* CurrentDcb() const;
    /// The line settings as requested: the same as CurrentDcb unless the device refused them.
    virtual const TCommDcb* RequestedDcb() const;

    /// Bits per second. Default 1200.
    virtual int32_t GetBaudRate() const;
    /// Sets BaudRate; ignored unless positive.
    virtual void SetBaudRate(int32_t Value);
    /// Data bits per character. Default vbs7Bits.
    virtual TVrCommByteSize GetByteSize() const;
    /// Sets ByteSize.
    virtual void SetByteSize(TVrCommByteSize Value);
    /// Stop bits. Default vsb1StopBit.
    virtual TVrCommStopBit GetStopBit() const;
    /// Sets StopBit.
    virtual void SetStopBit(TVrCommStopBit Value);
    /// Parity bit. Default vpbNone.
    virtual TVrCommParityBit GetParityBit() const;
    /// Sets ParityBit.
    virtual void SetParityBit(TVrCommParityBit Value);
    /// True when input is checked for parity errors (fParity). Default true.
    virtual bool GetCheckParity() const;
    /// Sets CheckParity.
    virtual void SetCheckParity(bool Value);
    /// True when bytes with parity errors are replaced by ErrorChar (fErrorChar). Default false.
    virtual bool GetUseErrorChar() const;
    /// Sets UseErrorChar.
    virtual void SetUseErrorChar(bool Value);
    /// True when an error stops the transfers until ClearLineError (fAbortOnError). Default false.
    virtual bool GetAbortOnError() const;
    /// Sets AbortOnError.
    virtual void SetAbortOnError(bool Value);
    /// True when NUL bytes are dropped on input (fNull). Default false.
    virtual bool GetIgnoreNull() const;
    /// Sets IgnoreNull.
    virtual void SetIgnoreNull(bool Value);
    /// True while the line is held in the break state; false while closed.
    virtual bool GetBreak() const;
    /// Starts (true) or ends the break state; ignored while closed. A failure
    /// is reported at vcaSend.
    virtual void SetBreak(bool Value);
    /// The lines that are on as of the last poll: vevCts, vevDsr, vevRing,
    /// vevRlsd, and vevXOn while output is not held by XOFF. Any thread.
    virtual TVrCommEvents GetSignals() const;
    /// The XON character, as a signed byte (-128 to 127). Default 0x11.
    virtual int32_t GetXOnChar() const;
    /// Sets XOnChar to the low byte of Value; ignored when negative or equal to XOffChar.
    virtual void SetXOnChar(int32_t Value);
    /// The XOFF character, as a signed byte. Default 0x13.
    virtual int32_t GetXOffChar() const;
    /// Sets XOffChar to the low byte of Value; ignored when negative or equal to XOnChar.
    virtual void SetXOffChar(int32_t Value);
    /// The character that replaces bytes with parity errors, as a signed byte. Default 0.
    virtual int32_t GetErrorChar() const;
    /// Sets ErrorChar to the low byte of Value; ignored when negative.
    virtual void SetErrorChar(int32_t Value);
    /// The event character, as a signed byte. Default 0.
    virtual int32_t GetEventChar() const;
    /// Sets EventChar to the low byte of Value; ignored when negative.
    virtual void SetEventChar(int32_t Value);
    /// The end-of-input character, as a signed byte. Default 3.
    virtual int32_t GetEofChar() const;
    /// Sets EofChar to the low byte of Value; ignored when negative.
    virtual void SetEofChar(int32_t Value);
    /// The flow control preset. Default vfcManual.
    virtual TVrCommFlowControl GetFlowControl() const;
    /// Sets the handshake settings as a preset: vfcHardware requires CTS and
    /// DSR, honours DSR, and hands DTR and RTS to the handshake; vfcXOnXOff
    /// keeps DTR and RTS on and uses XON/XOFF both ways, silent while held;
    /// vfcBoth does both; vfcManual returns to no handshake with DTR and RTS on.
    /// The handshake setters below are ignored unless FlowControl is vfcManual.
    virtual void SetFlowControl(TVrCommFlowControl Value);
    /// True when output waits for CTS (fOutxCtsFlow).
    virtual bool GetRequireCts() const;
    /// Sets RequireCts; vfcManual only.
    virtual void SetRequireCts(bool Value);
    /// True when output waits for DSR (fOutxDsrFlow).
    virtual bool GetRequireDsr() const;
    /// Sets RequireDsr; vfcManual only.
    virtual void SetRequireDsr(bool Value);
    /// True when input is taken only while DSR is on (fDsrSensitivity).
    virtual bool GetIgnoreNoDsr() const;
    /// Sets IgnoreNoDsr; vfcManual only.
    virtual void SetIgnoreNoDsr(bool Value);
    /// What the DTR line does. Default vdlKeepOn.
    virtual TVrCommDtrLine GetDtrLine() const;
    /// Sets DtrLine; vfcManual only.
    virtual void SetDtrLine(TVrCommDtrLine Value);
    /// What the RTS line does. Default vrlKeepOn.
    virtual TVrCommRtsLine GetRtsLine() const;
    /// Sets RtsLine; vfcManual only.
    virtual void SetRtsLine(TVrCommRtsLine Value);
    /// True when output stops once XOFF has been sent for input (not fTXContinueOnXoff).
    virtual bool GetSilentWithXOff() const;
    /// Sets SilentWithXOff; vfcManual only.
    virtual void SetSilentWithXOff(bool Value);
    /// True when output obeys the XON and XOFF it receives (fOutX).
    virtual bool GetAcceptXControl() const;
    /// Sets AcceptXControl; vfcManual only.
    virtual void SetAcceptXControl(bool Value);
    /// True when XOFF and XON are sent as the input queue fills and empties (fInX).
    virtual bool GetUseXControl() const;
    /// Sets UseXControl; vfcManual only.
    virtual void SetUseXControl(bool Value);
    /// Bytes left in the input queue at most before XON is sent (XonLim). Default 128.
    virtual int32_t GetXOnThreshold() const;
    /// Sets XOnThreshold to the low 16 bits of Value; ignored unless positive.
    virtual void SetXOnThreshold(int32_t Value);
    /// Free bytes in the input queue at least before XOFF is sent (XoffLim). Default 192.
    virtual int32_t GetXOffThreshold() const;
    /// Sets XOffThreshold to the low 16 bits of Value; ignored unless positive.
    virtual void SetXOffThreshold(int32_t Value);
    /// The size of the device's output queue in bytes. Default 256.
    virtual int32_t GetSendBufferSize() const;
    /// Sets SendBufferSize; ignored unless positive. When the device refuses
    /// the size, it becomes the device's maximum (where it has one) and the
    /// error is reported at vcaProperty.
    virtual void SetSendBufferSize(int32_t Value);
    /// The size of the device's input queue in bytes. Default 256.
    virtual int32_t GetReceiveBufferSize() const;
    /// Sets ReceiveBufferSize; ignored unless positive. When the device refuses
    /// the size, it becomes the device's maximum (where it has one); the error
    /// is reported only when that maximum cannot be read. XOnThreshold and
    /// XOffThreshold above the new size drop to a half and three quarters of it.
    virtual void SetReceiveBufferSize(int32_t Value);
    /// @name Time-outs
    /// The port's time-outs in milliseconds (TCommTimeouts); a setter applies
    /// its value at once while open, and a refusal is reported at vcaProperty.
    /**@{*/
    /// Per byte of a write (WriteTotalTimeoutMultiplier). Default 0.
    virtual uint32_t GetSendTimeoutMultiplier() const;
    /// Sets SendTimeoutMultiplier.
    virtual void SetSendTimeoutMultiplier(uint32_t Value);
    /// Per write (WriteTotalTimeoutConstant). Default 0; 1 for the threaded port.
    virtual uint32_t GetSendTimeoutConstant() const;
    /// Sets SendTimeoutConstant.
    virtual void SetSendTimeoutConstant(uint32_t Value);
    /// Longest pause between two bytes of a read (ReadIntervalTimeout). Default kMaxDword.
    virtual uint32_t GetReceiveIntervalTimeout() const;
    /// Sets ReceiveIntervalTimeout.
    virtual void SetReceiveIntervalTimeout(uint32_t Value);
    /// Per byte of a read (ReadTotalTimeoutMultiplier). Default 0.
    virtual uint32_t GetReceiveTimeoutMultiplier() const;
    /// Sets ReceiveTimeoutMultiplier.
    virtual void SetReceiveTimeoutMultiplier(uint32_t Value);
    /// Per read (ReadTotalTimeoutConstant). Default 0.
    virtual uint32_t GetReceiveTimeoutConstant() const;
    /// Sets ReceiveTimeoutConstant.
    virtual void SetReceiveTimeoutConstant(uint32_t Value);
    /**@}*/

    /// Opens port PortNumber and applies the queue sizes, the line settings and
    /// the time-outs, after purging the queues. 0 (also when open already), or
    /// the reported code; on any failure the port is closed again, also when
    /// EPropertyError is raised.
    virtual int32_t Open();
    /// Purges the queues (a failure there is reported at vcaOther), puts the
    /// applied line settings back and closes the port. 0 (also when closed
    /// already), or the code reported at vcaClose; the port is closed either way.
    virtual int32_t Close();
    /// Writes Count bytes of Data and, in overlapped mode, waits for them to go.
    /// Bytes sent; 0 while closed or for nothing; -1 for a failure reported at
    /// vcaSend (0 when FilterError dropped it).
    virtual int32_t Send(const void* Data, int32_t Count); // bytes sent, 0 or -1
    /// Reads up to Count bytes into Buffer, within the read time-outs. Bytes
    /// received; 0 while closed or for none; -1 for a failure reported at vcaReceive.
    virtual int32_t Receive(void* Buffer, int32_t Count); // bytes received, 0 or -1
    /// Sends Ch ahead of the queued output where the device can. 0, or the
    /// code reported at vcaSend; 0 while closed.
    virtual int32_t SendChar(char Ch);
    /// Drops what waits in both queues. 0, or the code reported at vcaOther.
    virtual int32_t Purge();

protected:
    /// Also ends the break state and forgets the lines' state.
    void ResetIoState() override;
    /// PollEvents without reporting the modem-status error it returns.
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

/// The worker thread's priority, relative to the process (Win32's lowest to highest).
enum TVrThreadPriority : int32_t {
    vtpLowest = 0, ///< two steps below normal
    vtpLower = 1,  ///< one step below normal
    vtpNormal = 2, ///< the process's own (the default)
    vtpHigher = 3, ///< one step above normal; on Linux needs the privilege
    vtpHighest = 4 ///< two steps above normal; on Linux needs the privilege
};

/// An event handler without details: OnOpen, OnClose, OnBreak, OnSent, OnReceive.
using TNotifyEvent = std::function<void(TComponent* Sender)>;
/// An event handler with the events of the poll that caused it: OnLineError, OnChangeSignal.
using TVrNotifyCommEvent = std::function<void(TComponent* Sender, TVrCommEvents Event)>;

/// @name Notification numbers
/// The messages that the worker posts to the owner's thread, one per event;
/// the record travels in the component's queues. TVrCustomThreadedComm::NotifyWndProc
/// handles them.
/**@{*/
/// An error of the worker: OnError, and EPropertyError unless suppressed. Sent:
/// the worker waits until the owner's thread has handled it.
inline constexpr uint32_t kNotifyError = 0xBB47;
inline constexpr uint32_t kNotifyLineError = 0xBB48;    ///< OnLineError
inline constexpr uint32_t kNotifyOpen = 0xBB49;         ///< OnOpen (Open calls the handler itself)
inline constexpr uint32_t kNotifyClose = 0xBB4A;        ///< OnClose (Close calls the handler itself)
inline constexpr uint32_t kNotifyReceive = 0xBB4B;      ///< OnReceive
inline constexpr uint32_t kNotifySent = 0xBB4C;         ///< OnSent
inline constexpr uint32_t kNotifyBreak = 0xBB4D;        ///< OnBreak
inline constexpr uint32_t kNotifyChangeSignal = 0xBB4E; ///< OnChangeSignal
/**@}*/

/// A notification as TVrCustomThreadedComm::NotifyWndProc receives it, shaped
/// as a window message.
struct TVrNotifyMessage {
    uint32_t Msg;        ///< the notification number (kNotify*)
    intptr_t WParam = 0; ///< unused by the family, 0
    intptr_t LParam = 0; ///< unused by the family, 0
    intptr_t Result = 0; ///< for a handler's answer; unused by the family
};

/// The port driven by a worker thread: Send queues, Receive takes what the
/// worker collected, and the seven events run on the thread that opened the
/// port, whenever that thread drains its notifications (DrainNotifications, or
/// the Qt integration in a Qt program).
///
/// The thread that calls Open is the port's owner until Close: OnReceive,
/// OnSent, OnLineError, OnBreak and OnChangeSignal, and OnError for what the
/// worker meets, run there, inside DrainNotifications (NotifyChannel.h) or,
/// in a Qt program that links Quadrelle::Widgets, in that thread's Qt event
/// loop. OnOpen runs inside Open and OnClose inside Close. An EPropertyError
/// of an error that the worker met leaves DrainNotifications (in Qt: goes to
/// the hook of SetVrCommQtErrorHook). Call the operations on the owner's
/// thread; the counters, Terminated, ThreadSleep and GetSignals may be read
/// from any thread.
///
/// The worker polls the line, moves received bytes into the receive buffer in
/// chunks of 256, writes what Send queued, and posts one notification per
/// event. A line that fails (hung up, adapter pulled) is reported once, not
/// on every pass, and the worker then polls it every 100 ms until it
/// recovers or the port is closed.
class QUADRELLE_SERIAL_EXPORT TVrCustomThreadedComm : public TVrCustomComm {
public:
    /// As TVrCustomComm, in overlapped mode with SendTimeoutConstant 1.
    explicit TVrCustomThreadedComm(TComponent* Owner, std::shared_ptr<TCommDevice> Device = nullptr);
    /// Closes the port if it is open (no OnClose) and waits for the worker,
    /// even one that outlived Close.
    ~TVrCustomThreadedComm() override;
    /// Copies the base's part and the seven event handlers.
    void Assign(const TComponent* Source) override;

    /// Starts the worker (Open does). 0, or the negated system error code;
    /// refused (busy) while a worker runs.
    virtual int32_t StartThread();
    /// Asks the worker to end and waits for it, up to 10 s (FStopWait), serving
    /// the errors it sends meanwhile. 0, or the system's time-out code when the
    /// worker did not end in time; not reported here (Close reports it).
    virtual int32_t StopThread();
    /// On the worker the poll reports nothing itself: its error reaches OnError
    /// through the error notification, on the owner's thread. On any other
    /// thread it polls and reports as TVrCustomComm::PollEvents.
    int32_t PollEvents(TVrCommEvents& Events) override;

    /// True once the worker has been asked to end. Any thread.
    virtual bool GetTerminated() const;
    /// True asks the worker to end after its current pass and wakes it from a
    /// pause. Any thread.
    virtual void SetTerminated(bool Value);
    /// Milliseconds the worker pauses after each pass. Default 0: an idle
    /// worker waits for input instead, at most 1 ms at a time. Any thread.
    virtual int32_t GetThreadSleep() const;
    /// Sets ThreadSleep; ignored when negative. Any thread.
    virtual void SetThreadSleep(int32_t Value);
    /// The worker's priority; while it runs, read from the system.
    virtual TVrThreadPriority GetThreadPriority();
    /// Sets the worker's priority, at once while it runs and at the next
    /// start otherwise. A priority the system refuses (above normal without
    /// the privilege on Linux) leaves the running worker's as it was.
    virtual void SetThreadPriority(TVrThreadPriority Value);
    /// False while sending is held: queued bytes wait in the send buffer.
    /// True after each Open, false after Close.
    virtual bool GetSendEnabled() const;
    /// Holds (false) or resumes sending; ignored while closed.
    virtual void SetSendEnabled(bool Value);
    /// The worker's system thread id; 0 while no worker runs. Any thread.
    virtual uint32_t GetThreadId() const;
    /// The worker's native thread handle; a default value when there is none.
    virtual std::thread::native_handle_type GetThreadHandle();
    /// The notification channel of the current opening; null while closed.
    virtual TNotifyChannel* GetNotifyWindow() const;
    /// The worker's read buffer (256 bytes), for a subclass's ReceiveStep.
    virtual uint8_t* GetReceiveChunk() const;
    /// The queue of bytes waiting to be sent. Enter its lock around every use:
    /// the worker takes from it.
    virtual TVrStreamBuffer& GetSendBuffer();
    /// The queue of bytes received and not yet taken. Enter its lock around
    /// every use: the worker adds to it.
    virtual TVrStreamBuffer& GetReceiveBuffer();
    /// Bytes waiting to be sent. Any thread, without the lock.
    virtual int32_t GetSendCount() const;
    /// Bytes received and not yet taken. Any thread, without the lock.
    virtual int32_t GetReceiveCount() const;

    /// @name Events
    /// The handlers run on the owner's thread. Set them before Open; a handler
    /// may call the component's operations, Receive among them, and Close.
    /**@{*/
    /// The OnOpen handler: called at the end of a successful Open.
    virtual const TNotifyEvent& GetOnOpen() const;
    /// Sets the OnOpen handler.
    virtual void SetOnOpen(TNotifyEvent Handler);
    /// The OnClose handler: called at the end of a successful Close, not when
    /// the component is being destroyed.
    virtual const TNotifyEvent& GetOnClose() const;
    /// Sets the OnClose handler.
    virtual void SetOnClose(TNotifyEvent Handler);
    /// The OnBreak handler: a break was received.
    virtual const TNotifyEvent& GetOnBreak() const;
    /// Sets the OnBreak handler.
    virtual void SetOnBreak(TNotifyEvent Handler);
    /// The OnSent handler: every queued byte has been handed to the device.
    virtual const TNotifyEvent& GetOnSent() const;
    /// Sets the OnSent handler.
    virtual void SetOnSent(TNotifyEvent Handler);
    /// The OnReceive handler: bytes arrived in the receive buffer; take them
    /// with Receive or ReceiveStream. One notification may announce the bytes
    /// of several chunks, and a later one none that are left.
    virtual const TNotifyEvent& GetOnReceive() const;
    /// Sets the OnReceive handler.
    virtual void SetOnReceive(TNotifyEvent Handler);
    /// The OnLineError handler: line errors, as vevError with the vevErr*
    /// events that say which. Bytes that came with an error are dropped.
    virtual const TVrNotifyCommEvent& GetOnLineError() const;
    /// Sets the OnLineError handler.
    virtual void SetOnLineError(TVrNotifyCommEvent Handler);
    /// The OnChangeSignal handler: a line changed; GetSignals tells which are on.
    virtual const TVrNotifyCommEvent& GetOnChangeSignal() const;
    /// Sets the OnChangeSignal handler.
    virtual void SetOnChangeSignal(TVrNotifyCommEvent Handler);
    /**@}*/

    /// Opens the port as TVrCustomComm::Open, makes the calling thread its
    /// owner, starts the worker and calls OnOpen. 0 or the reported code; the
    /// port is closed again on failure.
    /// Refused (busy, reported at vcaOpen) while the worker of an earlier opening
    /// that outlived its Close still runs.
    int32_t Open() override;
    /// Stops the worker, closes the port, drops both buffers and calls OnClose.
    /// 0, or the reported code.
    /// When the worker does not end in time, reports the time-out and closes the
    /// port all the same; the handle and the channel that the worker uses stay
    /// alive until it ends, and it delivers nothing more.
    int32_t Close() override;
    /// Queues Count bytes of Data for the worker to send. Bytes queued; 0 while
    /// closed, for null Data or a Count that is not positive. Send failures
    /// reach OnError later, at vcaSend.
    int32_t Send(const void* Data, int32_t Count) override; // bytes queued
    /// Takes up to Count received bytes into Buffer. Bytes taken; 0 while
    /// closed or when none wait. Never waits.
    int32_t Receive(void* Buffer, int32_t Count) override; // bytes taken
    /// Queues all of Stream, from its start, for sending. Bytes queued; 0 while closed.
    virtual int64_t SendStream(TVrStream& Stream);
    /// Writes every received byte to Stream at its position and empties the
    /// receive buffer. Bytes written; 0 while closed or when none wait.
    virtual int64_t ReceiveStream(TVrStream& Stream);
    /// Drops what waits in the device's queues and in both buffers. 0, or the
    /// code reported at vcaOther.
    int32_t Purge() override;

    /// The notification channel's handler; runs on the owner's thread.
    /// For kNotifyError it reports the worker's next error (OnError, and
    /// EPropertyError unless suppressed); for the other kNotify* numbers it
    /// takes the next event record and calls the matching Fire* function;
    /// any other number goes to DefaultNotify.
    virtual void NotifyWndProc(TVrNotifyMessage& Message);

protected:
    /// Also enables sending for the new opening.
    void ResetIoState() override;
    /// Waits for the worker, even one that outlived Close, and frees what it used.
    void AwaitWorker();
    /// The worker's body, on the worker thread: polls and transfers until
    /// Terminated is set or the port closes.
    virtual void ThreadLoop();
    /// Worker: announces line errors (posts kNotifyLineError).
    virtual void DoLineError(TVrCommEvents Events);
    /// Worker: reads one chunk into the receive buffer and posts kNotifyReceive.
    /// Bytes read, or the negated error code.
    virtual int32_t ReceiveStep(TVrCommEvents Events);
    /// Worker: finishes a pending write and writes what is queued while sending
    /// is enabled; posts kNotifySent once the queue is empty. Bytes sent, or the
    /// negated error code.
    virtual int32_t SendStep(TVrCommEvents Events);
    /// Worker: announces a received break (posts kNotifyBreak).
    virtual void DoBreak(TVrCommEvents Events);
    /// Worker: announces changed lines (posts kNotifyChangeSignal).
    virtual void DoChangeSignal(TVrCommEvents Events);
    /// Queues the record of Events and posts Number to the owner's thread.
    virtual void PostNotify(uint32_t Number, TVrCommEvents Events);
    /// Worker: hands Error at ErrorAt to the owner's thread and waits until it
    /// has been reported there.
    virtual void NotifyError(TVrCommErrorAt ErrorAt, int32_t Error);
    /// @name Event calls
    /// Owner's thread: call the event's handler, if one is set, with the
    /// events of the notification. Override one to act on an event in a subclass.
    /**@{*/
    /// Calls the handler of the event this function is named after (FireOpen:
    /// OnOpen), if one is set; the events are those of the notification.
    virtual void FireOpen(TVrCommEvents Events);
    virtual void FireClose(TVrCommEvents Events);
    virtual void FireLineError(TVrCommEvents Events);
    virtual void FireReceive(TVrCommEvents Events);
    virtual void FireSent(TVrCommEvents Events);
    virtual void FireBreak(TVrCommEvents Events);
    virtual void FireChangeSignal(TVrCommEvents Events);
    /**@}*/
    /// Owner's thread: a notification number that is not the family's. The
    /// base does nothing.
    virtual void DefaultNotify(TVrNotifyMessage& Message);

    /// How long Close waits for the worker to end.
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

/// The threaded port as placed in a program: adds nothing to its base.
///
/// A minimal use: set PortNumber and the line settings, set OnReceive, Open,
/// and drain the owner thread's notifications (or run a Qt event loop).
class QUADRELLE_SERIAL_EXPORT TVrThreadedComm : public TVrCustomThreadedComm {
public:
    using TVrCustomThreadedComm::TVrCustomThreadedComm;
    /// Stops the worker before any base part is torn down: the worker calls
    /// virtual operations until it has ended. A class derived from this one
    /// that is destroyed while open closes in its own destructor likewise.
    ~TVrThreadedComm() override;
};
