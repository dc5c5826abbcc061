#include "FakeCommDevice.h"
#include "VrComm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {

// The program only creates the application and the component: the events
// arrive through the application's own loop.
TEST(VrCommQt, EventsRunInTheQtLoopWithoutWiring) {
    int Argc = 1;
    char Name[] = "VrCommQtTest";
    char* Argv[] = {Name, nullptr};
    QCoreApplication App(Argc, Argv);
    auto Fake = std::make_shared<TFakeCommDevice>();
    TVrThreadedComm Comm(nullptr, Fake);
    int Received = 0;
    Comm.SetOnReceive([&](TComponent*) { ++Received; });
    ASSERT_EQ(Comm.Open(), 0);
    Fake->Feed("qt");
    QElapsedTimer Timer;
    Timer.start();
    while (Received == 0 && Timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    EXPECT_GE(Received, 1);
    char B[4];
    EXPECT_EQ(Comm.Receive(B, 4), 2);
}

} // namespace
