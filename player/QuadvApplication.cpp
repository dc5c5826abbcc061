#include "QuadvApplication.h"

#include "ErrorDisplay.h"

TQuadvApplication::TQuadvApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {}

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
