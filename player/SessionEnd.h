#pragma once

#include <functional>

class QObject;

// Carries the operating system's "the session is ending" to the GUI thread:
// SIGTERM and SIGHUP through a self-pipe watched by the event loop (POSIX),
// nothing here on Windows, where the window handles the session-end message
// itself. OnEnd runs on the GUI thread, once per signal, while Owner lives.
// GUI thread only; call it once per process.
void InstallSessionEndSignals(QObject* Owner, std::function<void()> OnEnd);
