#pragma once

// Runs the serial family's notifications in a Qt program's event loop. Linking
// quadv_components is enough: the hook is installed when the application
// object is created, and every thread that opens a port then gets one socket
// notifier on its wake-up descriptor. Call it yourself only to install it
// before the application object exists.
void InstallVrCommQtNotifier();
