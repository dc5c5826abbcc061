// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "CommDevice.h"

#include "SystemError.h"

// termios2 (any baud rate) comes from the kernel's headers, which clash with
// <termios.h>; this file therefore talks to the driver through ioctl only.
#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

thread_local int ThreadLastError = 0;

bool Fail(int Code) {
    ThreadLastError = Code;
    return false;
}

using TClock = std::chrono::steady_clock;

// One open device. The two transfer directions have their own state, guarded
// by one lock, so that a worker and the owner may use the handle at once.
struct TPort {
    int Fd = -1;
    int WakeFd = -1; // ends the worker's WaitReadable early
    std::mutex Lock;
    TCommDcb Dcb{};           // what the caller last set; fields Linux ignores are read back from here
    TCommTimeouts Timeouts{}; // the read and write time-outs
    serial_icounter_struct Counts{};
    bool HasCounts = false;
    // Emulated overlapped write: the bytes the driver has not taken yet.
    bool WritePending = false;
    std::vector<uint8_t> WriteRest; // from WriteOffset on
    size_t WriteOffset = 0;
    uint32_t WriteTotal = 0; // bytes the pending write was asked to send
    uint32_t WriteDone = 0;
    TClock::time_point WriteDeadline{};
    bool WriteHasDeadline = false;
    // Emulated overlapped read: the caller's buffer waits for input.
    bool ReadPending = false;
    uint8_t* ReadBuffer = nullptr;
    uint32_t ReadCount = 0;
    TCommOverlapped* ReadRecord = nullptr;
    TClock::time_point ReadDeadline{}; // the read's total time-out, when it has one
    bool ReadHasDeadline = false;
    TCommOverlapped* WriteRecord = nullptr;
};

TPort* PortOf(TCommHandle Handle) {
    return Handle == kInvalidCommHandle || Handle == 0 ? nullptr : reinterpret_cast<TPort*>(Handle);
}

std::string DevicePath(std::u16string_view Path) {
    constexpr std::u16string_view Prefix = u"\\\\.\\COM";
    if (Path.substr(0, Prefix.size()) == Prefix) {
        std::string Number;
        for (char16_t C : Path.substr(Prefix.size()))
            Number += static_cast<char>(C);
        if (const char* Named = std::getenv(("VRCOMM_PORT" + Number).c_str()); Named && *Named)
            return Named;
        return "/dev/ttyS" + std::to_string(std::atoi(Number.c_str()) - 1);
    }
    std::string Plain;
    for (char16_t C : Path)
        Plain += static_cast<char>(C);
    return Plain;
}

bool NoModemLines(int Code) {
    return Code == ENOTTY || Code == EINVAL;
}

// Sends what the driver takes now; true when nothing is left. Caller holds the lock.
bool PushWrite(TPort& P, int& Error) {
    while (P.WriteOffset < P.WriteRest.size()) {
        ssize_t N = ::write(P.Fd, P.WriteRest.data() + P.WriteOffset, P.WriteRest.size() - P.WriteOffset);
        if (N < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                return false;
            Error = errno;
            return false;
        }
        P.WriteOffset += static_cast<size_t>(N);
        P.WriteDone += static_cast<uint32_t>(N);
    }
    return true;
}

size_t WriteLeft(const TPort& P) {
    return P.WritePending ? P.WriteRest.size() - P.WriteOffset : 0;
}

void DropWrite(TPort& P) {
    P.WritePending = false;
    P.WriteRest.clear();
    P.WriteOffset = 0;
}

size_t ReadNow(TPort& P, uint8_t* Buffer, size_t Count, int& Error) {
    for (;;) {
        ssize_t N = ::read(P.Fd, Buffer, Count);
        if (N < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN)
                Error = errno;
            return 0;
        }
        size_t Got = static_cast<size_t>(N);
        if (P.Dcb.Flags & kDcbNull) { // the driver cannot drop NUL bytes itself
            size_t Kept = 0;
            for (size_t I = 0; I < Got; ++I)
                if (Buffer[I] != 0)
                    Buffer[Kept++] = Buffer[I];
            Got = Kept;
        }
        return Got;
    }
}

int RemainingMs(TClock::time_point Deadline) {
    auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - TClock::now()).count();
    return Left < 0 ? 0 : static_cast<int>(Left + 1);
}

bool ImmediateRead(const TCommTimeouts& T) {
    return T.ReadIntervalTimeout == kMaxDword && T.ReadTotalTimeoutMultiplier == 0 &&
           T.ReadTotalTimeoutConstant == 0;
}

