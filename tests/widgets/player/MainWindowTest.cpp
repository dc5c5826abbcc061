// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "DblClickLabel.h"
#include "FixedThumbScrollBar.h"
#include "PlayerTestSupport.h"
#include "WindowsMediaPlayer.h"

#include <QAction>
#include <QComboBox>
#include <QHelpEvent>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleFactory>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using TCalls = std::vector<std::string>;

int Count(const TCalls& Calls, const std::string& Call) {
    return static_cast<int>(std::count(Calls.begin(), Calls.end(), Call));
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(H.CreateShown());
        W = H.FWindow.get();
    }

    void Shortcut(QKeyCombination Keys) { H.Keys(Keys); }

    TMainWindowHarness H;
    TQUADV_MAIN* W = nullptr;
};

TEST_F(MainWindowTest, ConstructionLeavesTheDesignedWindow) {
    EXPECT_EQ(W->windowTitle(), QStringLiteral("Quadrelle 150727"));
    EXPECT_EQ(W->FTitle, QStringLiteral("Quadrelle 150727"));
    EXPECT_EQ(W->FUserSuffix, QStringLiteral("_alice"));
    EXPECT_EQ(W->ClientArea()->size(), QSize(640, 520));
    EXPECT_EQ(W->Panel->geometry(), QRect(0, 0, 640, 39));
    EXPECT_EQ(W->font().pixelSize(), 11);
    EXPECT_FALSE(W->B_Play->isEnabled());
    EXPECT_FALSE(W->B_Stop->isEnabled());
    EXPECT_TRUE(W->S_Play->isEnabled());
    EXPECT_TRUE(W->S_Stop->isEnabled());
    const QRect panes[4] = {{0, 40, 320, 240}, {320, 40, 320, 240}, {0, 280, 320, 240}, {320, 280, 320, 240}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(W->FPlayers[i]->geometry(), panes[i]) << i;
        EXPECT_EQ(W->FPlayers[i]->GetTag(), i);
        EXPECT_FALSE(W->FLoaded[i]);
    }
    EXPECT_EQ(W->FPlayers[0], W->WindowsMediaPlayer1);
    EXPECT_EQ(W->FPlayers[3], W->WindowsMediaPlayer4);
    struct TButtonRow {
        QPushButton* Button;
        const char16_t* Caption;
        QRect Geometry;
    };
    const TButtonRow buttons[] = {
        {W->B_Option, u"Option", {123, 19, 119, 18}}, {W->B_Open, u"読", {123, 0, 31, 18}},
        {W->B_Play, u"再/一停", {155, 0, 57, 18}},    {W->B_Stop, u"停", {213, 0, 29, 18}},
        {W->B_Mute1, u"1", {246, 0, 24, 18}},         {W->B_Mute2, u"2", {270, 0, 25, 18}},
        {W->B_MuteReset, u"Reset", {295, 0, 44, 36}}, {W->B_Mute3, u"3", {246, 19, 24, 17}},
        {W->B_Mute4, u"4", {270, 19, 25, 17}},
    };
    for (const TButtonRow& row : buttons) {
        EXPECT_EQ(row.Button->text(), QString::fromUtf16(row.Caption));
        EXPECT_EQ(row.Button->geometry(), row.Geometry) << row.Button->text().toStdString();
    }
    EXPECT_EQ(W->L_Volume->text(), QStringLiteral("Vol(100%)"));
    EXPECT_EQ(W->L_Balance->text(), QStringLiteral("Bal(Center)"));
    EXPECT_EQ(W->L_Rate->text(), QStringLiteral("Spd(100%)"));
    EXPECT_EQ(W->CB_MovieSize->geometry(), QRect(5, 7, 115, 21));
    EXPECT_EQ(W->SC_Volume->geometry(), QRect(404, 20, 236, 13));
    EXPECT_EQ(W->S_File->title(), QStringLiteral("ファイル(&F)"));
    EXPECT_EQ(W->S_MuteReset->text(), QStringLiteral("ミュート全解除(&C)"));
    EXPECT_EQ(W->S_Mute3->property("Tag").toInt(), 2);
    EXPECT_EQ(W->B_Mute4->property("Tag").toInt(), 3);
}

