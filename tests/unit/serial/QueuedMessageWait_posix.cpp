// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "QueuedMessageWait.h"

#include "platform/NotifyChannel.h"

#include <poll.h>

bool WaitForSentMessage(int TimeoutMs) {
    // The wake-up descriptor turns readable with the first queued message;
    // the tests using this have drained everything else first.
    pollfd P{NotifyWakeDescriptor(), POLLIN, 0};
    return ::poll(&P, 1, TimeoutMs) == 1;
}
