#include "QuadvApplication.h"

#include "AppIcon.h"
#include "ErrorDisplay.h"
#include "QuadvError.h"

TQuadvApplication::TQuadvApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {
    // Every window, the dialogs and message boxes included, shows the
    // program's icon, and the desktop can match the windows to the entry.
    setWindowIcon(QuadrelleIcon());
    setDesktopFileName(QStringLiteral(QUADV_APP_ID));
}

bool TQuadvApplication::notify(QObject* Receiver, QEvent* Event) {
    try {
        return QApplication::notify(Receiver, Event);
    } catch (const EQuadvError& Error) {
        ShowErrorDisplay(Error);
    } catch (...) {
        // Only the program's own errors carry a message meant for the user.
        ShowErrorDisplay(EQuadvError(""));
    }
    return false;
}
