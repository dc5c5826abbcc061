// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LinePair.h"
#include "PumpNotifications.h"
#include "VrComm.h"
#include "platform/NotifyChannel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

struct TThreadedPty : ::testing::Test {
    TLinePair Pty{21};
    TVrThreadedComm Comm{nullptr, LineDevice()};
    void SetUp() override {
        ASSERT_TRUE(Pty.Ok());
        Comm.SetPortNumber(Pty.Port());
        Comm.SetByteSize(vbs8Bits);
    }
};

TEST_F(TThreadedPty, OpenAndCloseRunTheirEventsBeforeReturning) {
    std::vector<std::string> Log;
    Comm.SetOnOpen([&](TComponent*) { Log.push_back(Comm.GetOpened() ? "open" : "open-closed"); });
    Comm.SetOnClose([&](TComponent*) { Log.push_back(Comm.GetOpened() ? "close-open" : "close"); });
    ASSERT_EQ(Comm.Open(), 0);
    EXPECT_EQ(Log, std::vector<std::string>{"open"});
    EXPECT_NE(Comm.GetThreadId(), 0u);
    EXPECT_EQ(Comm.Close(), 0);
    EXPECT_EQ(Log, (std::vector<std::string>{"open", "close"}));
    // The system may give an ended thread's identifier to another thread.
    EXPECT_EQ(Comm.GetThreadId(), 0u);
    Comm.SetThreadPriority(vtpLowest);
    EXPECT_EQ(Comm.GetThreadPriority(), vtpLowest);
}

TEST_F(TThreadedPty, SendQueuesAtOnceAndOnSentFollows) {
    int Sent = 0;
    Comm.SetOnSent([&](TComponent*) { ++Sent; });
    ASSERT_EQ(Comm.Open(), 0);
    EXPECT_EQ(Comm.Send("0123456789", 10), 10);
    EXPECT_EQ(Comm.Send("x", 0), 0);
    EXPECT_EQ(Pty.ReadFar(10), "0123456789");
    EXPECT_TRUE(PumpUntil([&] { return Sent > 0; }));
    EXPECT_EQ(Comm.GetSendCount(), 0);
}

TEST_F(TThreadedPty, ReceivedBytesRaiseOnReceiveOnTheOwnerThread) {
    const auto Owner = std::this_thread::get_id();
    bool OnOwner = true;
    std::string Got;
    Comm.SetOnReceive([&](TComponent*) {
        OnOwner = OnOwner && std::this_thread::get_id() == Owner;
        char B[64];
        int32_t N;
        while ((N = Comm.Receive(B, sizeof B)) > 0)
            Got.append(B, static_cast<size_t>(N));
    });
    ASSERT_EQ(Comm.Open(), 0);
    char B[4];
    EXPECT_EQ(Comm.Receive(B, 4), 0);
    std::string Long(1000, 'q');
    Pty.WriteFar(Long);
    EXPECT_TRUE(PumpUntil([&] { return Got.size() >= Long.size(); }));
    EXPECT_EQ(Got, Long);
    EXPECT_TRUE(OnOwner);
}

std::string Pattern(size_t Count) {
    std::string Bytes(Count, '\0');
    for (size_t I = 0; I < Count; ++I)
        Bytes[I] = static_cast<char>('a' + (I * 7 + I / 251) % 26);
    return Bytes;
}

// Far more than the line holds at once: each write goes pending and times out
// after 1 ms with part sent, and the rest must follow in order.
TEST_F(TThreadedPty, SendLongerThanTheLineHoldsArrivesWholeAndInOrder) {
    int Sent = 0;
    Comm.SetOnSent([&](TComponent*) { ++Sent; });
    ASSERT_EQ(Comm.Open(), 0);
    const std::string Bytes = Pattern(256 * 1024);
    EXPECT_EQ(Comm.Send(Bytes.data(), static_cast<int32_t>(Bytes.size())),
              static_cast<int32_t>(Bytes.size()));
    const std::string Got = Pty.ReadFar(Bytes.size());
    EXPECT_EQ(Got.size(), Bytes.size());
    EXPECT_TRUE(Got == Bytes) << "bytes arrived changed or out of order";
    EXPECT_TRUE(PumpUntil([&] { return Sent > 0; }));
    EXPECT_EQ(Comm.GetSendCount(), 0);
}

