#pragma once

#include <QObject>
#include <QPoint>
#include <QTimer>

#include <functional>

class QWidget;

// Snaps a top-level window to its monitor's work area when the user has
// finished moving it. How the end of a move is seen is the platform's part:
// Windows sends the window WM_EXITSIZEMOVE; X11 has no such message, so the
// end is taken as ~200 ms without further moves while no pointer button is
// held. Moves the program makes itself never snap: wrap them in a
// TProgramMove (Windows needs none, its own moves end no move loop). GUI
// thread only.
class TWindowSnapper : public QObject {
    Q_OBJECT
public:
    // Watches Window (a top-level widget), which also owns the snapper.
    explicit TWindowSnapper(QWidget* Window);

    // While one of these lives, moves and resizes of the window are the
    // program's own.
    class TProgramMove {
    public:
        explicit TProgramMove(TWindowSnapper& Snapper);
        ~TProgramMove();
        TProgramMove(const TProgramMove&) = delete;
        TProgramMove& operator=(const TProgramMove&) = delete;

    private:
        TWindowSnapper& FSnapper;
    };

    // The end of a move: snaps the window now, unless Shift, Ctrl or Alt is held.
    void ExitSizeMove();

    // How long the window must rest before a user's move counts as finished.
    static constexpr int kQuietMs = 200;

    // Tests replace the keyboard query (default: Qt's queried modifiers).
    void SetModifierQuery(std::function<Qt::KeyboardModifiers()> Query) { FModifiers = std::move(Query); }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void WatchMoves(); // per platform: starts watching for the end of the user's moves
    void QuietElapsed();

    QWidget* FWindow;
    QTimer FQuiet;
    int FProgramMoves = 0; // > 0 while the program moves the window itself
    QPoint FProgramPos;    // where the program last put the window; its late move events are not the user's
    bool FHaveProgramPos = false;
    std::function<Qt::KeyboardModifiers()> FModifiers;
};
