// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "PlatformExport.h"

/// @file
/// The serial device layer: the calls and records of the Win32 comm API, so
/// that the serial family's code is the same on every system. On Windows each
/// call is a pass-through; on Linux the calls run over termios and ioctl.
/// The records keep the Win32 layout and field names; where a field's meaning
/// is Win32's, the Win32 documentation of the record of the same name applies.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

/// An open serial device, as TCommDevice::CreateFile returns it (a HANDLE on
/// Windows, an index into the layer's table of ports on Linux).
using TCommHandle = std::intptr_t;
/// What TCommDevice::CreateFile returns on failure (INVALID_HANDLE_VALUE); also
/// the handle of a closed port.
inline constexpr TCommHandle kInvalidCommHandle = -1; // INVALID_HANDLE_VALUE

/// Error code of TCommDevice::GetOverlappedResult without waiting while the
/// transfer still runs (ERROR_IO_INCOMPLETE); the same number on every system.
inline constexpr int kErrorIoIncomplete = 996; // ERROR_IO_INCOMPLETE
/// Error code of an overlapped TCommDevice::WriteFile or TCommDevice::ReadFile
/// that goes on in the background (ERROR_IO_PENDING); not a failure.
inline constexpr int kErrorIoPending = 997; // ERROR_IO_PENDING

/// @name CreateFile flags
/// Flags of TCommDevice::CreateFile, with the Win32 values.
/**@{*/
/// FILE_FLAG_NO_BUFFERING: accepted and passed on; no effect on Linux.
inline constexpr uint32_t kFileFlagNoBuffering = 0x20000000;
/// FILE_FLAG_OVERLAPPED: transfers may be overlapped (pending) instead of blocking.
inline constexpr uint32_t kFileFlagOverlapped = 0x40000000;
/**@}*/

/// @name DCB flag bits
/// The bits of TCommDcb::Flags, in the order of the Win32 DCB's bit fields
/// (fBinary, fParity, ...).
/**@{*/
inline constexpr uint32_t kDcbBinary = 1u << 0;      ///< fBinary: binary mode; always set
inline constexpr uint32_t kDcbParity = 1u << 1;      ///< fParity: check parity on input (INPCK on Linux)
inline constexpr uint32_t kDcbOutxCtsFlow = 1u << 2; ///< fOutxCtsFlow: output waits for CTS (CRTSCTS)
/// fOutxDsrFlow: output waits for DSR (kept only, on Linux).
inline constexpr uint32_t kDcbOutxDsrFlow = 1u << 3;
/// fDtrControl: the shift of its two bits (kDtrControl* values).
inline constexpr int kDcbDtrControlShift = 4;
inline constexpr uint32_t kDcbDsrSensitivity = 1u << 6;   ///< fDsrSensitivity (kept only, on Linux)
inline constexpr uint32_t kDcbTxContinueOnXoff = 1u << 7; ///< fTXContinueOnXoff (kept only, on Linux)
inline constexpr uint32_t kDcbOutX = 1u << 8;             ///< fOutX: XON/XOFF flow control of output (IXON)
inline constexpr uint32_t kDcbInX = 1u << 9;              ///< fInX: XON/XOFF flow control of input (IXOFF)
/// fErrorChar: replace bytes with parity errors (kept only, on Linux).
inline constexpr uint32_t kDcbErrorChar = 1u << 10;
inline constexpr uint32_t kDcbNull = 1u << 11; ///< fNull: drop NUL bytes on reading
/// fRtsControl: the shift of its two bits (kRtsControl* values).
inline constexpr int kDcbRtsControlShift = 12;
inline constexpr uint32_t kDcbAbortOnError = 1u << 14; ///< fAbortOnError (kept only, on Linux)
/**@}*/

/// @name DTR control
/**@{*/
/// DTR_CONTROL_*: the values of the two fDtrControl bits (kDcbDtrControlShift):
/// line off, line on, handshake.
inline constexpr uint32_t kDtrControlDisable = 0, kDtrControlEnable = 1, kDtrControlHandshake = 2;
/**@}*/
/// @name RTS control
/**@{*/
/// RTS_CONTROL_*: the values of the two fRtsControl bits (kDcbRtsControlShift):
/// line off, line on, handshake, on while sending.
inline constexpr uint32_t kRtsControlDisable = 0, kRtsControlEnable = 1, kRtsControlHandshake = 2,
                          kRtsControlToggle = 3;
