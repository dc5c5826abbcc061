// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "Console.h"

#include <quadrelle/platform/NotifyChannel.h>

#include <sys/signalfd.h>

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <unistd.h>

// One poll watches everything: the thread's notification descriptor, Ctrl+C
// and termination as a signalfd, and standard input.
struct TConsole::TState {
    int SignalFd = -1;
    short InputEvents = 0;    // what the last poll saw on standard input
    bool Interrupted = false; // a signal came; never reset
};

std::unique_ptr<TConsole> TConsole::Create() {
    // Ctrl+C and termination arrive as readable data, handled in the loop.
    sigset_t Signals;
    sigemptyset(&Signals);
    sigaddset(&Signals, SIGINT);
    sigaddset(&Signals, SIGTERM);
    if (::sigprocmask(SIG_BLOCK, &Signals, nullptr) != 0)
        return nullptr;
    auto State = std::make_unique<TState>();
    State->SignalFd = ::signalfd(-1, &Signals, SFD_CLOEXEC);
    if (State->SignalFd < 0)
        return nullptr;
    return std::unique_ptr<TConsole>(new TConsole(std::move(State)));
}

TConsole::TConsole(std::unique_ptr<TState> State) : FState(std::move(State)) {}

TConsole::~TConsole() {
    ::close(FState->SignalFd);
}

void TConsole::Wait(int TimeoutMs, bool WantInput) {
    pollfd Fds[3] = {{NotifyWakeDescriptor(), POLLIN, 0},
                     {FState->SignalFd, POLLIN, 0},
                     {WantInput ? STDIN_FILENO : -1, POLLIN, 0}};
    ::poll(Fds, 3, TimeoutMs);
    if (Fds[1].revents & POLLIN)
        FState->Interrupted = true;
    FState->InputEvents = Fds[2].revents;
    DrainNotifications(0);
}

long TConsole::ReadInput(char* Buffer, size_t Size) {
    if (!(FState->InputEvents & (POLLIN | POLLHUP)))
        return 0;
    FState->InputEvents = 0;
    const ssize_t N = ::read(STDIN_FILENO, Buffer, Size);
    if (N > 0)
        return static_cast<long>(N);
    return N == 0 || errno != EINTR ? -1 : 0;
}

bool TConsole::Interrupted() const {
    return FState->Interrupted;
}

void TConsole::WriteOutput(const char* Data, size_t Count) {
    while (Count > 0) {
        ssize_t N = ::write(STDOUT_FILENO, Data, Count);
        if (N < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                pollfd P{STDOUT_FILENO, POLLOUT, 0};
                ::poll(&P, 1, 100);
                continue;
            }
            return;
        }
        Data += N;
        Count -= static_cast<size_t>(N);
    }
}
