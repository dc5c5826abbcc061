// The program's entry: the single-instance guard, the application, the main
// window and the message loop.

#include "ErrorDisplay.h"
#include "NamedMutex.h"
#include "QuadvApplication.h"
#include "SessionEnd.h"
#include "SessionPlatform.h"
#include "WindowsMediaPlayer.h"
#include "main.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // Another copy holds the guard: leave at once, showing nothing.
    if (NamedMutexExists(u"QUADV"))
        return 1;
    // In a Wayland session the window runs through XWayland, unless the
    // user chose a platform; an argument, unlike the environment, is not
    // handed on to the programs the shell starts for us.
    std::vector<char*> args(argv, argv + argc);
    std::string platform = SessionPlatform(std::getenv("QT_QPA_PLATFORM"), std::getenv("XDG_SESSION_TYPE"),
                                           std::getenv("WAYLAND_DISPLAY"));
    if (std::find_if(args.begin(), args.end(),
                     [](const char* Arg) { return std::strcmp(Arg, "-platform") == 0; }) != args.end())
        platform.clear();
    static char platformOption[] = "-platform";
    if (!platform.empty())
        args.insert(args.begin() + 1, {platformOption, platform.data()});
    int count = int(args.size());
    args.push_back(nullptr);
    TQuadvApplication app(count, args.data());
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