// Closing discards what is still queued, but not what the line has already
// taken: the far end has not read it yet, and gets it after the close.
TEST_F(TThreadedPty, BytesTheLineTookBeforeCloseReachTheFarEnd) {
    int Sent = 0;
    Comm.SetOnSent([&](TComponent*) { ++Sent; });
    ASSERT_EQ(Comm.Open(), 0);
    const std::string Bytes = Pattern(8000); // more than the far end's line buffer
    Comm.Send(Bytes.data(), static_cast<int32_t>(Bytes.size()));
    ASSERT_TRUE(PumpUntil([&] { return Sent > 0; }));
    EXPECT_EQ(Comm.Close(), 0);
    EXPECT_TRUE(Pty.ReadFar(Bytes.size()) == Bytes);
}

TEST_F(TThreadedPty, SendEnabledFalseHoldsTheBytes) {
    ASSERT_EQ(Comm.Open(), 0);
    Comm.SetSendEnabled(false);
    EXPECT_EQ(Comm.Send("held", 4), 4);
    EXPECT_EQ(Pty.ReadFar(0), "");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(Comm.GetSendCount(), 4);
    Comm.SetSendEnabled(true);
    EXPECT_EQ(Pty.ReadFar(4), "held");
}

TEST_F(TThreadedPty, StreamsMoveWholeContents) {
    ASSERT_EQ(Comm.Open(), 0);
    TVrMemoryStream Out;
    EXPECT_EQ(Comm.SendStream(Out), 0);
    Out.Write("stream data", 11); // position at the end
    EXPECT_EQ(Comm.SendStream(Out), 11);
    EXPECT_EQ(Pty.ReadFar(11), "stream data");
    Pty.WriteFar("incoming");
    ASSERT_TRUE(PumpUntil([&] { return Comm.GetReceiveCount() >= 8; }));
    TVrMemoryStream In;
    EXPECT_EQ(Comm.ReceiveStream(In), 8);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(In.Memory()), 8), "incoming");
    EXPECT_EQ(Comm.GetReceiveCount(), 0);
    EXPECT_EQ(Comm.GetReceiveBuffer().Capacity(), 1024);
}

TEST_F(TThreadedPty, PriorityWrittenWhileClosedTakesEffectAtOpen) {
    Comm.SetThreadPriority(vtpLower);
    EXPECT_EQ(Comm.GetThreadPriority(), vtpLower);
    ASSERT_EQ(Comm.Open(), 0);
    EXPECT_EQ(Comm.GetThreadPriority(), vtpLower); // read back from the worker itself
    Comm.SetThreadPriority(vtpLowest);
    EXPECT_EQ(Comm.GetThreadPriority(), vtpLowest);
}

TEST_F(TThreadedPty, DestroyingAnOpenPortCallsNeitherCloseNorError) {
    auto Owned = std::make_unique<TVrThreadedComm>(nullptr, LineDevice());
    Owned->SetPortNumber(Pty.Port());
    Owned->SetByteSize(vbs8Bits); // Wine refuses 7N1 on a pseudo-terminal left in 8N1
    bool Called = false;
    Owned->SetOnClose([&](TComponent*) { Called = true; });
    Owned->SetOnError([&](TComponent*, TVrCommErrorAt, int32_t, bool&) { Called = true; });
    ASSERT_EQ(Owned->Open(), 0);
    Owned.reset();
    DrainNotifications(0);
    EXPECT_FALSE(Called);
    EXPECT_EQ(Comm.Open(), 0); // the device is free again
}

} // namespace
