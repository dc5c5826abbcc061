// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SystemError.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(SystemErrorTest, TextHasNoTrailingSpacesControlsOrFullStops) {
    for (int Code : {ENOENT, EACCES, EBUSY, EIO, 0, 99999}) {
        SCOPED_TRACE(Code);
        const std::string Text = SystemErrorText(Code);
        ASSERT_FALSE(Text.empty());
        const unsigned char Last = static_cast<unsigned char>(Text.back());
        EXPECT_GT(Last, 32u);
        EXPECT_NE(Last, '.');
    }
    // Distinct codes give distinct texts.
    EXPECT_NE(SystemErrorText(ENOENT), SystemErrorText(EACCES));
}

} // namespace
