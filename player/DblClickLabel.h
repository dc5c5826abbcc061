// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QLabel>

// A label that reports a double-click with the left button, and sizes itself
// to its text whenever the text changes.
class TDblClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit TDblClickLabel(QWidget* Parent = nullptr);

    void SetCaption(const QString& Caption);

Q_SIGNALS:
    void DblClick();

protected:
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
};
