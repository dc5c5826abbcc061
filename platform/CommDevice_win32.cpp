// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "CommDevice.h"

#include "SystemError.h"

#include <windows.h>
// The device interface's member has the Win32 name; keep windows.h's macro off it.
#undef CreateFile

#include <algorithm>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// Every call goes straight to the Win32 comm API. The shared records are
// copied field by field into the Win32 ones (the DCB's and COMSTAT's flags are
// bit-fields there), except the overlapped record, which the system keeps
// using after the call returns and which is therefore the caller's own memory.
// An overlapped write's bytes, which the system also reads later, are a copy
// this layer keeps.

static_assert(sizeof(TCommOverlapped) == sizeof(OVERLAPPED));
static_assert(offsetof(TCommOverlapped, Internal) == offsetof(OVERLAPPED, Internal));
static_assert(offsetof(TCommOverlapped, InternalHigh) == offsetof(OVERLAPPED, InternalHigh));
static_assert(offsetof(TCommOverlapped, Offset) == offsetof(OVERLAPPED, Offset));
static_assert(offsetof(TCommOverlapped, OffsetHigh) == offsetof(OVERLAPPED, OffsetHigh));
static_assert(offsetof(TCommOverlapped, hEvent) == offsetof(OVERLAPPED, hEvent));
static_assert(sizeof(TCommDcb) == sizeof(DCB));
static_assert(sizeof(TCommTimeouts) == sizeof(COMMTIMEOUTS));
static_assert(sizeof(TCommProp) == sizeof(COMMPROP));
static_assert(kErrorIoPending == ERROR_IO_PENDING && kErrorIoIncomplete == ERROR_IO_INCOMPLETE);
static_assert(kFileFlagOverlapped == FILE_FLAG_OVERLAPPED && kFileFlagNoBuffering == FILE_FLAG_NO_BUFFERING);
static_assert(kPurgeTxAbort == PURGE_TXABORT && kPurgeRxAbort == PURGE_RXABORT &&
              kPurgeTxClear == PURGE_TXCLEAR && kPurgeRxClear == PURGE_RXCLEAR);
static_assert(kMsCtsOn == MS_CTS_ON && kMsDsrOn == MS_DSR_ON && kMsRingOn == MS_RING_ON &&
              kMsRlsdOn == MS_RLSD_ON);
static_assert(kCeRxOver == CE_RXOVER && kCeOverrun == CE_OVERRUN && kCeRxParity == CE_RXPARITY &&
              kCeFrame == CE_FRAME && kCeBreak == CE_BREAK && kCeTxFull == CE_TXFULL && kCeIoe == CE_IOE &&
              kCeMode == CE_MODE);

namespace {

HANDLE Native(TCommHandle Handle) {
    return reinterpret_cast<HANDLE>(Handle);
}

// What the layer keeps per open handle: the events it gave to overlapped
// records that came without one, line errors that WaitReadable's queue check
// took from the driver before the caller's ClearCommError could, and the bytes
// of each record's last overlapped write, which the system reads until the
// write ends.
struct TPortState {
    std::vector<std::pair<TCommOverlapped*, HANDLE>> Events;
    DWORD StashedErrors = 0;
    std::map<TCommOverlapped*, std::vector<uint8_t>> WriteCopies;
};

std::mutex StatesLock;
std::map<HANDLE, TPortState> States;

// Runs a Win32 call's bookkeeping without losing the call's error code.
class TKeepLastError {
public:
    TKeepLastError() : FCode(::GetLastError()) {}
    ~TKeepLastError() { ::SetLastError(FCode); }

private:
    DWORD FCode;
};

// A record without an event gets one: with two transfers pending on the same
// handle, a wait on the handle itself could not tell them apart.
bool GiveEvent(TCommHandle Handle, TCommOverlapped* Record) {
    if (!Record || Record->hEvent)
        return true;
    HANDLE Event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!Event)
        return false;
    std::lock_guard Guard(StatesLock);
    States[Native(Handle)].Events.emplace_back(Record, Event);
    Record->hEvent = Event;
    return true;
}

// The fields other than the bit flags have the same names and widths on both sides.
template <class To, class From> void CopyByteFields(To& R, const From& D) {
    R.DCBlength = D.DCBlength;
    R.BaudRate = D.BaudRate;
    R.wReserved = D.wReserved;
    R.XonLim = D.XonLim;
    R.XoffLim = D.XoffLim;
    R.ByteSize = D.ByteSize;
    R.Parity = D.Parity;
    R.StopBits = D.StopBits;
    R.XonChar = D.XonChar;
    R.XoffChar = D.XoffChar;
    R.ErrorChar = D.ErrorChar;
    R.EofChar = D.EofChar;
    R.EvtChar = D.EvtChar;
    R.wReserved1 = D.wReserved1;
}

