// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "WindowSnapper.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QWidget>

#include <windows.h>

namespace {

// Windows ends its modal move and size loop with WM_EXITSIZEMOVE to the
// window the user moved; the program's own moves never enter that loop.
class TExitSizeMoveFilter final : public QObject, public QAbstractNativeEventFilter {
public:
    TExitSizeMoveFilter(TWindowSnapper* Snapper, QWidget* Window)
        : QObject(Snapper), FSnapper(Snapper), FWindow(Window) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    // The base class's destructor takes the filter out of the application.

    bool nativeEventFilter(const QByteArray& EventType, void* Message, qintptr* Result) override {
        if (EventType != "windows_generic_MSG")
            return false;
        const MSG* msg = static_cast<const MSG*>(Message);
        // internalWinId() is 0 until the window exists, so it never matches early.
        if (msg->message != WM_EXITSIZEMOVE || msg->hwnd == nullptr ||
            msg->hwnd != reinterpret_cast<HWND>(FWindow->internalWinId()))
            return false;
        FSnapper->ExitSizeMove();
        *Result = 0;
        return true;
    }

private:
    TWindowSnapper* FSnapper;
    QWidget* FWindow;
};

} // namespace

void TWindowSnapper::WatchMoves() {
    new TExitSizeMoveFilter(this, FWindow);
}

void TWindowSnapper::WindowMoved() {
    // The end of the move arrives as WM_EXITSIZEMOVE.
}

// Qt knows a window's frame from the moment Windows creates it, and places
// it exactly where it is asked.
std::optional<QRect> TWindowSnapper::OuterFrame(const QWidget* Window) {
    return QtFrame(Window);
}

std::optional<QMargins> TWindowSnapper::PlannedFrameMargins() const {
    return std::nullopt;
}

bool TWindowSnapper::PlacementNeedsLooks() {
    return false;
}

// The buttons do not decide the end of a move here; the modifiers are those
// of the thread's keyboard state, as Qt queries it.
TPointerState TWindowSnapper::SystemPointer() const {
    return QtPointer();
}
