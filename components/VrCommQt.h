// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "WidgetsExport.h"

#include <exception>
#include <functional>

// Runs the serial family's notifications in a Qt program's event loop. Linking
// quadv_components is enough: the hook is installed when the application
// object is created, and every thread that opens a port then gets one socket
// notifier on its wake-up descriptor. Call it yourself only to install it
// before the application object exists.
QUADRELLE_WIDGETS_EXPORT void InstallVrCommQtNotifier();

// Receives what a notification's handler raised in the Qt loop: an
// EPropertyError of the default error handling, or whatever a handler of the
// program throws. Qt cannot carry an exception through its loop, so it ends
// here, and the notifications behind it are still delivered. The default
// writes the message to Qt's message log as critical. Any thread may set it;
// it runs on the thread whose loop delivered the notification. An empty
// function restores the default.
using TVrCommQtErrorHook = std::function<void(std::exception_ptr Error)>;
QUADRELLE_WIDGETS_EXPORT void SetVrCommQtErrorHook(TVrCommQtErrorHook Hook);
