#include "PtyPair.h"
#include "VrComm.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/wait.h>

namespace {

// Reads what the line has delivered, polling until Count bytes or 5 s.
std::string ReceiveAll(TVrCustomComm& Comm, size_t Count) {
    std::string Got;
    for (int Tries = 0; Got.size() < Count && Tries < 5000; ++Tries) {
        char B[256];
        int32_t N = Comm.Receive(B, sizeof B);
        if (N > 0)
            Got.append(B, static_cast<size_t>(N));
        else
            ::usleep(1000);
    }
    return Got;
}

TEST(VrCommPty, TwoDigitPortOpensAndClosesThroughItsVariable) {
    TPtyPair Pty(12);
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

TEST(VrCommPty, BytesTravelBothWaysPlainAndOverlapped) {
    for (bool Overlapped : {false, true}) {
        SCOPED_TRACE(Overlapped ? "overlapped" : "plain");
        TPtyPair Pty(3);
        ASSERT_TRUE(Pty.Ok());
        TVrCustomComm Comm(nullptr);
        Comm.SetPortNumber(3);
        Comm.SetOverlapped(Overlapped);
        Comm.SetByteSize(vbs8Bits);
        Comm.SetBaudRate(115200);
        ASSERT_EQ(Comm.Open(), 0);
        EXPECT_EQ(Comm.GetBaudRate(), 115200);
        std::string Out(3000, '\0');
        for (size_t I = 0; I < Out.size(); ++I)
            Out[I] = static_cast<char>(I * 7 + 1);
        EXPECT_EQ(Comm.Send(Out.data(), static_cast<int32_t>(Out.size())), 3000);
        EXPECT_EQ(Pty.ReadFar(Out.size()), Out);
        Pty.WriteFar("from the far end\x01\xff");
        EXPECT_EQ(ReceiveAll(Comm, 18), "from the far end\x01\xff");
        EXPECT_EQ(Comm.Close(), 0);
    }
}

TEST(VrCommPty, IgnoreNullDropsNulBytes) {
    TPtyPair Pty(4);
    ASSERT_TRUE(Pty.Ok());
    TVrCustomComm Comm(nullptr);
    Comm.SetPortNumber(4);
    Comm.SetByteSize(vbs8Bits);
    Comm.SetIgnoreNull(true);
    ASSERT_EQ(Comm.Open(), 0);
    Pty.WriteFar(std::string("a\0b\0\0c", 6));
    EXPECT_EQ(ReceiveAll(Comm, 3), "abc");
}

TEST(VrCommPty, RefusedByteSizeReadsBackTheDevice) {
    TPtyPair Pty(5);
    ASSERT_TRUE(Pty.Ok());
    TVrCustomComm Comm(nullptr);
    Comm.SetPortNumber(5);
    Comm.SetByteSize(vbs8Bits);
    ASSERT_EQ(Comm.Open(), 0);
    int32_t Seen = 0;
    Comm.SetOnError([&](TComponent*, TVrCommErrorAt At, int32_t Error, bool& Throw) {
        EXPECT_EQ(At, vcaProperty);
        Seen = Error;
        Throw = false;
    });
    Comm.SetByteSize(vbs16Bits);
    EXPECT_EQ(Seen, EINVAL);
    EXPECT_EQ(Comm.GetByteSize(), vbs8Bits);
    Comm.SetStopBit(vsb1_5StopBits);
    EXPECT_EQ(Comm.GetStopBit(), vsb1StopBit);
    Comm.SetParityBit(vpbMark);
    EXPECT_EQ(Comm.GetParityBit(), vpbMark);
}

TEST(VrCommPty, MissingPortGivesTheOpenStageMessage) {
    ::setenv("VRCOMM_PORT41", "/nonexistent/tty", 1);
    TVrCustomComm Comm(nullptr);
    Comm.SetPortNumber(41);
    try {
        Comm.Open();
        FAIL() << "no exception";
    } catch (const EPropertyError& E) {
        EXPECT_EQ(std::string(E.what()), "開始 : " + Comm.Device().ErrorText(ENOENT));
    }
    EXPECT_FALSE(Comm.GetOpened());
    ::unsetenv("VRCOMM_PORT41");
}

TEST(VrCommPty, SecondOpenOfTheSamePortFailsCleanly) {
    TPtyPair Pty(6);
    ASSERT_TRUE(Pty.Ok());
    TVrCustomComm First(nullptr), Second(nullptr);
    First.SetPortNumber(6);
    Second.SetPortNumber(6);
    ASSERT_EQ(First.Open(), 0);
    Second.SetSuppressException(true);
    EXPECT_EQ(Second.Open(), EBUSY);
    EXPECT_FALSE(Second.GetOpened());
    EXPECT_EQ(First.Close(), 0);
    EXPECT_EQ(Second.Open(), 0);
}

// A separate process drives the port and echoes; this one is the far end.
TEST(VrCommPty, AnotherProcessTalksThroughThePort) {
    TPtyPair Pty(7);
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
