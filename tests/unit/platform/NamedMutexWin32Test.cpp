// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

// The named mutex between two processes, the way the single-instance guard
// uses it: the test and NamedMutexProbe.exe, which sits next to it.

#include "platform/ExecutablePath.h"
#include "platform/NamedMutex.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

std::wstring UniqueName(const char* Purpose) {
    const std::string Name =
        std::string("QUADV-test-") + Purpose + "-" + std::to_string(GetCurrentProcessId());
    return std::wstring(Name.begin(), Name.end());
}

std::u16string To16(const std::wstring& Text) {
    return std::u16string(Text.begin(), Text.end());
}

// Starts the probe; the returned handle is the process, or null.
HANDLE StartProbe(const std::wstring& Command, const std::wstring& Name) {
    const std::wstring Probe = (ExecutablePath().parent_path() / "NamedMutexProbe.exe").wstring();
    std::wstring CommandLine = L"\"" + Probe + L"\" " + Command + L" " + Name;
    STARTUPINFOW Startup = {};
    Startup.cb = sizeof Startup;
    PROCESS_INFORMATION Process = {};
    if (!CreateProcessW(Probe.c_str(), CommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &Startup, &Process)) {
        ADD_FAILURE() << "cannot start " << ExecutablePath().parent_path() << "\\NamedMutexProbe.exe, error "
                      << GetLastError();
        return nullptr;
    }
    CloseHandle(Process.hThread);
    return Process.hProcess;
}

// Runs the probe to its end; its exit code, or -1.
int RunProbe(const std::wstring& Command, const std::wstring& Name) {
    const HANDLE Process = StartProbe(Command, Name);
    if (Process == nullptr) {
        return -1;
    }
    DWORD Code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(Process, 60000) != WAIT_OBJECT_0 || !GetExitCodeProcess(Process, &Code)) {
        Code = static_cast<DWORD>(-1);
    }
    CloseHandle(Process);
    return static_cast<int>(Code);
}

TEST(NamedMutexWin32Test, AnotherProcessSeesOurMutexEvenAfterItIsReleased) {
    const std::wstring Name = UniqueName("ours");
    EXPECT_EQ(RunProbe(L"exists", Name), 0);

    const TMutexHandle Mutex = CreateNamedMutex(To16(Name));
    ASSERT_NE(Mutex, nullptr) << GetLastError();
    EXPECT_EQ(RunProbe(L"exists", Name), 1);

    ReleaseNamedMutex(Mutex);
    EXPECT_EQ(RunProbe(L"exists", Name), 1) << "releasing must not end the object while its handle is open";
    CloseHandle(static_cast<HANDLE>(Mutex));
}

TEST(NamedMutexWin32Test, AnotherProcesssMutexLastsUntilThatProcessEnds) {
    const std::wstring Name = UniqueName("theirs");
    const HANDLE Ready = CreateEventW(nullptr, TRUE, FALSE, (Name + L"-ready").c_str());
    const HANDLE Quit = CreateEventW(nullptr, TRUE, FALSE, (Name + L"-quit").c_str());
    ASSERT_NE(Ready, nullptr);
    ASSERT_NE(Quit, nullptr);

    const HANDLE Probe = StartProbe(L"hold", Name);
    ASSERT_NE(Probe, nullptr);
    const HANDLE Waits[] = {Ready, Probe};
    ASSERT_EQ(WaitForMultipleObjects(2, Waits, FALSE, 60000), WAIT_OBJECT_0) << "the probe ended early";

    EXPECT_TRUE(NamedMutexExists(To16(Name)));

    SetEvent(Quit);
    ASSERT_EQ(WaitForSingleObject(Probe, 60000), WAIT_OBJECT_0);
    DWORD Code = 99;
    GetExitCodeProcess(Probe, &Code);
    EXPECT_EQ(Code, 0u);
    EXPECT_FALSE(NamedMutexExists(To16(Name))) << "the object ends with the last process that holds it";

    CloseHandle(Probe);
    CloseHandle(Quit);
    CloseHandle(Ready);
}

} // namespace
