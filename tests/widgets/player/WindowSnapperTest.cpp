// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "WindowSnapper.h"
#include "PlayerTestSupport.h"
#include "URLLink.h"
#include "about.h"
#include "main.h"

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The offscreen platform's screen has no taskbar: its work area is the screen.
QRect WorkArea() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

// The pointer as a test scripts it; every query is counted.
struct TScriptedPointer {
    TPointerState State;
    int Queries = 0;
};

class WindowSnapperTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        FWindow = std::make_unique<QWidget>();
        FWindow->resize(300, 200);
        FSnapper = new TWindowSnapper(FWindow.get());
        FSnapper->SetPointerQuery([this] {
            ++FPointer.Queries;
            return FPointer.State;
        });
        FSnapper->PlaceFrame({200, 150});
        FWindow->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(FWindow.get()));
        ASSERT_EQ(FWindow->pos(), QPoint(200, 150));
    }
    // A move by someone else (the user, through the window manager).
    void UsersMove(QPoint To) { FWindow->move(To); }
    // Waits until the pointer has been asked after Count more times.
    bool AskedAgain(int Count) {
        const int until = FPointer.Queries + Count;
        return QTest::qWaitFor([&] { return FPointer.Queries >= until; }, 5000);
    }

    std::unique_ptr<QWidget> FWindow;
    TWindowSnapper* FSnapper = nullptr;
    TScriptedPointer FPointer;
};

TEST_F(WindowSnapperTest, MoveWithoutAButtonSnapsOnceTheWindowRests) {
    const QRect area = WorkArea();
    QTest::qWait(TWindowSnapper::kAnswerMs); // well after the program's own placement
    UsersMove({area.left() + 7, 150});       // as a keyboard move does
    EXPECT_TRUE(QTest::qWaitFor([&] { return FWindow->pos().x() == area.left(); }, 5000));
    EXPECT_EQ(FWindow->pos().y(), 150);
    EXPECT_EQ(FWindow->size(), QSize(300, 200));
}

TEST_F(WindowSnapperTest, ProgramsOwnMovesAndTheManagersAnswersNeverSnap) {
    const QRect area = WorkArea();
    FSnapper->PlaceFrame({area.left() + 7, 150});
    {
        TWindowSnapper::TProgramMove guard(*FSnapper);
        FWindow->resize(310, 200);
    }
    // The manager keeps the grown window on the screen: a move nobody asked
    // for, with no button held, soon after the program's resize.
    UsersMove({area.left() + 6, 150});
    ASSERT_TRUE(AskedAgain(1));
    QTest::qWait(2 * TWindowSnapper::kQuietMs);
    EXPECT_EQ(FWindow->pos(), QPoint(area.left() + 6, 150));

    // A drag soon after the program's move still snaps when it ends.
    FSnapper->PlaceFrame({area.left() + 40, 150});
    FPointer.State = {true, Qt::NoModifier};
    UsersMove({area.left() + 8, 150});
    ASSERT_TRUE(AskedAgain(2));
    FPointer.State = {false, Qt::NoModifier};
    EXPECT_TRUE(QTest::qWaitFor([&] { return FWindow->pos() == QPoint(area.left(), 150); }, 5000));
}

TEST_F(WindowSnapperTest, HeldButtonKeepsTheWindowWhereItIsUntilReleased) {
    // The window manager runs the move: the button is down the whole time,
    // and the user rests near the edge before letting go.
    const QRect area = WorkArea();
    FPointer.State = {true, Qt::NoModifier};
    UsersMove({area.left() + 5, 150});
    ASSERT_TRUE(AskedAgain(2 * TWindowSnapper::kQuietMs / TWindowSnapper::kPointerPollMs));
    EXPECT_EQ(FWindow->pos(), QPoint(area.left() + 5, 150));
    FPointer.State = {false, Qt::NoModifier};
    EXPECT_TRUE(QTest::qWaitFor([&] { return FWindow->pos() == QPoint(area.left(), 150); }, 5000));
}

TEST_F(WindowSnapperTest, ModifiersAtTheReleaseDecide) {
    const QRect area = WorkArea();
    for (const Qt::KeyboardModifier held : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) {
        // Held only during the drag: the release without it snaps.
        FPointer.State = {true, held};
        UsersMove({area.left() + 6, 170});
        ASSERT_TRUE(AskedAgain(2));
        FPointer.State = {false, Qt::NoModifier};
        EXPECT_TRUE(QTest::qWaitFor([&] { return FWindow->pos() == QPoint(area.left(), 170); }, 5000))
            << held;

        // Held at the release: the window stays where it was dropped.
        FPointer.State = {true, Qt::NoModifier};
        UsersMove({area.left() + 6, 190});
        ASSERT_TRUE(AskedAgain(2));
        FPointer.State = {false, held};
        ASSERT_TRUE(AskedAgain(1)); // the answer that shows the release decides at once
        EXPECT_EQ(FWindow->pos(), QPoint(area.left() + 6, 190)) << held;
    }
}

TEST_F(WindowSnapperTest, ExitSizeMoveDeclinesOnlyForShiftCtrlAndAlt) {
    const QRect area = WorkArea();
    FSnapper->PlaceFrame({area.left() + 7, 150});
    FPointer.State = {false, Qt::ShiftModifier};
    FSnapper->ExitSizeMove();
    EXPECT_EQ(FWindow->pos(), QPoint(area.left() + 7, 150));
    FPointer.State = {false, Qt::KeypadModifier};
    FSnapper->ExitSizeMove();
    EXPECT_EQ(FWindow->pos(), QPoint(area.left(), 150));
}

