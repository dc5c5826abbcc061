// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "WindowSnapper.h"

#include "SnapToWorkArea.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

TWindowSnapper::TWindowSnapper(QWidget* Window) : QObject(Window), FWindow(Window) {
    FPointer = [this] { return SystemPointer(); };
    FPlacementLooks.setInterval(kPlacementLookMs);
    connect(&FPlacementLooks, &QTimer::timeout, this, &TWindowSnapper::PlacementLook);
    FWindow->installEventFilter(this);
    WatchMoves();
}

TWindowSnapper::TProgramMove::TProgramMove(TWindowSnapper& Snapper) : FSnapper(Snapper) {
    ++FSnapper.FProgramMoves;
}

TWindowSnapper::TProgramMove::~TProgramMove() {
    // The window system may report the program's move, or the manager's
    // answer to it, after it returned.
    if (--FSnapper.FProgramMoves == 0)
        FSnapper.FSinceProgramMove.start();
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

std::optional<QRect> TWindowSnapper::QtFrame(const QWidget* Window) {
    if (!Window->isVisible())
        return std::nullopt;
    return Window->frameGeometry();
}

TPointerState TWindowSnapper::QtPointer() {
    return {QGuiApplication::mouseButtons() != Qt::NoButton, QGuiApplication::queryKeyboardModifiers()};
}

void TWindowSnapper::PlaceFrame(QPoint TopLeft) {
    FPlacementLooks.stop();
    FPlacement.reset();
    {
        TProgramMove guard(*this);
        // Before the native window exists, a move places the frame. Before
        // it is first mapped, the manager may have told the frame it will
        // draw. Otherwise a move places the frame by Qt's view of it, which
        // the looks below verify where the window system may differ.
        const std::optional<QMargins> margins =
            FWindow->windowHandle() ? PlannedFrameMargins() : std::optional<QMargins>();
        if (margins)
            FWindow->windowHandle()->setPosition(TopLeft + QPoint(margins->left(), margins->top()));
        else
            FWindow->move(TopLeft);
    }
    if (!PlacementNeedsLooks()) {
        RememberFrame();
        return;
    }
    FPlacement.emplace(TFramePlacement::TPoint{TopLeft.x(), TopLeft.y()});
    FPlacementLooks.start();
}

void TWindowSnapper::PlacementLook() {
    std::optional<TFramePlacement::TPoint> corner;
    if (const std::optional<QRect> frame = OuterFrame(FWindow))
        corner = TFramePlacement::TPoint{frame->x(), frame->y()};
    const TFramePlacement::TStep step = FPlacement->Look(corner);
    if (step.Action == TFramePlacement::paMove) {
        // A shift from where the window is, so it lands right whether the
        // manager takes the request as the client area's corner or the frame's.
        TProgramMove guard(*this);
        FWindow->move(FWindow->pos() + QPoint(step.Dx, step.Dy));
    } else if (step.Action == TFramePlacement::paDone) {
        EndPlacement();
    }
}

void TWindowSnapper::EndPlacement() {
    FPlacementLooks.stop();
    FPlacement.reset();
    FSinceProgramMove.start();
    RememberFrame();
}

void TWindowSnapper::RememberFrame() {
    if (FWindow->windowState() & Qt::WindowMinimized)
        return;
    if (const std::optional<QRect> frame = OuterFrame(FWindow))
        FLastFrame = frame->topLeft();
}

QPoint TWindowSnapper::FramePosition() {
    if (FPlacement)
        return {FPlacement->Target().X, FPlacement->Target().Y};
    RememberFrame();
    return FLastFrame.value_or(FWindow->pos());
}

bool TWindowSnapper::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == FWindow && Event->type() == QEvent::Move && FWindow->isVisible() && !FPlacement) {
        RememberFrame();
        if (FProgramMoves == 0)
            WindowMoved();
    }
    return QObject::eventFilter(Watched, Event);
}

void TWindowSnapper::ExitSizeMove() {
    SnapWith(FPointer().Modifiers);
}

void TWindowSnapper::SnapWith(Qt::KeyboardModifiers Held) {
    const std::optional<QRect> frame = OuterFrame(FWindow);
    if (!frame)
        return;
    QScreen* screen = ScreenFor(*frame);
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const TSnapResult r = SnapToWorkArea(
        (Held & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) != Qt::NoModifier,
        {frame->left(), frame->top(), frame->left() + frame->width(), frame->top() + frame->height()},
        {area.left(), area.top(), area.left() + area.width(), area.top() + area.height()});
    // The width and height are the frame's own, so only the position changes.
    if (r.Snapped && QPoint(r.Left, r.Top) != frame->topLeft())
        PlaceFrame({r.Left, r.Top});
}
