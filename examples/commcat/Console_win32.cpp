// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "Console.h"

#include <quadrelle/platform/NotifyChannel.h>

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <fcntl.h>
#include <io.h>
#include <mutex>
#include <stdio.h>
#include <string>
#include <thread>
#include <vector>

// Windows has nothing to wait on for a pipe or a console together with a
// thread's messages, so a reader thread reads standard input and the console's
// control handler takes Ctrl+C; both wake the loop through a notification
// channel, whose messages DrainNotifications waits for with the port's.

namespace {

constexpr uint32_t kWakeMessage = 0x8001; // input came, it ended, or Ctrl+C
constexpr size_t kChunk = 16384;

// What the loop's thread shares with the reader thread and the control
// handler (a thread the system starts). Made once and never freed: a reader
// blocked in a read cannot be stopped, so it may outlive the console and ends
// with the process.
struct TShared {
    std::mutex Lock;
    std::condition_variable Taken;     // the loop took the pending input
    std::string Pending;               // read, not yet taken by the loop
    bool Ended = false;                // standard input ended or failed
    TNotifyChannel* Channel = nullptr; // the loop's; null once the console is gone
    std::atomic<bool> Interrupted{false};

    void Wake() { // with Lock held
        if (Channel)
            Channel->Post(kWakeMessage);
    }
};

TShared* Shared = nullptr;

void ReadInputUntilItEnds(TShared* S) {
    std::vector<char> Buffer(kChunk);
    for (;;) {
        const int N = ::_read(0, Buffer.data(), static_cast<unsigned>(Buffer.size()));
        std::unique_lock Hold(S->Lock);
        if (N <= 0) {
            S->Ended = true;
            S->Wake();
            return;
        }
        // One chunk ahead at most: the loop decides when it takes more input,
        // which bounds the port's send queue as on POSIX.
        S->Taken.wait(Hold, [S] { return S->Pending.empty(); });
        S->Pending.assign(Buffer.data(), static_cast<size_t>(N));
        S->Wake();
    }
}

BOOL WINAPI OnControl(DWORD Event) {
    if (Event != CTRL_C_EVENT && Event != CTRL_BREAK_EVENT)
        return FALSE; // closing the console, logging off: the system's default
    Shared->Interrupted = true;
    std::lock_guard Hold(Shared->Lock);
    Shared->Wake();
    return TRUE;
}

} // namespace

struct TConsole::TState {
    std::unique_ptr<TNotifyChannel> Channel;
};

std::unique_ptr<TConsole> TConsole::Create() {
    if (Shared) // standard input has its reader already
        return nullptr;
    auto State = std::make_unique<TState>();
    State->Channel = TNotifyChannel::Create([](uint32_t) {}); // the wake-up is all it brings
    if (!State->Channel)
        return nullptr;
    ::_setmode(::_fileno(stdin), _O_BINARY);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    Shared = new TShared;
    Shared->Channel = State->Channel.get();
    if (!::SetConsoleCtrlHandler(OnControl, TRUE)) {
        Shared->Channel = nullptr;
        return nullptr;
    }
    std::thread(ReadInputUntilItEnds, Shared).detach();
    return std::unique_ptr<TConsole>(new TConsole(std::move(State)));
}

TConsole::TConsole(std::unique_ptr<TState> State) : FState(std::move(State)) {}

TConsole::~TConsole() {
    ::SetConsoleCtrlHandler(OnControl, FALSE);
    std::lock_guard Hold(Shared->Lock);
    Shared->Channel = nullptr;
}

void TConsole::Wait(int TimeoutMs, bool WantInput) {
    bool Ready = Shared->Interrupted;
    if (WantInput) {
        // Input the loop left waiting woke a drain already; it must not wait again.
        std::lock_guard Hold(Shared->Lock);
        Ready = Ready || !Shared->Pending.empty() || Shared->Ended;
    }
    DrainNotifications(Ready ? 0 : TimeoutMs);
}

long TConsole::ReadInput(char* Buffer, size_t Size) {
    std::lock_guard Hold(Shared->Lock);
    if (Shared->Pending.empty())
        return Shared->Ended ? -1 : 0;
    const size_t N = Shared->Pending.copy(Buffer, Size);
    Shared->Pending.erase(0, N);
    if (Shared->Pending.empty())
        Shared->Taken.notify_one();
    return static_cast<long>(N);
}

bool TConsole::Interrupted() const {
    return Shared->Interrupted;
}

void TConsole::WriteOutput(const char* Data, size_t Count) {
    while (Count > 0) {
        const int N = ::_write(1, Data, static_cast<unsigned>(Count < kChunk ? Count : kChunk));
        if (N <= 0)
            return;
        Data += N;
        Count -= static_cast<size_t>(N);
    }
}
