#include "ThreadPriority.h"

#include <algorithm>
#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>

uint32_t CurrentThreadId() {
    return static_cast<uint32_t>(::gettid());
}

bool SetThreadPriorityOf(uint32_t ThreadId, int Priority) {
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(ThreadId), -5 * std::clamp(Priority, -2, 2)) == 0;
}

int GetThreadPriorityOf(uint32_t ThreadId) {
    errno = 0;
    const int Nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(ThreadId));
    if (Nice == -1 && errno != 0)
        return 0;
    // Round to the nearest step, so a nice value set elsewhere maps sensibly.
    return std::clamp(-(Nice + (Nice >= 0 ? 2 : -2)) / 5, -2, 2);
}
