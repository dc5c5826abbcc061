#include "WindowSnapper.h"
#include "PlayerTestSupport.h"
#include "URLLink.h"
#include "about.h"
#include "main.h"

#include <QApplication>
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

class WindowSnapperTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        FWindow = std::make_unique<QWidget>();
        FWindow->resize(300, 200);
        FSnapper = new TWindowSnapper(FWindow.get());
        {
            TWindowSnapper::TProgramMove guard(*FSnapper);
            FWindow->move(200, 150);
            FWindow->show();
        }
        ASSERT_TRUE(QTest::qWaitForWindowExposed(FWindow.get()));
    }
    std::unique_ptr<QWidget> FWindow;
    TWindowSnapper* FSnapper = nullptr;
};

TEST_F(WindowSnapperTest, UsersMoveNearAnEdgeSnapsOnceItEnds) {
    const QRect area = WorkArea();
    FWindow->move(area.left() + 7, 150); // a move the program did not make
    EXPECT_TRUE(QTest::qWaitFor([&] { return FWindow->pos().x() == area.left(); }, 3000));
    EXPECT_EQ(FWindow->pos().y(), 150);
    EXPECT_EQ(FWindow->size(), QSize(300, 200));
}

TEST_F(WindowSnapperTest, ProgramsOwnMoveNeverSnaps) {
    const QRect area = WorkArea();
    {
        TWindowSnapper::TProgramMove guard(*FSnapper);
        FWindow->move(area.left() + 7, 150);
    }
    QTest::qWait(3 * TWindowSnapper::kQuietMs);
    EXPECT_EQ(FWindow->pos(), QPoint(area.left() + 7, 150));
}

TEST_F(WindowSnapperTest, HeldModifierLeavesTheWindowWhereItWasDropped) {
    const QRect area = WorkArea();
    FSnapper->SetModifierQuery([] { return Qt::KeyboardModifiers(Qt::ShiftModifier); });
    FWindow->move(area.left() + 7, 150);
    FSnapper->ExitSizeMove();
    EXPECT_EQ(FWindow->pos(), QPoint(area.left() + 7, 150));
    FSnapper->SetModifierQuery(
        [] { return Qt::KeyboardModifiers(Qt::KeypadModifier); }); // not one that declines
    FSnapper->ExitSizeMove();
    EXPECT_EQ(FWindow->pos(), QPoint(area.left(), 150));
}

TEST_F(WindowSnapperTest, RightAndBottomEdgesSnapOntoTheWorkArea) {
    const QRect area = WorkArea();
    const QSize frame = FWindow->frameGeometry().size();
    FWindow->move(area.right() + 1 - frame.width() + 4, area.bottom() + 1 - frame.height() - 6);
    FSnapper->ExitSizeMove();
    EXPECT_EQ(FWindow->frameGeometry().right(), area.right());
    EXPECT_EQ(FWindow->frameGeometry().bottom(), area.bottom());
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
