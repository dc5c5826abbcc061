// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ThreadPriority.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* kChildFlag = "QUADV_THREAD_PRIORITY_UNDER_NICE";

int NiceOf(id_t Id) {
    errno = 0;
    const int Nice = ::getpriority(PRIO_PROCESS, Id);
    return Nice == -1 && errno != 0 ? 99 : Nice;
}

// A user who starts the program under `nice` must still be able to lower the
// worker, which an absolute nice value below the start value would forbid.
// The check runs in a fresh copy of this test started under `nice -n 10`,
// because the steps count from the nice value the process started with.
TEST(ThreadPriorityPosix, StepsCountFromTheNiceValueTheProcessStartedWith) {
    if (std::getenv(kChildFlag) == nullptr) {
        const std::string Command =
            std::string(kChildFlag) + "=1 nice -n 10 /proc/" + std::to_string(::getpid()) +
            "/exe --gtest_filter=" +
            ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "." +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + " >/dev/null 2>&1";
        const int Status = std::system(Command.c_str());
        ASSERT_TRUE(WIFEXITED(Status));
        EXPECT_EQ(WEXITSTATUS(Status), 0)
            << "the run under nice failed; rerun it with " << kChildFlag << "=1 under nice -n 10 to see why";
        return;
    }
    const int Base = NiceOf(static_cast<id_t>(::getpid()));
    ASSERT_GE(Base, 10);
    std::thread([Base] {
        const uint32_t Self = CurrentThreadId();
        EXPECT_EQ(GetThreadPriorityOf(Self), 0);
        ASSERT_TRUE(SetThreadPriorityOf(Self, -1));
        EXPECT_EQ(NiceOf(Self), std::min(Base + 5, 19));
        if (Base + 5 <= 19) { // a process started at the slowest value has no room below it
            EXPECT_EQ(GetThreadPriorityOf(Self), -1);
        }
        ASSERT_TRUE(SetThreadPriorityOf(Self, -2)); // clamped at the slowest nice value
        EXPECT_EQ(NiceOf(Self), 19);
    }).join();
}

} // namespace
