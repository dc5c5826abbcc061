// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "PlayerTestSupport.h"
#include "SessionEnd.h"
#include "WindowsMediaPlayer.h"
#include "about.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

namespace {

QByteArray Utf16File(const QString& Text) {
    QByteArray bytes("\xFF\xFE", 2);
    for (QChar c : Text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

void WriteFile(const QString& Path, const QByteArray& Bytes) {
    QFile file(Path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(Bytes);
}

QByteArray ReadFile(const QString& Path) {
    QFile file(Path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class SettingsTest : public ::testing::Test {
protected:
    QString SettingsPath() const { return H.FilePath(QStringLiteral("quadrelle_alice.ini")); }
    void Show() {
        H.Create();
        W = H.FWindow.get();
        W->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(W));
    }

    TMainWindowHarness H;
    TQUADV_MAIN* W = nullptr;
};

TEST_F(SettingsTest, NoFileStartsFromDefaultsAndTheFirstSaveWritesTheFiveKeys) {
    Show();
    EXPECT_EQ(W->pos(), QPoint(100, 100));
    EXPECT_FALSE(W->PM_AutoRepeat->isChecked());
    EXPECT_FALSE(W->PM_Link->isChecked());
    EXPECT_EQ(W->OpenDialog->GetInitialDir(), QString());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(H.FEngines[i]->FPlayCount, 1);
    ASSERT_EQ(W->CB_MovieSize->count(), 4);
    EXPECT_EQ(W->CB_MovieSize->itemText(1), QStringLiteral("640x480[4:3]"));
    EXPECT_EQ(W->CB_MovieSize->currentIndex(), 0);
    // Loading the presets does not lay the panes out.
    EXPECT_EQ(W->ClientArea()->size(), QSize(640, 520));
    EXPECT_NE(W->FMutex, nullptr);
    W->S_Exit->trigger();
    EXPECT_FALSE(W->isVisible());
    EXPECT_EQ(
        ReadFile(SettingsPath()),
        Utf16File(QStringLiteral("[Main]\r\nX=100\r\nY=100\r\nDir=\r\nAutoRepeat=0\r\nLink=0\r\n\r\n")));
}

TEST_F(SettingsTest, StoredValuesAreRestoredAndWrittenBackNormalised) {
    WriteFile(SettingsPath(),
              Utf16File(QStringLiteral("[Main]\r\nX=0x7B\r\nY=45px\r\nAutoRepeat=1\r\nLink=2\r\n"
                                       "Dir=/movies/\r\n")));
    Show();
    EXPECT_EQ(W->pos(), QPoint(123, 100)); // hexadecimal read; not a number: the default
    EXPECT_TRUE(W->PM_AutoRepeat->isChecked());
    EXPECT_TRUE(W->PM_Link->isChecked());
    EXPECT_EQ(W->OpenDialog->GetInitialDir(), QStringLiteral("/movies"));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(H.FEngines[i]->FPlayCount, 999) << i;
    W->close();
    const QByteArray saved = ReadFile(SettingsPath());
    EXPECT_TRUE(saved.contains(Utf16File(QStringLiteral("Link=1\r\n")).mid(2)));
    EXPECT_TRUE(saved.contains(Utf16File(QStringLiteral("AutoRepeat=1\r\n")).mid(2)));
    EXPECT_TRUE(saved.contains(Utf16File(QStringLiteral("Dir=/movies\r\n")).mid(2)));
}

TEST_F(SettingsTest, UnreadableFilesFallBackToDefaultsAndTheWindowStillStarts) {
    WriteFile(SettingsPath(), QByteArray("\xFF\xFE\x41", 3)); // one byte after the mark
    WriteFile(H.FilePath(QStringLiteral("MovieSize.ini")), QByteArray("\xFF\xFE\x41", 3));
    Show();
    EXPECT_EQ(W->pos(), QPoint(100, 100));
    EXPECT_EQ(W->CB_MovieSize->count(), 4);
    EXPECT_NE(W->FMutex, nullptr);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(H.FEngines[i]->FPlayCount, 1);
    EXPECT_TRUE(H.FMessages.empty());
}

TEST_F(SettingsTest, AnUndecodableFileIsReplacedAtTheNextSaveAndTheNextStartFindsIt) {
    WriteFile(SettingsPath(), QByteArray("\xFF\xFE\x41", 3)); // one byte after the mark
    Show();
    W->move(230, 140);
    W->PM_Link->trigger();
    W->PM_AutoRepeat->trigger();
    W->S_Exit->trigger();
    EXPECT_EQ(
        ReadFile(SettingsPath()),
        Utf16File(QStringLiteral("[Main]\r\nX=230\r\nY=140\r\nDir=\r\nAutoRepeat=1\r\nLink=1\r\n\r\n")));
    // Written through a temporary file that is gone again.
    EXPECT_EQ(QDir(H.FDir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{SettingsPath().section(u'/', -1)});

    Show();
    EXPECT_EQ(W->pos(), QPoint(230, 140));
    EXPECT_TRUE(W->PM_Link->isChecked());
    EXPECT_TRUE(W->PM_AutoRepeat->isChecked());
    EXPECT_TRUE(H.FMessages.empty());
}

TEST_F(SettingsTest, AFolderNameWithALineBreakCostsOnlyTheFolder) {
    WriteFile(SettingsPath(), Utf16File(QStringLiteral("[Main]\r\nDir=/movies\r\n")));
    Show();
    const QString folder = H.FilePath(QStringLiteral("two\nlines"));
    ASSERT_TRUE(QDir().mkdir(folder));
    H.FDialog->FAnswers = {folder + QStringLiteral("/a.mp4")};
    W->B_OpenClick(nullptr);
    ASSERT_EQ(W->OpenDialog->GetInitialDir(), folder);
    W->move(260, 170);
    W->PM_Link->trigger();
    W->close();

    Show();
    EXPECT_EQ(W->pos(), QPoint(260, 170));
    EXPECT_TRUE(W->PM_Link->isChecked());
    EXPECT_FALSE(W->PM_AutoRepeat->isChecked());
    EXPECT_EQ(W->OpenDialog->GetInitialDir(), QStringLiteral("/movies"));
    EXPECT_FALSE(ReadFile(SettingsPath()).contains(Utf16File(QStringLiteral("lines")).mid(2)));
}

TEST_F(SettingsTest, EveryClosePathSavesOnceAndStopsOnlyPanesWithAFile) {
    Show();
    H.Open({{}, QStringLiteral("b.mp4"), {}, {}});
    H.ClearAllCalls();
    W->S_Exit->trigger();
    EXPECT_EQ(H.TakeCalls(1), std::vector<std::string>{"Stop"});
    EXPECT_EQ(H.TakeCalls(0), std::vector<std::string>{});
    ASSERT_TRUE(QFile::exists(SettingsPath()));
    QFile::remove(SettingsPath());
    W->WMEndSession();
    W->close();
    EXPECT_FALSE(QFile::exists(SettingsPath()));
}

TEST_F(SettingsTest, UserNameFailureIsToldAndTheFileHasNoSuffix) {
    TMainWindowHarness unnamed(std::nullopt);
    unnamed.Create();
    ASSERT_EQ(unnamed.FMessages.size(), 1u);
    EXPECT_EQ(unnamed.FMessages[0].Owner, unnamed.FWindow.get());
    EXPECT_EQ(unnamed.FMessages[0].Caption, QStringLiteral("ユーザー名の取得"));
    EXPECT_EQ(unnamed.FMessages[0].Text,
              QStringLiteral("ログオンユーザー名の取得に失敗しました\nデフォルト値を使用します"));
    EXPECT_EQ(unnamed.FWindow->FUserSuffix, QString());
    unnamed.FWindow->show();
    unnamed.FWindow->close();
    EXPECT_TRUE(QFile::exists(unnamed.FilePath(QStringLiteral("quadrelle.ini"))));
}

TEST_F(SettingsTest, PickingAPresetLaysOutPanesAndClientKeepingTheCorner) {
    Show();
    W->move(120, 80);
    struct TRow {
        int Item;
        QSize Pane;
        QSize Client;
    };
    for (const TRow& row : {TRow{1, {648, 544}, {1296, 1128}}, TRow{2, {328, 244}, {656, 528}},
                            TRow{3, {648, 424}, {1296, 888}}, TRow{0, {328, 304}, {656, 648}},
                            TRow{0, {328, 304}, {656, 648}}}) {
        W->CB_MovieSize->setCurrentIndex(row.Item);
        Q_EMIT W->CB_MovieSize->activated(row.Item);
        const int w = row.Pane.width(), h = row.Pane.height();
        EXPECT_EQ(W->WindowsMediaPlayer1->geometry(), QRect(0, 40, w, h)) << row.Item;
        EXPECT_EQ(W->WindowsMediaPlayer2->geometry(), QRect(w, 40, w, h));
        EXPECT_EQ(W->WindowsMediaPlayer3->geometry(), QRect(0, 40 + h, w, h));
        EXPECT_EQ(W->WindowsMediaPlayer4->geometry(), QRect(w, 40 + h, w, h));
        EXPECT_EQ(W->ClientArea()->size(), row.Client);
        EXPECT_EQ(W->Panel->width(), row.Client.width());
        EXPECT_EQ(W->pos(), QPoint(120, 80));
    }
}

TEST_F(SettingsTest, PresetsFromTheFileReplaceTheBuiltIns) {
    WriteFile(H.FilePath(QStringLiteral("MovieSize.ini")),
              Utf16File(QStringLiteral("[MovieSize]\r\ntext3=Wide\r\nsizex3=400\r\nsizey3=150\r\n")));
    Show();
    ASSERT_EQ(W->CB_MovieSize->count(), 1);
    EXPECT_EQ(W->CB_MovieSize->itemText(0), QStringLiteral("Wide"));
    Q_EMIT W->CB_MovieSize->activated(0);
    EXPECT_EQ(W->ClientArea()->size(), QSize(816, 468));
}

TEST_F(SettingsTest, TerminationSignalClosesAndSavesLikeExit) {
    Show();
    W->move(250, 150);
    InstallSessionEndSignals(W, [this] { W->WMEndSession(); });
    std::raise(SIGTERM);
    for (int i = 0; i < 50 && W->isVisible(); ++i)
        QTest::qWait(10);
    EXPECT_FALSE(W->isVisible());
    EXPECT_TRUE(ReadFile(SettingsPath()).contains(Utf16File(QStringLiteral("X=250\r\nY=150\r\n")).mid(2)));
}

TEST_F(SettingsTest, SessionEndInsideAModalDialogEndsItSavesAndAsksNoMore) {
    Show();
    W->move(210, 120);
    // During Open: the second pane's dialog is open when the session ends.
    H.FDialog->FOnExecute = [this] {
        if (H.FDialog->FTitles.size() == 2)
            W->WMEndSession();
    };
    H.Open(
        {QStringLiteral("a.mp4"), QStringLiteral("b.mp4"), QStringLiteral("c.mp4"), QStringLiteral("d.mp4")});
    EXPECT_EQ(H.FDialog->FTitles.size(), 2);
    EXPECT_FALSE(W->isVisible());
    EXPECT_TRUE(ReadFile(SettingsPath()).contains(Utf16File(QStringLiteral("X=210\r\nY=120\r\n")).mid(2)));

    // During About: the dialog's own loop ends with the window.
    TMainWindowHarness other(u"bob");
    other.Create();
    TQUADV_MAIN* main = other.FWindow.get();
    main->show();
    bool aboutClosed = false;
    QTimer::singleShot(0, [&] {
        QWidget* about = QApplication::activeModalWidget();
        ASSERT_NE(about, nullptr);
        main->WMEndSession();
        aboutClosed = !about->isVisible();
        about->close(); // a failing run still leaves the modal loop
    });
    ShowAboutDialog(main);
    EXPECT_TRUE(aboutClosed);
    EXPECT_FALSE(main->isVisible());
    EXPECT_TRUE(QFile::exists(other.FilePath(QStringLiteral("quadrelle_bob.ini"))));
}

} // namespace
