// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/NotifyChannel.h"
#include "QueuedMessageWait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// Notification numbers lie in the application's private message range.
constexpr uint32_t kBase = 0x8000;

TEST(NotifyChannel, PostedMessagesRunOnTheOwnerInOrder) {
    std::vector<uint32_t> Seen;
    const auto Owner = std::this_thread::get_id();
    bool OnOwner = true;
    auto Channel = TNotifyChannel::Create([&](uint32_t M) {
        OnOwner = OnOwner && std::this_thread::get_id() == Owner;
        Seen.push_back(M);
    });
    ASSERT_TRUE(Channel);
    std::thread Worker([&] {
        for (uint32_t I = 1; I <= 50; ++I)
            Channel->Post(kBase + I);
    });
    Worker.join();
    while (Seen.size() < 50 && DrainNotifications(1000) > 0) {
    }
    ASSERT_EQ(Seen.size(), 50u);
    for (uint32_t I = 0; I < 50; ++I)
        EXPECT_EQ(Seen[I], kBase + I + 1);
    EXPECT_TRUE(OnOwner);
    EXPECT_EQ(DrainNotifications(0), 0);
}

TEST(NotifyChannel, SendWaitsForTheOwnerWhoMayServeOnlySentMessages) {
    std::vector<uint32_t> Seen;
    auto Channel = TNotifyChannel::Create([&](uint32_t M) { Seen.push_back(M); });
    ASSERT_TRUE(Channel);
    Channel->Post(kBase + 1);
    std::atomic<bool> Returned{false};
    std::thread Worker([&] {
        Channel->Send(kBase + 2);
        Returned = true;
    });
    while (DrainSentNotifications() == 0)
        std::this_thread::yield();
    Worker.join();
    EXPECT_TRUE(Returned);
    // The posted message waited; the sent one was handled before Send returned.
    EXPECT_EQ(Seen, std::vector<uint32_t>{kBase + 2});
    EXPECT_EQ(DrainNotifications(0), 1);
    EXPECT_EQ(Seen, (std::vector<uint32_t>{kBase + 2, kBase + 1}));
}

TEST(NotifyChannel, ADrainDeliversOnlyWhatWasQueuedWhenItBegan) {
    int Handled = 0;
    std::unique_ptr<TNotifyChannel> Channel;
    Channel = TNotifyChannel::Create([&](uint32_t M) {
        ++Handled;
        Channel->Post(M); // a handler that always posts again
    });
    ASSERT_TRUE(Channel);
    Channel->Post(kBase);
    Channel->Post(kBase);
    EXPECT_EQ(DrainNotifications(0), 2);
    EXPECT_EQ(DrainNotifications(0), 2);
    EXPECT_EQ(Handled, 4);
    Channel.reset();
    EXPECT_EQ(DrainNotifications(0), 0);
}

TEST(NotifyChannel, DestroyingDropsPostsAndReleasesAWaitingSender) {
    std::atomic<int> Handled{0};
    auto Channel = TNotifyChannel::Create([&](uint32_t) { ++Handled; });
    ASSERT_TRUE(Channel);
    TNotifyChannel* Raw = Channel.get();
    std::thread Late([Raw] { Raw->Send(kBase + 2); });
    ASSERT_TRUE(WaitForSentMessage(5000));
    Channel->Post(kBase + 1);
    Channel.reset();
    Late.join();
    EXPECT_EQ(DrainNotifications(0), 0);
    EXPECT_EQ(Handled.load(), 0);
}

// The failures of the threaded port reach its owner this way: a handler's
// exception leaves the drain that ran it, whether the message was posted or
// sent from another thread (which Windows delivers from inside a system call),
// and what was still queued comes with the next drain.
TEST(NotifyChannel, AHandlersExceptionLeavesTheDrain) {
    std::vector<uint32_t> Seen;
    auto Channel = TNotifyChannel::Create([&](uint32_t M) {
        Seen.push_back(M);
        if (M != kBase + 3)
            throw std::runtime_error("handler " + std::to_string(M - kBase));
    });
    ASSERT_TRUE(Channel);
    Channel->Post(kBase + 1);
    Channel->Post(kBase + 3);
    std::string Raised;
    try {
        DrainNotifications(0);
    } catch (const std::runtime_error& E) {
        Raised = E.what();
    }
    EXPECT_EQ(Raised, "handler 1");
    EXPECT_EQ(DrainNotifications(0), 1);
    EXPECT_EQ(Seen, (std::vector<uint32_t>{kBase + 1, kBase + 3}));

    Raised.clear();
    std::thread Worker([&] { Channel->Send(kBase + 2); });
    for (int I = 0; I < 500 && Raised.empty(); ++I) {
        try {
            DrainNotifications(10);
        } catch (const std::runtime_error& E) {
            Raised = E.what();
        }
    }
    Worker.join();
    EXPECT_EQ(Raised, "handler 2");
    EXPECT_EQ(Seen.back(), kBase + 2);
}

} // namespace
