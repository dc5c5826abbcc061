// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "PlatformExport.h"

#include <string>

/// @file
/// The system's error codes and their texts, the same calls on every system.
/// Every function may be called from any thread.

/// The calling thread's last system error code: errno on POSIX, GetLastError()
/// on Windows.
QUADRELLE_PLATFORM_EXPORT int LastSystemError();

/// The system's message for Code, in UTF-8, with trailing control characters,
/// spaces and full stops removed. Never empty: an unknown code gives a text
/// naming the number.
QUADRELLE_PLATFORM_EXPORT std::string SystemErrorText(int Code);

/// @name Codes for failures found by the program
/// The system's codes for failures that the program finds itself, so that they
/// read like the system's own: an argument out of range (EINVAL /
/// ERROR_INVALID_PARAMETER), something still in use (EBUSY / ERROR_BUSY), and a
/// wait that ran out (ETIMEDOUT / ERROR_TIMEOUT).
/**@{*/
/// EINVAL / ERROR_INVALID_PARAMETER: an argument out of range.
QUADRELLE_PLATFORM_EXPORT int SystemErrorInvalidArgument();
/// EBUSY / ERROR_BUSY: something still in use.
QUADRELLE_PLATFORM_EXPORT int SystemErrorBusy();
/// ETIMEDOUT / ERROR_TIMEOUT: a wait that ran out.
QUADRELLE_PLATFORM_EXPORT int SystemErrorTimedOut();
/**@}*/
