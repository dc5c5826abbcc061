#include "WindowSnapper.h"

#include "SnapToWorkArea.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

TWindowSnapper::TWindowSnapper(QWidget* Window) : QObject(Window), FWindow(Window) {
    FModifiers = [] { return QGuiApplication::queryKeyboardModifiers(); };
    WatchMoves();
}

TWindowSnapper::TProgramMove::TProgramMove(TWindowSnapper& Snapper) : FSnapper(Snapper) {
    ++FSnapper.FProgramMoves;
}

TWindowSnapper::TProgramMove::~TProgramMove() {
    if (--FSnapper.FProgramMoves == 0) {
        // The window system may report the program's move after it returned.
        FSnapper.FProgramPos = FSnapper.FWindow->pos();
        FSnapper.FHaveProgramPos = true;
    }
}

namespace {

// The monitor that holds most of Rect, else the primary one.
QScreen* ScreenFor(const QRect& Rect) {
    QScreen* best = nullptr;
    qint64 bestArea = 0;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect common = screen->geometry().intersected(Rect);
        const qint64 area = qint64(common.width()) * common.height();
        if (area > bestArea) {
            best = screen;
            bestArea = area;
        }
    }
    return best ? best : QGuiApplication::primaryScreen();
}

} // namespace

void TWindowSnapper::ExitSizeMove() {
    const Qt::KeyboardModifiers held =
        FModifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const QRect frame = FWindow->frameGeometry();
    QScreen* screen = ScreenFor(frame);
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const TSnapResult r = SnapToWorkArea(
        held != Qt::NoModifier,
        {frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height()},
        {area.left(), area.top(), area.left() + area.width(), area.top() + area.height()});
    if (!r.Snapped)
        return;
    TProgramMove guard(*this);
    // Left and top, then the outer size, which is the window's own, so in
    // effect only the position changes.
    FWindow->move(r.Left, r.Top);
    if (r.Width != frame.width() || r.Height != frame.height())
        FWindow->resize(FWindow->size() + QSize(r.Width - frame.width(), r.Height - frame.height()));
}
