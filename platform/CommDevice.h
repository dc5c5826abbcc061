// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "PlatformExport.h"

// The serial device layer: the calls and records of the Win32 comm API, so that
// the serial family's code is the same on every system. On Windows each call is
// a pass-through; on Linux the calls run over termios and ioctl.
//
// Every call may be made from any thread; one handle may be used by two threads
// at once (a worker polling and transferring, the owner changing settings), as
// the Win32 API allows. Each call returns true on success; on failure it returns
// false and GetLastError() on the same thread gives the system error code
// (errno values on Linux, plus kErrorIoPending and kErrorIoIncomplete).
//
// Linux specifics:
// - Port path "\\.\COMn" opens the device named by the environment variable
//   VRCOMM_PORTn when it is set, else /dev/ttyS<n-1>. The device is opened
//   exclusively (TIOCEXCL and flock); a second opener fails with EBUSY.
//   CloseHandle clears the exclusive mode again, and it releases the handle
//   even when it fails (Linux frees the descriptor whatever close reports).
// - DCB mapping: BaudRate (any rate, through termios2), ByteSize 5..8 (others
//   refused with EINVAL), Parity none/odd/even/mark/space (CMSPAR), StopBits one
//   or two (1.5 refused with EINVAL), fOutxCtsFlow or fRtsControl handshake to
//   CRTSCTS, fOutX/fInX to IXON/IXOFF, XonChar/XoffChar to VSTART/VSTOP, fParity
//   to INPCK, fDtrControl/fRtsControl on or off through TIOCMBIS/TIOCMBIC, fNull
//   drops NUL bytes on reading.
// - Kept per handle and read back unchanged, with no effect on the line:
//   XonLim, XoffLim, EofChar, EvtChar, ErrorChar, fErrorChar, fDsrSensitivity,
//   fTXContinueOnXoff, fOutxDsrFlow, fAbortOnError, DTR handshake and RTS toggle.
// - ClearCommError derives the error flags from the TIOCGICOUNT counters since
//   the previous call; a hang-up or EIO gives CE_IOE. A device without these
//   counters (a pseudo-terminal) reports no line errors.
// - GetCommModemStatus on a device without modem lines (a pseudo-terminal)
//   reads all lines off and succeeds, instead of failing.
// - A hung-up line (the far end of a pseudo-terminal closed, a USB adapter
//   pulled) fails every call with EIO, except that ClearCommError reports CE_IOE
//   and PurgeComm succeeds: there is nothing left to purge.
// - TransmitCommChar cannot jump the driver's queue: it queues the byte, and
//   fails at once with EAGAIN when the driver takes none (output held by XOFF
//   or CTS, or the queue full).
// - Overlapped transfers are emulated on a non-blocking descriptor: a write the
//   driver does not take at once keeps a copy of its remaining bytes in the
//   handle and fails with kErrorIoPending; GetOverlappedResult finishes it within
//   the write time-outs, or waits when asked. With ReadIntervalTimeout MAXDWORD
//   and zero read totals a read returns at once with the bytes that are there;
//   a pending read ends at its total read time-out, if it has one, with none.
// - The overlapped record's event handle is not used.
//
// Windows specifics:
// - An overlapped write sends a copy of its bytes, kept with the handle until
//   the record's next write or CloseHandle, so that the caller's buffer may
//   change while the write is pending, as on Linux.
// - An overlapped record that comes without an event gets one from this layer,
//   owned by the handle: CloseHandle cancels the handle's pending transfers,
//   waits for them, closes the events and clears the records' event fields. Such
//   a record must therefore outlive the handle.
// - WaitReadable polls the input queue through ClearCommError in 1 ms steps; the
//   line errors that this takes are handed to the next ClearCommError.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

using TCommHandle = std::intptr_t;
inline constexpr TCommHandle kInvalidCommHandle = -1; // INVALID_HANDLE_VALUE

inline constexpr int kErrorIoIncomplete = 996; // ERROR_IO_INCOMPLETE
inline constexpr int kErrorIoPending = 997;    // ERROR_IO_PENDING

