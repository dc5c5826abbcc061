// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include <filesystem>

// The full path of the running program's executable file (on Linux the
// target of /proc/self/exe). An empty path when the system cannot tell.
std::filesystem::path ExecutablePath();
