// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <functional>

class QObject;

// Carries the operating system's "the session is ending" to the GUI thread:
// SIGTERM and SIGHUP through a self-pipe watched by the event loop (POSIX),
// WM_ENDSESSION through a native event filter (Windows, once per run; its
// WM_QUERYENDSESSION arrives as Qt's commitDataRequest). OnEnd runs on the
// GUI thread while Owner lives. GUI thread only; call it once per process.
void InstallSessionEndSignals(QObject* Owner, std::function<void()> OnEnd);
