#pragma once

#include <string>

// The calling thread's last system error code: errno on POSIX, GetLastError()
// on Windows.
int LastSystemError();

// The system's message for Code, in UTF-8, with trailing control characters,
// spaces and full stops removed. Never empty: an unknown code gives a text
// naming the number.
std::string SystemErrorText(int Code);
