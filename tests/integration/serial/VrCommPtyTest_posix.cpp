#include "LinePair.h"
#include "ReceiveAll.h"
#include "VrComm.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

// The POSIX device layer's own ways: ports named by variables, and a second
// process on the line.

namespace {

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