class TPosixCommDevice final : public TCommDevice {
public:
    TCommHandle CreateFile(std::u16string_view Path, uint32_t) override {
        std::string Name = DevicePath(Path);
        int Fd = ::open(Name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (Fd < 0)
            return Fail(errno), kInvalidCommHandle;
        // A second opener must fail; TIOCEXCL alone does not stop root.
        if (::flock(Fd, LOCK_EX | LOCK_NB) != 0) {
            int E = errno == EWOULDBLOCK ? EBUSY : errno;
            ::close(Fd);
            return Fail(E), kInvalidCommHandle;
        }
        termios2 T{};
        if (::ioctl(Fd, TCGETS2, &T) != 0) {
            int E = errno;
            ::close(Fd);
            return Fail(E), kInvalidCommHandle;
        }
        // Raw bytes both ways until the caller sets its DCB.
        T.c_iflag = 0;
        T.c_oflag = 0;
        T.c_lflag = 0;
        T.c_cflag =
            (T.c_cflag & ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS)) | CS8 | CREAD | CLOCAL;
        T.c_cc[VMIN] = 0;
        T.c_cc[VTIME] = 0;
        ::ioctl(Fd, TCSETS2, &T);
        const int WakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (WakeFd < 0) {
            int E = errno;
            ::close(Fd);
            return Fail(E), kInvalidCommHandle;
        }
        // Last, once nothing can fail: the mode belongs to the tty, not to this
        // descriptor, and outlives it unless CloseHandle clears it.
        ::ioctl(Fd, TIOCEXCL);
        auto* P = new TPort;
        P->Fd = Fd;
        P->WakeFd = WakeFd;
        P->Timeouts = {kMaxDword, 0, 0, 0, 0};
        P->Dcb.DCBlength = sizeof(TCommDcb);
        P->Dcb.Flags = kDcbBinary | (kDtrControlEnable << kDcbDtrControlShift) |
                       (kRtsControlEnable << kDcbRtsControlShift);
        P->Dcb.XonChar = 0x11;
        P->Dcb.XoffChar = 0x13;
        P->HasCounts = ::ioctl(Fd, TIOCGICOUNT, &P->Counts) == 0;
        return reinterpret_cast<TCommHandle>(P);
    }

    bool CloseHandle(TCommHandle Handle) override {
        TPort* P = PortOf(Handle);
        if (!P)
            return Fail(EBADF);
        // The tty keeps exclusive mode for as long as anyone holds it open (a
        // pseudo-terminal's far end does); left set, it would lock every
        // ordinary user out of the next open. A hung-up line refuses the
        // call, and needs it no more.
        ::ioctl(P->Fd, TIOCNXCL);
        int R = ::close(P->Fd);
        int E = errno;
        ::close(P->WakeFd);
        delete P;
        return R == 0 || E == EINTR ? true : Fail(E);
    }

    bool WriteFile(TCommHandle Handle, const void* Data, uint32_t Count, uint32_t* Written,
                   TCommOverlapped* Overlapped) override {
        TPort* P = PortOf(Handle);
        if (Written)
            *Written = 0;
        if (!P)
            return Fail(EBADF);
        std::unique_lock Guard(P->Lock);
        if (P->WritePending)
            return Fail(EBUSY);
        P->WriteRest.assign(static_cast<const uint8_t*>(Data), static_cast<const uint8_t*>(Data) + Count);
        P->WriteOffset = 0;
        P->WriteTotal = Count;
        P->WriteDone = 0;
        const uint64_t LimitMs = uint64_t(P->Timeouts.WriteTotalTimeoutConstant) +
                                 uint64_t(P->Timeouts.WriteTotalTimeoutMultiplier) * Count;
        P->WriteHasDeadline = LimitMs > 0;
        P->WriteDeadline = TClock::now() + std::chrono::milliseconds(LimitMs);
        int Error = 0;
        if (PushWrite(*P, Error)) {
            if (Written)
                *Written = P->WriteDone;
            return true;
        }
        if (Error)
            return Fail(Error);
        if (Overlapped) {
            P->WritePending = true;
            P->WriteRecord = Overlapped;
            return Fail(kErrorIoPending);
        }
        // Plain mode: block within the time-outs, as the driver would.
        P->WritePending = true;
        uint32_t N = 0;
        Guard.unlock();
        bool Ok = FinishWrite(*P, &N, true);
        if (Written)
            *Written = N;
        return Ok;
    }

