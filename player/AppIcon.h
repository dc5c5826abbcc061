// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QIcon>

// The program's icon: the drawing that is also installed for the desktop,
// rendered at the sizes a window manager or task bar asks for. A null icon
// when the drawing cannot be read. GUI thread, after the application exists.
QIcon QuadrelleIcon();