// CreateFile flags.
inline constexpr uint32_t kFileFlagNoBuffering = 0x20000000;
inline constexpr uint32_t kFileFlagOverlapped = 0x40000000;

// DCB flag bits (the Win32 bit-field order).
inline constexpr uint32_t kDcbBinary = 1u << 0;
inline constexpr uint32_t kDcbParity = 1u << 1;
inline constexpr uint32_t kDcbOutxCtsFlow = 1u << 2;
inline constexpr uint32_t kDcbOutxDsrFlow = 1u << 3;
inline constexpr int kDcbDtrControlShift = 4; // two bits
inline constexpr uint32_t kDcbDsrSensitivity = 1u << 6;
inline constexpr uint32_t kDcbTxContinueOnXoff = 1u << 7;
inline constexpr uint32_t kDcbOutX = 1u << 8;
inline constexpr uint32_t kDcbInX = 1u << 9;
inline constexpr uint32_t kDcbErrorChar = 1u << 10;
inline constexpr uint32_t kDcbNull = 1u << 11;
inline constexpr int kDcbRtsControlShift = 12; // two bits
inline constexpr uint32_t kDcbAbortOnError = 1u << 14;

inline constexpr uint32_t kDtrControlDisable = 0, kDtrControlEnable = 1, kDtrControlHandshake = 2;
inline constexpr uint32_t kRtsControlDisable = 0, kRtsControlEnable = 1, kRtsControlHandshake = 2,
                          kRtsControlToggle = 3;
inline constexpr uint8_t kNoParity = 0, kOddParity = 1, kEvenParity = 2, kMarkParity = 3, kSpaceParity = 4;
inline constexpr uint8_t kOneStopBit = 0, kOne5StopBits = 1, kTwoStopBits = 2;

// DCB, with the Win32 layout (28 bytes).
struct TCommDcb {
    uint32_t DCBlength;
    uint32_t BaudRate;
    uint32_t Flags; // the kDcb* bits
    uint16_t wReserved;
    uint16_t XonLim;
    uint16_t XoffLim;
    uint8_t ByteSize;
    uint8_t Parity;
    uint8_t StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    uint16_t wReserved1;
};
static_assert(sizeof(TCommDcb) == 28);

inline constexpr uint32_t kMaxDword = 0xFFFFFFFF;

// COMMTIMEOUTS.
struct TCommTimeouts {
    uint32_t ReadIntervalTimeout;
    uint32_t ReadTotalTimeoutMultiplier;
    uint32_t ReadTotalTimeoutConstant;
    uint32_t WriteTotalTimeoutMultiplier;
    uint32_t WriteTotalTimeoutConstant;
};

// COMSTAT; Flags holds fCtsHold (bit 0) .. fTxim (bit 6).
inline constexpr uint32_t kComStatCtsHold = 1u << 0, kComStatDsrHold = 1u << 1, kComStatRlsdHold = 1u << 2,
                          kComStatXoffHold = 1u << 3, kComStatXoffSent = 1u << 4;
struct TCommStat {
    uint32_t Flags;
    uint32_t cbInQue;
    uint32_t cbOutQue;
};

// COMMPROP.
struct TCommProp {
    uint16_t wPacketLength;
    uint16_t wPacketVersion;
    uint32_t dwServiceMask;
    uint32_t dwReserved1;
    uint32_t dwMaxTxQueue;
    uint32_t dwMaxRxQueue;
    uint32_t dwMaxBaud;
    uint32_t dwProvSubType;
    uint32_t dwProvCapabilities;
    uint32_t dwSettableParams;
    uint32_t dwSettableBaud;
    uint16_t wSettableData;
    uint16_t wSettableStopParity;
    uint32_t dwCurrentTxQueue;
    uint32_t dwCurrentRxQueue;
    uint32_t dwProvSpec1;
    uint32_t dwProvSpec2;
    char16_t wcProvChar[1];
};

// OVERLAPPED.
struct TCommOverlapped {
    uintptr_t Internal;
    uintptr_t InternalHigh;
    uint32_t Offset;
    uint32_t OffsetHigh;
    void* hEvent;
};

