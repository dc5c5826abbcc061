// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/NotifyChannel.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

bool Readable(int Fd) {
    pollfd P{Fd, POLLIN, 0};
    return ::poll(&P, 1, 0) == 1;
}

TEST(NotifyChannelPosix, WakeDescriptorIsReadableExactlyWhileMessagesWait) {
    auto Channel = TNotifyChannel::Create([](uint32_t) {});
    ASSERT_TRUE(Channel);
    const int Fd = NotifyWakeDescriptor();
    ASSERT_GE(Fd, 0);
    DrainNotifications(0);
    EXPECT_FALSE(Readable(Fd));
    std::thread([&] { Channel->Post(0x8001); }).join();
    EXPECT_TRUE(Readable(Fd));
    EXPECT_EQ(DrainNotifications(0), 1);
    EXPECT_FALSE(Readable(Fd));
}

// An event loop watches only the descriptor: what a raising handler leaves
// queued must keep it readable, or it waits for the next post.
TEST(NotifyChannelPosix, WhatARaisingHandlerLeftQueuedStaysAnnounced) {
    std::vector<uint32_t> Seen;
    auto Channel = TNotifyChannel::Create([&](uint32_t M) {
        if (M == 0x8001)
            throw std::runtime_error("raised");
        Seen.push_back(M);
    });
    ASSERT_TRUE(Channel);
    const int Fd = NotifyWakeDescriptor();
    DrainNotifications(0);
    std::thread([&] {
        for (uint32_t M : {0x8001u, 0x8002u, 0x8003u})
            Channel->Post(M);
    }).join();
    EXPECT_THROW(DrainNotifications(0), std::runtime_error);
    EXPECT_TRUE(Readable(Fd));
    EXPECT_EQ(DrainNotifications(0), 2);
    EXPECT_EQ(Seen, (std::vector<uint32_t>{0x8002, 0x8003}));
    EXPECT_FALSE(Readable(Fd));
}

} // namespace
