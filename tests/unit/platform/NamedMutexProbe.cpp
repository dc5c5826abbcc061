// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

// A second process for the named-mutex tests.
//   NamedMutexProbe exists NAME  exit code 1 when NAME exists, else 0
//   NamedMutexProbe hold NAME    creates NAME, releases it (the handle stays
//                                open), sets the event NAME-ready and ends when
//                                the event NAME-quit is set
// Exit code 2: bad arguments or a failed call.

#include "platform/NamedMutex.h"

#include <windows.h>

#include <string>

int wmain(int Argc, wchar_t** Argv) {
    if (Argc != 3) {
        return 2;
    }
    const std::wstring Command = Argv[1];
    const std::wstring Name = Argv[2];
    const std::u16string Name16(Name.begin(), Name.end());
    if (Command == L"exists") {
        return NamedMutexExists(Name16) ? 1 : 0;
    }
    if (Command != L"hold") {
        return 2;
    }
    const HANDLE Ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, (Name + L"-ready").c_str());
    const HANDLE Quit = OpenEventW(SYNCHRONIZE, FALSE, (Name + L"-quit").c_str());
    const TMutexHandle Mutex = CreateNamedMutex(Name16);
    if (Ready == nullptr || Quit == nullptr || Mutex == nullptr) {
        return 2;
    }
    ReleaseNamedMutex(Mutex);
    SetEvent(Ready);
    return WaitForSingleObject(Quit, 60000) == WAIT_OBJECT_0 ? 0 : 2;
}
