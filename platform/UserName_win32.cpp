#include "UserName.h"

#include <windows.h>

std::optional<std::u16string> QueryLogonUserName() {
    wchar_t Buffer[257] = {};
    DWORD Size = static_cast<DWORD>(std::size(Buffer));
    if (!GetUserNameW(Buffer, &Size) || Size == 0)
        return std::nullopt;
    // Size counts the terminating NUL.
    return std::u16string(Buffer, Buffer + Size - 1);
}