    bool ReadFile(TCommHandle Handle, void* Buffer, uint32_t Count, uint32_t* Read,
                  TCommOverlapped* Overlapped) override {
        TPort* P = PortOf(Handle);
        if (Read)
            *Read = 0;
        if (!P)
            return Fail(EBADF);
        std::unique_lock Guard(P->Lock);
        int Error = 0;
        size_t Got = ReadNow(*P, static_cast<uint8_t*>(Buffer), Count, Error);
        if (Error)
            return Fail(Error);
        if (Got > 0 || ImmediateRead(P->Timeouts) || Count == 0) {
            if (Read)
                *Read = static_cast<uint32_t>(Got);
            return true;
        }
        if (Overlapped) {
            const uint64_t TotalMs = uint64_t(P->Timeouts.ReadTotalTimeoutConstant) +
                                     uint64_t(P->Timeouts.ReadTotalTimeoutMultiplier) * Count;
            P->ReadPending = true;
            P->ReadBuffer = static_cast<uint8_t*>(Buffer);
            P->ReadCount = Count;
            P->ReadRecord = Overlapped;
            P->ReadHasDeadline = TotalMs > 0;
            P->ReadDeadline = TClock::now() + std::chrono::milliseconds(TotalMs);
            return Fail(kErrorIoPending);
        }
        const TCommTimeouts T = P->Timeouts;
        Guard.unlock();
        // Wait for the first byte within the total time-out (none: for ever).
        uint64_t Total =
            uint64_t(T.ReadTotalTimeoutConstant) + uint64_t(T.ReadTotalTimeoutMultiplier) * Count;
        pollfd Pfd{P->Fd, POLLIN, 0};
        int R = ::poll(&Pfd, 1, Total ? static_cast<int>(Total) : -1);
        if (R < 0)
            return Fail(errno);
        Guard.lock();
        Got = ReadNow(*P, static_cast<uint8_t*>(Buffer), Count, Error);
        if (Error)
            return Fail(Error);
        if (Read)
            *Read = static_cast<uint32_t>(Got);
        return true;
    }

    bool GetOverlappedResult(TCommHandle Handle, TCommOverlapped* Overlapped, uint32_t* Transferred,
                             bool Wait) override {
        TPort* P = PortOf(Handle);
        if (Transferred)
            *Transferred = 0;
        if (!P)
            return Fail(EBADF);
        std::unique_lock Guard(P->Lock);
        if (P->WritePending && Overlapped == P->WriteRecord) {
            Guard.unlock();
            return FinishWrite(*P, Transferred, Wait);
        }
        if (P->ReadPending && Overlapped == P->ReadRecord) {
            for (;;) {
                int Error = 0;
                size_t Got = ReadNow(*P, P->ReadBuffer, P->ReadCount, Error);
                if (Error) {
                    P->ReadPending = false;
                    return Fail(Error);
                }
                // A read with a total time-out ends there with what came (nothing).
                const bool Expired = P->ReadHasDeadline && TClock::now() >= P->ReadDeadline;
                if (Got > 0 || Expired) {
                    P->ReadPending = false;
                    if (Transferred)
                        *Transferred = static_cast<uint32_t>(Got);
                    return true;
                }
                if (!Wait)
                    return Fail(kErrorIoIncomplete);
                const int Ms = P->ReadHasDeadline ? std::min(RemainingMs(P->ReadDeadline), 50) : 50;
                Guard.unlock();
                pollfd Pfd{P->Fd, POLLIN, 0};
                ::poll(&Pfd, 1, Ms);
                Guard.lock();
                if (!P->ReadPending)
                    return Fail(ECANCELED);
            }
        }
        return Fail(EINVAL);
    }

