#pragma once

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
