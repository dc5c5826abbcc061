// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "NamedMutex.h"
#include "Utf.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The helper program as a second process, talked to through two pipes.
class TPeer {
public:
    TPeer() {
        int ToChild[2], FromChild[2];
        if (pipe(ToChild) != 0 || pipe(FromChild) != 0)
            throw std::runtime_error("pipe failed");
        FPid = fork();
        if (FPid < 0)
            throw std::runtime_error("fork failed");
        if (FPid == 0) {
            dup2(ToChild[0], 0);
            dup2(FromChild[1], 1);
            close(ToChild[0]);
            close(ToChild[1]);
            close(FromChild[0]);
            close(FromChild[1]);
            execl(NAMED_MUTEX_HELPER, NAMED_MUTEX_HELPER, static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ToChild[0]);
        close(FromChild[1]);
        FIn = fdopen(ToChild[1], "w");
        FOut = fdopen(FromChild[0], "r");
    }
    ~TPeer() {
        if (FPid > 0)
            Quit();
    }
    std::string Ask(const std::string& Command) {
        std::fprintf(FIn, "%s\n", Command.c_str());
        std::fflush(FIn);
        char Line[64] = {};
        if (!std::fgets(Line, sizeof Line, FOut))
            return "<no answer>";
        std::string Answer = Line;
        while (!Answer.empty() && Answer.back() == '\n')
            Answer.pop_back();
        return Answer;
    }
    // Ends the process and waits until it is gone.
    int Quit() {
        std::fprintf(FIn, "quit\n");
        std::fclose(FIn);
        std::fclose(FOut);
        int Status = 0;
        waitpid(FPid, &Status, 0);
        FPid = -1;
        return Status;
    }

private:
    pid_t FPid = -1;
    FILE* FIn = nullptr;
    FILE* FOut = nullptr;
};

// Every test gets a runtime folder of its own, so the machine's real lock
// files are never touched.
class NamedMutexTest : public ::testing::Test {
protected:
    void SetUp() override {
        char Template[] = "/tmp/quadv-mutex-test-XXXXXX";
        ASSERT_NE(mkdtemp(Template), nullptr);
        FDir = Template;
        const char* Old = std::getenv("XDG_RUNTIME_DIR");
        FHadOld = Old != nullptr;
        if (Old)
            FOld = Old;
        setenv("XDG_RUNTIME_DIR", FDir.c_str(), 1);
    }
    void TearDown() override {
        if (FHadOld)
            setenv("XDG_RUNTIME_DIR", FOld.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        std::error_code Ignored;
        fs::permissions(FDir, fs::perms::owner_all, Ignored);
        fs::remove_all(FDir, Ignored);
    }
    fs::path FDir;
    std::string FOld;
    bool FHadOld = false;
};

TEST_F(NamedMutexTest, OtherProcessSeesCreationReleaseAndEnd) {
    TPeer Owner;
    EXPECT_FALSE(NamedMutexExists(u"QUADV"));
    ASSERT_EQ(Owner.Ask("create QUADV"), "ok");
    EXPECT_TRUE(fs::is_regular_file(FDir / "QUADV"));
    EXPECT_TRUE(NamedMutexExists(u"QUADV"));

    // The test is for existence: a released mutex lives on with its process.
    ASSERT_EQ(Owner.Ask("release"), "ok");
    EXPECT_TRUE(NamedMutexExists(u"QUADV"));
    TPeer Observer;
    EXPECT_EQ(Observer.Ask("exists QUADV"), "yes");

    const int Status = Owner.Quit();
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0);
    // The file is left behind, but nobody holds it any more.
    EXPECT_TRUE(fs::exists(FDir / "QUADV"));
    EXPECT_FALSE(NamedMutexExists(u"QUADV"));
    EXPECT_EQ(Observer.Ask("exists QUADV"), "no");
}

TEST_F(NamedMutexTest, OwnProcessCreationIsSeenByOthersAndByItself) {
    TMutexHandle Handle = CreateNamedMutex(u"QUADV-own");
    ASSERT_NE(Handle, nullptr);
    EXPECT_TRUE(NamedMutexExists(u"QUADV-own"));
    ReleaseNamedMutex(Handle);
    TPeer Observer;
    EXPECT_EQ(Observer.Ask("exists QUADV-own"), "yes");
    // A second creator joins the existing mutex instead of failing.
    EXPECT_EQ(Observer.Ask("create QUADV-own"), "ok");
}

TEST_F(NamedMutexTest, ExistenceTestCreatesNothing) {
    EXPECT_FALSE(NamedMutexExists(u"QUADV-probe"));
    EXPECT_FALSE(fs::exists(FDir / "QUADV-probe"));
    // A second probe must not be fooled by anything the first left behind.
    EXPECT_FALSE(NamedMutexExists(u"QUADV-probe"));
}

TEST_F(NamedMutexTest, UnsafeNamesAreRefused) {
    const std::u16string Names[] = {
        u"", u".", u"..", u"../QUADV-escaped", u"a/b", std::u16string(u"a\0b", 3)};
    for (const std::u16string& Name : Names) {
        SCOPED_TRACE(Utf16ToUtf8(Name));
        EXPECT_EQ(CreateNamedMutex(Name), nullptr);
        EXPECT_FALSE(NamedMutexExists(Name));
    }
    EXPECT_FALSE(fs::exists(FDir.parent_path() / "QUADV-escaped"));
}

TEST_F(NamedMutexTest, NonRegularFileOfTheNameIsNotAMutex) {
    fs::create_directory(FDir / "QUADV-dir");
    EXPECT_FALSE(NamedMutexExists(u"QUADV-dir"));
    EXPECT_EQ(CreateNamedMutex(u"QUADV-dir"), nullptr);
    // A symbolic link is never followed, even to a held lock file.
    ASSERT_NE(CreateNamedMutex(u"QUADV-target"), nullptr);
    fs::create_symlink(FDir / "QUADV-target", FDir / "QUADV-link");
    EXPECT_FALSE(NamedMutexExists(u"QUADV-link"));
}

TEST_F(NamedMutexTest, UnsafeRuntimeFolderFallsBackToPrivateTmpFolder) {
    // A folder that others may write to is not used.
    fs::permissions(FDir, fs::perms::all);
    ASSERT_NE(CreateNamedMutex(u"QUADV-fallback"), nullptr);
    EXPECT_FALSE(fs::exists(FDir / "QUADV-fallback"));
    const fs::path Private = "/tmp/quadv-" + std::to_string(geteuid());
    struct stat St {};
    ASSERT_EQ(lstat(Private.c_str(), &St), 0);
    EXPECT_TRUE(S_ISDIR(St.st_mode));
    EXPECT_EQ(St.st_mode & 0777, 0700u);
    EXPECT_EQ(St.st_uid, geteuid());
    EXPECT_TRUE(fs::is_regular_file(Private / "QUADV-fallback"));

    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_TRUE(NamedMutexExists(u"QUADV-fallback"));
    TPeer Observer;
    EXPECT_EQ(Observer.Ask("exists QUADV-fallback"), "yes");
}

TEST_F(NamedMutexTest, SocketNameLivesBesideTheLock) {
    EXPECT_EQ(fs::path(NamedMutexSocketName(u"QUADV")), FDir / "QUADV.sock");
    ASSERT_NE(CreateNamedMutex(u"QUADV"), nullptr);
    EXPECT_TRUE(fs::is_regular_file(fs::path(NamedMutexSocketName(u"QUADV")).parent_path() / "QUADV"));
    // Asking for the name creates nothing.
    EXPECT_FALSE(fs::exists(FDir / "QUADV.sock"));

    for (const std::u16string& Name : {std::u16string(), std::u16string(u".."), std::u16string(u"a/b")})
        EXPECT_TRUE(NamedMutexSocketName(Name).empty()) << Utf16ToUtf8(Name);

    // An unsafe runtime folder is passed over for the same private folder
    // that the lock then uses.
    fs::permissions(FDir, fs::perms::all);
    const fs::path Private = "/tmp/quadv-" + std::to_string(geteuid());
    EXPECT_EQ(fs::path(NamedMutexSocketName(u"QUADV")), Private / "QUADV.sock");
}

} // namespace
