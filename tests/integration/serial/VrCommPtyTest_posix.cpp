#include "LinePair.h"
#include "ReceiveAll.h"
#include "VrComm.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <sys/wait.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

// The POSIX device layer's own ways: ports named by variables, a second
// process on the line, exclusive use and held output.

namespace {

using namespace std::chrono_literals;

// 1 when the tty behind Port is in exclusive mode (for an ordinary user that
// shows as a refused open), 0 when not, -1 when that cannot be told.
int ExclusiveMode(int Port) {
    const char* Path = std::getenv(("VRCOMM_PORT" + std::to_string(Port)).c_str());
    if (!Path)
        return -1;
    const int Fd = ::open(Path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (Fd < 0)
        return errno == EBUSY ? 1 : -1;
    int Exclusive = -1;
    const int R = ::ioctl(Fd, TIOCGEXCL, &Exclusive);
    ::close(Fd);
    return R == 0 ? (Exclusive != 0) : -1;
}

} // namespace

namespace {

// The mode belongs to the tty and outlives the descriptor that set it: left
// set, it would refuse every later open by an ordinary user.
TEST(VrCommPtyPosix, ClosingEndsTheExclusiveModeThatOpeningSet) {
    TLinePair Pty(15);
    ASSERT_TRUE(Pty.Ok());
    TVrCustomComm Comm(nullptr);
    Comm.SetPortNumber(15);
    Comm.SetByteSize(vbs8Bits);
    for (int Round = 0; Round < 2; ++Round) {
        SCOPED_TRACE(Round);
        ASSERT_EQ(Comm.Open(), 0);
        EXPECT_EQ(ExclusiveMode(15), 1);
        EXPECT_EQ(Comm.Close(), 0);
        EXPECT_EQ(ExclusiveMode(15), 0);
    }
}

// A byte for the front of the queue cannot pass a line held by XOFF: the call
// says so at once instead of waiting for the far end.
TEST(VrCommPtyPosix, PriorityCharacterOnAHeldLineFailsAtOnce) {
    TLinePair Pty(17);
    ASSERT_TRUE(Pty.Ok());
    TVrCustomComm Comm(nullptr);
    Comm.SetPortNumber(17);
    Comm.SetByteSize(vbs8Bits);
    Comm.SetFlowControl(vfcXOnXOff);
    std::vector<std::pair<TVrCommErrorAt, int32_t>> Errors;
    Comm.SetOnError([&](TComponent*, TVrCommErrorAt At, int32_t Error, bool& Throw) {
        Errors.emplace_back(At, Error);
        Throw = false;
    });
    ASSERT_EQ(Comm.Open(), 0);
    Pty.WriteFar("\x13m"); // XOFF, and a byte that shows it was taken
    ASSERT_EQ(ReceiveAll(Comm, 1), "m");

    std::atomic<bool> Returned{false};
    int32_t Result = 0;
    std::thread Caller([&] {
        Result = Comm.SendChar('A');
        Returned = true;
    });
    const auto End = std::chrono::steady_clock::now() + 5s;
    while (!Returned && std::chrono::steady_clock::now() < End)
        std::this_thread::sleep_for(1ms);
    const bool ReturnedInTime = Returned;
    if (!ReturnedInTime)
        Pty.WriteFar("\x11"); // XON, which ends a wait
    Caller.join();
    ASSERT_TRUE(ReturnedInTime) << "SendChar waited for the far end";
    EXPECT_EQ(Result, EAGAIN);
    EXPECT_EQ(Errors, (std::vector<std::pair<TVrCommErrorAt, int32_t>>{{vcaSend, EAGAIN}}));

    // Released by XON, the line takes the byte again.
    Pty.WriteFar("\x11");
    Errors.clear();
    bool Sent = false;
    for (auto Until = std::chrono::steady_clock::now() + 5s;
         !Sent && std::chrono::steady_clock::now() < Until;)
        Sent = Comm.SendChar('B') == 0;
    EXPECT_TRUE(Sent);
    EXPECT_EQ(Pty.ReadFar(1), "B");
}

} // namespace
