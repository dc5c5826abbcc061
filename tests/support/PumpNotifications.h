// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/NotifyChannel.h"

#include <chrono>

// Drains this thread's notifications until Done() holds or 5 s have passed;
// false on the time-out. For the serial tests, which wait for events that a
// worker thread posts to the test's thread.
template <typename F> bool PumpUntil(F Done) {
    const auto End = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!Done()) {
        if (std::chrono::steady_clock::now() > End)
            return false;
        DrainNotifications(5);
    }
    return true;
}
