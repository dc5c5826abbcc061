// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "URLLink.h"
#include "Shell.h"

#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

class TRecordingShell final : public TShell {
public:
    struct TCall {
        QString Verb, File;
        bool HadOwner;
    };
    std::vector<TCall> FCalls;
    void Execute(QWidget* Owner, const QString& Verb, const QString& File) override {
        FCalls.push_back({Verb, File, Owner != nullptr});
    }
};

class URLLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        TShell::SetCurrent(&FShell);
        FLink.SetCaption(QStringLiteral("example"));
        FLink.move(10, 10);
        FLink.show();
    }
    void TearDown() override { TShell::SetCurrent(nullptr); }

    void Enter() {
        QEnterEvent e(QPointF(2, 2), QPointF(2, 2), FLink.mapToGlobal(QPointF(2, 2)));
        QApplication::sendEvent(&FLink, &e);
    }
    void Leave() {
        QEvent e(QEvent::Leave);
        QApplication::sendEvent(&FLink, &e);
    }
    void Move(QPoint at) {
        QMouseEvent e(QEvent::MouseMove, QPointF(at), FLink.mapToGlobal(QPointF(at)), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&FLink, &e);
    }
    QColor Painted() const { return FLink.palette().color(QPalette::WindowText); }

    TRecordingShell FShell;
    TURLLink FLink;
};

