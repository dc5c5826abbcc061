// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SnapToWorkArea.h"

#include <cstdlib>

TSnapResult SnapToWorkArea(bool ModifierDown, const TScreenRect& Window, const TScreenRect& WorkArea) {
    if (ModifierDown)
        return {false, 0, 0, 0, 0};

    // Windows pulls the work area in by a border metric that it answers as 0
    // for the index in question; other platforms take no adjustment at all.
    constexpr int kBorder = 0;
    const TScreenRect a{WorkArea.Left + kBorder, WorkArea.Top + kBorder, WorkArea.Right - kBorder,
                        WorkArea.Bottom - kBorder};

    const int w = Window.Right - Window.Left;
    const int h = Window.Bottom - Window.Top;
    int left = Window.Left;
    int top = Window.Top;

    // All four tests look at the window as dropped. On an axis where both
    // edges are near, the later rule wins: the right or the bottom edge.
    if (std::abs(Window.Left - a.Left) < kSnapDistance)
        left = a.Left;
    if (std::abs(Window.Right - a.Right) < kSnapDistance)
        left = a.Right - w;
    if (std::abs(Window.Top - a.Top) < kSnapDistance)
        top = a.Top;
    if (std::abs(Window.Bottom - a.Bottom) < kSnapDistance)
        top = a.Bottom - h;

    return {true, left, top, w, h};
}
