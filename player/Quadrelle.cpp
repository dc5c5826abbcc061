// The program's entry: the single-instance guard, the application, the main
// window and the message loop.

#include "ErrorDisplay.h"
#include "NamedMutex.h"
#include "QuadvApplication.h"
#include "SessionEnd.h"
#include "WindowsMediaPlayer.h"
#include "main.h"

#include <memory>

int main(int argc, char** argv) {
    // Another copy holds the guard: leave at once, showing nothing.
    if (NamedMutexExists(u"QUADV"))
        return 1;
    TQuadvApplication app(argc, argv);
    app.setApplicationName(QString::fromUtf16(kApplicationTitle));
    try {
        TQuadvMainEnvironment environment;
        environment.CreatePane = [](QWidget* Parent) { return new TWindowsMediaPlayer(Parent); };
        // Destroyed after the loop, not on close: a close inside a modal
        // dialog's loop (the end of the session) would otherwise delete the
        // window, and the dialog with it, under the command that opened it.
        const auto window = std::make_unique<TQUADV_MAIN>(std::move(environment));
        QUADV_MAIN = window.get();
        InstallSessionEndSignals(window.get(), [w = window.get()] { w->WMEndSession(); });
        window->show();
        app.exec();
    } catch (...) {
        ShowCurrentError();
    }
    return 0;
}
