// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <stdexcept>
#include <string>

// The player's one error type. Raised by the player's own code and by the
// media panes; each command of the window catches it where the command starts
// and shows the error display. The message is UTF-8 and names what failed and
// why. An error that wraps another is thrown with std::throw_with_nested, and
// the display shows the innermost non-empty message.
class EQuadvError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
