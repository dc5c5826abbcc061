#include "platform/NotifyChannel.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <thread>

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

} // namespace