/**@}*/
/// @name Parity
/**@{*/
/// NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY, SPACEPARITY: the values of TCommDcb::Parity.
inline constexpr uint8_t kNoParity = 0, kOddParity = 1, kEvenParity = 2, kMarkParity = 3, kSpaceParity = 4;
/**@}*/
/// @name Stop bits
/**@{*/
/// ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS: the values of TCommDcb::StopBits.
inline constexpr uint8_t kOneStopBit = 0, kOne5StopBits = 1, kTwoStopBits = 2;
/**@}*/

/// DCB, with the Win32 layout (28 bytes): a port's line settings, read with
/// TCommDevice::GetCommState and set with TCommDevice::SetCommState. On Linux
/// the fields that have no termios counterpart are kept per handle and read
/// back unchanged (see TCommDevice).
struct TCommDcb {
    uint32_t DCBlength;  ///< sizeof(TCommDcb)
    uint32_t BaudRate;   ///< bits per second; any rate on Linux (termios2)
    uint32_t Flags;      ///< the kDcb* bits
    uint16_t wReserved;  ///< unused, 0
    uint16_t XonLim;     ///< input bytes queued at most before XON is sent (kept only, on Linux)
    uint16_t XoffLim;    ///< free input bytes at least before XOFF is sent (kept only, on Linux)
    uint8_t ByteSize;    ///< data bits, 5 to 8
    uint8_t Parity;      ///< kNoParity, kOddParity, kEvenParity, kMarkParity or kSpaceParity
    uint8_t StopBits;    ///< kOneStopBit, kOne5StopBits or kTwoStopBits
    char XonChar;        ///< the XON character (VSTART on Linux)
    char XoffChar;       ///< the XOFF character (VSTOP on Linux)
    char ErrorChar;      ///< replaces bytes with parity errors (kept only, on Linux)
    char EofChar;        ///< end-of-input character (kept only, on Linux)
    char EvtChar;        ///< event character (kept only, on Linux)
    uint16_t wReserved1; ///< unused, 0
};
static_assert(sizeof(TCommDcb) == 28);

/// MAXDWORD. As TCommTimeouts::ReadIntervalTimeout with zero read totals, a
/// read returns at once with the bytes that are there.
inline constexpr uint32_t kMaxDword = 0xFFFFFFFF;

/// COMMTIMEOUTS: a port's time-outs in milliseconds, read with
/// TCommDevice::GetCommTimeouts and set with TCommDevice::SetCommTimeouts. A
/// total time-out is Multiplier * bytes + Constant; 0 for both means none.
struct TCommTimeouts {
    uint32_t ReadIntervalTimeout;         ///< longest pause between two bytes of a read
    uint32_t ReadTotalTimeoutMultiplier;  ///< per byte of a read
    uint32_t ReadTotalTimeoutConstant;    ///< per read
    uint32_t WriteTotalTimeoutMultiplier; ///< per byte of a write
    uint32_t WriteTotalTimeoutConstant;   ///< per write
};

/// @name COMSTAT flags
/**@{*/
/// The bits of TCommStat::Flags (COMSTAT's fCtsHold, fDsrHold, fRlsdHold,
/// fXoffHold and fXoffSent): why output is held.
inline constexpr uint32_t kComStatCtsHold = 1u << 0, kComStatDsrHold = 1u << 1, kComStatRlsdHold = 1u << 2,
                          kComStatXoffHold = 1u << 3, kComStatXoffSent = 1u << 4;
/**@}*/
/// COMSTAT; Flags holds fCtsHold (bit 0) .. fTxim (bit 6). Filled by
/// TCommDevice::ClearCommError.
struct TCommStat {
    uint32_t Flags;    ///< the kComStat* bits
    uint32_t cbInQue;  ///< bytes received and not yet read
    uint32_t cbOutQue; ///< bytes written and not yet sent, a pending write's included
};

