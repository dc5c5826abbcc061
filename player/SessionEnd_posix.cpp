// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SessionEnd.h"

#include "QuadvError.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};

// Only async-signal-safe work here: one byte into the pipe.
extern "C" void OnSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void InstallSessionEndSignals(QObject* Owner, std::function<void()> OnEnd) {
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw EQuadvError("cannot watch for the end of the session: " + std::string(std::strerror(errno)));
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP})
        if (::sigaction(signal, &action, nullptr) != 0)
            throw EQuadvError("cannot watch for the end of the session: " +
                              std::string(std::strerror(errno)));
    auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, Owner);
    QObject::connect(notifier, &QSocketNotifier::activated, Owner, [OnEnd = std::move(OnEnd)] {
        char buffer[64];
        bool any = false;
        while (::read(g_pipe[0], buffer, sizeof buffer) > 0)
            any = true;
        if (any)
            OnEnd();
    });
}
