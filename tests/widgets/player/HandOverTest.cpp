// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "HandOver.h"
#include "PlayerTestSupport.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <future>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The server runs on the test's thread; each client blocks, so it runs on a
// thread of its own while the test's thread serves.
class HandOverTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        ASSERT_TRUE(FDir.isValid());
        FName = FDir.filePath(QStringLiteral("QUADV.sock"));
    }

    struct TSent {
        THandOverResult Result;
        QString Error;
    };

    // Sends Files from another thread; serves until that thread is done.
    TSent Send(const QStringList& Files, int TimeoutMs = 10000, std::function<bool()> StillRunning = {}) {
        std::atomic<bool> done = false;
        auto sent = std::async(std::launch::async, [&] {
            TSent result;
            result.Result = HandOverFiles(FName, Files, TimeoutMs, StillRunning, result.Error);
            done = true;
            return result;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 60000));
        return sent.get();
    }

    QTemporaryDir FDir;
    QString FName;
    std::vector<QStringList> FReceived;
    THandOverServer FServer{[this](const QStringList& Files) { FReceived.push_back(Files); }};
};

TEST_F(HandOverTest, FilesArriveWholeAndInOrder) {
    ASSERT_TRUE(FServer.Listen(FName));
    const QStringList files = {QStringLiteral("/movies/a.mp4"), QStringLiteral("/movies/動画 2.mkv"),
                               QStringLiteral("/tmp/line\nbreak.webm"), QString()};
    const TSent sent = Send(files);
    EXPECT_EQ(sent.Result, THandOverResult::Delivered) << sent.Error.toStdString();
    ASSERT_EQ(FReceived.size(), 1u);
    EXPECT_EQ(FReceived[0], files);

    // The server goes on serving, also an empty list.
    EXPECT_EQ(Send({}).Result, THandOverResult::Delivered);
    ASSERT_EQ(FReceived.size(), 2u);
    EXPECT_TRUE(FReceived[1].isEmpty());
}

TEST_F(HandOverTest, ACopyThatDoesNotAnswerIsGivenUpAtTheDeadline) {
    // Accepts connections and reads, but never answers.
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(FName));
    const TSent sent = Send({QStringLiteral("/a.mp4")}, 300);
    EXPECT_EQ(sent.Result, THandOverResult::NoAnswer);
    EXPECT_FALSE(sent.Error.isEmpty());
}

TEST_F(HandOverTest, WithoutAServerTheSenderWaitsOnlyWhileTheOtherCopyRuns) {
    int asked = 0;
    EXPECT_EQ(Send({QStringLiteral("/a.mp4")}, 300, [&] { return ++asked < 3; }).Result,
              THandOverResult::NoCopy);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(Send({QStringLiteral("/a.mp4")}, 300, [] { return true; }).Result, THandOverResult::NoAnswer);
}

TEST_F(HandOverTest, AServerThatStartsLateIsStillReached) {
    std::atomic<bool> asked = false;
    std::atomic<bool> done = false;
    auto sent = std::async(std::launch::async, [&] {
        QString error;
        const THandOverResult result = HandOverFiles(
            FName, {QStringLiteral("/late.mp4")}, 30000, [&] { return asked = true; }, error);
        done = true;
        return result;
    });
    // The sender has tried at least once before the server is there.
    ASSERT_TRUE(QTest::qWaitFor([&] { return asked.load(); }, 10000));
    ASSERT_TRUE(FServer.Listen(FName));
    ASSERT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 60000));
    EXPECT_EQ(sent.get(), THandOverResult::Delivered);
    ASSERT_EQ(FReceived.size(), 1u);
    EXPECT_EQ(FReceived[0], QStringList{QStringLiteral("/late.mp4")});
}

TEST_F(HandOverTest, ASocketLeftByAnEndedCopyIsReplacedButALiveOneIsNot) {
    // A copy that ended without closing leaves its socket file behind,
    // bound once and served by nobody.
    {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(fd, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(FName);
        ASSERT_LT(static_cast<size_t>(path.size()), sizeof address.sun_path);
        std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        close(fd);
        ASSERT_TRUE(QFile::exists(FName));
    }
    ASSERT_TRUE(FServer.Listen(FName));
    EXPECT_EQ(Send({QStringLiteral("/x.mp4")}).Result, THandOverResult::Delivered);

    THandOverServer second([](const QStringList&) { ADD_FAILURE() << "the second server took a request"; });
    EXPECT_FALSE(second.Listen(FName));
    EXPECT_EQ(Send({QStringLiteral("/y.mp4")}).Result, THandOverResult::Delivered);
    EXPECT_EQ(FReceived.size(), 2u);

    FServer.Close();
    EXPECT_FALSE(QFile::exists(FName));
    EXPECT_EQ(Send({QStringLiteral("/z.mp4")}, 200).Result, THandOverResult::NoAnswer);
}

TEST_F(HandOverTest, MalformedRequestsAreDroppedAndServingGoesOn) {
    ASSERT_TRUE(FServer.Listen(FName));
    const QByteArray requests[] = {
        QByteArrayLiteral("GET / HTTP/1.0\r\n\r\n"),
        // The right magic, then a length past the limit.
        QByteArrayLiteral("QUADV-FILES/1\n") + QByteArray::fromHex("7fffffff"),
        // A payload that claims four billion files.
        QByteArrayLiteral("QUADV-FILES/1\n") + QByteArray::fromHex("00000004ffffffff"),
        // A file list cut short.
        QByteArrayLiteral("QUADV-FILES/1\n") + QByteArray::fromHex("0000000800000001000000ff"),
    };
    for (const QByteArray& request : requests) {
        SCOPED_TRACE(request.toHex().toStdString());
        std::atomic<bool> done = false;
        auto answer = std::async(std::launch::async, [&] {
            QLocalSocket raw;
            raw.connectToServer(FName);
            QByteArray reply;
            if (raw.waitForConnected(10000)) {
                raw.write(request);
                raw.waitForBytesWritten(10000);
                // The server hangs up without an answer.
                while (raw.state() == QLocalSocket::ConnectedState && raw.waitForReadyRead(10000))
                    reply += raw.readAll();
                reply += raw.readAll();
            }
            done = true;
            return reply;
        });
        ASSERT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 60000));
        EXPECT_TRUE(answer.get().isEmpty());
    }
    EXPECT_TRUE(FReceived.empty());
    EXPECT_EQ(Send({QStringLiteral("/ok.mp4")}).Result, THandOverResult::Delivered);
    EXPECT_EQ(FReceived.size(), 1u);
}

} // namespace
