// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "HandOver.h"
#include "NamedMutex.h"
#include "PlayerTestSupport.h"
#include "WindowsMediaPlayer.h"

#include <QDialog>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <atomic>
#include <future>

namespace {

using TCalls = std::vector<std::string>;

// Files given to the window from outside: the command line, a second start
// (through the hand-over socket) and drops on a pane.
class OpenFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        H.Create();
        W = H.FWindow.get();
        W->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(W));
    }

    QString File(const QString& Name) {
        QFile touch(H.FilePath(Name));
        EXPECT_TRUE(touch.open(QIODevice::WriteOnly));
        return H.FilePath(Name);
    }
    QStringList Files(const QStringList& Names) {
        QStringList paths;
        for (const QString& name : Names)
            paths << File(name);
        return paths;
    }

    // Pane I's loads, unloads and transport calls since the last look.
    TCalls Transport(int I) {
        TCalls kept;
        for (const std::string& call : H.TakeCalls(I))
            if (call.rfind("Load", 0) == 0 || call == "Unload" || call == "Play" || call == "Pause" ||
                call == "Stop")
                kept.push_back(call);
        return kept;
    }
    std::string Load(const QString& Name) { return "Load " + H.FilePath(Name).toStdString(); }

    // A drop of Urls on pane Pane, as the file manager makes it; true when
    // the pane takes the drag.
    bool Drop(int Pane, const QList<QUrl>& Urls) {
        QMimeData data;
        data.setUrls(Urls);
        TWindowsMediaPlayer* pane = W->FPlayers[Pane];
        const QPoint at = pane->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(pane, &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(pane, &drop);
        QCoreApplication::processEvents(); // the drop's files load once the drop has ended
        return enter.isAccepted() && drop.isAccepted();
    }

    TMainWindowHarness H;
    TQUADV_MAIN* W = nullptr;
};

TEST_F(OpenFilesTest, FourFilesGoIntoThePanesInOrderAndPlay) {
    H.Open({{}, {}, {}, QStringLiteral("old.mp4")});
    H.ClearAllCalls();
    W->OpenFiles(Files({QStringLiteral("a.mp4"), QStringLiteral("b.mkv"), QStringLiteral("c.webm"),
                        QStringLiteral("d.avi")}));
    EXPECT_EQ(W->windowTitle(), QStringLiteral("[a.mp4]+[b.mkv]+[c.webm]+[d.avi]"));
    EXPECT_EQ(W->FLoaded, (std::array<bool, 4>{true, true, true, true}));
    EXPECT_TRUE(W->B_Play->isEnabled());
    EXPECT_TRUE(W->B_Stop->isEnabled());
    EXPECT_EQ(W->OpenDialog->GetInitialDir(), H.FDir.path());
    // Emptied first as Open empties them, then loaded and played.
    EXPECT_EQ(Transport(0), (TCalls{"Stop", "Unload", Load(QStringLiteral("a.mp4")), "Play"}));
    EXPECT_EQ(Transport(3), (TCalls{"Stop", "Unload", Load(QStringLiteral("d.avi")), "Play"}));
    // The layout of the selected preset, as after Open.
    EXPECT_EQ(W->ClientArea()->size(), QSize(656, 648));
}

TEST_F(OpenFilesTest, AFifthFileIsLeftOut) {
    W->OpenFiles(Files({QStringLiteral("1.mp4"), QStringLiteral("2.mp4"), QStringLiteral("3.mp4"),
                        QStringLiteral("4.mp4"), QStringLiteral("5.mp4")}));
    EXPECT_EQ(W->windowTitle(), QStringLiteral("[1.mp4]+[2.mp4]+[3.mp4]+[4.mp4]"));
    for (int i = 0; i < 4; ++i)
        for (const std::string& call : Transport(i))
            EXPECT_NE(call, Load(QStringLiteral("5.mp4")));
}

TEST_F(OpenFilesTest, AMissingFileShowsItsErrorAndTheOthersStillLoadAndPlay) {
    H.FEngines[1]->FFailLoad = "gone.mp4: no such file";
    H.ClearAllCalls();
    W->OpenFiles({File(QStringLiteral("a.mp4")), H.FilePath(QStringLiteral("gone.mp4")),
                  File(QStringLiteral("c.mp4"))});
    ASSERT_EQ(H.FMessages.size(), 1u);
    EXPECT_EQ(H.FMessages[0].Text, QStringLiteral("gone.mp4: no such file."));
    EXPECT_EQ(H.FMessages[0].Caption, QStringLiteral("Quadrelle 150727"));
    EXPECT_EQ(W->windowTitle(), QStringLiteral("[a.mp4]+[c.mp4]"));
    EXPECT_EQ(W->FLoaded, (std::array<bool, 4>{true, false, true, false}));
    EXPECT_EQ(Transport(0).back(), "Play");
    EXPECT_EQ(Transport(1).back(), "Unload");
    EXPECT_EQ(Transport(2).back(), "Play");
    EXPECT_EQ(Transport(3), (TCalls{"Stop", "Unload"}));
}

