#include "FakeCommDevice.h"
#include "VrComm.h"
#include "PumpNotifications.h"
#include "platform/NotifyChannel.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace {

struct TThreadedFixture : ::testing::Test {
    std::shared_ptr<TFakeCommDevice> Fake = std::make_shared<TFakeCommDevice>();
    std::unique_ptr<TVrThreadedComm> Comm = std::make_unique<TVrThreadedComm>(nullptr, Fake);
    std::vector<std::string> Log;

    void SetUp() override {
        Comm->SetOnLineError(
            [this](TComponent*, TVrCommEvents E) { Log.push_back("line " + std::to_string(E.Value)); });
        Comm->SetOnBreak([this](TComponent*) { Log.push_back("break"); });
        Comm->SetOnReceive([this](TComponent*) { Log.push_back("receive"); });
        Comm->SetOnError([this](TComponent*, TVrCommErrorAt At, int32_t Error, bool& Throw) {
            Log.push_back("error " + std::to_string(At) + " " + std::to_string(Error));
            Throw = false;
        });
    }
    void TearDown() override { DrainNotifications(0); }
};

TEST_F(TThreadedFixture, NewComponentIsOverlappedWithAShortWriteTimeout) {
    EXPECT_TRUE(Comm->GetOverlapped());
    EXPECT_EQ(Comm->GetSendTimeoutConstant(), 1u);
    EXPECT_EQ(Comm->GetThreadSleep(), 0);
    EXPECT_EQ(Comm->GetThreadPriority(), vtpNormal);
    EXPECT_EQ(Comm->GetBaudRate(), 1200);
    Comm->SetThreadSleep(-1);
    EXPECT_EQ(Comm->GetThreadSleep(), 0);
    EXPECT_EQ(Comm->Send("abc", 3), 0); // closed
}

TEST_F(TThreadedFixture, BreakGivesLineErrorThenBreak) {
    ASSERT_EQ(Comm->Open(), 0);
    {
        std::lock_guard Guard(Fake->Lock);
        Fake->NextErrors = kCeBreak;
    }
    ASSERT_TRUE(PumpUntil([&] { return Log.size() >= 2; }));
    const TVrCommEvents Expected{vevBreak, vevError};
    EXPECT_EQ(Log[0], "line " + std::to_string(Expected.Value));
    EXPECT_EQ(Log[1], "break");
    EXPECT_EQ(Comm->Close(), 0);
}

TEST_F(TThreadedFixture, RefusedSendReachesOnErrorOnTheOwnerThread) {
    const auto Owner = std::this_thread::get_id();
    bool OnOwner = false;
    Comm->SetOnError([&](TComponent*, TVrCommErrorAt At, int32_t Error, bool& Throw) {
        OnOwner = std::this_thread::get_id() == Owner;
        Log.push_back("error " + std::to_string(At) + " " + std::to_string(Error));
        Throw = false;
    });
    ASSERT_EQ(Comm->Open(), 0);
    {
        std::lock_guard Guard(Fake->Lock);
        Fake->FailCall["WriteFile"] = EIO;
    }
    EXPECT_EQ(Comm->Send("data", 4), 4);
    ASSERT_TRUE(PumpUntil([&] { return !Log.empty(); }));
    EXPECT_EQ(Log[0], "error " + std::to_string(vcaSend) + " " + std::to_string(EIO));
    EXPECT_TRUE(OnOwner);
    {
        std::lock_guard Guard(Fake->Lock);
        Fake->FailCall.clear();
    }
    EXPECT_EQ(Comm->Close(), 0);
}

TEST_F(TThreadedFixture, ErrorOvertakingReceivesTakesItsOwnRecord) {
    ASSERT_EQ(Comm->Open(), 0);
    Fake->Feed("abc");
    // Let receive notifications pile up unhandled, then make reads fail.
    const auto End = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Comm->GetReceiveCount() < 3 && std::chrono::steady_clock::now() < End)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    {
        std::lock_guard Guard(Fake->Lock);
        Fake->FailCall["ReadFile"] = EPIPE;
        Fake->Input.push_back('x');
    }
    // Only the worker's error is handled first; then the queued receive.
    const auto Limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (DrainSentNotifications() == 0 && std::chrono::steady_clock::now() < Limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_FALSE(Log.empty());
    EXPECT_EQ(Log[0], "error " + std::to_string(vcaReceive) + " " + std::to_string(EPIPE));
    {
        std::lock_guard Guard(Fake->Lock);
        Fake->FailCall.clear();
        Fake->Input.clear();
    }
    ASSERT_TRUE(PumpUntil([&] { return std::count(Log.begin(), Log.end(), "receive") >= 1; }));
    for (const auto& Entry : Log)
        EXPECT_TRUE(Entry == "receive" || Entry.rfind("error 3 ", 0) == 0) << Entry;
    EXPECT_EQ(Comm->Close(), 0);
}

TEST_F(TThreadedFixture, CloseServesAWorkerBlockedOnAnError) {
    // The modem query's failure is handled on the worker too, so the handler is set first.
    Comm->SetOnError([](TComponent*, TVrCommErrorAt, int32_t, bool& Throw) { Throw = false; });
    ASSERT_EQ(Comm->Open(), 0);
    {
        std::lock_guard Guard(Fake->Lock);
        Fake->FailCall["GetCommModemStatus"] = EIO; // every pass reports
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // the worker now waits in NotifyError
    bool Closed = false;
    Comm->SetOnClose([&](TComponent*) { Closed = true; });
    EXPECT_EQ(Comm->Close(), 0);
    EXPECT_TRUE(Closed);
    EXPECT_FALSE(Comm->GetOpened());
}

TEST_F(TThreadedFixture, DestroyedComponentDeliversNothingAfterwards) {
    ASSERT_EQ(Comm->Open(), 0);
    bool Closed = false;
    Comm->SetOnClose([&](TComponent*) { Closed = true; });
    Fake->Feed("pending bytes");
    const auto End = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Comm->GetReceiveCount() == 0 && std::chrono::steady_clock::now() < End)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Comm.reset(); // notifications are still queued
    DrainNotifications(10);
    EXPECT_TRUE(Log.empty());
    EXPECT_FALSE(Closed);
    EXPECT_FALSE(Fake->IsOpen);
}

TEST_F(TThreadedFixture, OutsideMessagesGoToDefaultNotify) {
    struct TCounting : TVrThreadedComm {
        using TVrThreadedComm::TVrThreadedComm;
        int Defaults = 0;
        void DefaultNotify(TVrNotifyMessage&) override { ++Defaults; }
    } Counting(nullptr, Fake);
    int Receives = 0;
    Counting.SetOnReceive([&](TComponent*) { ++Receives; });
    TVrNotifyMessage Outside{0xBB46}, Receive{kNotifyReceive};
    Counting.NotifyWndProc(Outside);
    Counting.NotifyWndProc(Receive); // the queue is empty: nothing delivered
    EXPECT_EQ(Counting.Defaults, 1);
    EXPECT_EQ(Receives, 0);
}

} // namespace
