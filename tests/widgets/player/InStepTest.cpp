// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "InStepLink.h"
#include "PlayerTestSupport.h"
#include "WindowsMediaPlayer.h"

#include <QAction>
#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

namespace {

using TCalls = std::vector<std::string>;

constexpr double kFrame = 0.04;

int Count(const TCalls& Calls, const std::string& Call) {
    return static_cast<int>(std::count(Calls.begin(), Calls.end(), Call));
}

// The speed factors written to an engine other than the user's rate of 1.
std::vector<double> Trims(const TCalls& Calls) {
    std::vector<double> Found;
    for (const std::string& Call : Calls)
        if (Call.rfind("SetRate ", 0) == 0 && Call != "SetRate 1")
            Found.push_back(std::stod(Call.substr(8)));
    return Found;
}

class InStepTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(H.CreateShown());
        W = H.FWindow.get();
        H.Open({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
        for (TFakeMediaEngine* Engine : H.FEngines)
            Engine->SetDuration(2.0);
    }

    // Frames First..Last of every pane, at 25 fps on the window's clock; pane
    // I shows each frame Late[I] seconds after pane 0 and Behind[I] frames
    // behind it.
    void PlayFrames(int First, int Last, std::array<double, 4> Late = {}, std::array<int, 4> Behind = {}) {
        for (int Frame = First; Frame <= Last; ++Frame) {
            for (int I = 0; I < 4; ++I) {
                H.FClockNow = 100.0 + Frame * kFrame + Late[I];
                if (Frame - Behind[I] >= 0)
                    H.FEngines[I]->SetPlaybackPosition((Frame - Behind[I]) * kFrame);
            }
            QCoreApplication::processEvents();
        }
    }

    TMainWindowHarness H;
    TQUADV_MAIN* W = nullptr;
};

TEST_F(InStepTest, LinkedRepeatingPanesOfOneLengthRestartTheirLoopTogether) {
    W->PM_AutoRepeat->trigger();
    W->PM_Link->trigger();
    H.FEngines[3]->SetDuration(3.0); // another length: it loops on its own
    H.Keys(Qt::CTRL | Qt::Key_Space);
    H.ClearAllCalls();
    PlayFrames(1, 49); // frame 49 is the last of 2 s
    for (int I = 0; I < 3; ++I) {
        const TCalls Calls = H.TakeCalls(I);
        EXPECT_EQ(Count(Calls, "SetLoopHold 1"), 1) << I;
        EXPECT_EQ(Count(Calls, "Seek 0"), 1) << I;
    }
    const TCalls Other = H.TakeCalls(3);
    EXPECT_EQ(Count(Other, "SetLoopHold 1"), 0);
    EXPECT_EQ(Count(Other, "Seek 0"), 0);
    // Only playback's moves were seen: the seeks raised no linked seek.
    EXPECT_EQ(W->InStep()->Reference(), 0);
}

TEST_F(InStepTest, PauseLeavesTheLinkedPanesOnTheReferencesFrame) {
    W->PM_Link->trigger();
    H.Keys(Qt::CTRL | Qt::Key_Space);
    PlayFrames(1, 20, {0, 0.01, 0.02, 0.03}, {0, 1, 0, 1});
    H.ClearAllCalls();
    H.Keys(Qt::CTRL | Qt::Key_Space); // all four pause, a frame apart
    for (int I = 0; I < 4; ++I)
        EXPECT_EQ(H.TakeCalls(I), (TCalls{"Pause", "Seek 0.8"})) << I;

    // A seek by the user makes its pane the one the others follow.
    H.Keys(Qt::CTRL | Qt::Key_Space);
    W->WindowsMediaPlayer3->SetCurrentPosition(1.0);
    PlayFrames(26, 40, {0.02, 0.01, 0, 0.03}, {1, 1, 0, 2});
    H.ClearAllCalls();
    H.Keys(Qt::CTRL | Qt::Key_Space);
    EXPECT_EQ(W->InStep()->Reference(), 2);
    for (int I = 0; I < 4; ++I)
        EXPECT_EQ(H.TakeCalls(I), (TCalls{"Pause", "Seek 1.6"})) << I;
}

TEST_F(InStepTest, WithLinkOffOrOnlyJustOnEveryPaneRunsFree) {
    // Files long enough to play on through: a pane past its end is left alone.
    for (TFakeMediaEngine* Engine : H.FEngines)
        Engine->SetDuration(60.0);
    H.Keys(Qt::CTRL | Qt::Key_Space);
    H.ClearAllCalls();
    const std::array<double, 4> Late = {0, 0.012, 0.03, 0.006};
    PlayFrames(1, 20, Late, {0, 0, 8, 0});
    W->PM_Link->trigger(); // turned on alone, it moves no pane
    PlayFrames(21, 40, Late, {0, 0, 8, 0});
    for (int I = 0; I < 4; ++I) {
        const TCalls Calls = H.TakeCalls(I);
        EXPECT_TRUE(Trims(Calls).empty()) << I;
        EXPECT_EQ(std::count_if(Calls.begin(), Calls.end(),
                                [](const std::string& C) { return C.rfind("Seek", 0) == 0; }),
                  0)
            << I;
    }
    // A start with Link on keeps them in step: the lagging panes are sped up
    // a little, the one 8 frames behind is sought once.
    H.Keys(Qt::CTRL | Qt::Key_Space);
    H.Keys(Qt::CTRL | Qt::Key_Space);
    H.ClearAllCalls();
    PlayFrames(41, 60, Late, {0, 0, 8, 0});
    const std::vector<double> Lagging = Trims(H.TakeCalls(1));
    ASSERT_FALSE(Lagging.empty());
    EXPECT_GT(Lagging.front(), 1.0);
    EXPECT_LE(Lagging.front(), 1.0 + TInStepControl::kMaxTrim);
    const TCalls Far = H.TakeCalls(2);
    EXPECT_EQ(
        std::count_if(Far.begin(), Far.end(), [](const std::string& C) { return C.rfind("Seek", 0) == 0; }),
        1);
    // Off again: the trims go at once.
    W->PM_Link->trigger();
    EXPECT_EQ(Count(H.TakeCalls(1), "SetRate 1"), 1);
}

} // namespace