TEST_F(MainWindowTest, OpenAsksPerPaneAndListsTheChosenNames) {
    H.Open({QStringLiteral("a.mp4"), {}, QStringLiteral("c.mp4"), {}});
    EXPECT_EQ(H.FDialog->FTitles, (QStringList{QStringLiteral("左上を開く"), QStringLiteral("右上を開く"),
                                               QStringLiteral("左下を開く"), QStringLiteral("右下を開く")}));
    EXPECT_EQ(W->windowTitle(), QStringLiteral("[a.mp4]+[c.mp4]"));
    EXPECT_EQ(W->FLoaded, (std::array<bool, 4>{true, false, true, false}));
    EXPECT_TRUE(W->B_Play->isEnabled());
    EXPECT_TRUE(W->B_Stop->isEnabled());
    // The folder follows the chosen file, without its trailing separator.
    EXPECT_EQ(H.FDialog->FInitialDirs[1], H.FDir.path());
    EXPECT_EQ(W->OpenDialog->GetFileName(), QString());
    EXPECT_EQ(W->WindowsMediaPlayer1->GetURL(), H.FilePath(QStringLiteral("a.mp4")));
    EXPECT_EQ(W->WindowsMediaPlayer2->GetURL(), QString());
}

TEST_F(MainWindowTest, OpenOfTheLastPaneAloneHasNoJoiner) {
    H.Open({{}, {}, {}, QStringLiteral("d.mp4")});
    EXPECT_EQ(W->windowTitle(), QStringLiteral("[d.mp4]"));
}

TEST_F(MainWindowTest, OpenCancelledEverywhereStillUnloadsThePreviousFiles) {
    H.Open({QStringLiteral("a.mp4"), QStringLiteral("b.mp4"), {}, {}});
    H.Open({{}, {}, {}, {}});
    EXPECT_EQ(W->windowTitle(), W->FTitle);
    EXPECT_FALSE(W->B_Play->isEnabled());
    EXPECT_FALSE(W->B_Stop->isEnabled());
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(W->FLoaded[i]);
        EXPECT_EQ(W->FPlayers[i]->GetURL(), QString());
    }
}

TEST_F(MainWindowTest, AFileAPaneCannotTakeCostsThatPaneAloneAndOpenGoesOn) {
    H.FEngines[1]->FFailLoad = "b.mp4: no such file";
    H.FEngines[2]->FFailUrlRead = "pane 3 cannot tell its file";
    H.FDialog->FAnswers = {H.FilePath(QStringLiteral("a.mp4")), H.FilePath(QStringLiteral("b.mp4")),
                           H.FilePath(QStringLiteral("c.mp4")), H.FilePath(QStringLiteral("d.mp4"))};
    QTest::mouseClick(W->B_Open, Qt::LeftButton);
    EXPECT_EQ(H.FDialog->FTitles.size(), 4);
    ASSERT_EQ(H.FMessages.size(), 2u);
    EXPECT_EQ(H.FMessages[0].Caption, QStringLiteral("Quadrelle 150727"));
    EXPECT_EQ(H.FMessages[0].Text, QStringLiteral("b.mp4: no such file."));
    EXPECT_EQ(H.FMessages[1].Text, QStringLiteral("pane 3 cannot tell its file."));
    EXPECT_EQ(W->FLoaded, (std::array<bool, 4>{true, false, false, true}));
    EXPECT_EQ(W->windowTitle(), QStringLiteral("[a.mp4]+[d.mp4]"));
    EXPECT_TRUE(W->B_Play->isEnabled());
    EXPECT_TRUE(W->B_Stop->isEnabled());
    H.FEngines[2]->FFailUrlRead.reset();
    EXPECT_EQ(W->WindowsMediaPlayer2->GetURL(), QString());
    EXPECT_EQ(W->WindowsMediaPlayer3->GetURL(), QString());
    // The folder is that of the last file a pane took.
    EXPECT_EQ(H.FDialog->FInitialDirs[3], H.FDir.path());
    H.ClearAllCalls();
    W->S_Play->trigger();
    EXPECT_EQ(H.TakeCalls(0), TCalls{"Play"});
    EXPECT_EQ(H.TakeCalls(1), TCalls{});
    EXPECT_EQ(H.TakeCalls(2), TCalls{});
    EXPECT_EQ(H.TakeCalls(3), TCalls{"Play"});
}

