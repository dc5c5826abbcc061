// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "WidgetsExport.h"

#include <QColor>
#include <QPalette>

#include <cstdint>
#include <optional>

/// @file
/// Colours as the component library stores them (TColor), and their Qt form.

/// Colours as the component library stores them: 0x00BBGGRR for a plain
/// colour (red in the lowest byte), or, with the top byte 0xFF, the index of a
/// system colour in the low byte (0xFF000018 is the tooltip background).
using TColor = uint32_t;

inline constexpr TColor clBlack = 0x00000000;      ///< black
inline constexpr TColor clWhite = 0x00FFFFFF;      ///< white
inline constexpr TColor clRed = 0x000000FF;        ///< red
inline constexpr TColor clBlue = 0x00FF0000;       ///< blue
inline constexpr TColor clInfoBk = 0xFF000018;     ///< system colour: the tooltip background
inline constexpr TColor clWindowText = 0xFF000008; ///< system colour: the text of windows

/// The palette role that stands for a system colour index, if the desktop has
/// one; std::nullopt otherwise. Any thread.
QUADRELLE_WIDGETS_EXPORT std::optional<QPalette::ColorRole> SystemColorRole(int Index);

/// The colour to paint with. System colours come from the application's
/// palette (GUI thread only); an index without a role gives black.
QUADRELLE_WIDGETS_EXPORT QColor ToQColor(TColor Color);

/// The stored form of a plain colour; the alpha channel is dropped. Any thread.
QUADRELLE_WIDGETS_EXPORT TColor FromQColor(const QColor& Color);
