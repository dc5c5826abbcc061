// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ListBoxEx.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QScrollBar>
#include <QTemporaryDir>

namespace {

// Exposes the handlers' counters and the extent for the checks.
class TCountingListBoxEx : public TListBoxEx {
public:
    using TListBoxEx::TListBoxEx;
    int Adds = 0, Deletes = 0, Resets = 0;
    int Extent() { return int(Perform(LB_GETHORIZONTALEXTENT)); }

protected:
    void LBAdd(TMessage& M) override {
        ++Adds;
        TListBoxEx::LBAdd(M);
    }
    void LBDelete(TMessage& M) override {
        ++Deletes;
        TListBoxEx::LBDelete(M);
    }
    void LBResetContent(TMessage& M) override {
        ++Resets;
        TListBoxEx::LBResetContent(M);
    }
};

intptr_t Str(const QString& Text) {
    return reinterpret_cast<intptr_t>(Text.utf16());
}

class ListBoxExTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!qApp) {
            static int argc = 1;
            static char name[] = "ListBoxExTest";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
    }
    void SetUp() override {
        // A monospaced font spaced so that a digit is 10 pixels wide: "0000" is 40.
        QFont font(QStringLiteral("DejaVu Sans Mono"));
        font.setPixelSize(16);
        font.setLetterSpacing(QFont::AbsoluteSpacing, 10 - QFontMetricsF(font).horizontalAdvance(u'0'));
        List.setFont(font);
        List.resize(80, 120);
        List.show();
        QApplication::processEvents();
    }
    int Width(const QString& Text) const { return QFontMetrics(List.font()).horizontalAdvance(Text); }

    TCountingListBoxEx List;
    const QString W40 = QString(4, u'0'), W100 = QString(10, u'0'), W70 = QString(7, u'0');
};

TEST_F(ListBoxExTest, ExtentFollowsTheWidestItem) {
    const int w40 = Width(W40), w100 = Width(W100), w70 = Width(W70);
    ASSERT_EQ(w40, 40);
    ASSERT_EQ(w70, 70);
    ASSERT_EQ(w100, 100);
    EXPECT_EQ(List.GetSpace(), 5);

    List.Items().Add(W40);
    EXPECT_EQ(List.Extent(), w40 + 5);
    List.Items().Add(W100);
    EXPECT_EQ(List.Extent(), 105);
    List.Perform(LB_INSERTSTRING, 0, Str(W70));
    EXPECT_EQ(List.Extent(), w100 + 5);
    EXPECT_EQ(List.GetMaxWidth(), w100);
    EXPECT_EQ(List.Adds, 3);

    // Items: 70, 40, 100. Not the widest: nothing changes.
    List.Items().Delete(0);
    EXPECT_EQ(List.Extent(), w100 + 5);
    List.Items().Delete(1);
    EXPECT_EQ(List.Extent(), 45);
    EXPECT_EQ(List.GetMaxWidth(), w40);
    // The last item, the widest: the extent is the margin alone.
    List.Perform(LB_DELETESTRING, 0);
    EXPECT_EQ(List.Extent(), 5);
    EXPECT_EQ(List.GetMaxWidth(), 0);

    List.Items().Add(W100);
    List.Items().Clear();
    EXPECT_EQ(List.Extent(), 5); // the margin, not 0
    EXPECT_EQ(List.Resets, 1);

    List.Items().Add(W100);
    List.SetSpace(20);
    EXPECT_EQ(List.Extent(), 120);
    // The same value again still sends the extent.
    List.Perform(LB_SETHORIZONTALEXTENT, 0);
    List.SetSpace(20);
    EXPECT_EQ(List.Extent(), w100 + 20);
}

TEST_F(ListBoxExTest, FailedChangesMeasureNothing) {
    List.Items().Add(W100);
    const int before = List.Extent();
    // An insertion beyond the end fails; a deletion of a missing index fails.
    EXPECT_EQ(List.Perform(LB_INSERTSTRING, 5, Str(QString(40, u'0'))), LB_ERR);
    EXPECT_EQ(List.Perform(LB_DELETESTRING, 3), LB_ERR);
    EXPECT_EQ(List.Perform(LB_DELETESTRING, uintptr_t(intptr_t(-1))), LB_ERR);
    EXPECT_EQ(List.Extent(), before);
    EXPECT_EQ(List.Items().Count(), 1);
    EXPECT_EQ(List.Deletes, 2);

    // A font change does not re-measure: the next addition compares with the old width.
    const int widest = List.GetMaxWidth();
    QFont small = List.font();
    small.setPixelSize(5);
    List.setFont(small);
    List.Items().Add(QString(9, u'0'));
    ASSERT_LT(Width(QString(9, u'0')), widest);
    EXPECT_EQ(List.Extent(), before);
    EXPECT_EQ(List.GetMaxWidth(), widest);
}