/// COMMPROP: what a device can do, from TCommDevice::GetCommProperties. On
/// Linux only wPacketLength, the queue maxima (4096, the tty layer's buffers)
/// and dwMaxBaud (BAUD_USER: any rate) are filled; every other field is 0.
struct TCommProp {
    uint16_t wPacketLength;       ///< size of the record
    uint16_t wPacketVersion;      ///< version of the record
    uint32_t dwServiceMask;       ///< services provided (SP_SERIALCOMM)
    uint32_t dwReserved1;         ///< unused
    uint32_t dwMaxTxQueue;        ///< largest output queue in bytes; 0: no maximum
    uint32_t dwMaxRxQueue;        ///< largest input queue in bytes; 0: no maximum
    uint32_t dwMaxBaud;           ///< highest rate (a BAUD_* value)
    uint32_t dwProvSubType;       ///< kind of device (PST_*)
    uint32_t dwProvCapabilities;  ///< PCF_* capabilities
    uint32_t dwSettableParams;    ///< SP_* parameters that can be set
    uint32_t dwSettableBaud;      ///< BAUD_* rates that can be set
    uint16_t wSettableData;       ///< DATABITS_* sizes that can be set
    uint16_t wSettableStopParity; ///< STOPBITS_* and PARITY_* values that can be set
    uint32_t dwCurrentTxQueue;    ///< current output queue size in bytes; 0: unknown
    uint32_t dwCurrentRxQueue;    ///< current input queue size in bytes; 0: unknown
    uint32_t dwProvSpec1;         ///< device specific
    uint32_t dwProvSpec2;         ///< device specific
    char16_t wcProvChar[1];       ///< device specific
};

/// OVERLAPPED: the record of one overlapped transfer. It must stay in place
/// while its transfer is pending.
struct TCommOverlapped {
    uintptr_t Internal;     ///< for the device layer
    uintptr_t InternalHigh; ///< for the device layer
    uint32_t Offset;        ///< unused for a serial device, 0
    uint32_t OffsetHigh;    ///< unused for a serial device, 0
    void* hEvent;           ///< Windows: the event set when the transfer ends; null gets one from the layer
};

/// @name ClearCommError flags
/**@{*/
/// The line errors that TCommDevice::ClearCommError reports (CE_*).
inline constexpr uint32_t kCeRxOver = 0x0001, kCeOverrun = 0x0002, kCeRxParity = 0x0004, kCeFrame = 0x0008,
                          kCeBreak = 0x0010, kCeTxFull = 0x0100, kCeIoe = 0x0400, kCeMode = 0x8000;
/**@}*/
/// @name GetCommModemStatus bits
/**@{*/
/// The modem lines that TCommDevice::GetCommModemStatus reports on (MS_*_ON).
inline constexpr uint32_t kMsCtsOn = 0x10, kMsDsrOn = 0x20, kMsRingOn = 0x40, kMsRlsdOn = 0x80;
/**@}*/
/// @name PurgeComm flags
/**@{*/
/// What TCommDevice::PurgeComm drops (PURGE_*): abort a pending transfer,
/// clear a queue.
inline constexpr uint32_t kPurgeTxAbort = 0x1, kPurgeRxAbort = 0x2, kPurgeTxClear = 0x4, kPurgeRxClear = 0x8;
/**@}*/

