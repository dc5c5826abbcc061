// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "UserName.h"

#include <cwchar>
#include <windows.h>

std::optional<std::u16string> QueryLogonUserName() {
    // Longer names than 256 characters are reported as a failure, as the
    // program has always done.
    constexpr DWORD kCapacity = 256;
    wchar_t Buffer[kCapacity] = {};
    DWORD Size = kCapacity;
    if (!GetUserNameW(Buffer, &Size))
        return std::nullopt;
    // Size counts the terminating NUL on Windows; the terminator itself is the safer bound.
    const std::size_t Length = wcsnlen(Buffer, kCapacity);
    if (Length == 0)
        return std::nullopt;
    return std::u16string(Buffer, Buffer + Length);
}