TEST_F(OpenFilesTest, OnlyMissingFilesLeaveTheWindowAsAnEmptyOpenDoes) {
    for (TFakeMediaEngine* engine : H.FEngines)
        engine->FFailLoad = "no such file";
    W->OpenFiles({H.FilePath(QStringLiteral("x.mp4")), H.FilePath(QStringLiteral("y.mp4"))});
    EXPECT_EQ(H.FMessages.size(), 2u);
    EXPECT_EQ(W->windowTitle(), W->FTitle);
    EXPECT_FALSE(W->B_Play->isEnabled());
    EXPECT_EQ(W->FLoaded, (std::array<bool, 4>{}));
}

TEST_F(OpenFilesTest, TwoFilesDroppedOnPaneThreeFillItAndTheNextAndTheCaptionListsEveryPane) {
    W->OpenFiles({File(QStringLiteral("a.mp4"))});
    H.ClearAllCalls();
    ASSERT_TRUE(Drop(2, {QUrl::fromLocalFile(File(QStringLiteral("x.mp4"))),
                         QUrl::fromLocalFile(File(QStringLiteral("y.mp4")))}));
    EXPECT_EQ(W->windowTitle(), QStringLiteral("[a.mp4]+[x.mp4]+[y.mp4]"));
    EXPECT_EQ(W->FLoaded, (std::array<bool, 4>{true, false, true, true}));
    EXPECT_TRUE(W->B_Play->isEnabled());
    // The panes before it keep playing; the dropped files wait for Play, as
    // chosen files do.
    EXPECT_EQ(Transport(0), TCalls{});
    EXPECT_EQ(Transport(1), TCalls{});
    EXPECT_EQ(Transport(2), (TCalls{"Stop", Load(QStringLiteral("x.mp4"))}));
    EXPECT_EQ(Transport(3), (TCalls{"Stop", Load(QStringLiteral("y.mp4"))}));

    // On the last pane only the first of two fits.
    ASSERT_TRUE(Drop(3, {QUrl::fromLocalFile(File(QStringLiteral("z.mp4"))),
                         QUrl::fromLocalFile(File(QStringLiteral("w.mp4")))}));
    EXPECT_EQ(W->windowTitle(), QStringLiteral("[a.mp4]+[x.mp4]+[z.mp4]"));
}

TEST_F(OpenFilesTest, DroppingAFolderOrAWebAddressDoesNothing) {
    W->OpenFiles({File(QStringLiteral("a.mp4"))});
    H.ClearAllCalls();
    EXPECT_FALSE(Drop(1, {QUrl::fromLocalFile(H.FDir.path())}));
    EXPECT_FALSE(Drop(1, {QUrl(QStringLiteral("https://quadrelle.example.org/movie.mp4"))}));
    EXPECT_FALSE(Drop(1, {}));
    EXPECT_EQ(W->windowTitle(), QStringLiteral("[a.mp4]"));
    EXPECT_EQ(W->FLoaded, (std::array<bool, 4>{true, false, false, false}));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Transport(i), TCalls{}) << i;

    // Mixed with a file, the folder is passed over and the file goes in.
    EXPECT_TRUE(
        Drop(1, {QUrl::fromLocalFile(H.FDir.path()), QUrl::fromLocalFile(File(QStringLiteral("b.mp4")))}));
    EXPECT_EQ(W->windowTitle(), QStringLiteral("[a.mp4]+[b.mp4]"));
}

TEST_F(OpenFilesTest, ASecondStartsFilesArriveThroughTheSocketAndWaitForAnOpenDialog) {
    const QString socket = QString::fromStdU16String(
        NamedMutexSocketName(u"QUADV-test-" + QString::number(::getpid()).toStdU16String()));
    const auto send = [&](const QStringList& Files, int TimeoutMs = 10000) {
        std::atomic<bool> done = false;
        auto sent = std::async(std::launch::async, [&] {
            QString error;
            const THandOverResult result = HandOverFiles(socket, Files, TimeoutMs, {}, error);
            done = true;
            return result;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 60000));
        return sent.get();
    };

    EXPECT_EQ(send({File(QStringLiteral("h1.mp4")), File(QStringLiteral("h2.mp4"))}),
              THandOverResult::Delivered);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return W->windowTitle() == QStringLiteral("[h1.mp4]+[h2.mp4]"); }, 10000))
        << W->windowTitle().toStdString();
    EXPECT_EQ(Transport(1).back(), "Play");

    // While a command's dialog is open the files wait, and the latest win.
    QDialog dialog(W);
    dialog.setModal(true);
    dialog.show();
    ASSERT_EQ(QApplication::activeModalWidget(), &dialog);
    EXPECT_EQ(send({File(QStringLiteral("early.mp4"))}), THandOverResult::Delivered);
    EXPECT_EQ(send({File(QStringLiteral("late.mp4"))}), THandOverResult::Delivered);
    QTest::qWait(300);
    EXPECT_EQ(W->windowTitle(), QStringLiteral("[h1.mp4]+[h2.mp4]"));
    dialog.close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return W->windowTitle() == QStringLiteral("[late.mp4]"); }, 10000))
        << W->windowTitle().toStdString();

    // A closed window takes no more files.
    W->close();
    EXPECT_EQ(send({File(QStringLiteral("after.mp4"))}, 300), THandOverResult::NoAnswer);
}

} // namespace
