// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

// commcat as its user runs it: a child process on one end of a line, fed
// through pipes, with the test as the far end.
#include "LinePair.h"
#include "platform/CommDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct TCommcat {
    pid_t Pid = -1;
    int In = -1;  // its standard input
    int Out = -1; // its standard output
    int Err = -1; // its standard error

    explicit TCommcat(const std::vector<std::string>& Args) {
        int I[2], O[2], E[2];
        if (::pipe2(I, O_CLOEXEC) != 0 || ::pipe2(O, O_CLOEXEC) != 0 || ::pipe2(E, O_CLOEXEC) != 0)
            return;
        Pid = ::fork();
        if (Pid == 0) {
            ::dup2(I[0], 0);
            ::dup2(O[1], 1);
            ::dup2(E[1], 2);
            std::vector<char*> Argv{const_cast<char*>(COMMCAT_PATH)};
            for (const auto& A : Args)
                Argv.push_back(const_cast<char*>(A.c_str()));
            Argv.push_back(nullptr);
            ::execv(COMMCAT_PATH, Argv.data());
            ::_exit(127);
        }
        ::close(I[0]);
        ::close(O[1]);
        ::close(E[1]);
        In = I[1];
        Out = O[0];
        Err = E[0];
    }
    ~TCommcat() {
        CloseInput();
        if (Pid > 0 && Wait() == -2) {
            ::kill(Pid, SIGKILL);
            ::waitpid(Pid, nullptr, 0);
        }
        ::close(Out);
        ::close(Err);
    }
    void CloseInput() {
        if (In >= 0)
            ::close(In);
        In = -1;
    }
    // Reads the stream until it holds Text, it ends, or 5 s pass.
    static std::string ReadUntil(int Fd, const std::string& Text) {
        std::string Got;
        while (Got.find(Text) == std::string::npos) {
            pollfd P{Fd, POLLIN, 0};
            if (::poll(&P, 1, 5000) <= 0)
                break;
            char B[256];
            ssize_t N = ::read(Fd, B, sizeof B);
            if (N <= 0)
                break;
            Got.append(B, static_cast<size_t>(N));
        }
        return Got;
    }
    // Everything the stream still brings, once the process has ended.
    static std::string ReadToEnd(int Fd) { return ReadUntil(Fd, std::string(1, '\0')); }
    // The exit code; -1 for a signal, -2 when it is still running after TimeoutMs.
    int Wait(int TimeoutMs = 10000) {
        for (int I = 0; I < TimeoutMs / 10; ++I) {
            int Status = 0;
            if (::waitpid(Pid, &Status, WNOHANG) == Pid) {
                Pid = -1;
                return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
            }
            ::usleep(10000);
        }
        return -2;
    }
};

TEST(Commcat, TalksBothWaysAndEndsWithItsInputOnceAllIsSent) {
    TLinePair Line(41);
    ASSERT_TRUE(Line.Ok());
    TCommcat Cat({std::to_string(Line.Port()), "--baud", "115200"});
    ASSERT_GT(Cat.Pid, 0);
    ASSERT_NE(TCommcat::ReadUntil(Cat.Err, "connected").find("connected to port 41"), std::string::npos);
    Line.WriteFar("from the far end\n");
    EXPECT_EQ(TCommcat::ReadUntil(Cat.Out, "\n"), "from the far end\n");

    std::string Near = "from the near end\n";
    Near += std::string(20000, 'n'); // more than the line takes at once
    ASSERT_EQ(::write(Cat.In, Near.data(), Near.size()), static_cast<ssize_t>(Near.size()));
    Cat.CloseInput();
    EXPECT_TRUE(Line.ReadFar(Near.size()) == Near);
    EXPECT_EQ(Cat.Wait(), 0);
}

TEST(Commcat, InterruptEndsItCleanly) {
    TLinePair Line(42);
    ASSERT_TRUE(Line.Ok());
    TCommcat Cat({std::to_string(Line.Port())});
    ASSERT_GT(Cat.Pid, 0);
    ASSERT_NE(TCommcat::ReadUntil(Cat.Err, "connected").find("connected"), std::string::npos);
    // Its echo of a far-end byte shows that it runs its loop.
    Line.WriteFar("x");
    ASSERT_EQ(TCommcat::ReadUntil(Cat.Out, "x"), "x");
    ::kill(Cat.Pid, SIGINT);
    EXPECT_EQ(Cat.Wait(), 0);
}