TEST_F(MainWindowTest, OpenWhoseOnlyFileFailsLeavesPlayAndStopDisabled) {
    H.FEngines[2]->FFailLoad = "c.mp4: is a folder, not a media file";
    H.Open({{}, {}, QStringLiteral("c.mp4"), {}});
    EXPECT_EQ(H.FDialog->FTitles.size(), 4);
    ASSERT_EQ(H.FMessages.size(), 1u);
    EXPECT_EQ(H.FMessages[0].Text, QStringLiteral("c.mp4: is a folder, not a media file."));
    EXPECT_EQ(W->windowTitle(), W->FTitle);
    EXPECT_FALSE(W->B_Play->isEnabled());
    EXPECT_FALSE(W->B_Stop->isEnabled());
    EXPECT_FALSE(W->FLoaded[2]);
}

TEST_F(MainWindowTest, SessionEndDuringAnOpenErrorAsksForNoMoreFiles) {
    H.FEngines[0]->FFailLoad = "a.mp4: no such file";
    SetMessageHook([this](QWidget*, const QString&, const QString&) { W->WMEndSession(); });
    H.Open({QStringLiteral("a.mp4"), QStringLiteral("b.mp4"), {}, {}});
    EXPECT_EQ(H.FDialog->FTitles.size(), 1);
    EXPECT_FALSE(W->isVisible());
    EXPECT_FALSE(W->FLoaded[1]);
}