TCommDcb DcbFromNative(const DCB& D) {
    TCommDcb R{};
    R.Flags = (D.fBinary ? kDcbBinary : 0) | (D.fParity ? kDcbParity : 0) |
              (D.fOutxCtsFlow ? kDcbOutxCtsFlow : 0) | (D.fOutxDsrFlow ? kDcbOutxDsrFlow : 0) |
              (uint32_t(D.fDtrControl) << kDcbDtrControlShift) |
              (D.fDsrSensitivity ? kDcbDsrSensitivity : 0) |
              (D.fTXContinueOnXoff ? kDcbTxContinueOnXoff : 0) | (D.fOutX ? kDcbOutX : 0) |
              (D.fInX ? kDcbInX : 0) | (D.fErrorChar ? kDcbErrorChar : 0) | (D.fNull ? kDcbNull : 0) |
              (uint32_t(D.fRtsControl) << kDcbRtsControlShift) | (D.fAbortOnError ? kDcbAbortOnError : 0);
    CopyByteFields(R, D);
    return R;
}

DCB DcbToNative(const TCommDcb& D) {
    DCB R{};
    R.fBinary = (D.Flags & kDcbBinary) != 0;
    R.fParity = (D.Flags & kDcbParity) != 0;
    R.fOutxCtsFlow = (D.Flags & kDcbOutxCtsFlow) != 0;
    R.fOutxDsrFlow = (D.Flags & kDcbOutxDsrFlow) != 0;
    R.fDtrControl = (D.Flags >> kDcbDtrControlShift) & 3;
    R.fDsrSensitivity = (D.Flags & kDcbDsrSensitivity) != 0;
    R.fTXContinueOnXoff = (D.Flags & kDcbTxContinueOnXoff) != 0;
    R.fOutX = (D.Flags & kDcbOutX) != 0;
    R.fInX = (D.Flags & kDcbInX) != 0;
    R.fErrorChar = (D.Flags & kDcbErrorChar) != 0;
    R.fNull = (D.Flags & kDcbNull) != 0;
    R.fRtsControl = (D.Flags >> kDcbRtsControlShift) & 3;
    R.fAbortOnError = (D.Flags & kDcbAbortOnError) != 0;
    CopyByteFields(R, D);
    return R;
}

class TWin32CommDevice final : public TCommDevice {
public:
    TCommHandle CreateFile(std::u16string_view Path, uint32_t Flags) override {
        const std::wstring Name(Path.begin(), Path.end());
        HANDLE H = ::CreateFileW(Name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, Flags,
                                 nullptr);
        if (H != INVALID_HANDLE_VALUE) {
            TKeepLastError Keep;
            std::lock_guard Guard(StatesLock);
            States[H] = {};
        }
        return reinterpret_cast<TCommHandle>(H);
    }

    bool CloseHandle(TCommHandle Handle) override {
        HANDLE H = Native(Handle);
        std::vector<std::pair<TCommOverlapped*, HANDLE>> Events;
        {
            TKeepLastError Keep;
            std::lock_guard Guard(StatesLock);
            if (auto It = States.find(H); It != States.end())
                Events = It->second.Events;
        }
        // The system writes into a pending transfer's record and buffer until
        // it ends, so every transfer is cancelled and waited for first.
        if (!Events.empty()) {
            ::CancelIoEx(H, nullptr);
            for (auto& [Record, Event] : Events) {
                DWORD N = 0;
                auto* Ov = reinterpret_cast<OVERLAPPED*>(Record);
                if (Record->hEvent == Event && !HasOverlappedIoCompleted(Ov))
                    ::GetOverlappedResult(H, Ov, &N, TRUE);
            }
        }
        if (!::CloseHandle(H))
            return false;
        std::lock_guard Guard(StatesLock);
        for (auto& [Record, Event] : Events) {
            if (Record->hEvent == Event)
                Record->hEvent = nullptr;
            ::CloseHandle(Event);
        }
        States.erase(H);
        return true;
    }

