// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>
#include <memory>

/// The process's side of commcat: its standard streams and the user's
/// interrupt, waited for together with the serial port's notifications. One
/// per process, made and used on the thread that owns the port.
///
/// On POSIX the loop polls standard input, a signalfd and the thread's
/// notification descriptor; on Windows a reader thread and the console's
/// Ctrl+C handler post to the thread's message queue, which
/// DrainNotifications waits on.
class TConsole {
public:
    /// Takes over standard input and output (binary on every system) and
    /// Ctrl+C (and on POSIX SIGTERM). Call it before any other thread starts:
    /// on POSIX threads inherit the blocked signals that it reads instead.
    /// Null when the system refuses.
    static std::unique_ptr<TConsole> Create();
    ~TConsole();

    /// Waits up to TimeoutMs for input (only when WantInput), an interrupt or a
    /// notification, then delivers the thread's notifications. What a
    /// notification's handler raises leaves here.
    void Wait(int TimeoutMs, bool WantInput);
    /// Input that the last Wait found: the number of bytes put into Buffer (at
    /// most Size), 0 when none is waiting, -1 at the end of input or when
    /// standard input fails.
    long ReadInput(char* Buffer, size_t Size);
    /// True once the user asked the program to end (Ctrl+C).
    bool Interrupted() const;
    /// Writes all of Data to standard output; gives up only when it fails.
    void WriteOutput(const char* Data, size_t Count);

private:
    struct TState; // the system's own: descriptors, or the reader thread's hand-off
    explicit TConsole(std::unique_ptr<TState> State);
    std::unique_ptr<TState> FState;
};