TEST_F(URLLinkTest, StartsAsABlueWebLinkWithAHint) {
    TURLLink link;
    EXPECT_EQ(link.GetLink(), QStringLiteral("http://"));
    EXPECT_EQ(link.GetURLType(), tpURL);
    EXPECT_EQ(link.GetFontColor(), clBlue);
    EXPECT_EQ(link.palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(link.GetLinkColor(), clRed);
    EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(link.GetHintOffsetX(), 15);
    EXPECT_EQ(link.GetHintOffsetY(), 15);
    EXPECT_EQ(link.GetHintFormColor(), 0xFF000018u);
    EXPECT_TRUE(link.GetEnableShowHint());
    EXPECT_FALSE(link.IsHintShown());
    ASSERT_NE(link.GetHintForm(), nullptr);
    EXPECT_FALSE(link.GetHintForm()->isVisible());
}

TEST_F(URLLinkTest, HoverPaintsTheLinkColourAndLeavingRestoresTheColourSavedAtEntry) {
    FLink.SetFontColor(0x00008000); // green
    Enter();
    EXPECT_EQ(Painted(), QColor(255, 0, 0));
    // A colour change while hot is undone by the leave.
    FLink.SetFontColor(0x00000080);
    FLink.SetLinkColor(0x00FFFF00); // takes effect at the next entry only
    EXPECT_EQ(Painted(), QColor(128, 0, 0));
    Leave();
    EXPECT_EQ(Painted(), QColor(0, 128, 0));
    Enter();
    EXPECT_EQ(Painted(), QColor(0, 255, 255));
}

TEST_F(URLLinkTest, HintAppearsOncePerStayAtThePointerPlusOffsets) {
    FLink.SetLink(QStringLiteral("https://quadrelle.example.org/"));
    Enter();
    Move(QPoint(3, 3));
    ASSERT_TRUE(FLink.IsHintShown());
    QWidget* hint = FLink.GetHintForm();
    ASSERT_TRUE(hint->isVisible());
    const QPoint first = hint->pos();
    const QPoint pointer = QCursor::pos();
    EXPECT_EQ(first, pointer + QPoint(15, 15));
    const QFontMetrics fm(FLink.GetHintFormFont());
    EXPECT_EQ(hint->size(), QSize(fm.horizontalAdvance(FLink.GetLink()) + 6, fm.height() + 3));
    EXPECT_TRUE(hint->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(hint->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(hint->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    EXPECT_EQ(hint->palette().color(QPalette::Window), QApplication::palette().color(QPalette::ToolTipBase));

    // Moving on inside the label leaves the hint where it is.
    QCursor::setPos(FLink.mapToGlobal(QPoint(20, 5)));
    Move(QPoint(20, 5));
    EXPECT_EQ(hint->pos(), first);

    Leave();
    EXPECT_FALSE(FLink.IsHintShown());
    EXPECT_FALSE(hint->isVisible());
}

TEST_F(URLLinkTest, DisabledHintNeverShowsButHoverStillColours) {
    FLink.SetEnableShowHint(false);
    Enter();
    Move(QPoint(3, 3));
    EXPECT_FALSE(FLink.IsHintShown());
    EXPECT_FALSE(FLink.GetHintForm()->isVisible());
    EXPECT_EQ(Painted(), QColor(255, 0, 0));
}

TEST_F(URLLinkTest, LeftPressOpensTheLinkAndHidesTheHint) {
    FLink.SetLink(QStringLiteral("https://quadrelle.example.org/"));
    Enter();
    Move(QPoint(3, 3));
    ASSERT_TRUE(FLink.IsHintShown());
    QTest::mousePress(&FLink, Qt::LeftButton, {}, QPoint(3, 3));
    ASSERT_EQ(FShell.FCalls.size(), 1u);
    EXPECT_EQ(FShell.FCalls[0].Verb, QStringLiteral("OPEN"));
    EXPECT_EQ(FShell.FCalls[0].File, QStringLiteral("https://quadrelle.example.org/"));
    EXPECT_FALSE(FShell.FCalls[0].HadOwner);
    EXPECT_FALSE(FLink.IsHintShown());
    // The next move shows it again.
    Move(QPoint(4, 4));
    EXPECT_TRUE(FLink.IsHintShown());
}

TEST_F(URLLinkTest, OtherButtonsOpenNothingAndKeepTheHint) {
    Enter();
    Move(QPoint(3, 3));
    QTest::mousePress(&FLink, Qt::RightButton, {}, QPoint(3, 3));
    QTest::mousePress(&FLink, Qt::MiddleButton, {}, QPoint(3, 3));
    EXPECT_TRUE(FShell.FCalls.empty());
    EXPECT_TRUE(FLink.IsHintShown());
}

TEST_F(URLLinkTest, MailLinksArePrefixedEvenWhenThePrefixIsThere) {
    FLink.SetURLType(tpMAIL);
    FLink.SetLink(QStringLiteral("info@quadrelle.example.org"));
    QTest::mousePress(&FLink, Qt::LeftButton, {}, QPoint(3, 3));
    FLink.SetLink(QStringLiteral("mailto:info@quadrelle.example.org"));
    QTest::mousePress(&FLink, Qt::LeftButton, {}, QPoint(3, 3));
    ASSERT_EQ(FShell.FCalls.size(), 2u);
    EXPECT_EQ(FShell.FCalls[0].File, QStringLiteral("mailto:info@quadrelle.example.org"));
    EXPECT_EQ(FShell.FCalls[1].File, QStringLiteral("mailto:mailto:info@quadrelle.example.org"));
}

TEST_F(URLLinkTest, HintFontIsCopiedAndItsOwnObjectChangesNothing) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(21);
    FLink.SetHintFormFont(font);
    font.setPixelSize(5); // the label kept a copy, not the object
    EXPECT_EQ(FLink.GetHintFormFont().pixelSize(), 21);
    FLink.SetHintFormFont(FLink.GetHintFormFont());
    EXPECT_EQ(FLink.GetHintFormFont().pixelSize(), 21);
}

TEST_F(URLLinkTest, AutoSizeFollowsTheCaption) {
    FLink.SetCaption(QStringLiteral("a much longer caption than before"));
    EXPECT_EQ(FLink.width(), FLink.sizeHint().width());
    const int wide = FLink.width();
    FLink.SetCaption(QStringLiteral("x"));
    EXPECT_LT(FLink.width(), wide);
}

TEST(Colors, PlainAndSystemColoursConvert) {
    EXPECT_EQ(ToQColor(0x000000FF), QColor(255, 0, 0));
    EXPECT_EQ(ToQColor(0x00FF0000), QColor(0, 0, 255));
    EXPECT_EQ(ToQColor(0x00123456), QColor(0x56, 0x34, 0x12));
    EXPECT_EQ(FromQColor(QColor(0x56, 0x34, 0x12)), 0x00123456u);
    EXPECT_EQ(ToQColor(clInfoBk), QApplication::palette().color(QPalette::ToolTipBase));
    EXPECT_EQ(ToQColor(0xFF0000FE), QColor(Qt::black)); // no such system colour
}

} // namespace

// Listing the tests (CTest's discovery runs without the tests' environment)
// needs no application object.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QApplication> app;
    if (!GTEST_FLAG_GET(list_tests))
        app = std::make_unique<QApplication>(argc, argv);
    return RUN_ALL_TESTS();
}