    bool WriteFile(TCommHandle Handle, const void* Data, uint32_t Count, uint32_t* Written,
                   TCommOverlapped* Overlapped) override {
        if (Written)
            *Written = 0;
        if (!GiveEvent(Handle, Overlapped))
            return false;
        // A record is written again only once its write has ended, so its
        // previous copy is free by then; CloseHandle drops the last one after
        // the handle's transfers have ended.
        if (Overlapped && Count > 0) {
            std::lock_guard Guard(StatesLock);
            auto& Copy = States[Native(Handle)].WriteCopies[Overlapped];
            Copy.assign(static_cast<const uint8_t*>(Data), static_cast<const uint8_t*>(Data) + Count);
            Data = Copy.data();
        }
        DWORD N = 0;
        if (!::WriteFile(Native(Handle), Data, Count, &N, reinterpret_cast<OVERLAPPED*>(Overlapped)))
            return false;
        if (Written)
            *Written = N;
        return true;
    }

    bool ReadFile(TCommHandle Handle, void* Buffer, uint32_t Count, uint32_t* Read,
                  TCommOverlapped* Overlapped) override {
        if (Read)
            *Read = 0;
        if (!GiveEvent(Handle, Overlapped))
            return false;
        DWORD N = 0;
        if (!::ReadFile(Native(Handle), Buffer, Count, &N, reinterpret_cast<OVERLAPPED*>(Overlapped)))
            return false;
        if (Read)
            *Read = N;
        return true;
    }

    bool GetOverlappedResult(TCommHandle Handle, TCommOverlapped* Overlapped, uint32_t* Transferred,
                             bool Wait) override {
        DWORD N = 0;
        // A transfer that reached its total time-out ends with STATUS_TIMEOUT,
        // a success on Windows with the bytes that moved; Wine fails it with
        // ERROR_TIMEOUT, its count still right. Taken as Windows takes it, or a
        // write's bytes that went out would be sent again.
        const BOOL Ok =
            ::GetOverlappedResult(Native(Handle), reinterpret_cast<OVERLAPPED*>(Overlapped), &N, Wait) ||
            ::GetLastError() == ERROR_TIMEOUT;
        if (Transferred)
            *Transferred = Ok ? N : 0;
        return Ok;
    }

    bool ClearCommError(TCommHandle Handle, uint32_t* Errors, TCommStat* Stat) override {
        DWORD E = 0;
        COMSTAT S{};
        const BOOL Ok = ::ClearCommError(Native(Handle), &E, &S);
        if (Errors)
            *Errors = 0;
        if (Stat)
            *Stat = {};
        if (!Ok)
            return false;
        E |= TakeStashedErrors(Handle);
        if (Errors)
            *Errors = E;
        if (Stat)
            *Stat = StatFromNative(S);
        return true;
    }

    bool GetCommModemStatus(TCommHandle Handle, uint32_t* Status) override {
        DWORD S = 0;
        bool Ok = ::GetCommModemStatus(Native(Handle), &S);
        if (!Ok) {
            S = 0;
            // A driver without modem lines (Wine's on a pseudo-terminal) says
            // so: the lines read as off, as on POSIX, and the port stays usable.
            Ok = ::GetLastError() == ERROR_NOT_SUPPORTED;
        }
        if (Status)
            *Status = S;
        return Ok;
    }

    bool SetCommBreak(TCommHandle Handle) override { return ::SetCommBreak(Native(Handle)); }
    bool ClearCommBreak(TCommHandle Handle) override { return ::ClearCommBreak(Native(Handle)); }

    bool GetCommState(TCommHandle Handle, TCommDcb* Dcb) override {
        DCB D{};
        D.DCBlength = sizeof D;
        if (!::GetCommState(Native(Handle), &D))
            return false;
        *Dcb = DcbFromNative(D);
        return true;
    }

    bool SetCommState(TCommHandle Handle, const TCommDcb* Dcb) override {
        DCB D = DcbToNative(*Dcb);
        return ::SetCommState(Native(Handle), &D);
    }

    bool GetCommTimeouts(TCommHandle Handle, TCommTimeouts* Timeouts) override {
        COMMTIMEOUTS T{};
        if (!::GetCommTimeouts(Native(Handle), &T))
            return false;
        *Timeouts = {T.ReadIntervalTimeout, T.ReadTotalTimeoutMultiplier, T.ReadTotalTimeoutConstant,
                     T.WriteTotalTimeoutMultiplier, T.WriteTotalTimeoutConstant};
        return true;
    }