    bool ClearCommError(TCommHandle Handle, uint32_t* Errors, TCommStat* Stat) override {
        TPort* P = PortOf(Handle);
        if (Errors)
            *Errors = 0;
        if (Stat)
            *Stat = {};
        if (!P)
            return Fail(EBADF);
        std::lock_guard Guard(P->Lock);
        // A driver moves a pending write along by itself and ends it at its
        // time-out; here the status query is what moves it. A write that has
        // ended no longer counts as queued, or its owner would never see the
        // queue empty and would never collect it.
        bool WriteQueued = false;
        if (P->WritePending) {
            int WriteError = 0; // seen again, and reported, when the write is collected
            const bool Done = PushWrite(*P, WriteError);
            const bool Expired = P->WriteHasDeadline && TClock::now() >= P->WriteDeadline;
            WriteQueued = !Done && !Expired && WriteError == 0;
        }
        uint32_t Flags = 0;
        if (P->HasCounts) {
            serial_icounter_struct Now{};
            if (::ioctl(P->Fd, TIOCGICOUNT, &Now) == 0) {
                if (Now.frame != P->Counts.frame)
                    Flags |= kCeFrame;
                if (Now.overrun != P->Counts.overrun)
                    Flags |= kCeOverrun;
                if (Now.parity != P->Counts.parity)
                    Flags |= kCeRxParity;
                if (Now.brk != P->Counts.brk)
                    Flags |= kCeBreak;
                if (Now.buf_overrun != P->Counts.buf_overrun)
                    Flags |= kCeRxOver;
                P->Counts = Now;
            } else if (errno == EIO) {
                Flags |= kCeIoe;
            }
        }
        // A hung-up line fails FIONREAD with EIO, which is reported below.
        int InQue = 0, OutQue = 0;
        if (::ioctl(P->Fd, FIONREAD, &InQue) != 0) {
            if (errno != EIO)
                return Fail(errno);
            Flags |= kCeIoe;
        }
        ::ioctl(P->Fd, TIOCOUTQ, &OutQue);
        if (Errors)
            *Errors = Flags;
        if (Stat) {
            Stat->cbInQue = static_cast<uint32_t>(InQue > 0 ? InQue : 0);
            Stat->cbOutQue = static_cast<uint32_t>(OutQue > 0 ? OutQue : 0) +
                             static_cast<uint32_t>(WriteQueued ? WriteLeft(*P) : 0);
        }
        return true;
    }

    bool GetCommModemStatus(TCommHandle Handle, uint32_t* Status) override {
        TPort* P = PortOf(Handle);
        if (Status)
            *Status = 0;
        if (!P)
            return Fail(EBADF);
        int Lines = 0;
        if (::ioctl(P->Fd, TIOCMGET, &Lines) != 0)
            return NoModemLines(errno) ? true : Fail(errno);
        uint32_t S = 0;
        if (Lines & TIOCM_CTS)
            S |= kMsCtsOn;
        if (Lines & TIOCM_DSR)
            S |= kMsDsrOn;
        if (Lines & TIOCM_RNG)
            S |= kMsRingOn;
        if (Lines & TIOCM_CAR)
            S |= kMsRlsdOn;
        if (Status)
            *Status = S;
        return true;
    }

    bool SetCommBreak(TCommHandle Handle) override { return Simple(Handle, TIOCSBRK); }
    bool ClearCommBreak(TCommHandle Handle) override { return Simple(Handle, TIOCCBRK); }

    bool GetCommState(TCommHandle Handle, TCommDcb* Dcb) override {
        TPort* P = PortOf(Handle);
        if (!P)
            return Fail(EBADF);
        std::lock_guard Guard(P->Lock);
        termios2 T{};
        if (::ioctl(P->Fd, TCGETS2, &T) != 0)
            return Fail(errno);
        TCommDcb D = P->Dcb;
        D.DCBlength = sizeof(TCommDcb);
        D.BaudRate = T.c_ospeed;
        switch (T.c_cflag & CSIZE) {
        case CS5:
            D.ByteSize = 5;
            break;
        case CS6:
            D.ByteSize = 6;
            break;
        case CS7:
            D.ByteSize = 7;
            break;
        default:
            D.ByteSize = 8;
            break;
        }
        if (!(T.c_cflag & PARENB))
            D.Parity = kNoParity;
        else if (T.c_cflag & CMSPAR)
            D.Parity = (T.c_cflag & PARODD) ? kMarkParity : kSpaceParity;
        else
            D.Parity = (T.c_cflag & PARODD) ? kOddParity : kEvenParity;
        D.StopBits = (T.c_cflag & CSTOPB) ? kTwoStopBits : kOneStopBit;
        SetBit(D.Flags, kDcbParity, T.c_iflag & INPCK);
        SetBit(D.Flags, kDcbOutX, T.c_iflag & IXON);
        SetBit(D.Flags, kDcbInX, T.c_iflag & IXOFF);
        if (!(T.c_cflag & CRTSCTS))
            D.Flags &= ~kDcbOutxCtsFlow;
        D.XonChar = static_cast<char>(T.c_cc[VSTART]);
        D.XoffChar = static_cast<char>(T.c_cc[VSTOP]);
        *Dcb = D;
        return true;
    }

