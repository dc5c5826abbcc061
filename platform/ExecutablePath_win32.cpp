// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "ExecutablePath.h"

#include <string>
#include <windows.h>

std::filesystem::path ExecutablePath() {
    std::wstring Buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD Length = GetModuleFileNameW(nullptr, Buffer.data(), static_cast<DWORD>(Buffer.size()));
        if (Length == 0)
            return {};
        if (Length < Buffer.size()) {
            Buffer.resize(Length);
            return Buffer;
        }
        if (Buffer.size() >= 32768)
            return {};
        Buffer.resize(Buffer.size() * 2);
    }
}
