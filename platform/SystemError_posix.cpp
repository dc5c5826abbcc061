// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "SystemError.h"

#include <cerrno>
#include <cstring>

namespace {

// strerror_r comes in two flavours; overloads pick whichever the C library
// declares, without a preprocessor test.
[[maybe_unused]] const char* PickMessage(int Result, const char* Buffer) {
    return Result == 0 ? Buffer : nullptr;
}
[[maybe_unused]] const char* PickMessage(const char* Result, const char*) {
    return Result;
}

} // namespace

int LastSystemError() {
    return errno;
}

std::string SystemErrorText(int Code) {
    char Buffer[256] = {};
    const char* Message = PickMessage(strerror_r(Code, Buffer, sizeof Buffer), Buffer);
    std::string Text = Message ? Message : "";
    while (!Text.empty() && (static_cast<unsigned char>(Text.back()) <= 32 || Text.back() == '.'))
        Text.pop_back();
    if (Text.empty())
        Text = "system error " + std::to_string(Code);
    return Text;
}

int SystemErrorInvalidArgument() {
    return EINVAL;
}

int SystemErrorBusy() {
    return EBUSY;
}

int SystemErrorTimedOut() {
    return ETIMEDOUT;
}
