// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "ThreadPriority.h"

#include <windows.h>

#include <algorithm>

uint32_t CurrentThreadId() {
    return static_cast<uint32_t>(GetCurrentThreadId());
}

bool SetThreadPriorityOf(uint32_t ThreadId, int Priority) {
    HANDLE Thread = OpenThread(THREAD_SET_INFORMATION | THREAD_QUERY_INFORMATION, FALSE, ThreadId);
    if (!Thread)
        return false;
    const bool Ok = SetThreadPriority(Thread, std::clamp(Priority, -2, 2)) != 0;
    const DWORD Error = GetLastError();
    CloseHandle(Thread);
    SetLastError(Error); // CloseHandle must not hide why the change was refused
    return Ok;
}

int GetThreadPriorityOf(uint32_t ThreadId) {
    HANDLE Thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, ThreadId);
    if (!Thread)
        return 0;
    const int Priority = GetThreadPriority(Thread);
    CloseHandle(Thread);
    // Idle and time-critical lie outside the five values this layer deals in.
    return Priority == THREAD_PRIORITY_ERROR_RETURN ? 0 : std::clamp(Priority, -2, 2);
}
