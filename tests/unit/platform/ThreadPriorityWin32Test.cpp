// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ThreadPriority.h"

#include <gtest/gtest.h>

#include <thread>
#include <windows.h>

namespace {

// The five values are the Win32 ones, and raising needs no privilege in the
// normal priority class, so every value is set and read back natively too.
TEST(ThreadPriorityWin32, EveryValueIsTheSystemsOwn) {
    std::thread([] {
        const uint32_t Self = CurrentThreadId();
        EXPECT_EQ(Self, GetCurrentThreadId());
        static constexpr int Native[] = {THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_BELOW_NORMAL,
                                         THREAD_PRIORITY_NORMAL, THREAD_PRIORITY_ABOVE_NORMAL,
                                         THREAD_PRIORITY_HIGHEST};
        for (int Priority = -2; Priority <= 2; ++Priority) {
            SCOPED_TRACE(Priority);
            ASSERT_TRUE(SetThreadPriorityOf(Self, Priority)) << GetLastError();
            EXPECT_EQ(::GetThreadPriority(GetCurrentThread()), Native[Priority + 2]);
            EXPECT_EQ(GetThreadPriorityOf(Self), Priority);
        }
        // Time-critical lies outside the five and reads as the nearest.
        ASSERT_TRUE(::SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL));
        EXPECT_EQ(GetThreadPriorityOf(Self), 2);
    }).join();
}

} // namespace
