// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SessionPlatform.h"

#include <cstring>

namespace {

bool Set(const char* Value) {
    return Value != nullptr && *Value != '\0';
}

} // namespace

std::string SessionPlatform(const char* QtPlatform, const char* SessionType, const char* WaylandDisplay) {
    // Qt takes an empty QT_QPA_PLATFORM as unset, and so does this.
    if (Set(QtPlatform))
        return {};
    // Qt prefers Wayland whenever it can reach a compositor, whatever the
    // session calls itself.
    const bool wayland =
        (Set(SessionType) && std::strcmp(SessionType, "wayland") == 0) || Set(WaylandDisplay);
    if (!wayland)
        return {};
    // XWayland first; Wayland itself only where no X server runs, so that
    // the program still starts there.
    return "xcb;wayland";
}
