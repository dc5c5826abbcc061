// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "ExecutablePath.h"

#include <system_error>

std::filesystem::path ExecutablePath() {
    std::error_code Error;
    std::filesystem::path Path = std::filesystem::read_symlink("/proc/self/exe", Error);
    if (Error)
        return {};
    return Path;
}
