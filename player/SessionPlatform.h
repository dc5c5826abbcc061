// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <string>

// In a Wayland session a program can neither place its window nor learn
// where it is, so the stored window position and edge snapping need the X
// server that the session runs beside it (XWayland). This picks the Qt
// platform to ask for when the user named none. Pure; any thread.
//
// QtPlatform is QT_QPA_PLATFORM, SessionType XDG_SESSION_TYPE and
// WaylandDisplay WAYLAND_DISPLAY, each nullptr when unset. Returns the
// platforms to try in order, or "" to leave the choice to Qt: the user's
// own choice, and every session that is not Wayland's, keep Qt's.
std::string SessionPlatform(const char* QtPlatform, const char* SessionType, const char* WaylandDisplay);
