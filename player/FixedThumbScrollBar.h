// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QScrollBar>

// A scroll bar without a thumb page: its thumb is small and of one size
// whatever the range and the page step, which still is the large step of a
// click beside the thumb and of the Page keys. (Qt sizes a thumb from the
// page step, which would make a bar with a large step show a wide one.)
class TFixedThumbScrollBar : public QScrollBar {
    Q_OBJECT
public:
    explicit TFixedThumbScrollBar(Qt::Orientation Orientation, QWidget* Parent = nullptr);

    // The thumb's rectangle in the bar, as the style draws and hit-tests it.
    QRect ThumbRect() const;

protected:
    void initStyleOption(QStyleOptionSlider* Option) const override;
};
