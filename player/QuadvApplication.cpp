#include "QuadvApplication.h"

#include "ErrorDisplay.h"
#include "QuadvError.h"

TQuadvApplication::TQuadvApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {}

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
