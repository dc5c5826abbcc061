// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

// Full screen on a 1920x1080 screen: the four quarters, the keys that work in
// it, and the return to the window as it was.

#include "IniStore.h"
#include "PlayerTestSupport.h"
#include "WindowsMediaPlayer.h"

#include <QAction>
#include <QComboBox>
#include <QMenuBar>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class FullScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(H.CreateShown());
        W = H.FWindow.get();
        ASSERT_EQ(W->screen()->geometry(), QRect(0, 0, 1920, 1080));
        W->CB_MovieSize->setCurrentIndex(2);
        Q_EMIT W->CB_MovieSize->activated(2);
        H.Open({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
        for (TFakeMediaEngine* Engine : H.FEngines)
            Engine->SetVideoSize(QSize(640, 480));
        W->move(150, 90);
        QTest::qWait(50);
        H.ClearAllCalls();
    }

    struct TPlace {
        QPoint Position;
        QSize Size;
        QSize Client;
        std::array<QRect, 4> Panes;
        int Preset;
        bool operator==(const TPlace&) const = default;
    };
    TPlace Place() const {
        TPlace Result{W->pos(), W->size(), W->ClientArea()->size(), {}, W->CB_MovieSize->currentIndex()};
        for (int I = 0; I < 4; ++I)
            Result.Panes[I] = W->FPlayers[I]->geometry();
        return Result;
    }
    bool WaitForSize(QSize Size) {
        return QTest::qWaitFor([&] { return W->size() == Size; }, 2000);
    }

    TMainWindowHarness H;
    TQUADV_MAIN* W = nullptr;
};

TEST_F(FullScreenTest, FourQuartersFillTheScreenWithTheirBarsAndEnlargedPicturesAndF11Returns) {
    const TPlace Before = Place();
    H.Keys(Qt::Key_F11);
    ASSERT_TRUE(W->IsFullScreen());
    ASSERT_TRUE(WaitForSize(QSize(1920, 1080)));
    EXPECT_TRUE(W->windowState() & Qt::WindowFullScreen);
    EXPECT_FALSE(W->menuBar()->isVisible());
    EXPECT_FALSE(W->Panel->isVisible());
    EXPECT_EQ(W->ClientArea()->geometry(), QRect(0, 0, 1920, 1080));
    const QRect Quarters[4] = {
        {0, 0, 960, 540}, {960, 0, 960, 540}, {0, 540, 960, 540}, {960, 540, 960, 540}};
    for (int I = 0; I < 4; ++I) {
        TWindowsMediaPlayer* Pane = W->FPlayers[I];
        EXPECT_EQ(Pane->geometry(), Quarters[I]) << I;
        // The transport bar stays; the 4:3 picture is as tall as the area.
        EXPECT_EQ(Pane->VideoRect(), QRect(4, 4, 952, 476)) << I;
        EXPECT_EQ(Pane->PictureRect().size(), QSize(634, 476)) << I;
    }

    H.Keys(Qt::Key_F11);
    EXPECT_FALSE(W->IsFullScreen());
    ASSERT_TRUE(WaitForSize(Before.Size));
    QTest::qWait(100);
    EXPECT_EQ(Place(), Before);
    EXPECT_TRUE(W->menuBar()->isVisible());
    EXPECT_TRUE(W->Panel->isVisible());
    // Windowed, a picture larger than its pane is shown at its own size.
    EXPECT_FALSE(W->FPlayers[0]->GetStretchToFit());
}

TEST_F(FullScreenTest, EveryKeyWorksInFullScreenAndEscOrTheMenuItemLeaveIt) {
    const TPlace Before = Place();
    W->S_FullScreen->trigger();
    ASSERT_TRUE(W->IsFullScreen());
    H.Keys(Qt::CTRL | Qt::Key_Space);
    EXPECT_EQ(W->FPlayers[2]->GetPlayState(), wmppsPlaying);
    H.Keys(Qt::CTRL | Qt::Key_3);
    EXPECT_TRUE(W->FPlayers[2]->GetMute());
    H.Keys(Qt::Key_Period); // a frame step pauses the linked... here unlinked panes step alone
    H.Keys(Qt::CTRL | Qt::SHIFT | Qt::Key_H);
    EXPECT_TRUE(W->PM_Link->isChecked());
    EXPECT_TRUE(W->IsFullScreen());

    H.Keys(Qt::Key_Escape);
    EXPECT_FALSE(W->IsFullScreen());
    ASSERT_TRUE(WaitForSize(Before.Size));
    QTest::qWait(100);
    EXPECT_EQ(Place(), Before);
    // Windowed, Esc means nothing.
    H.Keys(Qt::Key_Escape);
    EXPECT_FALSE(W->IsFullScreen());

    W->S_FullScreen->trigger();
    EXPECT_TRUE(W->IsFullScreen());
    W->S_FullScreen->trigger();
    EXPECT_FALSE(W->IsFullScreen());
}

TEST_F(FullScreenTest, AnOpenInFullScreenKeepsTheQuartersAndTheSettingsKeepTheWindowsPlace) {
    const TPlace Before = Place();
    H.Keys(Qt::Key_F11);
    ASSERT_TRUE(WaitForSize(QSize(1920, 1080)));
    H.Open({QStringLiteral("e")});
    EXPECT_EQ(W->FPlayers[3]->geometry(), QRect(960, 540, 960, 540));
    W->close();
    const TIniStore Store(H.FExecutable.parent_path() / "quadrelle_alice.ini");
    EXPECT_EQ(Store.ReadInteger(u"Main", u"X", -1), Before.Position.x());
    EXPECT_EQ(Store.ReadInteger(u"Main", u"Y", -1), Before.Position.y());
}

} // namespace
