// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "PlayerTestSupport.h"
#include "WindowsMediaPlayer.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace {

using TCalls = std::vector<std::string>;

// Points HOME and XDG_CONFIG_HOME into a temporary folder for one test.
class TTemporaryHome {
public:
    TTemporaryHome() {
        for (const char* Name : {"HOME", "XDG_CONFIG_HOME"}) {
            FSaved.emplace_back(Name, qEnvironmentVariableIsSet(Name) ? std::optional(qgetenv(Name))
                                                                      : std::nullopt);
        }
        QDir(FDir.path()).mkpath(QStringLiteral("home/.config"));
        qputenv("HOME", Home().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", QDir(Home()).filePath(QStringLiteral(".config")).toLocal8Bit());
    }
    ~TTemporaryHome() {
        for (const auto& [Name, Value] : FSaved) {
            if (Value)
                qputenv(Name, *Value);
            else
                qunsetenv(Name);
        }
    }
    QString Home() const { return QDir(FDir.path()).filePath(QStringLiteral("home")); }
    // Names the pictures folder in the user's folder settings, as xdg-user-dirs writes them.
    void SetPicturesFolder(const QString& Relative) const {
        QFile Dirs(QDir(Home()).filePath(QStringLiteral(".config/user-dirs.dirs")));
        ASSERT_TRUE(Dirs.open(QIODevice::WriteOnly));
        Dirs.write("# written by the test\nXDG_PICTURES_DIR=\"$HOME/" + Relative.toUtf8() + "\"\n");
    }

private:
    QTemporaryDir FDir;
    std::vector<std::pair<const char*, std::optional<QByteArray>>> FSaved;
};

class StepAndSnapshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(H.CreateShown());
        W = H.FWindow.get();
    }

    void Keys(QKeyCombination Keys) { H.Keys(Keys); }

    // The files in Folder, sorted.
    static QStringList Files(const QString& Folder) {
        return QDir(Folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    TTemporaryHome Home; // before the window, which may look at it
    TMainWindowHarness H;
    TQUADV_MAIN* W = nullptr;
};

TEST_F(StepAndSnapshotTest, ControlMenuGainsAGroupAfterItsItemsWhichKeepTheirKeys) {
    struct TRow {
        const char16_t* Caption; // "" for a separator
        QKeySequence Keys;
    };
    const TRow Rows[] = {
        {u"再生/一時停止(&P)", QKeySequence(Qt::CTRL | Qt::Key_Space)},
        {u"停止(&S)", QKeySequence(Qt::CTRL | Qt::Key_Period)},
        {u"", {}},
        {u"左上ミュート/解除(&1)", QKeySequence(Qt::CTRL | Qt::Key_1)},
        {u"右上ミュート/解除(&2)", QKeySequence(Qt::CTRL | Qt::Key_2)},
        {u"左下ミュート/解除(&3)", QKeySequence(Qt::CTRL | Qt::Key_3)},
        {u"右下ミュート/解除(&4)", QKeySequence(Qt::CTRL | Qt::Key_4)},
        {u"ミュート全解除(&C)", QKeySequence(Qt::CTRL | Qt::Key_C)},
        {u"", {}},
        {u"コマ送り(&F)", QKeySequence(Qt::Key_Period)},
        {u"コマ戻し(&B)", QKeySequence(Qt::Key_Comma)},
        {u"スナップショット(&N)", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
        {u"", {}},
        {u"ここで揃える(&H)", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H)},
        {u"音で揃える(&A)", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A)},
        {u"揃えを解除(&R)", {}},
        {u"全画面(&U)", QKeySequence(Qt::Key_F11)},
    };
    const QList<QAction*> Items = W->S_Control->actions();
    ASSERT_EQ(Items.size(), static_cast<qsizetype>(std::size(Rows)));
    for (size_t I = 0; I < std::size(Rows); ++I) {
        const QString Caption = QString::fromUtf16(Rows[I].Caption);
        EXPECT_EQ(Items[I]->isSeparator(), Caption.isEmpty()) << I;
        EXPECT_EQ(Items[I]->text(), Caption) << I;
        EXPECT_EQ(Items[I]->shortcut(), Rows[I].Keys) << Caption.toStdString();
        EXPECT_TRUE(Items[I]->isEnabled()) << I;
    }
    EXPECT_EQ(Items[8], W->S_N03);
    EXPECT_EQ(Items[9], W->S_FrameStep);
    EXPECT_EQ(Items[10], W->S_FrameBackStep);
    EXPECT_EQ(Items[11], W->S_Snapshot);
}

TEST_F(StepAndSnapshotTest, StepKeysStepTheLoadedPanesAndCtrlPeriodStillStops) {
    Keys(QKeyCombination(Qt::Key_Period)); // nothing loaded: nothing to step
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(H.TakeCalls(i), TCalls{}) << i;

    H.Open({QStringLiteral("a.mp4"), {}, QStringLiteral("c.mp4"), {}});
    H.FEngines[0]->SetStatus(TEngineStatus::Playing);
    H.ClearAllCalls();
    Keys(QKeyCombination(Qt::Key_Period));
    Keys(QKeyCombination(Qt::Key_Period));
    Keys(QKeyCombination(Qt::Key_Comma));
    for (int i : {0, 2})
        EXPECT_EQ(H.TakeCalls(i), (TCalls{"FrameStep", "FrameStep", "FrameBackStep"})) << i;
    for (int i : {1, 3})
        EXPECT_EQ(H.TakeCalls(i), TCalls{}) << i;
    // The playing pane was paused by its step.
    EXPECT_EQ(W->WindowsMediaPlayer1->GetPlayState(), wmppsPaused);

    W->S_FrameBackStep->trigger();
    EXPECT_EQ(H.TakeCalls(2), TCalls{"FrameBackStep"});
    H.ClearAllCalls();
    Keys(Qt::CTRL | Qt::Key_Period);
    EXPECT_EQ(H.TakeCalls(0), (TCalls{"Stop", "Seek 0"}));
    EXPECT_TRUE(H.FMessages.empty());
}