    bool SetCommState(TCommHandle Handle, const TCommDcb* Dcb) override {
        TPort* P = PortOf(Handle);
        if (!P)
            return Fail(EBADF);
        const TCommDcb& D = *Dcb;
        if (D.ByteSize < 5 || D.ByteSize > 8 || D.StopBits == kOne5StopBits || D.StopBits > kTwoStopBits ||
            D.Parity > kSpaceParity || D.BaudRate == 0)
            return Fail(EINVAL);
        std::lock_guard Guard(P->Lock);
        termios2 T{};
        if (::ioctl(P->Fd, TCGETS2, &T) != 0)
            return Fail(errno);
        static constexpr tcflag_t Sizes[] = {CS5, CS6, CS7, CS8};
        T.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD);
        T.c_cflag |= Sizes[D.ByteSize - 5] | CREAD | CLOCAL | BOTHER;
        switch (D.Parity) {
        case kOddParity:
            T.c_cflag |= PARENB | PARODD;
            break;
        case kEvenParity:
            T.c_cflag |= PARENB;
            break;
        case kMarkParity:
            T.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case kSpaceParity:
            T.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
        }
        if (D.StopBits == kTwoStopBits)
            T.c_cflag |= CSTOPB;
        const uint32_t Rts = (D.Flags >> kDcbRtsControlShift) & 3;
        if ((D.Flags & kDcbOutxCtsFlow) || Rts == kRtsControlHandshake)
            T.c_cflag |= CRTSCTS;
        T.c_iflag = 0;
        if (D.Flags & kDcbParity)
            T.c_iflag |= INPCK;
        if (D.Flags & kDcbOutX)
            T.c_iflag |= IXON;
        if (D.Flags & kDcbInX)
            T.c_iflag |= IXOFF;
        T.c_cc[VSTART] = static_cast<cc_t>(D.XonChar);
        T.c_cc[VSTOP] = static_cast<cc_t>(D.XoffChar);
        T.c_ispeed = T.c_ospeed = D.BaudRate;
        T.c_cflag &= ~(CBAUD << IBSHIFT);
        T.c_cflag |= BOTHER << IBSHIFT;
        if (::ioctl(P->Fd, TCSETS2, &T) != 0)
            return Fail(errno);
        // DTR and RTS levels; a device without modem lines has nothing to set.
        const uint32_t Dtr = (D.Flags >> kDcbDtrControlShift) & 3;
        SetLine(P->Fd, TIOCM_DTR, Dtr != kDtrControlDisable);
        if (Rts != kRtsControlHandshake)
            SetLine(P->Fd, TIOCM_RTS, Rts != kRtsControlDisable);
        P->Dcb = D;
        return true;
    }

    bool GetCommTimeouts(TCommHandle Handle, TCommTimeouts* Timeouts) override {
        TPort* P = PortOf(Handle);
        if (!P)
            return Fail(EBADF);
        std::lock_guard Guard(P->Lock);
        *Timeouts = P->Timeouts;
        return true;
    }

    bool SetCommTimeouts(TCommHandle Handle, const TCommTimeouts* Timeouts) override {
        TPort* P = PortOf(Handle);
        if (!P)
            return Fail(EBADF);
        std::lock_guard Guard(P->Lock);
        P->Timeouts = *Timeouts;
        return true;
    }

    // The tty layer's queues have a fixed size; any request is accepted.
    bool SetupComm(TCommHandle Handle, uint32_t, uint32_t) override {
        return PortOf(Handle) ? true : Fail(EBADF);
    }

    bool GetCommProperties(TCommHandle Handle, TCommProp* Props) override {
        if (!PortOf(Handle))
            return Fail(EBADF);
        *Props = {};
        Props->wPacketLength = sizeof(TCommProp);
        Props->dwMaxTxQueue = 4096; // the tty layer's buffers
        Props->dwMaxRxQueue = 4096;
        Props->dwMaxBaud = 0x10000000; // BAUD_USER: any rate
        return true;
    }

    bool PurgeComm(TCommHandle Handle, uint32_t Flags) override {
        TPort* P = PortOf(Handle);
        if (!P)
            return Fail(EBADF);
        std::lock_guard Guard(P->Lock);
        if (Flags & kPurgeTxAbort)
            DropWrite(*P);
        if (Flags & kPurgeRxAbort)
            P->ReadPending = false;
        bool Tx = Flags & kPurgeTxClear;
        const bool Rx = Flags & kPurgeRxClear;
        // Bytes the driver no longer counts as queued have left for the far
        // end, as on a real line. A pseudo-terminal's flush would still take
        // them back out of its partner's input, so it is skipped then.
        if (int OutQue = 0; Tx && ::ioctl(P->Fd, TIOCOUTQ, &OutQue) == 0 && OutQue == 0)
            Tx = false;
        // A hung-up line (its far end closed, its adapter pulled) refuses every
        // request with EIO; its queues went with it, so there is nothing to purge.
        if ((Tx || Rx) &&
            ::ioctl(P->Fd, TCFLSH,
                    Tx && Rx ? TCIOFLUSH
                    : Tx     ? TCOFLUSH
                             : TCIFLUSH) != 0 &&
            errno != EIO)
            return Fail(errno);
        return true;
    }

    bool TransmitCommChar(TCommHandle Handle, char Ch) override {
        TPort* P = PortOf(Handle);
        if (!P)
            return Fail(EBADF);
        // The driver has no way to put a byte ahead of its queue, and while the
        // output is held (XOFF, CTS low) it takes none: the call fails at once
        // with EAGAIN instead of waiting for the far end.
        for (;;) {
            ssize_t N = ::write(P->Fd, &Ch, 1);
            if (N == 1)
                return true;
            if (N < 0 && errno == EINTR)
                continue;
            return Fail(N == 0 ? EAGAIN : errno);
        }
    }

    bool WaitReadable(TCommHandle Handle, int TimeoutMs) override {
        TPort* P = PortOf(Handle);
        if (!P)
            return Fail(EBADF);
        short Events = POLLIN;
        {
            std::lock_guard Guard(P->Lock);
            if (WriteLeft(*P) > 0)
                Events |= POLLOUT;
        }
        pollfd Pfd[2] = {{P->Fd, Events, 0}, {P->WakeFd, POLLIN, 0}};
        if (::poll(Pfd, 2, TimeoutMs) <= 0)
            return false;
        if (Pfd[1].revents & POLLIN) {
            eventfd_t Count;
            ::eventfd_read(P->WakeFd, &Count);
        }
        return Pfd[0].revents & Events;
    }

    void WakeWaiter(TCommHandle Handle) override {
        if (TPort* P = PortOf(Handle))
            ::eventfd_write(P->WakeFd, 1);
    }

    int GetLastError() override { return ThreadLastError; }
    std::string ErrorText(int Code) override {
        if (Code == kErrorIoPending)
            return "Overlapped I/O operation is in progress";
        if (Code == kErrorIoIncomplete)
            return "Overlapped I/O event is not in a signaled state";
        return SystemErrorText(Code);
    }

