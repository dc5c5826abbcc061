// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Where a top-level window lands when the user lets go of it near the edges
// of its monitor's work area. Pure arithmetic: the caller supplies the
// window's outer rectangle, the work area and whether Shift, Ctrl or Alt was
// held, and applies the result itself (left, top, width, height, in that
// order). Any thread.

// A rectangle in screen pixels; Right and Bottom are exclusive, as in Win32.
struct TScreenRect {
    int Left;
    int Top;
    int Right;
    int Bottom;
};

struct TSnapResult {
    bool Snapped; // false: a modifier was down and the window stays where it was dropped
    int Left;
    int Top;
    int Width;
    int Height;
};

// An edge snaps when it lies fewer than this many pixels from the work
// area's edge, on either side of it.
inline constexpr int kSnapDistance = 10;

TSnapResult SnapToWorkArea(bool ModifierDown, const TScreenRect& Window, const TScreenRect& WorkArea);
