// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "IniStore.h"
#include "QuadvError.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class IniStoreLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        FDir =
            fs::temp_directory_path() /
            ("quadv-inilock-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(FDir);
        fs::create_directories(FDir);
        FFile = FDir / "settings.ini";
        static constexpr char kBytes[] = "\xFF\xFE[\0M\0]\0\r\0\n\0X\0=\0"
                                         "5\0\r\0\n\0";
        std::ofstream(FFile, std::ios::binary) << std::string(kBytes, sizeof kBytes - 1);
        FOriginal = Read();
    }
    void TearDown() override { fs::remove_all(FDir); }
    std::string Read() const {
        std::ifstream in(FFile, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    fs::path FDir, FFile;
    std::string FOriginal;
};

TEST_F(IniStoreLockTest, AFileBeingWrittenElsewhereCannotBeOpened) {
    // flock belongs to the open file description, so a second descriptor in
    // this process stands in for another process writing the file.
    const int fd = ::open(FFile.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_THROW(TIniStore store(FFile), EQuadvError);
    ::close(fd);
    EXPECT_EQ(TIniStore(FFile).ReadInteger(u"M", u"X", 0), 5);
}

TEST_F(IniStoreLockTest, AWriteThatFailsHalfWayLeavesTheOldFileByteForByte) {
    // A file-size limit makes the write fail after its first bytes, as a full
    // disk would; the child reports whether the store raised.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            TIniStore store(FFile);
            store.WriteString(u"M", u"Dir", std::u16string(200, u'a'));
            store.UpdateFile();
        } catch (const EQuadvError&) {
            ::_exit(0);
        }
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed write was not reported";
    EXPECT_EQ(Read(), FOriginal);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(FDir), fs::directory_iterator()), 1);
}

TEST_F(IniStoreLockTest, AReplacedFileKeepsItsPermissions) {
    fs::permissions(FFile, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    TIniStore store(FFile);
    store.WriteInteger(u"M", u"X", 6);
    store.UpdateFile();
    EXPECT_EQ(fs::status(FFile).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(TIniStore(FFile).ReadInteger(u"M", u"X", 0), 6);
}

} // namespace
