// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "WidgetsExport.h"

#include <exception>
#include <functional>

/// @file
/// The serial family's notifications in a Qt program's event loop.
///
/// A Qt program that links Quadrelle::Widgets (quadrelle-widgets) needs no
/// call of its own: the events of a TVrThreadedComm (OnReceive, OnSent,
/// OnError, ...) run in the Qt event loop of the thread that opened the port,
/// as the slots of a socket notifier do.

/// Runs the serial family's notifications in a Qt program's event loop. Linking
/// Quadrelle::Widgets is enough: the hook is installed when the application
/// object is created, and every thread that opens a port then gets one socket
/// notifier on its wake-up descriptor. Call it yourself only to install it
/// before the application object exists. It replaces any hook set with
/// SetNotifyQueueHook. Any thread.
///
/// The thread that opens a port must run a Qt event loop (the application's
/// exec(), or a QThread's) for its events to be delivered. A notifier made
/// on the application's thread belongs to the application object.
QUADRELLE_WIDGETS_EXPORT void InstallVrCommQtNotifier();

/// Receives what a notification's handler raised in the Qt loop: an
/// EPropertyError of the default error handling, or whatever a handler of the
/// program throws. Qt cannot carry an exception through its loop, so it ends
/// here, and the notifications behind it are still delivered. The default
/// writes the message to Qt's message log as critical.
using TVrCommQtErrorHook = std::function<void(std::exception_ptr Error)>;
/// Sets the hook that receives what a notification's handler raised. Any
/// thread may set it; it runs on the thread whose loop delivered the
/// notification. An empty function restores the default.
QUADRELLE_WIDGETS_EXPORT void SetVrCommQtErrorHook(TVrCommQtErrorHook Hook);
