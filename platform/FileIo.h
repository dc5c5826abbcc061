// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include <filesystem>
#include <string>

// Whole-file reads and replacements for small configuration files. Any
// thread. Both return 0 on success or a system error code (errno on POSIX,
// GetLastError() on Windows); SystemErrorText names it.

// Reads the whole file while other writers are kept out: a shared advisory
// lock on POSIX, a share mode without FILE_SHARE_WRITE on Windows. A file
// that another process is writing (holds the exclusive lock) fails at once
// instead of being read half-written.
int ReadWholeFile(const std::filesystem::path& FileName, std::string& Bytes);

// Replaces the file's content with Bytes so that a crash, a full disk or a
// failed write never leaves it half-written: the bytes go to a temporary file
// in the same folder, are flushed, and the temporary file is renamed over the
// target. On failure the old file is unchanged and no temporary file is left.
int ReplaceWholeFile(const std::filesystem::path& FileName, const std::string& Bytes);
