// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LinePair.h"
#include "PumpNotifications.h"
#include "ReceiveAll.h"
#include "VrComm.h"
#include "platform/NotifyChannel.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <sys/wait.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

// The POSIX device layer's own ways: ports named by variables, a second
// process on the line, a far end that goes away, exclusive use and held output.

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

double ProcessCpuSeconds() {
    timespec T{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
    return static_cast<double>(T.tv_sec) + static_cast<double>(T.tv_nsec) / 1e9;
}

// Delivers notifications for Duration; what a handler raises is collected.
std::vector<std::string> PumpFor(std::chrono::milliseconds Duration) {
    std::vector<std::string> Raised;
    const auto End = std::chrono::steady_clock::now() + Duration;
    while (std::chrono::steady_clock::now() < End) {
        try {
            DrainNotifications(5);
        } catch (const EPropertyError& E) {
            Raised.emplace_back(E.what());
        }
    }
    return Raised;
}

TEST(VrCommPtyPosix, TwoDigitPortOpensAndClosesThroughItsVariable) {
    TLinePair Pty(12);
    ASSERT_TRUE(Pty.Ok());
    TVrCustomComm Comm(nullptr);
    Comm.SetPortNumber(12);
    ASSERT_EQ(Comm.Open(), 0);
    EXPECT_TRUE(Comm.GetOpened());
    EXPECT_NE(Comm.GetHandle(), kInvalidCommHandle);
    uint32_t Status = 123;
    EXPECT_EQ(Comm.GetModemStatus(Status), 0); // a pty has no modem lines: all off
    EXPECT_EQ(Status, 0u);
    EXPECT_EQ(Comm.Close(), 0);
    EXPECT_FALSE(Comm.GetOpened());
}

TEST(VrCommPtyPosix, AnotherProcessTalksThroughThePort) {
    TLinePair Pty(7);
    ASSERT_TRUE(Pty.Ok());
    pid_t Child = ::fork();
    ASSERT_GE(Child, 0);
    if (Child == 0) {
        TVrCustomComm Comm(nullptr);
        Comm.SetPortNumber(7);
        Comm.SetByteSize(vbs8Bits);
        Comm.SetSuppressException(true);
        if (Comm.Open() != 0)
            ::_exit(2);
        const char Hello[] = "ready\n";
        Comm.Send(Hello, 6);
        std::string Line = ReceiveAll(Comm, 5);
        for (char& C : Line)
            C = static_cast<char>(C - 32);
        Comm.Send(Line.data(), static_cast<int32_t>(Line.size()));
        // Closing purges the output; wait until the far end confirms it read it.
        ReceiveAll(Comm, 1);
        Comm.Close();
        ::_exit(Line == "HELLO" ? 0 : 3);
    }
    EXPECT_EQ(Pty.ReadFar(6), "ready\n");
    Pty.WriteFar("hello");
    EXPECT_EQ(Pty.ReadFar(5), "HELLO");
    Pty.WriteFar(".");
    int Status = 0;
    ::waitpid(Child, &Status, 0);
    EXPECT_TRUE(WIFEXITED(Status));
    EXPECT_EQ(WEXITSTATUS(Status), 0);
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

// The far end goes away for good. The owner hears of it once, on its own
// thread, through both OnLineError and OnError; the worker neither dies nor
// spins; Close still succeeds.
TEST(VrCommPtyPosix, HungUpLineIsToldOnceOnTheOwnersThreadAndCloses) {
    for (bool Handled : {true, false}) {
        SCOPED_TRACE(Handled ? "OnError clears ThrowException" : "default handling");
        TLinePair Pty(16);
        ASSERT_TRUE(Pty.Ok());
        TVrThreadedComm Comm(nullptr);
        Comm.SetPortNumber(16);
        Comm.SetByteSize(vbs8Bits);
        const auto Owner = std::this_thread::get_id();
        bool OnOwner = true;
        std::vector<TVrCommEvents> LineErrors;
        std::vector<std::pair<TVrCommErrorAt, int32_t>> Errors;
        int Closes = 0;
        Comm.SetOnLineError([&](TComponent*, TVrCommEvents E) {
            OnOwner = OnOwner && std::this_thread::get_id() == Owner;
            LineErrors.push_back(E);
        });
        if (Handled)
            Comm.SetOnError([&](TComponent*, TVrCommErrorAt At, int32_t Error, bool& Throw) {
                OnOwner = OnOwner && std::this_thread::get_id() == Owner;
                Errors.emplace_back(At, Error);
                Throw = false;
            });
        Comm.SetOnClose([&](TComponent*) { ++Closes; });
        ASSERT_EQ(Comm.Open(), 0);
        Pty.HangUp();
        std::vector<std::string> Raised;
        const auto End = std::chrono::steady_clock::now() + 5s;
        while ((LineErrors.empty() || (Handled ? Errors.empty() : Raised.empty())) &&
               std::chrono::steady_clock::now() < End) {
            auto More = PumpFor(5ms);
            Raised.insert(Raised.end(), More.begin(), More.end());
        }
        // Then a while of nothing, in which neither thread may spin: a worker
        // and an owner that pass the same error back and forth take two cores.
        const double Cpu = ProcessCpuSeconds();
        const auto Start = std::chrono::steady_clock::now();
        auto More = PumpFor(500ms);
        Raised.insert(Raised.end(), More.begin(), More.end());
        const double Wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
        const double Used = ProcessCpuSeconds() - Cpu;
        EXPECT_LT(Used, Wall / 5) << Used << " s of CPU time in " << Wall << " s";
        RecordProperty(Handled ? "CpuShareHandled" : "CpuShareDefault", std::to_string(Used / Wall));

        ASSERT_EQ(LineErrors.size(), 1u);
        EXPECT_TRUE(LineErrors[0].Contains(vevErrIo));
        EXPECT_TRUE(LineErrors[0].Contains(vevError));
        if (Handled) {
            EXPECT_EQ(Errors, (std::vector<std::pair<TVrCommErrorAt, int32_t>>{{vcaOther, EIO}}));
            EXPECT_TRUE(Raised.empty());
        } else {
            EXPECT_EQ(Raised, std::vector<std::string>{"その他 : " + Comm.Device().ErrorText(EIO)});
        }
        EXPECT_TRUE(OnOwner);
        EXPECT_NE(Comm.GetThreadId(), 0u); // still running
        EXPECT_TRUE(Comm.GetOpened());
        EXPECT_EQ(Comm.Close(), 0);
        EXPECT_EQ(Closes, 1);
        EXPECT_EQ(Comm.GetThreadId(), 0u);
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
