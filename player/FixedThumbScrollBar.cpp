// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "FixedThumbScrollBar.h"

#include <QStyle>
#include <QStyleOptionSlider>

TFixedThumbScrollBar::TFixedThumbScrollBar(Qt::Orientation Orientation, QWidget* Parent)
    : QScrollBar(Orientation, Parent) {}

QRect TFixedThumbScrollBar::ThumbRect() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
}

void TFixedThumbScrollBar::initStyleOption(QStyleOptionSlider* Option) const {
    QScrollBar::initStyleOption(Option);
    // The style draws, and hit-tests, the thumb from the option alone; with
    // no page it gives the thumb its smallest length.
    Option->pageStep = 0;
}