/// The serial devices of the system: the Win32 comm calls on one interface,
/// so that a test or a program can put another device (a scripted one, a
/// network bridge) under the serial family.
///
/// Every call may be made from any thread; one handle may be used by two threads
/// at once (a worker polling and transferring, the owner changing settings), as
/// the Win32 API allows. Each call returns true on success; on failure it returns
/// false and GetLastError() on the same thread gives the system error code
/// (errno values on Linux, plus kErrorIoPending and kErrorIoIncomplete).
///
/// Linux specifics:
/// - Port path <tt>\\\\.\\COM</tt><i>n</i> opens the device named by the environment variable
///   `VRCOMM_PORTn` when it is set, else `/dev/ttyS<n-1>`. The device is opened
///   exclusively (TIOCEXCL and flock); a second opener fails with EBUSY.
///   CloseHandle clears the exclusive mode again, and it releases the handle
///   even when it fails (Linux frees the descriptor whatever close reports).
/// - DCB mapping: BaudRate (any rate, through termios2), ByteSize 5..8 (others
///   refused with EINVAL), Parity none/odd/even/mark/space (CMSPAR), StopBits one
///   or two (1.5 refused with EINVAL), fOutxCtsFlow or fRtsControl handshake to
///   CRTSCTS, fOutX/fInX to IXON/IXOFF, XonChar/XoffChar to VSTART/VSTOP, fParity
///   to INPCK, fDtrControl/fRtsControl on or off through TIOCMBIS/TIOCMBIC, fNull
///   drops NUL bytes on reading.
/// - Kept per handle and read back unchanged, with no effect on the line:
///   XonLim, XoffLim, EofChar, EvtChar, ErrorChar, fErrorChar, fDsrSensitivity,
///   fTXContinueOnXoff, fOutxDsrFlow, fAbortOnError, DTR handshake and RTS toggle.
/// - ClearCommError derives the error flags from the TIOCGICOUNT counters since
///   the previous call; a hang-up or EIO gives CE_IOE. A device without these
///   counters (a pseudo-terminal) reports no line errors.
/// - GetCommModemStatus on a device without modem lines (a pseudo-terminal)
///   reads all lines off and succeeds, instead of failing.
/// - A hung-up line (the far end of a pseudo-terminal closed, a USB adapter
///   pulled) fails every call with EIO, except that ClearCommError reports CE_IOE
///   and PurgeComm succeeds: there is nothing left to purge.
/// - TransmitCommChar cannot jump the driver's queue: it queues the byte, and
///   fails at once with EAGAIN when the driver takes none (output held by XOFF
///   or CTS, or the queue full).
/// - Overlapped transfers are emulated on a non-blocking descriptor: a write the
///   driver does not take at once keeps a copy of its remaining bytes in the
///   handle and fails with kErrorIoPending; GetOverlappedResult finishes it within
///   the write time-outs, or waits when asked. With ReadIntervalTimeout MAXDWORD
///   and zero read totals a read returns at once with the bytes that are there;
///   a pending read ends at its total read time-out, if it has one, with none.
/// - The overlapped record's event handle is not used.
/// - SetupComm accepts any size: the tty layer's queues have a fixed size.
///
/// Windows specifics:
/// - An overlapped write sends a copy of its bytes, kept with the handle until
///   the record's next write or CloseHandle, so that the caller's buffer may
///   change while the write is pending, as on Linux.
/// - An overlapped record that comes without an event gets one from this layer,
///   owned by the handle: CloseHandle cancels the handle's pending transfers,
///   waits for them, closes the events and clears the records' event fields. Such
///   a record must therefore outlive the handle.
/// - WaitReadable polls the input queue through ClearCommError in 1 ms steps; the
///   line errors that this takes are handed to the next ClearCommError.
class QUADRELLE_PLATFORM_EXPORT TCommDevice {
public:
    /// Closes nothing: the handles opened through the device stay the caller's.
    virtual ~TCommDevice() = default;

