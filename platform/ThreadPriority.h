// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "PlatformExport.h"

/// @file
/// Per-thread scheduling priority in Win32 terms: -2 (THREAD_PRIORITY_LOWEST)
/// to 2 (THREAD_PRIORITY_HIGHEST), relative to the process as on Windows. On
/// Linux each step is five nice values of the thread, counted from the nice
/// value the process started with (2 is ten below it), within -20 to 19;
/// raising above normal needs the privilege to do so. Every function may be
/// called from any thread, for any thread of the process.

#include <cstdint>

/// The calling thread's identifier (gettid / GetCurrentThreadId).
QUADRELLE_PLATFORM_EXPORT uint32_t CurrentThreadId();
/// Sets the priority (-2 to 2) of the thread ThreadId. True when set; false
/// with the system error code in errno / GetLastError when refused.
QUADRELLE_PLATFORM_EXPORT bool SetThreadPriorityOf(uint32_t ThreadId, int Priority);
/// The thread's current priority, -2 to 2 (on Linux the nearest step); 0 when
/// it cannot be read.
QUADRELLE_PLATFORM_EXPORT int GetThreadPriorityOf(uint32_t ThreadId);
