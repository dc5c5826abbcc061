// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "FramePlacement.h"

#include <QElapsedTimer>
#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QTimer>

#include <functional>
#include <optional>

class QWidget;

// The pointer as the window system reports it at one moment.
struct TPointerState {
    bool ButtonDown = false; // any pointer button held
    Qt::KeyboardModifiers Modifiers;
};

// Places a top-level window by its outer frame, and snaps it to its
// monitor's work area when the user has finished moving it. How the end of a
// move is seen is the platform's part: Windows sends the window
// WM_EXITSIZEMOVE. X11 has no such message: after a move the program did not
// make, the pointer is asked after until its buttons are up (during a move
// that the window manager runs, Qt never sees the button), and the move ends
// at the release; a move with no button held (from the keyboard) ends after
// ~200 ms without further moves. Moves the program makes itself never snap:
// make them through PlaceFrame or wrap them in a TProgramMove. GUI thread only.
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

    // Puts the frame's outer top-left corner at TopLeft, also before the
    // window is shown: the request goes out now, and where the window
    // manager answers it in a way of its own, the window is shifted once it
    // has been framed until the frame sits there.
    void PlaceFrame(QPoint TopLeft);
    // The frame's outer top-left corner; while the window is minimized,
    // where it will be restored; while a placement is under way, its target.
    QPoint FramePosition();

    // The outer frame of a shown top-level window in screen coordinates, as
    // the window manager draws it; nullopt while the window is not shown or
    // not yet framed. Per platform.
    static std::optional<QRect> OuterFrame(const QWidget* Window);

    // The end of a move: snaps the window now, unless Shift, Ctrl or Alt is held.
    void ExitSizeMove();

    // How long the window must rest before a move without a button held
    // counts as finished, and how often the pointer is asked after meanwhile.
    static constexpr int kQuietMs = 200;
    static constexpr int kPointerPollMs = 25;
    // How long after the program moved or resized the window a move with no
    // button held is the window manager's answer to it (keeping the window
    // on the screen, say), which never snaps.
    static constexpr int kAnswerMs = 750;
    // How often a placement looks at the frame.
    static constexpr int kPlacementLookMs = 20;

    // Tests replace the pointer query (default: the window system's).
    void SetPointerQuery(std::function<TPointerState()> Query) { FPointer = std::move(Query); }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    // Per platform (WindowSnapper_posix.cpp, WindowSnapper_win32.cpp).
    void WatchMoves();                   // starts watching for the end of the user's moves
    void WindowMoved();                  // a move the program did not make
    TPointerState SystemPointer() const; // buttons and modifiers, asked of the window system now
    static bool PlacementNeedsLooks();   // the window system may place a frame other than asked
    // The frame that the window manager will draw around the window, asked
    // before the window is first shown; nullopt where it cannot tell.
    std::optional<QMargins> PlannedFrameMargins() const;

    // Where no window system can be asked (the offscreen platform): Qt's view.
    static std::optional<QRect> QtFrame(const QWidget* Window);
    static TPointerState QtPointer();

    void SnapWith(Qt::KeyboardModifiers Held);
    void PointerPoll();
    void PlacementLook();
    void EndPlacement();
    void RememberFrame();

    QWidget* FWindow;
    // X11: the end of a user's move.
    QTimer FPointerPoll;      // runs from a user's move until it has ended
    QElapsedTimer FSinceMove; // since the last move the program did not make
    bool FSawButton = false;  // a button was held during this move, so its release ends it
    // The move came soon after the program's own: the manager's answer to
    // it, unless a button is held.
    bool FMaybeAnswer = false;
    QTimer FPlacementLooks;
    std::optional<TFramePlacement> FPlacement; // set while a placement is measured and corrected
    int FProgramMoves = 0;                     // > 0 while the program moves the window itself
    QElapsedTimer FSinceProgramMove;           // since the program last moved or resized the window
    std::optional<QPoint> FLastFrame;          // the frame's corner when last seen shown and not minimized
    std::function<TPointerState()> FPointer;
};
