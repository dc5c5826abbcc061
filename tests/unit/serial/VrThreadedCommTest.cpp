// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "FakeCommDevice.h"
#include "PumpNotifications.h"
#include "VrComm.h"
#include "platform/NotifyChannel.h"

#include <gtest/gtest.h>

#include "platform/SystemError.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
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

// Waits up to 5 s for Done, without delivering notifications.
template <typename F> bool WaitUntil(F Done) {
    const auto End = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!Done()) {
        if (std::chrono::steady_clock::now() > End)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

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
        Fake->FailCall["GetCommModemStatus"] = EIO;
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

namespace {

// A device that fails in every pass (a line that is gone) is told once, and
// the worker then pauses between passes until the device recovers; a new
// failure after that is told again.
TEST_F(TThreadedFixture, LastingFailureIsToldOnceAndTheWorkerSlowsDown) {
    ASSERT_EQ(Comm->Open(), 0);
    auto Fail = [&](bool On) {
        std::lock_guard Guard(Fake->Lock);
        if (On)
            Fake->FailCall["GetCommModemStatus"] = EIO;
        else
            Fake->FailCall.clear();
    };
    const std::string Told = "error " + std::to_string(vcaOther) + " " + std::to_string(EIO);
    Fail(true);
    ASSERT_TRUE(PumpUntil([&] { return !Log.empty(); }));
    const int PollsBefore = Fake->CallCount("GetCommModemStatus");
    const auto Until = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    while (std::chrono::steady_clock::now() < Until)
        DrainNotifications(5);
    // A spinning worker would poll thousands of times meanwhile.
    EXPECT_LT(Fake->CallCount("GetCommModemStatus") - PollsBefore, 40);
    EXPECT_EQ(Log, std::vector<std::string>{Told});
    Fail(false);
    const int Polls = Fake->CallCount("GetCommModemStatus");
    ASSERT_TRUE(WaitUntil([&] { return Fake->CallCount("GetCommModemStatus") > Polls + 2; }));
    Fail(true);
    ASSERT_TRUE(PumpUntil([&] { return Log.size() >= 2; }));
    EXPECT_EQ(Log, (std::vector<std::string>{Told, Told}));
    EXPECT_EQ(Comm->Close(), 0);
}

// The buffers are critical sections: an owner inside one may still call
// what takes the same lock.
TEST_F(TThreadedFixture, OwnerInsideABufferMayStillCallTheComponent) {
    ASSERT_EQ(Comm->Open(), 0);
    Fake->Feed("abc");
    ASSERT_TRUE(WaitUntil([&] { return Comm->GetReceiveCount() == 3; }));
    {
        std::lock_guard Guard(Comm->GetReceiveBuffer());
        char B[2];
        EXPECT_EQ(Comm->Receive(B, 2), 2);
        EXPECT_EQ(Comm->GetReceiveCount(), 1);
        TVrMemoryStream Rest;
        EXPECT_EQ(Comm->ReceiveStream(Rest), 1);
    }
    {
        std::lock_guard Guard(Comm->GetSendBuffer());
        EXPECT_EQ(Comm->Send("xy", 2), 2);
        EXPECT_EQ(Comm->GetSendCount(), 2);
    }
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard Guard(Fake->Lock);
        return Fake->Output.size() == 2;
    }));
    EXPECT_EQ(Comm->Close(), 0);
}

// A worker held up in the device for longer than Close waits.
class TStuckComm : public TVrThreadedComm {
public:
    explicit TStuckComm(std::shared_ptr<TCommDevice> Device) : TVrThreadedComm(nullptr, std::move(Device)) {
        FStopWait = std::chrono::milliseconds(100);
    }
    // The worker's next pass stops in its poll until Release.
    void StickAndWait() {
        std::unique_lock Guard(FLock);
        FStick = true;
        FChanged.wait(Guard, [this] { return FStuck; });
    }
    void Release() {
        std::lock_guard Guard(FLock);
        FStick = false;
        FChanged.notify_all();
    }
    int32_t PollEvents(TVrCommEvents& Events) override {
        {
            std::unique_lock Guard(FLock);
            if (FStick) {
                FStuck = true;
                FChanged.notify_all();
                FChanged.wait(Guard, [this] { return !FStick; });
            }
        }
        return TVrThreadedComm::PollEvents(Events);
    }

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    bool FStick = false;
    bool FStuck = false;
};

TEST(VrThreadedCommStop, WorkerThatOutlivesCloseKeepsItsHandleAndHoldsOffTheNextOpen) {
    auto Fake = std::make_shared<TFakeCommDevice>();
    auto DeviceOpen = [&] {
        std::lock_guard Guard(Fake->Lock);
        return Fake->IsOpen;
    };
    TStuckComm Comm(Fake);
    std::vector<std::pair<TVrCommErrorAt, int32_t>> Reported;
    Comm.SetOnError([&](TComponent*, TVrCommErrorAt At, int32_t Error, bool& Throw) {
        Reported.emplace_back(At, Error);
        Throw = false;
    });
    int Closes = 0;
    Comm.SetOnClose([&](TComponent*) { ++Closes; });
    ASSERT_EQ(Comm.Open(), 0);
    Comm.StickAndWait();

    EXPECT_EQ(Comm.Close(), SystemErrorTimedOut());
    EXPECT_FALSE(Comm.GetOpened());
    EXPECT_EQ(Closes, 0);
    EXPECT_TRUE(DeviceOpen()); // the worker may still be using the handle
    EXPECT_NE(Comm.GetThreadId(), 0u);
    EXPECT_EQ(Comm.Open(), SystemErrorBusy());
    EXPECT_FALSE(Comm.GetOpened());
    EXPECT_EQ(Reported, (std::vector<std::pair<TVrCommErrorAt, int32_t>>{{vcaClose, SystemErrorTimedOut()},
                                                                         {vcaOpen, SystemErrorBusy()}}));

    // Once it ends, its handle is closed and its identifier is forgotten.
    Comm.Release();
    ASSERT_TRUE(WaitUntil([&] { return Comm.GetThreadId() == 0 && !DeviceOpen(); }));
    DrainNotifications(0); // whatever it still posted is not delivered
    EXPECT_EQ(Closes, 0);
    EXPECT_EQ(Comm.Open(), 0);
    EXPECT_EQ(Comm.Close(), 0);
    EXPECT_EQ(Closes, 1);
    EXPECT_EQ(Reported.size(), 2u);
}

} // namespace