// What an ordinary user sees: the port opens again for the next run (the far
// end keeps the tty alive in between).
TEST(Commcat, ReopensItsPortForTheNextRun) {
    TLinePair Line(44);
    ASSERT_TRUE(Line.Ok());
    for (int Run = 0; Run < 2; ++Run) {
        SCOPED_TRACE(Run);
        TCommcat Cat({std::to_string(Line.Port())});
        ASSERT_GT(Cat.Pid, 0);
        const std::string Said = TCommcat::ReadUntil(Cat.Err, "\n");
        EXPECT_NE(Said.find("connected to port 44"), std::string::npos) << Said;
        Cat.CloseInput();
        EXPECT_EQ(Cat.Wait(), 0);
    }
}

TEST(Commcat, EndsWithAnErrorWhenTheFarEndHangsUp) {
    TLinePair Line(45);
    ASSERT_TRUE(Line.Ok());
    TCommcat Cat({std::to_string(Line.Port())});
    ASSERT_GT(Cat.Pid, 0);
    ASSERT_NE(TCommcat::ReadUntil(Cat.Err, "connected").find("connected"), std::string::npos);
    const auto Start = std::chrono::steady_clock::now();
    Line.HangUp();
    EXPECT_EQ(Cat.Wait(), 1);
    const auto Ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - Start)
            .count();
    RecordProperty("HangUpToExitMs", static_cast<int>(Ms));
    const std::string Said = TCommcat::ReadToEnd(Cat.Err);
    EXPECT_NE(Said.find("commcat: line error: io error\n"), std::string::npos) << Said;
    const std::string Failure = "commcat: port 45: その他 : " + SystemCommDevice()->ErrorText(EIO) + "\n";
    EXPECT_NE(Said.find(Failure), std::string::npos) << Said;
}

// As at a terminal: the user's input stays open and may still bring keys after
// the line has gone. The failure alone must end the program, and promptly.
TEST(Commcat, EndsWithinASecondOfAHangUpWhileItsInputStaysOpen) {
    TLinePair Line(46);
    ASSERT_TRUE(Line.Ok());
    TCommcat Cat({std::to_string(Line.Port())});
    ASSERT_GT(Cat.Pid, 0);
    ASSERT_NE(TCommcat::ReadUntil(Cat.Err, "connected").find("connected"), std::string::npos);
    // Traffic both ways first, so that the hang-up meets a loop that is busy
    // with its input, not one that has only ever idled.
    const std::string Typed = "typed before\n";
    ASSERT_EQ(::write(Cat.In, Typed.data(), Typed.size()), static_cast<ssize_t>(Typed.size()));
    ASSERT_EQ(Line.ReadFar(Typed.size()), Typed);
    Line.WriteFar("answer\n");
    ASSERT_EQ(TCommcat::ReadUntil(Cat.Out, "\n"), "answer\n");

    // The program may end before the late key reaches it: its pipe must not
    // kill the test.
    struct sigaction Ignore = {};
    struct sigaction Old = {};
    Ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &Ignore, &Old);
    const auto Start = std::chrono::steady_clock::now();
    Line.HangUp();
    const std::string Late = "typed after\n";
    [[maybe_unused]] const ssize_t W = ::write(Cat.In, Late.data(), Late.size());
    const int Code = Cat.Wait(1000);
    const auto Ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - Start)
            .count();
    ::sigaction(SIGPIPE, &Old, nullptr);
    RecordProperty("HangUpToExitMs", static_cast<int>(Ms));
    ASSERT_EQ(Code, 1) << "still running (-2) or ended otherwise, " << Ms << " ms after the hang-up";
    EXPECT_LT(Ms, 1000);
    // Which stage meets the failure first depends on the moment: the poll of
    // the line (その他), or the late key's write (送信).
    const std::string Said = TCommcat::ReadToEnd(Cat.Err);
    const size_t At = Said.find("commcat: port 46: ");
    ASSERT_NE(At, std::string::npos) << Said;
    const std::string Failure = Said.substr(At, Said.find('\n', At) - At);
    EXPECT_TRUE(Failure.ends_with(" : " + SystemCommDevice()->ErrorText(EIO))) << Said;
}

TEST(Commcat, BadArgumentsAndAMissingPortFailWithAMessage) {
    for (const std::vector<std::string>& Args :
         {std::vector<std::string>{}, {"0"}, {"3x"}, {"4", "--baud", "-1"}, {"4", "--flow", "rts"}}) {
        TCommcat Cat(Args);
        EXPECT_EQ(Cat.Wait(), 2) << (Args.empty() ? "no arguments" : Args.back());
        EXPECT_NE(TCommcat::ReadUntil(Cat.Err, "usage:").find("usage: commcat"), std::string::npos);
    }
    ::setenv("VRCOMM_PORT43", "/nonexistent/tty", 1);
    TCommcat Cat({"43"});
    EXPECT_EQ(Cat.Wait(), 1);
    EXPECT_NE(TCommcat::ReadUntil(Cat.Err, "\n").find("commcat: port 43: "), std::string::npos);
    ::unsetenv("VRCOMM_PORT43");
}

} // namespace
