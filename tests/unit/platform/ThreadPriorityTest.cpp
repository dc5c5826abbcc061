// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ThreadPriority.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// Each check runs on a thread of its own: a lowered priority may not be
// raised again without privileges, and the test's main thread must keep its own.
template <typename F> void OnFreshThread(F Check) {
    std::thread(Check).join();
}

TEST(ThreadPriority, LoweredPrioritiesReadBackOnTheThreadAndFromOutside) {
    for (int Priority : {-1, -2}) {
        SCOPED_TRACE(Priority);
        OnFreshThread([Priority] {
            const uint32_t Self = CurrentThreadId();
            EXPECT_NE(Self, 0u);
            EXPECT_EQ(GetThreadPriorityOf(Self), 0);
            ASSERT_TRUE(SetThreadPriorityOf(Self, Priority));
            EXPECT_EQ(GetThreadPriorityOf(Self), Priority);
            uint32_t Seen = 0;
            int SeenPriority = 99;
            OnFreshThread([&] { // another thread reads it through the identifier
                Seen = CurrentThreadId();
                SeenPriority = GetThreadPriorityOf(Self);
            });
            EXPECT_NE(Seen, Self);
            EXPECT_EQ(SeenPriority, Priority);
        });
    }
}

TEST(ThreadPriority, ValuesBelowTheFiveAreClampedToTheLowest) {
    OnFreshThread([] {
        const uint32_t Self = CurrentThreadId();
        ASSERT_TRUE(SetThreadPriorityOf(Self, -7));
        EXPECT_EQ(GetThreadPriorityOf(Self), -2);
    });
}

} // namespace
