// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "QuadvApplication.h"

#include "AppIcon.h"
#include "ErrorDisplay.h"

TQuadvApplication::TQuadvApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {
    // Every window, the dialogs and message boxes included, shows the
    // program's icon, and the desktop can match the windows to the entry.
    setWindowIcon(QuadrelleIcon());
    setDesktopFileName(QStringLiteral(QUADV_APP_ID));
}

bool TQuadvApplication::notify(QObject* Receiver, QEvent* Event) {
    // The window's commands catch their own errors; this only keeps one that
    // escapes by mistake from ending the program.
    try {
        return QApplication::notify(Receiver, Event);
    } catch (...) {
        ShowCurrentError();
    }
    return false;
}
