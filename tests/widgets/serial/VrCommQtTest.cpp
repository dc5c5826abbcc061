// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "VrCommQt.h"
#include "FakeCommDevice.h"
#include "QueuedMessageWait.h"
#include "VrComm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// One application for every test: the notifier of the test thread's queue is
// made once, with the application that exists then.
QCoreApplication& App() {
    static int Argc = 1;
    static char Name[] = "VrCommQtTest";
    static char* Argv[] = {Name, nullptr};
    static QCoreApplication* const Instance = new QCoreApplication(Argc, Argv);
    return *Instance;
}

template <typename F> bool RunLoopUntil(F Done) {
    QElapsedTimer Timer;
    Timer.start();
    while (!Done() && Timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    return Done();
}

template <typename F> bool WaitUntil(F Done) {
    QElapsedTimer Timer;
    Timer.start();
    while (!Done() && Timer.elapsed() < 5000)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return Done();
}

std::vector<std::string> LoggedCriticals;

void RecordCritical(QtMsgType Type, const QMessageLogContext&, const QString& Message) {
    if (Type == QtCriticalMsg)
        LoggedCriticals.push_back(Message.toStdString());
}

// The program only creates the application and the component: the events
// arrive through the application's own loop.
TEST(VrCommQt, EventsRunInTheQtLoopWithoutWiring) {
    App();
    auto Fake = std::make_shared<TFakeCommDevice>();
    TVrThreadedComm Comm(nullptr, Fake);
    int Received = 0;
    Comm.SetOnReceive([&](TComponent*) { ++Received; });
    ASSERT_EQ(Comm.Open(), 0);
    Fake->Feed("qt");
    EXPECT_TRUE(RunLoopUntil([&] { return Received >= 1; }));
    char B[4];
    EXPECT_EQ(Comm.Receive(B, 4), 2);
}

// Two ports on one thread: one's refused write raises (default handling)
// while two receive notifications of the other wait behind it. The loop
// survives the exception, logs it, and still delivers both.
TEST(VrCommQt, NotificationsQueuedBehindARaisingErrorStillArrive) {
    App();
    for (bool OwnHook : {false, true}) {
        SCOPED_TRACE(OwnHook ? "hook set" : "default hook");
        std::vector<std::string> Hooked;
        if (OwnHook)
            SetVrCommQtErrorHook([&](std::exception_ptr Error) {
                try {
                    std::rethrow_exception(Error);
                } catch (const std::exception& E) {
                    Hooked.emplace_back(E.what());
                }
            });
        LoggedCriticals.clear();
        const QtMessageHandler Previous = qInstallMessageHandler(RecordCritical);
        auto Refusing = std::make_shared<TFakeCommDevice>();
        auto Busy = std::make_shared<TFakeCommDevice>();
        TVrThreadedComm Failing(nullptr, Refusing), Receiving(nullptr, Busy);
        int Signals = 0, Received = 0;
        Failing.SetOnChangeSignal([&](TComponent*, TVrCommEvents) { ++Signals; });
        Receiving.SetOnChangeSignal([&](TComponent*, TVrCommEvents) { ++Signals; });
        Receiving.SetOnReceive([&](TComponent*) { ++Received; });
        // The error still raises; holding the byte keeps the failing port
        // silent afterwards, so that no later post announces the queue anew.
        Failing.SetOnError(
            [&](TComponent*, TVrCommErrorAt, int32_t, bool&) { Failing.SetSendEnabled(false); });
        ASSERT_EQ(Failing.Open(), 0);
        ASSERT_EQ(Receiving.Open(), 0);
        ASSERT_TRUE(RunLoopUntil([&] { return Signals == 2; })); // the first passes, handled

        // Nothing runs the loop now: first the error, then two receives.
        {
            std::lock_guard Guard(Refusing->Lock);
            Refusing->FailCall["WriteFile"] = EIO;
        }
        Failing.Send("x", 1);
        ASSERT_TRUE(WaitForSentMessage(5000));
        for (const char* Bytes : {"a", "b"}) {
            const int32_t Before = Receiving.GetReceiveCount();
            Busy->Feed(Bytes);
            ASSERT_TRUE(WaitUntil([&] { return Receiving.GetReceiveCount() > Before; }));
        }
        // A pass after the second receive shows that it has been posted.
        const int Polls = Busy->CallCount("ClearCommError");
        ASSERT_TRUE(WaitUntil([&] { return Busy->CallCount("ClearCommError") > Polls; }));

        EXPECT_TRUE(RunLoopUntil([&] { return Received == 2; }));
        EXPECT_EQ(Received, 2);
        qInstallMessageHandler(Previous);
        const std::string Expected = "送信 : " + Refusing->ErrorText(EIO);
        if (OwnHook) {
            EXPECT_EQ(Hooked, std::vector<std::string>{Expected});
            EXPECT_TRUE(LoggedCriticals.empty());
        } else {
            EXPECT_EQ(LoggedCriticals, std::vector<std::string>{"TVrThreadedComm: " + Expected});
        }
        SetVrCommQtErrorHook(nullptr);
    }
}

} // namespace
