// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

// The program's entry: the single-instance guard, the application, the main
// window and the message loop.

#include "CommandLine.h"
#include "ErrorDisplay.h"
#include "HandOver.h"
#include "NamedMutex.h"
#include "QuadvApplication.h"
#include "SessionEnd.h"
#include "SessionPlatform.h"
#include "WindowsMediaPlayer.h"
#include "main.h"

#include <QCoreApplication>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr char16_t kMutexName[] = u"QUADV";
constexpr int kHandOverTimeoutMs = 2000;

// Another copy runs and this one was given files: they go to that copy. The
// exit code, or nothing when that copy ended meanwhile and this one should
// start after all.
std::optional<int> HandOverToRunningCopy(int Argc, char** Argv) {
    QCoreApplication app(Argc, Argv); // no display needed
    QTextStream errors(stderr);
    const QStringList files = CommandLineFiles(app.arguments().mid(1), errors);
    if (files.isEmpty())
        return 1;
    QString why;
    switch (HandOverFiles(
        QString::fromStdU16String(NamedMutexSocketName(kMutexName)), files, kHandOverTimeoutMs,
        [] { return NamedMutexExists(kMutexName); }, why)) {
    case THandOverResult::Delivered:
        return 0;
    case THandOverResult::NoCopy:
        return std::nullopt;
    case THandOverResult::NoAnswer:
        break;
    }
    errors << "quadrelle: the running copy did not take the files within " << kHandOverTimeoutMs / 1000
           << " s (" << why << ")\n";
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    // Another copy holds the guard: without files, leave at once, showing
    // nothing; with files, hand them to it.
    if (NamedMutexExists(kMutexName)) {
        if (argc < 2)
            return 1;
        if (const std::optional<int> code = HandOverToRunningCopy(argc, argv))
            return *code;
    }
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
        QTextStream errors(stderr);
        // Qt has taken its own options out of the arguments by now.
        const QStringList files = CommandLineFiles(app.arguments().mid(1), errors);
        TQuadvMainEnvironment environment;
        environment.CreatePane = [](QWidget* Parent) { return new TWindowsMediaPlayer(Parent); };
        // Destroyed after the loop, not on close: a close inside a modal
        // dialog's loop (the end of the session) would otherwise delete the
        // window, and the dialog with it, under the command that opened it.
        const auto window = std::make_unique<TQUADV_MAIN>(std::move(environment));
        QUADV_MAIN = window.get();
        InstallSessionEndSignals(window.get(), [w = window.get()] { w->WMEndSession(); });
        window->show();
        if (!files.isEmpty())
            window->OpenFilesWhenIdle(files);
        app.exec();
    } catch (...) {
        ShowCurrentError();
    }
    return 0;
}
