#include "WindowSnapper.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

// X11 has no "end of move" message: a move the program did not make starts
// the quiet timer, and the move counts as ended when it runs out with no
// pointer button held.
void TWindowSnapper::WatchMoves() {
    FQuiet.setSingleShot(true);
    FQuiet.setInterval(kQuietMs);
    connect(&FQuiet, &QTimer::timeout, this, &TWindowSnapper::QuietElapsed);
    FWindow->installEventFilter(this);
}

bool TWindowSnapper::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == FWindow && Event->type() == QEvent::Move && FWindow->isVisible() && FProgramMoves == 0) {
        if (FHaveProgramPos && FWindow->pos() == FProgramPos) {
            FHaveProgramPos = false;
        } else {
            FHaveProgramPos = false;
            FQuiet.start();
        }
    }
    return QObject::eventFilter(Watched, Event);
}

void TWindowSnapper::QuietElapsed() {
    // Still dragging with the button held: wait for the release.
    if (QGuiApplication::mouseButtons() != Qt::NoButton) {
        FQuiet.start();
        return;
    }
    ExitSizeMove();
}
