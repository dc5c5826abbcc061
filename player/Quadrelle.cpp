// The program's entry: the single-instance guard, the application, the main
// window and the message loop.

#include "ErrorDisplay.h"
#include "NamedMutex.h"
#include "QuadvApplication.h"
#include "QuadvError.h"
#include "SessionEnd.h"
#include "WindowsMediaPlayer.h"
#include "main.h"

int main(int argc, char** argv) {
    // Another copy holds the guard: leave at once, showing nothing.
    if (NamedMutexExists(u"QUADV"))
        return 1;
    TQuadvApplication app(argc, argv);
    app.setApplicationName(QString::fromUtf16(kApplicationTitle));
    try {
        TQuadvMainEnvironment environment;
        environment.CreatePane = [](QWidget* Parent) { return new TWindowsMediaPlayer(Parent); };
        auto* window = new TQUADV_MAIN(std::move(environment));
        window->setAttribute(Qt::WA_DeleteOnClose);
        QUADV_MAIN = window;
        InstallSessionEndSignals(window, [window] { window->WMEndSession(); });
        window->show();
        app.exec();
    } catch (const EQuadvError& Error) {
        ShowErrorDisplay(Error);
    } catch (...) {
        ShowErrorDisplay(EQuadvError(""));
    }
    return 0;
}
