// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "ThreadPriority.h"

#include <algorithm>
#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// A Win32 thread priority is relative to its process's priority class, so
// the steps count from the nice value the process was started with. A user
// who starts the program under `nice` gets normal threads at that value, and
// lowering a thread stays possible without privileges.
int ProcessNice() {
    static const int Base = [] {
        errno = 0;
        const int Nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::getpid()));
        return Nice == -1 && errno != 0 ? 0 : Nice;
    }();
    return Base;
}

} // namespace

uint32_t CurrentThreadId() {
    return static_cast<uint32_t>(::gettid());
}

bool SetThreadPriorityOf(uint32_t ThreadId, int Priority) {
    const int Nice = std::clamp(ProcessNice() - 5 * std::clamp(Priority, -2, 2), -20, 19);
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(ThreadId), Nice) == 0;
}

int GetThreadPriorityOf(uint32_t ThreadId) {
    errno = 0;
    const int Nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(ThreadId));
    if (Nice == -1 && errno != 0)
        return 0;
    // Round to the nearest step, so a nice value set elsewhere maps sensibly.
    const int Steps = Nice - ProcessNice();
    return std::clamp(-(Steps + (Steps >= 0 ? 2 : -2)) / 5, -2, 2);
}
