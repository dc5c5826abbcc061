#include "platform/NotifyChannel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <poll.h>
#include <thread>
#include <vector>

namespace {

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
            Channel->Post(I);
    });
    Worker.join();
    while (Seen.size() < 50 && DrainNotifications(1000) > 0) {
    }
    ASSERT_EQ(Seen.size(), 50u);
    for (uint32_t I = 0; I < 50; ++I)
        EXPECT_EQ(Seen[I], I + 1);
    EXPECT_TRUE(OnOwner);
    EXPECT_EQ(DrainNotifications(0), 0);
}

TEST(NotifyChannel, SendWaitsForTheOwnerAndDestroyReleasesIt) {
    std::atomic<int> Handled{0};
    auto Channel = TNotifyChannel::Create([&](uint32_t) { ++Handled; });
    std::atomic<bool> Returned{false};
    std::thread Worker([&] {
        Channel->Send(7);
        Returned = Handled.load() == 1; // the handler ran before Send returned
    });
    while (DrainSentNotifications() == 0)
        std::this_thread::yield();
    Worker.join();
    EXPECT_TRUE(Returned);
    // A channel destroyed with a sender waiting lets it go without handling.
    EXPECT_EQ(DrainNotifications(0), 0); // also clears the wake-up descriptor
    TNotifyChannel* Raw = Channel.get();
    std::thread Late([Raw] { Raw->Send(8); });
    pollfd P{NotifyWakeDescriptor(), POLLIN, 0};
    ASSERT_EQ(::poll(&P, 1, 5000), 1); // the message is queued
    Channel.reset();
    Late.join();
    EXPECT_EQ(Handled.load(), 1);
}

} // namespace
