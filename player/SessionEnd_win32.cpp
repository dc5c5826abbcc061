#include "SessionEnd.h"

// Windows ends a session with a message to the window, not with a signal.
void InstallSessionEndSignals(QObject*, std::function<void()>) {}
