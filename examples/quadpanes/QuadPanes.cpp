// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

// quadpanes FILE1 FILE2 FILE3 FILE4 [SECONDS]
//
// Four media panes in a two-by-two grid, playing one file each, with their
// positions linked the way the player links them. Quits after SECONDS when
// given.
#include "WindowsMediaPlayer.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdio>
#include <exception>

int main(int Argc, char** Argv) {
    QApplication App(Argc, Argv);
    const QStringList Args = App.arguments();
    if (Args.size() < 5) {
        std::fprintf(stderr, "usage: quadpanes FILE1 FILE2 FILE3 FILE4 [SECONDS]\n");
        return 2;
    }
    QWidget Window;
    Window.setWindowTitle(QStringLiteral("quadpanes"));
    std::array<TWindowsMediaPlayer*, 4> Panes{};
    try {
        // The movie size comes from the file name's "_WxH" when it has one.
        QSize Movie(320, 240);
        const QString Base = Args[1].section(QLatin1Char('_'), -1).section(QLatin1Char('.'), 0, 0);
        const QStringList Wh = Base.split(QLatin1Char('x'));
        if (Wh.size() == 2 && Wh[0].toInt() > 0 && Wh[1].toInt() > 0)
            Movie = QSize(Wh[0].toInt(), Wh[1].toInt());
        const QSize PaneSize(Movie.width() + 8, Movie.height() + 64);
        for (int I = 0; I < 4; ++I) {
            auto* Pane = new TWindowsMediaPlayer(&Window);
            Pane->SetTag(I);
            Pane->setGeometry((I % 2) * PaneSize.width(), (I / 2) * PaneSize.height(), PaneSize.width(),
                              PaneSize.height());
            Pane->SetURL(Args[I + 1]);
            Panes[I] = Pane;
        }
        // A seek on one pane's bar moves the other three.
        for (TWindowsMediaPlayer* Pane : Panes)
            Pane->SetOnPositionChange([&Panes](TWindowsMediaPlayer* Sender, double, double Position) {
                for (TWindowsMediaPlayer* Other : Panes)
                    if (Other != Sender) {
                        TPositionChangeEvent Saved = Other->GetOnPositionChange();
                        Other->SetOnPositionChange(nullptr);
                        Other->SetCurrentPosition(Position);
                        Other->SetOnPositionChange(Saved);
                    }
            });
        Window.resize(2 * PaneSize.width(), 2 * PaneSize.height());
    } catch (const std::exception& Error) {
        std::fprintf(stderr, "quadpanes: %s\n", Error.what());
        return 1;
    }
    Window.show();
    for (TWindowsMediaPlayer* Pane : Panes)
        Pane->Play();
    if (Args.size() > 5)
        QTimer::singleShot(static_cast<int>(Args[5].toDouble() * 1000), &App, &QApplication::quit);
    const int Result = App.exec();
    // The panes go before their window.
    for (TWindowsMediaPlayer* Pane : Panes)
        delete Pane;
    return Result;
}