TEST_F(ListBoxExTest, MessagesAnswerAsTheListBoxDoes) {
    EXPECT_EQ(List.Perform(LB_ADDSTRING, 0, Str(QStringLiteral("b"))), 0);
    EXPECT_EQ(List.Perform(LB_ADDSTRING, 0, Str(QStringLiteral("日本語"))), 1);
    EXPECT_EQ(List.Perform(LB_INSERTSTRING, uintptr_t(intptr_t(-1)), Str(QStringLiteral("end"))), 2);
    EXPECT_EQ(List.Perform(LB_GETCOUNT), 3);
    EXPECT_EQ(List.Perform(LB_GETTEXTLEN, 1), 3);
    char16_t buffer[8] = {};
    EXPECT_EQ(List.Perform(LB_GETTEXT, 1, reinterpret_cast<intptr_t>(buffer)), 3);
    EXPECT_EQ(std::u16string(buffer), u"日本語");
    EXPECT_EQ(List.Perform(LB_GETTEXTLEN, 3), LB_ERR);
    EXPECT_EQ(List.Perform(LB_DELETESTRING, 0), 2); // the remaining count
    EXPECT_EQ(List.Items().Get(0), QStringLiteral("日本語"));

    // Sorted: additions go to their place, insertions where they are told.
    List.Items().Clear();
    List.SetSorted(true);
    for (const char* t : {"pear", "Apple", "fig"})
        List.Items().Add(QString::fromUtf8(t));
    EXPECT_EQ(List.Items().Get(0), QStringLiteral("Apple"));
    EXPECT_EQ(List.Items().Get(2), QStringLiteral("pear"));

    // LB_DIR adds the matching names and answers with the last one's index; only
    // that one is measured.
    QTemporaryDir dir;
    for (const char* n : {"a.txt", "c.txt", "b.log", ".h.txt"}) {
        QFile f(dir.filePath(QString::fromUtf8(n)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QDir(dir.path()).mkdir(QStringLiteral("sub.txt"));
    List.Items().Clear();
    List.SetSorted(false);
    const QString pattern = dir.filePath(QStringLiteral("*.txt"));
    EXPECT_EQ(List.Perform(LB_DIR, 0, Str(pattern)), 1);
    EXPECT_EQ(List.Items().Get(1), QStringLiteral("c.txt"));
    EXPECT_EQ(List.Extent(), Width(QStringLiteral("c.txt")) + 5);
    EXPECT_EQ(List.Perform(LB_DIR, DDL_DIRECTORY | DDL_EXCLUSIVE, Str(pattern)), 2);
    EXPECT_EQ(List.Items().Get(2), QStringLiteral("[sub.txt]"));
    EXPECT_EQ(List.Perform(LB_DIR, 0, Str(dir.filePath(QStringLiteral("*.png")))), LB_ERR);
}

TEST_F(ListBoxExTest, ScrollBarShowsExactlyWhenTheExtentExceedsTheVisibleWidth) {
    QScrollBar* bar = List.horizontalScrollBar();
    const int visible = List.viewport()->width();
    List.SetSpace(0);
    List.Perform(LB_SETHORIZONTALEXTENT, uintptr_t(visible));
    QApplication::processEvents();
    EXPECT_FALSE(bar->isVisible());

    List.Perform(LB_SETHORIZONTALEXTENT, uintptr_t(visible + 1));
    QApplication::processEvents();
    EXPECT_TRUE(bar->isVisible());

    // A wide item: the bar reaches exactly the end of the extent.
    const QString wide(30, u'0');
    List.SetSpace(5);
    List.Items().Add(wide);
    QApplication::processEvents();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->maximum() + List.viewport()->width(), Width(wide) + 5);

    List.Items().Clear();
    List.Items().Add(QStringLiteral("0"));
    QApplication::processEvents();
    EXPECT_FALSE(bar->isVisible());
}

} // namespace