TEST_F(MainWindowTest, PlayPauseDecidesPaneByPane) {
    H.Open({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
    H.FEngines[0]->SetStatus(TEngineStatus::Playing);
    H.FEngines[1]->SetStatus(TEngineStatus::Paused);
    H.FEngines[2]->SetStatus(TEngineStatus::Buffering);
    H.FEngines[3]->SetStatus(TEngineStatus::Stopped);
    H.ClearAllCalls();
    Shortcut(Qt::CTRL | Qt::Key_Space);
    EXPECT_EQ(H.TakeCalls(0), TCalls{"Pause"});
    EXPECT_EQ(H.TakeCalls(1), TCalls{"Play"});
    EXPECT_EQ(H.TakeCalls(2), TCalls{});
    EXPECT_EQ(H.TakeCalls(3), TCalls{"Play"});
    // Ready (just loaded) plays as well.
    H.FEngines[2]->SetStatus(TEngineStatus::Ready);
    QTest::mouseClick(W->B_Play, Qt::LeftButton);
    EXPECT_EQ(H.TakeCalls(2), TCalls{"Play"});
}

TEST_F(MainWindowTest, PlayAndStopBeforeAnyOpenDoNothing) {
    Shortcut(Qt::CTRL | Qt::Key_Space);
    Shortcut(Qt::CTRL | Qt::Key_Period);
    W->S_Play->trigger();
    W->S_Stop->trigger();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(H.TakeCalls(i), TCalls{}) << i;
    EXPECT_TRUE(H.FMessages.empty());
}

TEST_F(MainWindowTest, SecondOpenWithOnlyPaneOneLeavesTheOthersAlone) {
    H.Open({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
    H.Open({{}, QStringLiteral("e"), {}, {}});
    H.ClearAllCalls();
    W->S_Play->trigger();
    EXPECT_EQ(H.TakeCalls(1), TCalls{"Play"});
    for (int i : {0, 2, 3})
        EXPECT_EQ(H.TakeCalls(i), TCalls{}) << i;
}

TEST_F(MainWindowTest, StopRewindsAPausedPaneSoThatPlayStartsIt) {
    H.Open({QStringLiteral("a"), {}, {}, {}});
    H.FEngines[0]->SetStatus(TEngineStatus::Paused);
    H.ClearAllCalls();
    Shortcut(Qt::CTRL | Qt::Key_Period);
    EXPECT_EQ(H.TakeCalls(0), (TCalls{"Stop", "Seek 0"}));
    EXPECT_EQ(H.TakeCalls(1), TCalls{});
    Shortcut(Qt::CTRL | Qt::Key_Space);
    EXPECT_EQ(H.TakeCalls(0), TCalls{"Play"});
}

TEST_F(MainWindowTest, ClickOnAnyPaneTogglesThatPaneAlone) {
    H.Open({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
    H.FEngines[3]->SetStatus(TEngineStatus::Playing);
    H.ClearAllCalls();
    QWidget* video = W->WindowsMediaPlayer4->findChild<QWidget*>(QStringLiteral("VideoArea"));
    ASSERT_NE(video, nullptr);
    QTest::mouseClick(video, Qt::LeftButton, {}, video->rect().center());
    EXPECT_EQ(H.TakeCalls(3), TCalls{"Pause"});
    for (int i : {0, 1, 2})
        EXPECT_EQ(H.TakeCalls(i), TCalls{}) << i;
}

TEST_F(MainWindowTest, LinkedSeekMovesTheOtherPanesWithoutEcho) {
    H.Open({QStringLiteral("a"), {}, QStringLiteral("c"), {}});
    // Link off: only the pane itself moves.
    W->WindowsMediaPlayer3->SetCurrentPosition(12.0);
    for (int i : {0, 1, 3})
        EXPECT_EQ(Count(H.TakeCalls(i), "Seek 12"), 0) << i;
    H.ClearAllCalls();

    W->PM_Link->trigger();
    ASSERT_TRUE(W->PM_Link->isChecked());
    W->WindowsMediaPlayer3->SetCurrentPosition(83.5);
    // Exactly one write each, empty panes included: a handler running for
    // those writes would move the panes a second time.
    EXPECT_EQ(H.TakeCalls(2), TCalls{"Seek 83.5"});
    for (int i : {0, 1, 3})
        EXPECT_EQ(H.TakeCalls(i), TCalls{"Seek 83.5"}) << i;
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(static_cast<bool>(W->FPlayers[i]->GetOnPositionChange())) << i;

    // Every pane still links after the guard: a seek in pane 0 moves 1..3.
    W->WindowsMediaPlayer1->SetCurrentPosition(5.0);
    for (int i : {1, 2, 3})
        EXPECT_EQ(H.TakeCalls(i), TCalls{"Seek 5"}) << i;
}

TEST_F(MainWindowTest, StopRewindLinksWithLinkOn) {
    H.Open({QStringLiteral("a"), {}, {}, {}});
    W->PM_Link->trigger();
    H.ClearAllCalls();
    W->B_StopClick(nullptr);
    EXPECT_EQ(H.TakeCalls(0), (TCalls{"Stop", "Seek 0"}));
    for (int i : {1, 2, 3})
        EXPECT_EQ(H.TakeCalls(i), TCalls{"Seek 0"}) << i;
}

TEST_F(MainWindowTest, LinkAndAutoRepeatToggleTheirMarks) {
    W->PM_AutoRepeat->trigger();
    EXPECT_TRUE(W->PM_AutoRepeat->isChecked());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(H.TakeCalls(i), TCalls{"SetPlayCount 999"}) << i;
    W->PM_AutoRepeat->trigger();
    EXPECT_FALSE(W->PM_AutoRepeat->isChecked());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(H.TakeCalls(i), TCalls{"SetPlayCount 1"}) << i;
    W->PM_Link->trigger();
    W->PM_Link->trigger();
    EXPECT_FALSE(W->PM_Link->isChecked());
}

// Drags the scroll bar's thumb by Dx pixels in steps of one pixel.
void DragThumb(TFixedThumbScrollBar* Bar, int Dx) {
    QPoint at = Bar->ThumbRect().center();
    QTest::mousePress(Bar, Qt::LeftButton, {}, at);
    const int step = Dx < 0 ? -1 : 1;
    for (int i = 0; i != Dx; i += step) {
        at.rx() += step;
        QMouseEvent move(QEvent::MouseMove, at, Bar->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(Bar, &move);
    }
    QTest::mouseRelease(Bar, Qt::LeftButton, {}, at);
}

TEST_F(MainWindowTest, DraggingTheVolumeWritesEveryStepToAllPanes) {
    H.Open({{}, QStringLiteral("b"), {}, {}}); // only one pane holds a file
    H.ClearAllCalls();
    QSignalSpy steps(W->SC_Volume, &QScrollBar::valueChanged);
    DragThumb(W->SC_Volume, -120);
    ASSERT_GT(steps.size(), 2);
    const int final = W->SC_Volume->value();
    EXPECT_LT(final, 100);
    for (int i = 0; i < 4; ++i) {
        const TCalls calls = H.TakeCalls(i);
        ASSERT_EQ(calls.size(), static_cast<size_t>(steps.size())) << i;
        for (qsizetype s = 0; s < steps.size(); ++s)
            EXPECT_EQ(calls[s], "SetVolume " + std::to_string(steps[s][0].toInt()));
    }
    EXPECT_EQ(W->L_Volume->text(), QStringLiteral("Vol(%1%)").arg(final));
    // The double-click resets it, and a second one has nothing left to write.
    QTest::mouseDClick(W->L_Volume, Qt::LeftButton);
    EXPECT_EQ(W->SC_Volume->value(), 100);
    EXPECT_EQ(W->L_Volume->text(), QStringLiteral("Vol(100%)"));
    H.ClearAllCalls();
    QTest::mouseDClick(W->L_Volume, Qt::LeftButton);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(H.TakeCalls(i), TCalls{}) << i;
}

TEST_F(MainWindowTest, ThumbsAreSmallAndOfOneSizeWhilePagesKeepTheirLargeSteps) {
    TFixedThumbScrollBar* bars[] = {W->SC_Volume, W->SC_Balance, W->SC_Rate};
    // In every style at hand, the smallest thumb it draws: not one sized by
    // the page step (which would make the volume's twice as wide there).
    for (const QString& name : QStyleFactory::keys()) {
        std::unique_ptr<QStyle> style(QStyleFactory::create(name));
        for (TFixedThumbScrollBar* bar : bars) {
            bar->setStyle(style.get());
            EXPECT_EQ(bar->ThumbRect().width(),
                      style->pixelMetric(QStyle::PM_ScrollBarSliderMin, nullptr, bar))
                << name.toStdString() << " " << bar->maximum();
            bar->setStyle(nullptr);
        }
    }
    struct TRow {
        TFixedThumbScrollBar* Bar;
        Qt::Key Key;
        int Value;
    };
    for (const TRow& row : {TRow{W->SC_Volume, Qt::Key_PageUp, 90}, TRow{W->SC_Balance, Qt::Key_PageUp, -20},
                            TRow{W->SC_Rate, Qt::Key_PageDown, 15}}) {
        row.Bar->setFocus();
        QTest::keyClick(row.Bar, row.Key);
        EXPECT_EQ(row.Bar->value(), row.Value) << row.Bar->maximum();
    }
    // A click beside the thumb takes the same step.
    const QRect thumb = W->SC_Volume->ThumbRect();
    QTest::mouseClick(W->SC_Volume, Qt::LeftButton, {}, QPoint(thumb.left() - 20, thumb.center().y()));
    EXPECT_EQ(W->SC_Volume->value(), 80);
    EXPECT_EQ(W->L_Volume->text(), QStringLiteral("Vol(80%)"));
}

TEST_F(MainWindowTest, BalanceEndsAndCentreByKeysAndLabel) {
    W->SC_Balance->setFocus();
    QTest::keyClick(W->SC_Balance, Qt::Key_Home);
    EXPECT_EQ(W->L_Balance->text(), QStringLiteral("Bal(L100%)"));
    EXPECT_EQ(H.FEngines[3]->FBalance, -100);
    QTest::keyClick(W->SC_Balance, Qt::Key_End);
    EXPECT_EQ(W->L_Balance->text(), QStringLiteral("Bal(R100%)"));
    QTest::keyClick(W->SC_Balance, Qt::Key_PageDown); // already at the end: no change
    EXPECT_EQ(W->SC_Balance->value(), 100);
    QTest::mouseDClick(W->L_Balance, Qt::LeftButton);
    EXPECT_EQ(W->L_Balance->text(), QStringLiteral("Bal(Center)"));
    EXPECT_EQ(H.FEngines[0]->FBalance, 0);
    W->SC_Balance->setValue(-30);
    EXPECT_EQ(W->L_Balance->text(), QStringLiteral("Bal(L30%)"));
}

TEST_F(MainWindowTest, SpeedLabelAndRateFollowTheBar) {
    struct TRow {
        int Position;
        double Rate;
        const char* Label;
    };
    for (const TRow& row : {TRow{1, 0.1, "Spd(10%)"}, TRow{0, 0.0, "Spd(0%)"}, TRow{20, 2.0, "Spd(200%)"},
                            TRow{10, 1.0, "Spd(100%)"}}) {
        W->SC_Rate->setValue(row.Position);
        EXPECT_EQ(W->L_Rate->text(), QString::fromLatin1(row.Label));
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(H.FEngines[i]->FRate, row.Rate) << row.Position;
    }
}

TEST_F(MainWindowTest, MuteTogglesByButtonAndShortcutAndResetWritesAll) {
    QTest::mouseClick(W->B_Mute3, Qt::LeftButton);
    EXPECT_TRUE(W->WindowsMediaPlayer3->GetMute());
    Shortcut(Qt::CTRL | Qt::Key_3);
    EXPECT_FALSE(W->WindowsMediaPlayer3->GetMute());
    EXPECT_EQ(H.TakeCalls(2), (TCalls{"SetMute 1", "SetMute 0"}));
    Shortcut(Qt::CTRL | Qt::Key_1);
    Shortcut(Qt::CTRL | Qt::Key_4);
    EXPECT_TRUE(W->WindowsMediaPlayer1->GetMute());
    EXPECT_TRUE(W->WindowsMediaPlayer4->GetMute());
    H.ClearAllCalls();
    Shortcut(Qt::CTRL | Qt::Key_C);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(H.TakeCalls(i), TCalls{"SetMute 0"}) << i;
        EXPECT_FALSE(W->FPlayers[i]->GetMute());
    }
}

TEST_F(MainWindowTest, MuteReadFailureIsShownAndChangesNothing) {
    H.FEngines[1]->FFailMuteRead = "mute unavailable";
    QTest::mouseClick(W->B_Mute2, Qt::LeftButton);
    ASSERT_EQ(H.FMessages.size(), 1u);
    EXPECT_EQ(H.FMessages[0].Text, QStringLiteral("mute unavailable."));
    EXPECT_EQ(H.TakeCalls(1), TCalls{});
}

TEST_F(MainWindowTest, ACommandsErrorIsShownWhereTheCommandStarts) {
    // Started by the program rather than by an event (trigger, click, the
    // pane's own event), a failing command still raises nothing to its caller.
    H.FEngines[1]->FFailMuteRead = "mute unavailable";
    EXPECT_NO_THROW(W->S_Mute2->trigger());
    EXPECT_NO_THROW(W->B_Mute2->click());
    H.Open({QStringLiteral("a.mp4"), {}, {}, {}});
    H.FEngines[0]->FFailStatusRead = "state unavailable";
    EXPECT_NO_THROW(W->WindowsMediaPlayer1->GetOnClick()(W->WindowsMediaPlayer1, 1, 0, 5, 5));
    EXPECT_NO_THROW(W->B_Play->click());
    // Errors of other types keep their own text; a thrown value that is no
    // exception still says something.
    H.FDialog->FOnExecute = [] { throw std::bad_alloc(); };
    EXPECT_NO_THROW(W->S_Open->trigger());
    H.FDialog->FOnExecute = [] { throw 42; };
    EXPECT_NO_THROW(W->B_Open->click());
    QStringList texts;
    for (const TShownMessage& message : H.FMessages) {
        EXPECT_EQ(message.Caption, W->FTitle);
        texts << message.Text;
    }
    EXPECT_EQ(texts, (QStringList{QStringLiteral("mute unavailable."), QStringLiteral("mute unavailable."),
                                  QStringLiteral("state unavailable."), QStringLiteral("state unavailable."),
                                  QStringLiteral("std::bad_alloc."),
                                  QStringLiteral("予期しないエラーが発生しました.")}));
    // The commands went on working afterwards.
    H.FEngines[1]->FFailMuteRead.reset();
    W->S_Mute2->trigger();
    EXPECT_TRUE(W->WindowsMediaPlayer2->GetMute());
}

TEST_F(MainWindowTest, OpenShortcutWorksAndAppliesThePresetFirst) {
    W->LoadMovieSizes();
    QSize clientAtFirstDialog;
    H.FDialog->FOnExecute = [&] {
        if (!clientAtFirstDialog.isValid())
            clientAtFirstDialog = W->ClientArea()->size();
    };
    Shortcut(Qt::CTRL | Qt::Key_O);
    EXPECT_EQ(H.FDialog->FTitles.size(), 4);
    EXPECT_EQ(clientAtFirstDialog, QSize(656, 648));
}

TEST_F(MainWindowTest, OptionPopupOpensBelowTheButtonFromTheFrameCorner) {
    W->move(200, 150);
    QTest::mouseClick(W->B_Option, Qt::LeftButton);
    ASSERT_TRUE(W->PM_Option->isVisible());
    EXPECT_EQ(W->PM_Option->pos(), QPoint(W->pos().x() + 123, W->pos().y() + 72));
    W->PM_Option->hide();
}

TEST_F(MainWindowTest, HelpTextsGoToTheShell) {
    TRecordingShell shell;
    TShell::SetCurrent(&shell);
    W->S_Readme->trigger();
    W->S_History->trigger();
    TShell::SetCurrent(nullptr);
    const QString folder = QString::fromStdString(H.FExecutable.parent_path().string());
    EXPECT_EQ(shell.FCalls, (QStringList{QStringLiteral("open ") + folder + QStringLiteral("/README.TXT"),
                                         QStringLiteral("open ") + folder + QStringLiteral("/HISTORY.TXT")}));
}

TEST_F(MainWindowTest, OnlyTheLabelsShowTheirHints) {
    QToolTip::hideText();
    auto hover = [](QWidget* Widget) {
        const QPoint at = Widget->rect().center();
        QHelpEvent help(QEvent::ToolTip, at, Widget->mapToGlobal(at));
        QCoreApplication::sendEvent(Widget, &help);
    };
    hover(W->CB_MovieSize);
    EXPECT_EQ(W->CB_MovieSize->toolTip(), QStringLiteral("動画のサイズの変更"));
    EXPECT_TRUE(QToolTip::text().isEmpty());
    hover(W->SC_Volume);
    EXPECT_TRUE(QToolTip::text().isEmpty());
    hover(W->L_Volume);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("ダブルクリックで100%に戻る"));
    QToolTip::hideText();
}

} // namespace