    bool SetCommTimeouts(TCommHandle Handle, const TCommTimeouts* Timeouts) override {
        COMMTIMEOUTS T{Timeouts->ReadIntervalTimeout, Timeouts->ReadTotalTimeoutMultiplier,
                       Timeouts->ReadTotalTimeoutConstant, Timeouts->WriteTotalTimeoutMultiplier,
                       Timeouts->WriteTotalTimeoutConstant};
        return ::SetCommTimeouts(Native(Handle), &T);
    }

    bool SetupComm(TCommHandle Handle, uint32_t InQueue, uint32_t OutQueue) override {
        return ::SetupComm(Native(Handle), InQueue, OutQueue);
    }

    bool GetCommProperties(TCommHandle Handle, TCommProp* Props) override {
        COMMPROP P{};
        if (!::GetCommProperties(Native(Handle), &P))
            return false;
        TCommProp R{};
        R.wPacketLength = P.wPacketLength;
        R.wPacketVersion = P.wPacketVersion;
        R.dwServiceMask = P.dwServiceMask;
        R.dwReserved1 = P.dwReserved1;
        R.dwMaxTxQueue = P.dwMaxTxQueue;
        R.dwMaxRxQueue = P.dwMaxRxQueue;
        R.dwMaxBaud = P.dwMaxBaud;
        R.dwProvSubType = P.dwProvSubType;
        R.dwProvCapabilities = P.dwProvCapabilities;
        R.dwSettableParams = P.dwSettableParams;
        R.dwSettableBaud = P.dwSettableBaud;
        R.wSettableData = P.wSettableData;
        R.wSettableStopParity = P.wSettableStopParity;
        R.dwCurrentTxQueue = P.dwCurrentTxQueue;
        R.dwCurrentRxQueue = P.dwCurrentRxQueue;
        R.dwProvSpec1 = P.dwProvSpec1;
        R.dwProvSpec2 = P.dwProvSpec2;
        R.wcProvChar[0] = static_cast<char16_t>(P.wcProvChar[0]);
        *Props = R;
        return true;
    }

    bool PurgeComm(TCommHandle Handle, uint32_t Flags) override { return ::PurgeComm(Native(Handle), Flags); }

    bool TransmitCommChar(TCommHandle Handle, char Ch) override {
        return ::TransmitCommChar(Native(Handle), Ch);
    }

    // The only Win32 look at the input queue, ClearCommError, also takes the
    // line errors; they are kept for the caller's next ClearCommError.
    bool WaitReadable(TCommHandle Handle, int TimeoutMs) override {
        const ULONGLONG End = ::GetTickCount64() + static_cast<ULONGLONG>(std::max(TimeoutMs, 0));
        for (;;) {
            DWORD E = 0;
            COMSTAT S{};
            if (!::ClearCommError(Native(Handle), &E, &S))
                return false;
            if (E != 0) {
                std::lock_guard Guard(StatesLock);
                if (auto It = States.find(Native(Handle)); It != States.end())
                    It->second.StashedErrors |= E;
            }
            if (S.cbInQue > 0)
                return true;
            const ULONGLONG Now = ::GetTickCount64();
            if (Now >= End)
                return false;
            ::Sleep(static_cast<DWORD>(std::min<ULONGLONG>(End - Now, 1)));
        }
    }

    int GetLastError() override { return static_cast<int>(::GetLastError()); }
    std::string ErrorText(int Code) override { return SystemErrorText(Code); }

private:
    static TCommStat StatFromNative(const COMSTAT& S) {
        TCommStat R{};
        R.Flags = (S.fCtsHold ? kComStatCtsHold : 0) | (S.fDsrHold ? kComStatDsrHold : 0) |
                  (S.fRlsdHold ? kComStatRlsdHold : 0) | (S.fXoffHold ? kComStatXoffHold : 0) |
                  (S.fXoffSent ? kComStatXoffSent : 0) | (S.fEof ? 1u << 5 : 0) | (S.fTxim ? 1u << 6 : 0);
        R.cbInQue = S.cbInQue;
        R.cbOutQue = S.cbOutQue;
        return R;
    }

    static DWORD TakeStashedErrors(TCommHandle Handle) {
        TKeepLastError Keep;
        std::lock_guard Guard(StatesLock);
        auto It = States.find(Native(Handle));
        if (It == States.end())
            return 0;
        return std::exchange(It->second.StashedErrors, 0);
    }
};

} // namespace

std::shared_ptr<TCommDevice> SystemCommDevice() {
    static const std::shared_ptr<TCommDevice> Device = std::make_shared<TWin32CommDevice>();
    return Device;
}
