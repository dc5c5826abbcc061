// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SnapToWorkArea.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

// A 1920 x 1080 screen with a 40-pixel taskbar at the bottom.
constexpr TScreenRect kWorkArea{0, 0, 1920, 1040};

struct TSnapRow {
    const char* Name;
    bool Modifier;
    TScreenRect Window;
    bool Snapped;
    int Left;
    int Top;
};

void PrintTo(const TSnapRow& Row, std::ostream* Out) {
    *Out << Row.Name;
}

class SnapToWorkAreaTest : public ::testing::TestWithParam<TSnapRow> {};

TEST_P(SnapToWorkAreaTest, LandsWhereExpected) {
    const TSnapRow& row = GetParam();
    const TSnapResult r = SnapToWorkArea(row.Modifier, row.Window, kWorkArea);
    ASSERT_EQ(r.Snapped, row.Snapped);
    if (!r.Snapped)
        return;
    EXPECT_EQ(r.Left, row.Left);
    EXPECT_EQ(r.Top, row.Top);
    // Only the position changes; the size is the window's own.
    EXPECT_EQ(r.Width, row.Window.Right - row.Window.Left);
    EXPECT_EQ(r.Height, row.Window.Bottom - row.Window.Top);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SnapToWorkAreaTest,
    ::testing::Values(
        TSnapRow{"LeftNineInsideSnaps", false, {9, 300, 665, 948}, true, 0, 300},
        TSnapRow{"LeftTenInsideStays", false, {10, 300, 666, 948}, true, 10, 300},
        TSnapRow{"LeftNineOutsideIsPulledBack", false, {-9, 300, 647, 948}, true, 0, 300},
        TSnapRow{"TopThreeAboveMovesDown", false, {500, -3, 1156, 645}, true, 500, 0},
        TSnapRow{"BottomFiveBelowTaskbarMovesUp", false, {500, 397, 1156, 1045}, true, 500, 392},
        TSnapRow{"RightEdgeInsideIsPushedOut", false, {1260, 300, 1916, 948}, true, 1264, 300},
        TSnapRow{"CornerSnapsBothAxes", false, {-4, 6, 652, 654}, true, 0, 0},
        TSnapRow{"NearlyFullWidthAlignsRightEdge", false, {5, 300, 1915, 948}, true, 10, 300},
        TSnapRow{"NearlyFullHeightAlignsBottomEdge", false, {500, 4, 1156, 1036}, true, 500, 8},
        TSnapRow{"FarFromEveryEdgeStays", false, {400, 300, 1056, 948}, true, 400, 300},
        TSnapRow{"OffEveryScreenStays", false, {-3000, -3000, -2344, -2352}, true, -3000, -3000},
        TSnapRow{"ModifierHeldDeclines", true, {9, -3, 665, 645}, false, 0, 0}),
    [](const ::testing::TestParamInfo<TSnapRow>& info) { return std::string(info.param.Name); });

TEST(SnapToWorkArea, UsesTheGivenWorkAreaOfASecondMonitor) {
    const TScreenRect second{1920, 0, 3200, 1024};
    const TSnapResult r = SnapToWorkArea(false, {1925, 1020, 2145, 1172}, second);
    ASSERT_TRUE(r.Snapped);
    EXPECT_EQ(r.Left, 1920);
    EXPECT_EQ(r.Top, 1020); // its bottom is 148 pixels below the area: no rule applies
}

} // namespace
