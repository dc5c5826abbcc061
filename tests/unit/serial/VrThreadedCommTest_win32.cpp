// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "FakeCommDevice.h"
#include "PumpNotifications.h"
#include "VrComm.h"
#include "platform/NotifyChannel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <windows.h>

namespace {

// A notification that the system refuses (a full queue: a thread holds 10000
// posted messages) must take its record back, or a later notification would
// take it in place of its own.
TEST(VrThreadedCommWin32, RefusedNotificationLeavesNoRecordBehind) {
    auto Fake = std::make_shared<TFakeCommDevice>();
    TVrThreadedComm Comm(nullptr, Fake);
    int Signals = 0, Receives = 0;
    Comm.SetOnChangeSignal([&](TComponent*, TVrCommEvents) { ++Signals; });
    Comm.SetOnReceive([&](TComponent*) { ++Receives; });
    ASSERT_EQ(Comm.Open(), 0);
    ASSERT_TRUE(PumpUntil([&] { return Signals == 1; })); // the first pass, handled

    // Wine takes any number of posted messages; a window that is gone refuses
    // them everywhere. The channel's window is the only one of its class here.
    HWND Window = FindWindowExW(HWND_MESSAGE, nullptr, L"QuadvNotifyChannel", nullptr);
    ASSERT_NE(Window, nullptr);
    ASSERT_TRUE(DestroyWindow(Window));
    Fake->Feed("lost");
    const auto End = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Comm.GetReceiveCount() < 4 && std::chrono::steady_clock::now() < End)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(Comm.GetReceiveCount(), 4);
    // A pass after the receive shows that its post has been tried.
    const int Polls = Fake->CallCount("ClearCommError");
    while (Fake->CallCount("ClearCommError") == Polls && std::chrono::steady_clock::now() < End)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    TVrNotifyMessage Later{kNotifyReceive};
    Comm.NotifyWndProc(Later);
    EXPECT_EQ(Receives, 0) << "a later notification took the refused one's record";
    EXPECT_EQ(Comm.Close(), 0);
}

} // namespace