TEST_F(WindowSnapperTest, RightAndBottomEdgesSnapOntoTheWorkArea) {
    const QRect area = WorkArea();
    const QSize frame = FWindow->frameGeometry().size();
    FSnapper->PlaceFrame({area.right() + 1 - frame.width() + 4, area.bottom() + 1 - frame.height() - 6});
    FSnapper->ExitSizeMove();
    EXPECT_EQ(FWindow->frameGeometry().right(), area.right());
    EXPECT_EQ(FWindow->frameGeometry().bottom(), area.bottom());
    EXPECT_EQ(FSnapper->FramePosition(), FWindow->frameGeometry().topLeft());
}

TEST_F(WindowSnapperTest, MinimizedWindowKeepsItsRestoredCorner) {
    FSnapper->PlaceFrame({240, 130});
    FWindow->setWindowState(Qt::WindowMinimized);
    // Some systems park a minimized window far off the screen.
    {
        TWindowSnapper::TProgramMove guard(*FSnapper);
        FWindow->move(-32000, -32000);
    }
    EXPECT_EQ(FSnapper->FramePosition(), QPoint(240, 130));
}

TEST(MainWindowPlace, SavedCornerIsTheRestoredOneOfAMinimizedWindow) {
    TMainWindowHarness harness;
    harness.Create();
    TQUADV_MAIN* window = harness.FWindow.get();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    ASSERT_EQ(window->pos(), QPoint(100, 100));
    window->setWindowState(Qt::WindowMinimized);
    window->move(-32000, -32000);
    window->close();
    QFile file(harness.FilePath(QStringLiteral("quadrelle_alice.ini")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text =
        QString::fromUtf16(reinterpret_cast<const char16_t*>(file.readAll().constData() + 2));
    EXPECT_TRUE(text.contains(QStringLiteral("X=100\r\nY=100\r\n"))) << text.toStdString();
}

TEST(AboutDialog, OpensOnTheOwnersCornerWithTheTitleAndQuietLinks) {
    EnsureApplication();
    TMainWindowHarness harness;
    harness.Create();
    TQUADV_MAIN* owner = harness.FWindow.get();
    owner->show();
    owner->move(200, 150);
    TQUADV_ABOUT about(owner);
    about.move(owner->pos());
    about.show();
    EXPECT_EQ(about.pos(), QPoint(200, 150));
    EXPECT_EQ(about.size(), QSize(217, 152));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("バージョン情報"));
    EXPECT_EQ(about.Label1->text(), QStringLiteral("Quadrelle 150727"));
    EXPECT_TRUE(about.Label1->font().bold());
    EXPECT_EQ(about.Label1->width(), about.Label1->sizeHint().width());
    EXPECT_EQ(about.Label3->text(), QStringLiteral("Quadrelle Project"));
    EXPECT_EQ(about.L_URL->GetLink(), QStringLiteral("https://quadrelle.example.org/"));
    EXPECT_EQ(about.L_Email->GetLink(), QStringLiteral("mailto:info@quadrelle.example.org"));
    EXPECT_EQ(about.L_Email->GetCaption(), QStringLiteral("info@quadrelle.example.org"));
    for (TURLLink* link : {about.L_URL, about.L_Email}) {
        EXPECT_EQ(link->GetURLType(), tpURL);
        EXPECT_FALSE(link->GetEnableShowHint());
        EXPECT_EQ(link->GetFontColor(), clWhite);
        EXPECT_EQ(link->GetLinkColor(), clRed);
    }
    EXPECT_EQ(about.IMG->geometry(), QRect(8, 104, 201, 41));
}

TEST(AboutDialog, CommandOpensModallyOnTheOwnersCornerAndEscapeDoesNotClose) {
    EnsureApplication();
    TMainWindowHarness harness;
    harness.Create();
    TQUADV_MAIN* owner = harness.FWindow.get();
    owner->show();
    owner->move(260, 170);
    QPoint shownAt;
    bool stillOpenAfterEscape = false;
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<TQUADV_ABOUT*>(QApplication::activeModalWidget());
        ASSERT_NE(about, nullptr);
        shownAt = about->pos();
        QTest::keyClick(about, Qt::Key_Escape);
        stillOpenAfterEscape = about->isVisible();
        about->close();
    });
    ShowAboutDialog(owner);
    EXPECT_EQ(shownAt, QPoint(260, 170));
    EXPECT_TRUE(stillOpenAfterEscape);
    EXPECT_EQ(owner->findChildren<TQUADV_ABOUT*>().size(), 0); // destroyed once closed
}

TEST(AboutDialog, LogoIsA24BitFramedPicture) {
    EnsureApplication(); // the lettering needs the font database
    const QImage logo = PublisherLogo();
    EXPECT_EQ(logo.size(), QSize(200, 40));
    EXPECT_EQ(logo.depth(), 24);
    EXPECT_EQ(logo.pixelColor(0, 0), QColor(181, 181, 181));
    EXPECT_EQ(logo.pixelColor(199, 39), QColor(181, 181, 181));
    EXPECT_EQ(logo.pixelColor(100, 0), QColor(181, 181, 181));
    EXPECT_EQ(logo.pixelColor(10, 10), QColor(Qt::black));
    // Some light lettering near the lower right corner, none at the upper left.
    int light = 0;
    for (int y = 20; y < 39; ++y)
        for (int x = 100; x < 199; ++x)
            light += logo.pixelColor(x, y).lightness() > 100 ? 1 : 0;
    EXPECT_GT(light, 20);
    EXPECT_EQ(logo.pixelColor(20, 12), QColor(Qt::black));
}

} // namespace
