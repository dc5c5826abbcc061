// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SessionPlatform.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

struct TPlatformRow {
    const char* Name;
    const char* QtPlatform;
    const char* SessionType;
    const char* WaylandDisplay;
    const char* Expected;
};

void PrintTo(const TPlatformRow& Row, std::ostream* Out) {
    *Out << Row.Name;
}

class SessionPlatformTest : public ::testing::TestWithParam<TPlatformRow> {};

TEST_P(SessionPlatformTest, PicksXWaylandOnlyInAWaylandSessionWithoutTheUsersChoice) {
    const TPlatformRow& row = GetParam();
    EXPECT_EQ(SessionPlatform(row.QtPlatform, row.SessionType, row.WaylandDisplay), row.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, SessionPlatformTest,
    ::testing::Values(
        TPlatformRow{"WaylandSession", nullptr, "wayland", "wayland-0", "xcb;wayland"},
        TPlatformRow{"WaylandSessionWithoutItsSocketName", nullptr, "wayland", nullptr, "xcb;wayland"},
        TPlatformRow{"CompositorReachableFromAnotherSessionType", nullptr, "tty", "wayland-1", "xcb;wayland"},
        TPlatformRow{"EmptyChoiceCountsAsNone", "", "wayland", "wayland-0", "xcb;wayland"},
        TPlatformRow{"UsersWaylandChoiceStands", "wayland", "wayland", "wayland-0", ""},
        TPlatformRow{"UsersOtherChoiceStands", "offscreen", "wayland", nullptr, ""},
        TPlatformRow{"X11Session", nullptr, "x11", nullptr, ""},
        TPlatformRow{"NoSessionAtAll", nullptr, nullptr, nullptr, ""},
        TPlatformRow{"EmptyWaylandDisplayIsNoCompositor", nullptr, "x11", "", ""}),
    [](const ::testing::TestParamInfo<TPlatformRow>& Info) { return std::string(Info.param.Name); });

} // namespace
