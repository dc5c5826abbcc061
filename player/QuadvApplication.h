// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QApplication>

// The application object. Qt does not support exceptions that travel
// through its event dispatch, so each command of the window catches its own
// (RunCommand); as a last guard, an error that escapes a handler all the same
// is shown here and the loop goes on.
class TQuadvApplication : public QApplication {
    Q_OBJECT
public:
    TQuadvApplication(int& Argc, char** Argv);

    bool notify(QObject* Receiver, QEvent* Event) override;
};
