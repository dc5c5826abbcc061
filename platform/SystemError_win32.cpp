// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "SystemError.h"

#include "Utf.h"

#include <windows.h>

int LastSystemError() {
    return static_cast<int>(GetLastError());
}

std::string SystemErrorText(int Code) {
    wchar_t* Buffer = nullptr;
    const DWORD Length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(Code), 0, reinterpret_cast<wchar_t*>(&Buffer), 0, nullptr);
    std::string Text;
    if (Length != 0 && Buffer)
        Text = Utf16ToUtf8(std::u16string(Buffer, Buffer + Length));
    if (Buffer)
        LocalFree(Buffer);
    while (!Text.empty() && (static_cast<unsigned char>(Text.back()) <= 32 || Text.back() == '.'))
        Text.pop_back();
    if (Text.empty())
        Text = "system error " + std::to_string(Code);
    return Text;
}

int SystemErrorInvalidArgument() {
    return ERROR_INVALID_PARAMETER;
}

int SystemErrorBusy() {
    return ERROR_BUSY;
}

int SystemErrorTimedOut() {
    return ERROR_TIMEOUT;
}
