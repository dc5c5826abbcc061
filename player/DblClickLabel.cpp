// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "DblClickLabel.h"

#include <QMouseEvent>

TDblClickLabel::TDblClickLabel(QWidget* Parent) : QLabel(Parent) {
    // "&" is an ordinary character here, never an access key.
    setTextFormat(Qt::PlainText);
}

void TDblClickLabel::SetCaption(const QString& Caption) {
    setText(Caption);
    adjustSize();
}

void TDblClickLabel::mouseDoubleClickEvent(QMouseEvent* Event) {
    if (Event->button() == Qt::LeftButton)
        Q_EMIT DblClick();
    QLabel::mouseDoubleClickEvent(Event);
}
