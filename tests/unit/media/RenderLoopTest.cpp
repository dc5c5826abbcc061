// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "RenderLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A frame source that fills every pixel with the number of its picture and
// every row's first pixel with the buffer's size, so that a torn or
// mis-sized picture shows.
class TFakeSource {
public:
    bool Draw(TFrameBuffer& Target, bool Redraw) {
        std::unique_lock<std::mutex> Lock(FLock);
        FGate.wait(Lock, [this] { return FOpen; });
        ++FDraws;
        FRedraws += Redraw ? 1 : 0;
        const uint32_t Picture = ++FPicture;
        Lock.unlock();
        for (int Y = 0; Y < Target.Height(); ++Y) {
            auto* Row = reinterpret_cast<uint32_t*>(Target.Pixels() + Y * Target.Stride());
            Row[0] = static_cast<uint32_t>(Target.Width()) << 16 | static_cast<uint32_t>(Target.Height());
            for (int X = 1; X < Target.Width(); ++X)
                Row[X] = Picture;
        }
        return true;
    }
    void Close() {
        const std::lock_guard<std::mutex> Lock(FLock);
        FOpen = false;
    }
    void Open() {
        {
            const std::lock_guard<std::mutex> Lock(FLock);
            FOpen = true;
        }
        FGate.notify_all();
    }
    int Draws() {
        const std::lock_guard<std::mutex> Lock(FLock);
        return FDraws;
    }
    int Redraws() {
        const std::lock_guard<std::mutex> Lock(FLock);
        return FRedraws;
    }

private:
    std::mutex FLock;
    std::condition_variable FGate;
    bool FOpen = true;
    int FDraws = 0;
    int FRedraws = 0;
    uint32_t FPicture = 0;
};

// The picture's number, or 0 when its pixels disagree with each other or with its size.
uint32_t Consistent(const TFrameBuffer& Frame) {
    const uint32_t Size = static_cast<uint32_t>(Frame.Width()) << 16 | static_cast<uint32_t>(Frame.Height());
    const auto* First = reinterpret_cast<const uint32_t*>(Frame.Pixels());
    const uint32_t Picture = First[1];
    for (int Y = 0; Y < Frame.Height(); ++Y) {
        const auto* Row = reinterpret_cast<const uint32_t*>(Frame.Pixels() + Y * Frame.Stride());
        if (Row[0] != Size)
            return 0;
        for (int X = 1; X < Frame.Width(); ++X)
            if (Row[X] != Picture)
                return 0;
    }
    return Picture;
}

// Counts the calls of Ready, as the owner's queue would see them.
struct TReadyCount {
    std::atomic<int> Calls{0};
    void operator()() { ++Calls; }
};

// Waits for a picture from Loop, as the owner thread would.
const TFrameBuffer* TakeWithin(TRenderLoop& Loop, std::chrono::milliseconds Limit = 5000ms) {
    const auto End = std::chrono::steady_clock::now() + Limit;
    while (std::chrono::steady_clock::now() < End) {
        if (const TFrameBuffer* Frame = Loop.Take())
            return Frame;
        std::this_thread::sleep_for(1ms);
    }
    return nullptr;
}

TEST(FrameBufferTest, RowsAndPixelsAre64ByteAlignedAndMemoryIsKeptWhenItFits) {
    TFrameBuffer Buffer;
    EXPECT_TRUE(Buffer.Empty());
    ASSERT_TRUE(Buffer.Resize(641, 361));
    EXPECT_EQ(Buffer.Stride() % 64, 0u);
    EXPECT_GE(Buffer.Stride(), 641u * 4);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(Buffer.Pixels()) % 64, 0u);
    unsigned char* Before = Buffer.Pixels();
    ASSERT_TRUE(Buffer.Resize(320, 240));
    EXPECT_EQ(Buffer.Pixels(), Before);
    EXPECT_EQ(Buffer.Width(), 320);
    EXPECT_FALSE(Buffer.Resize(0, 240));
    EXPECT_TRUE(Buffer.Empty());
}

TEST(RenderLoopTest, DrawsNothingUntilASizeIsSetThenHandsOverTheLatestPicture) {
    TFakeSource Source;
    TReadyCount Ready;
    TRenderLoop Loop([&](TFrameBuffer& T, bool R) { return Source.Draw(T, R); }, std::ref(Ready));
    Loop.RequestDraw();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(Source.Draws(), 0);
    EXPECT_EQ(Loop.Take(), nullptr);

    Loop.SetSize(64, 48); // a redraw at the new size
    const TFrameBuffer* Frame = TakeWithin(Loop);
    ASSERT_NE(Frame, nullptr);
    EXPECT_EQ(Frame->Width(), 64);
    EXPECT_EQ(Frame->Height(), 48);
    EXPECT_EQ(Consistent(*Frame), 1u);
    EXPECT_EQ(Source.Redraws(), 1);
    EXPECT_EQ(Loop.Take(), nullptr); // nothing newer

    Loop.RequestDraw();
    Frame = TakeWithin(Loop);
    ASSERT_NE(Frame, nullptr);
    EXPECT_EQ(Consistent(*Frame), 2u);
    EXPECT_EQ(Source.Redraws(), 1); // a new picture is not a redraw
}