TEST_F(StepAndSnapshotTest, SnapshotsGoToThePicturesFolderAndNeverReplaceAFile) {
    Home.SetPicturesFolder(QStringLiteral("Bilder"));
    H.Open({QStringLiteral("clip1_640x480.mp4"), {}, {}, QStringLiteral("talk.v2.mkv")});
    H.FEngines[0]->SetPlaybackPosition(5.2);
    H.FEngines[3]->SetPlaybackPosition(3723.004);
    QImage Red(64, 48, QImage::Format_RGB32);
    Red.fill(Qt::red);
    H.FEngines[0]->SetFrame(Red);
    H.ClearAllCalls();

    const QString Folder = QDir(Home.Home()).filePath(QStringLiteral("Bilder/Quadrelle"));
    Keys(Qt::CTRL | Qt::SHIFT | Qt::Key_S);
    const QStringList First = {QStringLiteral("clip1_640x480-pane1-00.05.200.png"),
                               QStringLiteral("talk.v2-pane4-1.02.03.004.png")};
    EXPECT_EQ(Files(Folder), First);
    // Taken again at the same place, and with one name already used by
    // someone else: new names, and the old files are left as they were.
    QFile Other(QDir(Folder).filePath(QStringLiteral("talk.v2-pane4-1.02.03.004-2.png")));
    ASSERT_TRUE(Other.open(QIODevice::WriteOnly));
    Other.write("not ours");
    Other.close();
    W->S_Snapshot->trigger();
    QTest::qWait(50); // the panes report later; nothing more is written then
    EXPECT_EQ(Files(Folder), (QStringList{QStringLiteral("clip1_640x480-pane1-00.05.200-2.png"),
                                          QStringLiteral("clip1_640x480-pane1-00.05.200.png"),
                                          QStringLiteral("talk.v2-pane4-1.02.03.004-2.png"),
                                          QStringLiteral("talk.v2-pane4-1.02.03.004-3.png"),
                                          QStringLiteral("talk.v2-pane4-1.02.03.004.png")}));
    ASSERT_TRUE(Other.open(QIODevice::ReadOnly));
    EXPECT_EQ(Other.readAll(), QByteArray("not ours"));
    EXPECT_EQ(QImage(QDir(Folder).filePath(First[0])).pixelColor(10, 10), QColor(Qt::red));
    EXPECT_EQ(H.TakeCalls(1), TCalls{});
    EXPECT_TRUE(H.FMessages.empty()); // success is silent

    // Without the folder setting, the pictures folder is ~/Pictures.
    QFile::remove(QDir(Home.Home()).filePath(QStringLiteral(".config/user-dirs.dirs")));
    W->S_Snapshot->trigger();
    EXPECT_EQ(Files(QDir(Home.Home()).filePath(QStringLiteral("Pictures/Quadrelle"))), First);
}

TEST_F(StepAndSnapshotTest, AFailedSnapshotNamesItsFileAndTheOthersAreSaved) {
    H.Open({QStringLiteral("a.mp4"), QStringLiteral("b.mp4"), {}, {}});
    H.FEngines[1]->FFailSnapshot = QStringLiteral("no video");
    W->S_Snapshot->trigger();
    const QString Folder = QDir(Home.Home()).filePath(QStringLiteral("Pictures/Quadrelle"));
    const QString Failed = QDir(Folder).filePath(QStringLiteral("b-pane2-00.00.000.png"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !H.FMessages.empty(); }));
    ASSERT_EQ(H.FMessages.size(), 1u);
    EXPECT_TRUE(H.FMessages[0].Text.contains(Failed)) << H.FMessages[0].Text.toStdString();
    EXPECT_TRUE(H.FMessages[0].Text.contains(QStringLiteral("no video")));
    EXPECT_EQ(H.FMessages[0].Caption, QStringLiteral("Quadrelle 150727"));
    EXPECT_EQ(Files(Folder), QStringList{QStringLiteral("a-pane1-00.00.000.png")}); // the empty file went too

    // A pictures folder that cannot be made is named, once.
    H.FMessages.clear();
    QDir(Home.Home()).removeRecursively();
    QDir().mkpath(Home.Home());
    QFile Blocker(QDir(Home.Home()).filePath(QStringLiteral("Pictures")));
    ASSERT_TRUE(Blocker.open(QIODevice::WriteOnly));
    Blocker.close();
    H.ClearAllCalls();
    W->S_Snapshot->trigger();
    ASSERT_EQ(H.FMessages.size(), 1u);
    EXPECT_TRUE(
        H.FMessages[0].Text.contains(QDir(Home.Home()).filePath(QStringLiteral("Pictures/Quadrelle"))))
        << H.FMessages[0].Text.toStdString();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(H.TakeCalls(i), TCalls{}) << i;
}

} // namespace
