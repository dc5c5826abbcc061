// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

// Panes whose files began at different moments: offsets set by hand or from
// the sound, the linked seek and pause that honour them, and what resets them.

#include "InStepLink.h"
#include "PlayerTestSupport.h"
#include "WindowsMediaPlayer.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using TCalls = std::vector<std::string>;

std::vector<std::string> Seeks(const TCalls& Calls) {
    std::vector<std::string> Found;
    for (const std::string& Call : Calls)
        if (Call.rfind("Seek ", 0) == 0)
            Found.push_back(Call);
    return Found;
}

// The text of the pane's time, as the user reads it.
QString TimeText(TWindowsMediaPlayer* Pane) {
    for (QLabel* Label : Pane->findChildren<QLabel*>())
        if (Label->text().contains(u'/'))
            return Label->text();
    return {};
}

class AlignTest : public ::testing::Test {
protected:
    void SetUp() override {
        H.FSoundAligner = [this](const std::filesystem::path& Reference,
                                 const std::vector<std::filesystem::path>& Files, std::stop_token Stop,
                                 const std::function<void(double)>& Progress) {
            FAlignerThread = std::this_thread::get_id();
            FAlignedReference = Reference;
            FAlignedFiles = Files;
            Progress(0.25);
            // Until released or stopped, as a long decode would be.
            while (!FRelease && !Stop.stop_requested())
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            FStopped = Stop.stop_requested();
            return FAnswers;
        };
        ASSERT_TRUE(H.CreateShown());
        W = H.FWindow.get();
        H.Open({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
        for (TFakeMediaEngine* Engine : H.FEngines)
            Engine->SetDuration(60.0);
        H.ClearAllCalls();
    }

    TWindowsMediaPlayer* Pane(int I) const { return W->FPlayers[I]; }

    // Runs the event loop until the alignment by sound has ended.
    bool WaitForSoundAlign(int LimitMs = 5000) {
        QElapsedTimer Timer;
        Timer.start();
        while (W->AlignProgress() && Timer.elapsed() < LimitMs)
            QTest::qWait(10);
        return !W->AlignProgress();
    }

    TMainWindowHarness H;
    TQUADV_MAIN* W = nullptr;
    std::vector<TSoundMatch> FAnswers;
    std::atomic<bool> FRelease{true};
    std::atomic<bool> FStopped{false};
    std::thread::id FAlignerThread;
    std::filesystem::path FAlignedReference;
    std::vector<std::filesystem::path> FAlignedFiles;
};

TEST_F(AlignTest, AlignHereTakesTheOffsetsFromThePositionsShowsThemAndLinkedSeeksHonourThem) {
    // Each pane paused by hand on one clap, with Link off.
    Pane(0)->SetCurrentPosition(10.0);
    Pane(1)->SetCurrentPosition(13.217);
    Pane(2)->SetCurrentPosition(4.5);
    Pane(3)->SetCurrentPosition(10.0);
    ASSERT_FALSE(W->PM_Link->isChecked());
    H.Keys(Qt::CTRL | Qt::SHIFT | Qt::Key_H);
    EXPECT_TRUE(W->PM_Link->isChecked());
    EXPECT_NEAR(W->InStep()->Map(1).Offset, 3.217, 1e-9);
    EXPECT_NEAR(W->InStep()->Map(2).Offset, -5.5, 1e-9);
    EXPECT_EQ(W->InStep()->Map(0), TInStepMap{});
    EXPECT_EQ(W->InStep()->Map(3), TInStepMap{});
    EXPECT_TRUE(TimeText(Pane(1)).endsWith(QStringLiteral("+3.217"))) << TimeText(Pane(1)).toStdString();
    EXPECT_TRUE(TimeText(Pane(2)).endsWith(QStringLiteral("-5.500"))) << TimeText(Pane(2)).toStdString();
    EXPECT_FALSE(TimeText(Pane(0)).contains(u'+'));
    EXPECT_FALSE(TimeText(Pane(3)).contains(u'+'));

    // A linked seek moves each pane to the same moment of its own file,
    // clamped to the file.
    H.ClearAllCalls();
    Pane(3)->SetCurrentPosition(2.0);
    EXPECT_EQ(Seeks(H.TakeCalls(0)), (TCalls{"Seek 2"}));
    EXPECT_EQ(Seeks(H.TakeCalls(1)), (TCalls{"Seek 5.217"}));
    EXPECT_EQ(Seeks(H.TakeCalls(2)), (TCalls{"Seek 0"}));
    H.ClearAllCalls();
    Pane(2)->SetCurrentPosition(59.0); // the moment 64.5: past the others' ends
    EXPECT_EQ(Seeks(H.TakeCalls(0)), (TCalls{"Seek 60"}));
    EXPECT_EQ(Seeks(H.TakeCalls(1)), (TCalls{"Seek 60"}));
    EXPECT_EQ(Seeks(H.TakeCalls(3)), (TCalls{"Seek 60"}));

    // Undone: the panes link as before, by time.
    W->S_AlignReset->trigger();
    for (int I = 0; I < 4; ++I) {
        EXPECT_EQ(W->InStep()->Map(I), TInStepMap{}) << I;
        EXPECT_FALSE(Pane(I)->GetShownOffset()) << I;
    }
    H.ClearAllCalls();
    Pane(0)->SetCurrentPosition(7.0);
    EXPECT_EQ(Seeks(H.TakeCalls(1)), (TCalls{"Seek 7"}));
    EXPECT_EQ(Seeks(H.TakeCalls(2)), (TCalls{"Seek 7"}));
}

TEST_F(AlignTest, APauseLandsEachLinkedPaneOnItsOwnFrameOfTheReferencesMoment) {
    Pane(1)->SetCurrentPosition(2.0);
    H.Keys(Qt::CTRL | Qt::SHIFT | Qt::Key_H); // pane 2 is 2 s ahead in its file
    H.Keys(Qt::CTRL | Qt::Key_Space);
    constexpr double kFrame = 0.04;
    for (int Frame = 1; Frame <= 20; ++Frame) {
        H.FClockNow = 100.0 + Frame * kFrame;
        H.FEngines[0]->SetPlaybackPosition(Frame * kFrame);
        H.FEngines[1]->SetPlaybackPosition(2.0 + (Frame - 1) * kFrame); // a frame behind
        H.FEngines[2]->SetPlaybackPosition(Frame * kFrame);
        H.FEngines[3]->SetPlaybackPosition(Frame * kFrame);
        QCoreApplication::processEvents();
    }
    H.ClearAllCalls();
    H.Keys(Qt::CTRL | Qt::Key_Space);
    EXPECT_EQ(H.TakeCalls(0), (TCalls{"Pause", "Seek 0.8"}));
    EXPECT_EQ(H.TakeCalls(1), (TCalls{"Pause", "Seek 2.8"}));
    EXPECT_EQ(H.TakeCalls(2), (TCalls{"Pause", "Seek 0.8"}));
}

TEST_F(AlignTest, OpenDropsAndASecondStartResetThePanesThatTookAFile) {
    Pane(1)->SetCurrentPosition(3.0);
    Pane(2)->SetCurrentPosition(1.0);
    Pane(3)->SetCurrentPosition(2.0);
    W->S_AlignHere->trigger();
    ASSERT_NE(W->InStep()->Map(1), TInStepMap{});

    // A drop on the top right pane costs its offset alone.
    QFile(H.FilePath(QStringLiteral("e"))).open(QIODevice::WriteOnly);
    W->DropFiles(1, {H.FilePath(QStringLiteral("e"))});
    EXPECT_EQ(W->InStep()->Map(1), TInStepMap{});
    EXPECT_FALSE(Pane(1)->GetShownOffset());
    EXPECT_NEAR(W->InStep()->Map(2).Offset, 1.0, 1e-9);
    EXPECT_TRUE(Pane(2)->GetShownOffset());

    // Files from the command line or a second start, and Open, reset all.
    W->OpenFiles({H.FilePath(QStringLiteral("a")), H.FilePath(QStringLiteral("b"))});
    for (int I = 0; I < 4; ++I)
        EXPECT_EQ(W->InStep()->Map(I), TInStepMap{}) << I;
    W->S_AlignHere->trigger();
    H.Open({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
    for (int I = 0; I < 4; ++I) {
        EXPECT_EQ(W->InStep()->Map(I), TInStepMap{}) << I;
        EXPECT_FALSE(Pane(I)->GetShownOffset()) << I;
    }
}

TEST_F(AlignTest, AlignBySoundSetsTheMatchedPanesOffTheGuiThreadNamesTheOthersAndMovesToTheMoment) {
    FAnswers = {{TSoundMatch::TKind::Matched, 3.217, 12.3e-6, 14.2, {}},
                {TSoundMatch::TKind::NoSound, 0.0, 0.0, 0.0, {}},
                {TSoundMatch::TKind::NoMatch, 0.0, 0.0, 2.1, {}}};
    Pane(0)->SetCurrentPosition(5.0);
    Pane(2)->SetCurrentPosition(9.0);
    H.Keys(Qt::CTRL | Qt::Key_Space); // all play
    H.ClearAllCalls();
    H.Keys(Qt::CTRL | Qt::SHIFT | Qt::Key_A);
    ASSERT_TRUE(WaitForSoundAlign());
    EXPECT_NE(FAlignerThread, std::this_thread::get_id());
    EXPECT_EQ(FAlignedReference.filename(), "a");
    ASSERT_EQ(FAlignedFiles.size(), 3u);
    EXPECT_EQ(FAlignedFiles[2].filename(), "d");

    EXPECT_NEAR(W->InStep()->Map(1).Offset, 3.217, 1e-12);
    EXPECT_NEAR(W->InStep()->Map(1).Drift, 12.3e-6, 1e-12);
    EXPECT_EQ(W->InStep()->Map(2), TInStepMap{}); // kept
    EXPECT_EQ(W->InStep()->Map(3), TInStepMap{});
    EXPECT_TRUE(W->PM_Link->isChecked());
    ASSERT_EQ(H.FMessages.size(), 1u);
    EXPECT_EQ(H.FMessages[0].Text, QStringLiteral("左下: 音がありません\n右下: 音が合いませんでした"));
    // The others went to the reference's moment, and nobody stopped playing.
    EXPECT_EQ(Seeks(H.TakeCalls(1)), (TCalls{"Seek 8.21706"})); // 3.217 + (1 + 12.3e-6) x 5
    EXPECT_EQ(Seeks(H.TakeCalls(2)), (TCalls{"Seek 5"}));
    EXPECT_EQ(Seeks(H.TakeCalls(0)), TCalls{});
    for (int I = 0; I < 4; ++I)
        EXPECT_EQ(Pane(I)->GetPlayState(), wmppsPlaying) << I;

    // Every pane matched: nothing is shown.
    FAnswers = {{TSoundMatch::TKind::Matched, 1.0, 0.0, 9.0, {}},
                {TSoundMatch::TKind::Matched, -2.0, 0.0, 9.0, {}},
                {TSoundMatch::TKind::Matched, 0.5, 0.0, 9.0, {}}};
    H.FMessages.clear();
    W->S_AlignSound->trigger();
    ASSERT_TRUE(WaitForSoundAlign());
    EXPECT_TRUE(H.FMessages.empty());
    EXPECT_NEAR(W->InStep()->Map(2).Offset, -2.0, 1e-12);
}

TEST_F(AlignTest, AReferenceWithoutUsableSoundChangesNothingAndSaysWhy) {
    H.FSoundAligner = {};
    H.Create();
    W = H.FWindow.get();
    H.Open({QStringLiteral("a"), QStringLiteral("b")}); // empty files: not media
    W->S_AlignSound->trigger();
    ASSERT_TRUE(WaitForSoundAlign(20000));
    EXPECT_EQ(W->InStep()->Map(1), TInStepMap{});
    EXPECT_FALSE(W->PM_Link->isChecked());
    ASSERT_EQ(H.FMessages.size(), 1u);
    EXPECT_TRUE(H.FMessages[0].Text.startsWith(QStringLiteral("左上: ")))
        << H.FMessages[0].Text.toStdString();
    EXPECT_TRUE(H.FMessages[0].Text.contains(QStringLiteral("/a"))) << H.FMessages[0].Text.toStdString();
}

TEST_F(AlignTest, ALongAlignmentShowsItsProgressKeepsTheWindowAliveAndCancelKeepsTheOffsets) {
    Pane(1)->SetCurrentPosition(4.0);
    W->S_AlignHere->trigger();
    const TInStepMap Before = W->InStep()->Map(1);
    FRelease = false;
    FAnswers = {{TSoundMatch::TKind::Matched, 9.0, 0.0, 9.0, {}},
                {TSoundMatch::TKind::Matched, 9.0, 0.0, 9.0, {}},
                {TSoundMatch::TKind::Matched, 9.0, 0.0, 9.0, {}}};
    W->S_AlignSound->trigger();
    ASSERT_NE(W->AlignProgress(), nullptr);
    int Ticks = 0;
    QTimer Tick;
    QObject::connect(&Tick, &QTimer::timeout, [&] { ++Ticks; });
    Tick.start(20);
    QTest::qWait(250);
    EXPECT_FALSE(W->AlignProgress()->isVisible()); // a short one is never seen
    QTest::qWait(650);
    ASSERT_NE(W->AlignProgress(), nullptr);
    EXPECT_TRUE(W->AlignProgress()->isVisible());
    EXPECT_EQ(W->AlignProgress()->value(), 250);
    EXPECT_GT(Ticks, 20); // the event loop ran all along

    QElapsedTimer Cancel;
    Cancel.start();
    QPushButton* CancelButton = W->AlignProgress()->findChild<QPushButton*>();
    ASSERT_NE(CancelButton, nullptr);
    CancelButton->click();
    EXPECT_LT(Cancel.elapsed(), 200);
    EXPECT_TRUE(FStopped);
    EXPECT_EQ(W->AlignProgress(), nullptr);
    QTest::qWait(100);
    EXPECT_EQ(W->InStep()->Map(1), Before);
    EXPECT_TRUE(H.FMessages.empty());
}

} // namespace