TEST(RenderLoopTest, ReadyComesOnceUntilAPictureIsTaken) {
    TFakeSource Source;
    TReadyCount Ready;
    TRenderLoop Loop([&](TFrameBuffer& T, bool R) { return Source.Draw(T, R); }, std::ref(Ready));
    Loop.SetSize(16, 16);
    for (int I = 0; I < 5; ++I) {
        const int Before = Source.Draws();
        Loop.RequestDraw();
        while (Source.Draws() == Before)
            std::this_thread::sleep_for(1ms);
    }
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(Ready.Calls, 1);
    const TFrameBuffer* Frame = Loop.Take();
    ASSERT_NE(Frame, nullptr);
    EXPECT_EQ(Consistent(*Frame), static_cast<uint32_t>(Source.Draws())); // the latest, not the first
    Loop.RequestDraw();
    ASSERT_NE(TakeWithin(Loop), nullptr);
    EXPECT_EQ(Ready.Calls, 2);
}

TEST(RenderLoopTest, APictureOfTheFileBeforeIsNeverHandedOver) {
    TFakeSource Source;
    TReadyCount Ready;
    TRenderLoop Loop([&](TFrameBuffer& T, bool R) { return Source.Draw(T, R); }, std::ref(Ready));
    Loop.SetSize(32, 32);
    const TFrameBuffer* Shown = TakeWithin(Loop);
    ASSERT_NE(Shown, nullptr);
    const uint32_t ShownPicture = Consistent(*Shown);

    // Drawing is under way for the old file when the new one is loaded.
    Source.Close();
    Loop.RequestDraw();
    std::this_thread::sleep_for(20ms);
    Loop.NewGeneration();
    Source.Open();
    while (Ready.Calls < 2)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(Loop.Take(), nullptr);
    EXPECT_EQ(Consistent(*Shown), ShownPicture); // what the owner shows was not drawn over

    Loop.RequestDraw();
    const TFrameBuffer* Frame = TakeWithin(Loop);
    ASSERT_NE(Frame, nullptr);
    EXPECT_GT(Consistent(*Frame), ShownPicture);
}

TEST(RenderLoopTest, NothingIsDrawnOrAnnouncedAfterStopWhateverTheSourceAsks) {
    TFakeSource Source;
    TReadyCount Ready;
    auto Loop = std::make_unique<TRenderLoop>([&](TFrameBuffer& T, bool R) { return Source.Draw(T, R); },
                                              std::ref(Ready));
    Loop->SetSize(32, 32);
    std::atomic<bool> Asking{true};
    // The source's own thread keeps asking, as mpv's callback does, until the owner is gone.
    std::thread Asker([&] {
        while (Asking) {
            Loop->RequestDraw();
            std::this_thread::sleep_for(100us);
        }
    });
    std::this_thread::sleep_for(30ms);
    Loop->Stop();
    const int Draws = Source.Draws();
    const int Calls = Ready.Calls;
    EXPECT_GT(Draws, 1);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(Source.Draws(), Draws);
    EXPECT_EQ(Ready.Calls, Calls);
    Asking = false;
    Asker.join();
    Loop.reset();
}

TEST(RenderLoopTest, SizesChangedWhileDrawingNeverGiveATornOrMisSizedPicture) {
    TFakeSource Source;
    TReadyCount Ready;
    TRenderLoop Loop([&](TFrameBuffer& T, bool R) { return Source.Draw(T, R); }, std::ref(Ready));
    std::atomic<bool> Asking{true};
    std::thread Asker([&] {
        while (Asking) {
            Loop.RequestDraw();
            std::this_thread::sleep_for(200us);
        }
    });
    const int Sizes[][2] = {{64, 48}, {33, 17}, {128, 72}, {1, 1}, {96, 54}};
    int Taken = 0, Bad = 0;
    for (int Round = 0; Round < 100; ++Round) {
        const auto& Size = Sizes[Round % std::size(Sizes)];
        Loop.SetSize(Size[0], Size[1]);
        for (int Look = 0; Look < 20; ++Look) {
            if (const TFrameBuffer* Frame = Loop.Take()) {
                ++Taken;
                Bad += Consistent(*Frame) == 0 ? 1 : 0;
                if (Frame->Width() == Size[0] && Frame->Height() == Size[1])
                    break;
            }
            std::this_thread::sleep_for(200us);
        }
    }
    // Once the size holds, the pictures come at that size.
    Loop.SetSize(50, 40);
    const auto End = std::chrono::steady_clock::now() + 5s;
    bool Settled = false;
    while (!Settled && std::chrono::steady_clock::now() < End) {
        if (const TFrameBuffer* Frame = Loop.Take()) {
            Bad += Consistent(*Frame) == 0 ? 1 : 0;
            Settled = Frame->Width() == 50 && Frame->Height() == 40;
        }
        std::this_thread::sleep_for(200us);
    }
    Asking = false;
    Asker.join();
    Loop.Stop();
    EXPECT_GT(Taken, 50);
    EXPECT_EQ(Bad, 0);
    EXPECT_TRUE(Settled);
}

} // namespace
