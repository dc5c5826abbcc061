#pragma once

// Per-thread scheduling priority in Win32 terms: -2 (THREAD_PRIORITY_LOWEST)
// to 2 (THREAD_PRIORITY_HIGHEST). On Linux each step is five nice values of the
// thread (2 is nice -10); raising above normal needs the privilege to do so.

#include <cstdint>

// The calling thread's identifier (gettid / GetCurrentThreadId).
uint32_t CurrentThreadId();
// false with the system error code in errno / GetLastError when refused.
bool SetThreadPriorityOf(uint32_t ThreadId, int Priority);
// The thread's current priority; 0 when it cannot be read.
int GetThreadPriorityOf(uint32_t ThreadId);
