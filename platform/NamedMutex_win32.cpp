// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "NamedMutex.h"

#include <string>
#include <windows.h>

bool NamedMutexExists(std::u16string_view Name) {
    const std::wstring WideName(Name.begin(), Name.end());
    HANDLE Handle = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, WideName.c_str());
    if (!Handle)
        return false;
    CloseHandle(Handle);
    return true;
}

TMutexHandle CreateNamedMutex(std::u16string_view Name) {
    const std::wstring WideName(Name.begin(), Name.end());
    // The handle stays open until the process ends, which keeps the object.
    return CreateMutexW(nullptr, TRUE, WideName.c_str());
}

void ReleaseNamedMutex(TMutexHandle Handle) {
    if (Handle)
        ReleaseMutex(static_cast<HANDLE>(Handle));
}

std::u16string NamedMutexSocketName(std::u16string_view Name) {
    DWORD Session = 0;
    if (Name.empty() || Name.find(u'\\') != std::u16string_view::npos ||
        !ProcessIdToSessionId(GetCurrentProcessId(), &Session))
        return {};
    const std::string Number = std::to_string(Session);
    std::u16string Result(Name);
    Result += u".sock-";
    Result.append(Number.begin(), Number.end());
    return Result;
}