    /// Opens a port for reading and writing. Path is the port's device path,
    /// <tt>\\\\.\\COM1</tt> and so on:
    /// CreateFileW(Path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, Flags, nullptr).
    /// Flags: kFileFlagOverlapped and kFileFlagNoBuffering. Returns the handle,
    /// or kInvalidCommHandle with the error in GetLastError() (EBUSY on Linux
    /// when another handle holds the port).
    virtual TCommHandle CreateFile(std::u16string_view Path, uint32_t Flags) = 0;
    /// Closes Handle. The handle is released even when this fails.
    virtual bool CloseHandle(TCommHandle Handle) = 0;
    /// Writes Count bytes from Data; Written receives the number taken. Overlapped is
    /// null for a plain (blocking within the time-outs) transfer. An overlapped
    /// write that goes on in the background fails with kErrorIoPending and is
    /// finished through GetOverlappedResult; its bytes are copied, so Data may
    /// change meanwhile.
    virtual bool WriteFile(TCommHandle Handle, const void* Data, uint32_t Count, uint32_t* Written,
                           TCommOverlapped* Overlapped) = 0;
    /// Reads up to Count bytes into Buffer; Read receives the number read. As
    /// WriteFile for Overlapped; a pending read's Buffer must stay valid until it ends.
    virtual bool ReadFile(TCommHandle Handle, void* Buffer, uint32_t Count, uint32_t* Read,
                          TCommOverlapped* Overlapped) = 0;
    /// The outcome of the pending transfer of Overlapped: Transferred receives
    /// its byte count. Without Wait, a transfer that still runs fails with
    /// kErrorIoIncomplete.
    virtual bool GetOverlappedResult(TCommHandle Handle, TCommOverlapped* Overlapped, uint32_t* Transferred,
                                     bool Wait) = 0;
    /// Errors receives the line errors (kCe* bits) since the last call, which
    /// clears them; Stat (may be null) receives the queues' state.
    virtual bool ClearCommError(TCommHandle Handle, uint32_t* Errors, TCommStat* Stat) = 0;
    /// Status receives the modem lines (kMs* bits).
    virtual bool GetCommModemStatus(TCommHandle Handle, uint32_t* Status) = 0;
    /// Puts the line into the break state (holds it at space) until ClearCommBreak.
    virtual bool SetCommBreak(TCommHandle Handle) = 0;
    /// Ends the break state and resumes sending.
    virtual bool ClearCommBreak(TCommHandle Handle) = 0;
    /// Dcb receives the port's line settings.
    virtual bool GetCommState(TCommHandle Handle, TCommDcb* Dcb) = 0;
    /// Applies the line settings of Dcb; a value the device cannot take fails
    /// (EINVAL on Linux, ERROR_INVALID_PARAMETER on Windows).
    virtual bool SetCommState(TCommHandle Handle, const TCommDcb* Dcb) = 0;
    /// Timeouts receives the port's time-outs.
    virtual bool GetCommTimeouts(TCommHandle Handle, TCommTimeouts* Timeouts) = 0;
    /// Sets the port's time-outs.
    virtual bool SetCommTimeouts(TCommHandle Handle, const TCommTimeouts* Timeouts) = 0;
    /// Asks for input and output queues of the given sizes in bytes.
    virtual bool SetupComm(TCommHandle Handle, uint32_t InQueue, uint32_t OutQueue) = 0;
    /// Props receives what the device can do.
    virtual bool GetCommProperties(TCommHandle Handle, TCommProp* Props) = 0;
    /// Aborts pending transfers and clears queues, as the kPurge* bits of Flags say.
    virtual bool PurgeComm(TCommHandle Handle, uint32_t Flags) = 0;
    /// Sends Ch ahead of the queued output where the device can (see above for Linux).
    virtual bool TransmitCommChar(TCommHandle Handle, char Ch) = 0;

    /// Waits up to TimeoutMs for the device to have input, or for a pending
    /// overlapped write to be able to go on. Returns at once when it has; false
    /// on a time-out or an error. Not part of the Win32 API (a
    /// worker uses WaitCommEvent there); it lets an idle worker sleep on input.
    virtual bool WaitReadable(TCommHandle Handle, int TimeoutMs) = 0;
    /// Ends a WaitReadable on the handle in another thread at once, or the next one
    /// if none is waiting, so that work handed to an idle worker does not wait
    /// for the time-out. A device without a way to do so leaves the wait to end
    /// at its time-out. Any thread.
    virtual void WakeWaiter(TCommHandle) {}

    /// The calling thread's last error code (GetLastError).
    virtual int GetLastError() = 0;
    /// The system's message for Code (FormatMessageW), trimmed.
    virtual std::string ErrorText(int Code) = 0;
};

/// The system's serial devices. Shared by every component that is not given
/// another device. Never null.
QUADRELLE_PLATFORM_EXPORT std::shared_ptr<TCommDevice> SystemCommDevice();