private:
    static void SetBit(uint32_t& Flags, uint32_t Bit, bool On) { Flags = On ? Flags | Bit : Flags & ~Bit; }

    static void SetLine(int Fd, int Line, bool On) { ::ioctl(Fd, On ? TIOCMBIS : TIOCMBIC, &Line); }

    bool Simple(TCommHandle Handle, unsigned long Request) {
        TPort* P = PortOf(Handle);
        if (!P)
            return Fail(EBADF);
        return ::ioctl(P->Fd, Request) == 0 ? true : Fail(errno);
    }

    // Completes the pending write: at once when the driver takes the rest, at
    // the write deadline with the bytes sent so far, or (Wait) when either comes.
    bool FinishWrite(TPort& P, uint32_t* Transferred, bool Wait) {
        std::unique_lock Guard(P.Lock);
        for (;;) {
            if (!P.WritePending)
                return Fail(ECANCELED);
            int Error = 0;
            bool Done = PushWrite(P, Error);
            if (Error) {
                DropWrite(P);
                return Fail(Error);
            }
            const bool Expired = P.WriteHasDeadline && TClock::now() >= P.WriteDeadline;
            if (Done || Expired) {
                if (Transferred)
                    *Transferred = P.WriteDone;
                DropWrite(P);
                return true;
            }
            if (!Wait)
                return Fail(kErrorIoIncomplete);
            int Fd = P.Fd;
            int Ms = P.WriteHasDeadline ? RemainingMs(P.WriteDeadline) : 100;
            Guard.unlock();
            pollfd Pfd{Fd, POLLOUT, 0};
            ::poll(&Pfd, 1, Ms);
            Guard.lock();
        }
    }
};

} // namespace

std::shared_ptr<TCommDevice> SystemCommDevice() {
    static const std::shared_ptr<TCommDevice> Device = std::make_shared<TPosixCommDevice>();
    return Device;
}