// ClearCommError flags.
inline constexpr uint32_t kCeRxOver = 0x0001, kCeOverrun = 0x0002, kCeRxParity = 0x0004, kCeFrame = 0x0008,
                          kCeBreak = 0x0010, kCeTxFull = 0x0100, kCeIoe = 0x0400, kCeMode = 0x8000;
// GetCommModemStatus bits.
inline constexpr uint32_t kMsCtsOn = 0x10, kMsDsrOn = 0x20, kMsRingOn = 0x40, kMsRlsdOn = 0x80;
// PurgeComm flags.
inline constexpr uint32_t kPurgeTxAbort = 0x1, kPurgeRxAbort = 0x2, kPurgeTxClear = 0x4, kPurgeRxClear = 0x8;

class QUADRELLE_PLATFORM_EXPORT TCommDevice {
public:
    virtual ~TCommDevice() = default;

    // CreateFileW(Path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, Flags, nullptr).
    virtual TCommHandle CreateFile(std::u16string_view Path, uint32_t Flags) = 0;
    virtual bool CloseHandle(TCommHandle Handle) = 0;
    // Overlapped is null for a plain (blocking within the time-outs) transfer.
    virtual bool WriteFile(TCommHandle Handle, const void* Data, uint32_t Count, uint32_t* Written,
                           TCommOverlapped* Overlapped) = 0;
    virtual bool ReadFile(TCommHandle Handle, void* Buffer, uint32_t Count, uint32_t* Read,
                          TCommOverlapped* Overlapped) = 0;
    virtual bool GetOverlappedResult(TCommHandle Handle, TCommOverlapped* Overlapped, uint32_t* Transferred,
                                     bool Wait) = 0;
    virtual bool ClearCommError(TCommHandle Handle, uint32_t* Errors, TCommStat* Stat) = 0;
    virtual bool GetCommModemStatus(TCommHandle Handle, uint32_t* Status) = 0;
    virtual bool SetCommBreak(TCommHandle Handle) = 0;
    virtual bool ClearCommBreak(TCommHandle Handle) = 0;
    virtual bool GetCommState(TCommHandle Handle, TCommDcb* Dcb) = 0;
    virtual bool SetCommState(TCommHandle Handle, const TCommDcb* Dcb) = 0;
    virtual bool GetCommTimeouts(TCommHandle Handle, TCommTimeouts* Timeouts) = 0;
    virtual bool SetCommTimeouts(TCommHandle Handle, const TCommTimeouts* Timeouts) = 0;
    virtual bool SetupComm(TCommHandle Handle, uint32_t InQueue, uint32_t OutQueue) = 0;
    virtual bool GetCommProperties(TCommHandle Handle, TCommProp* Props) = 0;
    virtual bool PurgeComm(TCommHandle Handle, uint32_t Flags) = 0;
    virtual bool TransmitCommChar(TCommHandle Handle, char Ch) = 0;

    // Waits up to TimeoutMs for the device to have input, or for a pending
    // overlapped write to be able to go on. Returns at once when it has; false
    // on a time-out or an error. Not part of the Win32 API (a
    // worker uses WaitCommEvent there); it lets an idle worker sleep on input.
    virtual bool WaitReadable(TCommHandle Handle, int TimeoutMs) = 0;
    // Ends a WaitReadable on Handle in another thread at once, or the next one
    // if none is waiting, so that work handed to an idle worker does not wait
    // for the time-out. A device without a way to do so leaves the wait to end
    // at its time-out.
    virtual void WakeWaiter(TCommHandle) {}

    // The calling thread's last error code (GetLastError).
    virtual int GetLastError() = 0;
    // The system's message for Code (FormatMessageW), trimmed.
    virtual std::string ErrorText(int Code) = 0;
};

// The system's serial devices. Shared by every component that is not given
// another device.
QUADRELLE_PLATFORM_EXPORT std::shared_ptr<TCommDevice> SystemCommDevice();
