// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

// The developer guide's examples, run as their reader runs them: the serial
// ones over a pseudo-terminal pair with the test as the far end, the trash one
// in a home of its own, the list box offscreen.
#include "LinePair.h"
#include "platform/SystemError.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A guide example as a child process with its output on pipes and its input
// at end of file.
struct TExample {
    pid_t Pid = -1;
    int Out = -1;
    int Err = -1;

    TExample(const std::string& Path, const std::vector<std::string>& Args,
             const std::vector<std::pair<std::string, std::string>>& Env = {}) {
        int O[2], E[2];
        if (::pipe2(O, O_CLOEXEC) != 0 || ::pipe2(E, O_CLOEXEC) != 0)
            return;
        Pid = ::fork();
        if (Pid == 0) {
            const int Null = ::open("/dev/null", O_RDONLY);
            ::dup2(Null, 0);
            ::dup2(O[1], 1);
            ::dup2(E[1], 2);
            for (const auto& [Name, Value] : Env)
                ::setenv(Name.c_str(), Value.c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            std::vector<char*> Argv{const_cast<char*>(Path.c_str())};
            for (const auto& A : Args)
                Argv.push_back(const_cast<char*>(A.c_str()));
            Argv.push_back(nullptr);
            ::execv(Path.c_str(), Argv.data());
            ::_exit(127);
        }
        ::close(O[1]);
        ::close(E[1]);
        Out = O[0];
        Err = E[0];
    }
    ~TExample() {
        if (Pid > 0 && Wait() == -2) {
            ::kill(Pid, SIGKILL);
            ::waitpid(Pid, nullptr, 0);
        }
        ::close(Out);
        ::close(Err);
    }
    // Reads the stream until it holds Text, it ends, or 10 s pass.
    static std::string ReadUntil(int Fd, const std::string& Text) {
        std::string Got;
        while (Got.find(Text) == std::string::npos) {
            pollfd P{Fd, POLLIN, 0};
            if (::poll(&P, 1, 10000) <= 0)
                break;
            char B[256];
            const ssize_t N = ::read(Fd, B, sizeof B);
            if (N <= 0)
                break;
            Got.append(B, static_cast<size_t>(N));
        }
        return Got;
    }
    static std::string ReadToEnd(int Fd) { return ReadUntil(Fd, std::string(1, '\0')); }
    // The exit code; -1 for a signal, -2 when it still runs after TimeoutMs.
    int Wait(int TimeoutMs = 15000) {
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

struct TSerialExample {
    const char* Path;
    int Port;
};

void PrintTo(const TSerialExample& Example, std::ostream* Out) {
    *Out << fs::path(Example.Path).filename().string() << " on port " << Example.Port;
}

class GuideSerialExample : public testing::TestWithParam<TSerialExample> {};

TEST_P(GuideSerialExample, AnswersEachLineOnItsOwnThreadAndEndsOnBye) {
    TLinePair Line(GetParam().Port);
    ASSERT_TRUE(Line.Ok());
    TExample Example(GetParam().Path, {std::to_string(Line.Port())});
    ASSERT_GT(Example.Pid, 0);
    const std::string Opened = TExample::ReadUntil(Example.Out, "\n");
    ASSERT_EQ(Opened, "open: port " + std::to_string(Line.Port()) + "\n") << TExample::ReadToEnd(Example.Err);

    // Two lines in one write, the second in two parts: answers follow lines,
    // not reads.
    Line.WriteFar("hello\r\nsecond ");
    EXPECT_EQ(Line.ReadFar(11), "got: hello\n");
    Line.WriteFar("line\n");
    EXPECT_EQ(Line.ReadFar(17), "got: second line\n");
    Line.WriteFar("bye\n");
    EXPECT_EQ(Line.ReadFar(9), "got: bye\n");

    EXPECT_EQ(Example.Wait(), 0);
    EXPECT_EQ(TExample::ReadToEnd(Example.Out),
              "received: hello\nreceived: second line\nreceived: bye\nclosed\n");
}

TEST_P(GuideSerialExample, ReportsAPortThatCannotBeOpened) {
    const int Port = GetParam().Port + 1;
    TExample Example(GetParam().Path, {std::to_string(Port)},
                     {{"VRCOMM_PORT" + std::to_string(Port), "/nonexistent/tty"}});
    ASSERT_GT(Example.Pid, 0);
    EXPECT_EQ(Example.Wait(), 1);
    const std::string Said = TExample::ReadToEnd(Example.Err);
    EXPECT_NE(Said.find("port " + std::to_string(Port) + ": "), std::string::npos) << Said;
    EXPECT_NE(Said.find(SystemErrorText(ENOENT)), std::string::npos) << Said;
    EXPECT_EQ(TExample::ReadToEnd(Example.Out), "");
}

INSTANTIATE_TEST_SUITE_P(PollAndQt, GuideSerialExample,
                         testing::Values(TSerialExample{GUIDE_SERIAL_POLL, 61},
                                         TSerialExample{GUIDE_SERIAL_QT, 63}),
                         [](const testing::TestParamInfo<TSerialExample>& Info) {
                             return Info.index == 0 ? std::string("Poll") : std::string("Qt");
                         });

// A folder of its own for the trash test, removed afterwards.
struct TScratch {
    fs::path Root;
    TScratch() {
        std::string Pattern = (fs::temp_directory_path() / "quadv-guide-XXXXXX").string();
        if (::mkdtemp(Pattern.data()))
            Root = Pattern;
    }
    ~TScratch() {
        std::error_code Ec;
        if (!Root.empty())
            fs::remove_all(Root, Ec);
    }
};

// A path as a trash info file records it.
std::string PercentEncoded(const std::string& Path) {
    std::string Out;
    for (unsigned char C : Path) {
        if (std::isalnum(C) || C == '/' || C == '-' || C == '_' || C == '.' || C == '~') {
            Out += static_cast<char>(C);
        } else {
            char Hex[4];
            std::snprintf(Hex, sizeof Hex, "%%%02X", C);
            Out += Hex;
        }
    }
    return Out;
}

std::string ReadFile(const fs::path& Path) {
    std::ifstream In(Path, std::ios::binary);
    std::ostringstream S;
    S << In.rdbuf();
    return S.str();
}

TEST(GuideTrashUndo, RestoresTheFileAndLeavesTheTrashEmpty) {
    TScratch Scratch;
    ASSERT_FALSE(Scratch.Root.empty());
    const fs::path Data = Scratch.Root / "data", Runtime = Scratch.Root / "runtime";
    fs::create_directories(Scratch.Root / "home");
    fs::create_directories(Runtime);
    fs::permissions(Runtime, fs::perms::owner_all);
    // A name that the trash's info file must percent-encode.
    const fs::path File = Scratch.Root / "notes ü, 100%.txt";
    std::ofstream(File) << "keep me\n";
    // An older entry for the same path: the undo takes the newest.
    fs::create_directories(Data / "Trash/files");
    fs::create_directories(Data / "Trash/info");
    std::ofstream(Data / "Trash/files/older") << "older\n";
    std::ofstream(Data / "Trash/info/older.trashinfo")
        << "[Trash Info]\nPath=" << PercentEncoded(File.string()) << "\nDeletionDate=2001-01-01T00:00:00\n";

    TExample Example(GUIDE_TRASH_UNDO, {File.string()},
                     {{"HOME", (Scratch.Root / "home").string()},
                      {"XDG_DATA_HOME", Data.string()},
                      {"XDG_RUNTIME_DIR", Runtime.string()}});
    ASSERT_GT(Example.Pid, 0);
    EXPECT_EQ(Example.Wait(), 0) << TExample::ReadToEnd(Example.Err);
    const std::string Out = TExample::ReadToEnd(Example.Out);
    EXPECT_EQ(Out, "deleted: " + File.string() + " exists: no\n" + //
                       "in the trash: files/notes ü, 100%.txt\n" + //
                       "restored: " + File.string() + " exists: yes\n");
    EXPECT_EQ(ReadFile(File), "keep me\n");
    // Only the older entry is left.
    std::vector<std::string> Left;
    for (const auto& Entry : fs::recursive_directory_iterator(Data / "Trash"))
        if (Entry.is_regular_file())
            Left.push_back(fs::relative(Entry.path(), Data / "Trash").string());
    std::sort(Left.begin(), Left.end());
    EXPECT_EQ(Left, (std::vector<std::string>{"files/older", "info/older.trashinfo"}));
}

TEST(GuideListBoxExtent, ExtentFollowsTheWidestItemAndTheScrollBarFollowsTheExtent) {
    TExample Example(GUIDE_LISTBOX_EXTENT, {});
    ASSERT_GT(Example.Pid, 0);
    EXPECT_EQ(Example.Wait(), 0) << TExample::ReadToEnd(Example.Err);
    const std::string Out = TExample::ReadToEnd(Example.Out);
    const std::regex Row(
        R"(([a-z ]+): items (\d+), widest (\d+), extent (\d+), scroll bar (shown|hidden)\n)");
    struct TStep {
        std::string Name;
        int Items, Widest, Extent;
        bool Shown;
    };
    std::vector<TStep> Steps;
    for (std::sregex_iterator It(Out.begin(), Out.end(), Row), End; It != End; ++It)
        Steps.push_back(
            {(*It)[1], std::stoi((*It)[2]), std::stoi((*It)[3]), std::stoi((*It)[4]), (*It)[5] == "shown"});
    ASSERT_EQ(Steps.size(), 6u) << Out;
    const int Space = 8, Width = 240; // as the example sets them
    for (const TStep& S : Steps) {
        SCOPED_TRACE(S.Name);
        EXPECT_EQ(S.Extent, S.Widest + Space);
        // The frame takes a little of the width: only an extent well past it
        // or well inside it is certain.
        if (S.Extent > Width) {
            EXPECT_TRUE(S.Shown);
        }
        if (S.Extent < Width - 20) {
            EXPECT_FALSE(S.Shown);
        }
    }
    EXPECT_EQ(Steps[0].Widest, 0);
    EXPECT_GT(Steps[1].Widest, 0);
    EXPECT_GT(Steps[2].Widest, Steps[1].Widest);
    EXPECT_GT(Steps[3].Widest, Width); // the widest item does not fit
    EXPECT_TRUE(Steps[3].Shown);
    // Deleting the widest measures the rest again; clearing leaves the margin.
    EXPECT_EQ(Steps[4].Items, 2);
    EXPECT_EQ(Steps[4].Widest, Steps[2].Widest);
    EXPECT_EQ(Steps[5].Items, 0);
    EXPECT_EQ(Steps[5].Extent, Space);
}

} // namespace
