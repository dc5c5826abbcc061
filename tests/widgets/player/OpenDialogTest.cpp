// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "OpenDialog.h"
#include "PlayerTestSupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

QAbstractItemView* FileList(QFileDialog* Dialog) {
    auto* view = Dialog->findChild<QAbstractItemView*>(QStringLiteral("listView"));
    return view && view->model() ? view : nullptr;
}

// The names the dialog's file list shows.
QStringList ListedNames(QFileDialog* Dialog) {
    QStringList names;
    if (QAbstractItemView* view = FileList(Dialog))
        for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
            names << view->model()->index(row, 0, view->rootIndex()).data().toString();
    return names;
}

// Clicks Name in the file list and then the Open button, as a user would;
// without such a name the dialog is cancelled.
void Pick(QFileDialog* Dialog, const QString& Name) {
    QAbstractItemView* view = FileList(Dialog);
    const auto row = ListedNames(Dialog).indexOf(Name);
    auto* buttons = Dialog->findChild<QDialogButtonBox*>();
    if (!view || row < 0 || !buttons || !buttons->button(QDialogButtonBox::Open)) {
        Dialog->reject();
        return;
    }
    view->setCurrentIndex(view->model()->index(static_cast<int>(row), 0, view->rootIndex()));
    buttons->button(QDialogButtonBox::Open)->click();
}

TEST(OpenDialog, ListsEveryFileUnderItsCaptionAndPicksOneWithoutADot) {
    EnsureApplication();
    QTemporaryDir dir;
    for (const char* name : {"movie", "clip.mp4"}) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    TQtOpenDialog dialog;
    dialog.SetInitialDir(dir.path());
    QString caption;
    QStringList listed;
    QTimer::singleShot(0, [&] {
        auto* shown = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!shown) {
            ADD_FAILURE() << "no file dialog is open";
            QApplication::closeAllWindows();
            return;
        }
        if (auto* filter = shown->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
            caption = filter->currentText();
        // The folder is listed in the background; a name without a dot that
        // the filter hides never comes, so the wait is bounded, not timed.
        (void)QTest::qWaitFor([&] { return ListedNames(shown).size() >= 2; }, 10000);
        listed = ListedNames(shown);
        Pick(shown, QStringLiteral("movie"));
    });
    ASSERT_TRUE(dialog.Execute(nullptr));
    EXPECT_EQ(caption, QStringLiteral("とにかく開けそうなの全部 (*.*)"));
    listed.sort();
    EXPECT_EQ(listed, (QStringList{QStringLiteral("clip.mp4"), QStringLiteral("movie")}));
    EXPECT_EQ(dialog.GetFileName(), QDir::toNativeSeparators(dir.filePath(QStringLiteral("movie"))));
}

} // namespace
