// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ExecutablePath.h"
#include "SystemError.h"
#include "UserName.h"
#include "Utf.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {

TEST(ProcessInfoTest, ExecutablePathIsThisTestProgram) {
    const std::filesystem::path Path = ExecutablePath();
    ASSERT_TRUE(Path.is_absolute()) << Path;
    EXPECT_EQ(Path.filename(), "PlatformTest");
    EXPECT_TRUE(std::filesystem::is_regular_file(Path));
}

TEST(ProcessInfoTest, LogonUserNameIsTheEffectiveUsersName) {
    const passwd* Entry = getpwuid(geteuid());
    if (!Entry)
        GTEST_SKIP() << "this user has no entry in the user database";
    const auto Name = QueryLogonUserName();
    ASSERT_TRUE(Name.has_value());
    EXPECT_EQ(Utf16ToUtf8(*Name), Entry->pw_name);
}

TEST(ProcessInfoTest, LastSystemErrorReportsTheFailedCall) {
    std::FILE* F = std::fopen("/nonexistent-quadv-folder/file", "r");
    ASSERT_EQ(F, nullptr);
    EXPECT_EQ(LastSystemError(), ENOENT);
}

} // namespace
