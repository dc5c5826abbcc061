// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include <string>
#include <string_view>

// A named, process-wide token that tells a second copy of the program that
// the first one runs. Only existence matters: once created, the object exists
// until the creating process ends, whether or not it still owns it.
//
// On Linux the object is a lock file of that name in the user's runtime folder
// ($XDG_RUNTIME_DIR, else a folder /tmp/quadv-<uid> of mode 0700), held with a
// shared flock until the process ends; the kernel drops the lock when the
// process exits, however it ends. Names holding '/' or NUL, and "." and "..",
// are refused. Any thread may call these functions.

using TMutexHandle = void*; // opaque, nullptr = none

// True when some process (this one included) has created the mutex and has
// not yet ended. False when it does not exist or cannot be checked.
bool NamedMutexExists(std::u16string_view Name);

// Creates the mutex (or joins an existing one) and owns it. nullptr on
// failure, with LastSystemError() telling why.
TMutexHandle CreateNamedMutex(std::u16string_view Name);

// Gives up ownership. The object still exists until the process ends.
void ReleaseNamedMutex(TMutexHandle Handle);

// The name of a local socket through which the copies that share the mutex
// Name reach each other, as Qt's local sockets take it: on Linux the path of
// Name + ".sock" in the same runtime folder as the lock file; on Windows a
// pipe name that holds the logon session's number, so that sessions stay
// apart as the mutex does. Empty for a refused name or when there is no safe
// folder.
std::u16string NamedMutexSocketName(std::u16string_view Name);
