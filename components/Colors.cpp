// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "Colors.h"

#include <QGuiApplication>

std::optional<QPalette::ColorRole> SystemColorRole(int Index) {
    // The Windows COLOR_* indices and the palette roles that play their part.
    switch (Index) {
    case 1:  // COLOR_BACKGROUND (desktop)
    case 15: // COLOR_BTNFACE
        return QPalette::Window;
    case 5: // COLOR_WINDOW
        return QPalette::Base;
    case 8: // COLOR_WINDOWTEXT
        return QPalette::WindowText;
    case 13: // COLOR_HIGHLIGHT
        return QPalette::Highlight;
    case 14: // COLOR_HIGHLIGHTTEXT
        return QPalette::HighlightedText;
    case 16: // COLOR_BTNSHADOW
        return QPalette::Mid;
    case 17: // COLOR_GRAYTEXT
        return QPalette::PlaceholderText;
    case 18: // COLOR_BTNTEXT
        return QPalette::ButtonText;
    case 20: // COLOR_BTNHIGHLIGHT
        return QPalette::Light;
    case 21: // COLOR_3DDKSHADOW
        return QPalette::Shadow;
    case 23: // COLOR_INFOTEXT
        return QPalette::ToolTipText;
    case 24: // COLOR_INFOBK
        return QPalette::ToolTipBase;
    case 26: // COLOR_HOTLIGHT
        return QPalette::Link;
    default:
        return std::nullopt;
    }
}

QColor ToQColor(TColor Color) {
    if ((Color >> 24) == 0xFF) {
        const auto role = SystemColorRole(static_cast<int>(Color & 0xFF));
        return role ? QGuiApplication::palette().color(*role) : QColor(Qt::black);
    }
    return QColor(static_cast<int>(Color & 0xFF), static_cast<int>((Color >> 8) & 0xFF),
                  static_cast<int>((Color >> 16) & 0xFF));
}

TColor FromQColor(const QColor& Color) {
    const QColor rgb = Color.toRgb();
    return static_cast<TColor>(rgb.red()) | (static_cast<TColor>(rgb.green()) << 8) |
           (static_cast<TColor>(rgb.blue()) << 16);
}
