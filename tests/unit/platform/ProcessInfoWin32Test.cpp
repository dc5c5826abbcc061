// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ExecutablePath.h"
#include "SystemError.h"
#include "UserName.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <windows.h>

namespace {

TEST(ProcessInfoWin32Test, ExecutablePathIsThisTestProgram) {
    const std::filesystem::path Path = ExecutablePath();
    ASSERT_TRUE(Path.is_absolute()) << Path;
    EXPECT_EQ(Path.filename(), "PlatformTest.exe");
    EXPECT_TRUE(std::filesystem::is_regular_file(Path));
}

TEST(ProcessInfoWin32Test, LogonUserNameIsTheSessionsUser) {
    // Windows (and Wine, from the Unix user) puts the logon name into USERNAME.
    wchar_t Expected[256] = {};
    const DWORD Length = GetEnvironmentVariableW(L"USERNAME", Expected, 256);
    if (Length == 0 || Length >= 256)
        GTEST_SKIP() << "USERNAME is not set";
    const auto Name = QueryLogonUserName();
    ASSERT_TRUE(Name.has_value()) << "error " << LastSystemError();
    EXPECT_EQ(*Name, std::u16string(Expected, Expected + Length));
}

TEST(ProcessInfoWin32Test, LastSystemErrorReportsTheFailedCall) {
    const std::wstring Missing =
        (std::filesystem::temp_directory_path() / "quadv-no-such-file.txt").wstring();
    const HANDLE File =
        CreateFileW(Missing.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_EQ(File, INVALID_HANDLE_VALUE);
    EXPECT_EQ(LastSystemError(), ERROR_FILE_NOT_FOUND);
}

TEST(ProcessInfoWin32Test, SystemErrorTextIsTheSystemsMessage) {
    // The codes the serial family reports most; each has a text of its own.
    const int Codes[] = {ERROR_FILE_NOT_FOUND,    ERROR_ACCESS_DENIED, ERROR_NOT_SUPPORTED,
                         ERROR_INVALID_PARAMETER, ERROR_IO_PENDING,    ERROR_TIMEOUT};
    for (int Code : Codes) {
        SCOPED_TRACE(Code);
        const std::string Text = SystemErrorText(Code);
        EXPECT_EQ(Text.find("system error"), std::string::npos) << Text;
        EXPECT_EQ(Text.find_first_of("\r\n"), std::string::npos) << Text;
        for (int Other : Codes) {
            if (Other != Code) {
                EXPECT_NE(Text, SystemErrorText(Other));
            }
        }
    }
    // A code the system has no text for still gives one, naming the number.
    EXPECT_EQ(SystemErrorText(0x2000ABCD), "system error " + std::to_string(0x2000ABCD));
}

} // namespace
