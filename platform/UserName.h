// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include <optional>
#include <string>

// The name of the user the program runs as (the effective user on POSIX).
// nullopt when the system cannot tell, with LastSystemError() telling why
// where the system gives a reason. Any thread may call it.
std::optional<std::u16string> QueryLogonUserName();
