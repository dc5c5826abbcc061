// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "WindowSnapper.h"

#include <QGuiApplication>
#include <QMargins>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

// X11: the window manager frames the window after the program asked for a
// place, draws the frame outside the client area and runs the user's moves
// itself, so the frame and the pointer are asked of the X server. Without an
// X connection (the offscreen platform, Wayland) Qt's view stands in.

namespace {

xcb_connection_t* XConnection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

struct TFreeReply {
    void operator()(void* Reply) const { std::free(Reply); }
};
template <typename T> using TReply = std::unique_ptr<T, TFreeReply>;

// One round trip; an error gives no reply (and is not left for Qt to report).
template <typename T, typename TCookie>
TReply<T> Ask(xcb_connection_t* C, TCookie Cookie,
              T* (*Get)(xcb_connection_t*, TCookie, xcb_generic_error_t**)) {
    xcb_generic_error_t* error = nullptr;
    TReply<T> reply(Get(C, Cookie, &error));
    std::free(error);
    return reply;
}

xcb_atom_t Atom(xcb_connection_t* C, const char* Name) {
    const auto reply = Ask(C, xcb_intern_atom(C, 0, std::strlen(Name), Name), &xcb_intern_atom_reply);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The frame a manager draws or is going to draw around Window, as it
// publishes it: left, right, top and bottom.
std::optional<QMargins> FrameExtents(xcb_connection_t* C, xcb_window_t Window) {
    const auto extents =
        Ask(C, xcb_get_property(C, 0, Window, Atom(C, "_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 0, 4),
            &xcb_get_property_reply);
    if (!extents || extents->format != 32 || xcb_get_property_value_length(extents.get()) != 16)
        return std::nullopt;
    const auto* e = static_cast<const uint32_t*>(xcb_get_property_value(extents.get()));
    return QMargins(int(e[0]), int(e[2]), int(e[1]), int(e[3]));
}

bool ManagerSupports(xcb_connection_t* C, xcb_window_t Root, xcb_atom_t Feature) {
    const auto supported =
        Ask(C, xcb_get_property(C, 0, Root, Atom(C, "_NET_SUPPORTED"), XCB_ATOM_ATOM, 0, 4096),
            &xcb_get_property_reply);
    if (!supported || supported->format != 32)
        return false;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(supported.get()));
    const int count = xcb_get_property_value_length(supported.get()) / 4;
    return std::find(atoms, atoms + count, Feature) != atoms + count;
}

// The server counts device pixels; the program places in Qt's.
QRect ToQt(const QRect& Native, const QWidget* Window) {
    const qreal ratio = Window->devicePixelRatioF();
    if (ratio == 1.0)
        return Native;
    return QRectF(Native.x() / ratio, Native.y() / ratio, Native.width() / ratio, Native.height() / ratio)
        .toRect();
}

QMargins ToQt(const QMargins& Native, const QWidget* Window) {
    const qreal ratio = Window->devicePixelRatioF();
    if (ratio == 1.0)
        return Native;
    return QMargins(qRound(Native.left() / ratio), qRound(Native.top() / ratio),
                    qRound(Native.right() / ratio), qRound(Native.bottom() / ratio));
}

// The root's child that holds Window: a reparenting manager's frame, or
// Window itself where nothing reparented it.
xcb_window_t TopLevelAncestor(xcb_connection_t* C, xcb_window_t Window) {
    for (int depth = 0; depth < 16; ++depth) {
        const auto tree = Ask(C, xcb_query_tree(C, Window), &xcb_query_tree_reply);
        if (!tree || tree->parent == XCB_WINDOW_NONE || tree->parent == tree->root)
            break;
        Window = tree->parent;
    }
    return Window;
}

} // namespace

std::optional<QRect> TWindowSnapper::OuterFrame(const QWidget* Window) {
    xcb_connection_t* c = XConnection();
    if (!c)
        return QtFrame(Window);
    const auto window = xcb_window_t(Window->internalWinId());
    if (window == XCB_WINDOW_NONE)
        return std::nullopt;
    // A manager maps the client once it has framed it, so a viewable client
    // has its frame.
    const auto attributes = Ask(c, xcb_get_window_attributes(c, window), &xcb_get_window_attributes_reply);
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
        return std::nullopt;
    const auto geometry = Ask(c, xcb_get_geometry(c, window), &xcb_get_geometry_reply);
    if (!geometry)
        return std::nullopt;
    const auto origin =
        Ask(c, xcb_translate_coordinates(c, window, geometry->root, 0, 0), &xcb_translate_coordinates_reply);
    if (!origin)
        return std::nullopt;
    QRect frame(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    if (const std::optional<QMargins> extents = FrameExtents(c, window)) {
        frame = frame.marginsAdded(*extents);
    } else if (const xcb_window_t top = TopLevelAncestor(c, window); top != window) {
        // A manager that draws a frame but does not publish its size.
        if (const auto outer = Ask(c, xcb_get_geometry(c, top), &xcb_get_geometry_reply))
            frame = QRect(outer->x, outer->y, outer->width + 2 * outer->border_width,
                          outer->height + 2 * outer->border_width);
    }
    return ToQt(frame, Window);
}

// Before a window is mapped for the first time, a manager that offers it
// tells the frame it is going to draw, so that the first request already
// allows for it and the window appears where it belongs, not one frame off.
std::optional<QMargins> TWindowSnapper::PlannedFrameMargins() const {
    xcb_connection_t* c = XConnection();
    const auto window = xcb_window_t(FWindow->internalWinId());
    if (!c || window == XCB_WINDOW_NONE)
        return std::nullopt;
    const auto attributes = Ask(c, xcb_get_window_attributes(c, window), &xcb_get_window_attributes_reply);
    const auto geometry = Ask(c, xcb_get_geometry(c, window), &xcb_get_geometry_reply);
    if (!attributes || attributes->map_state != XCB_MAP_STATE_UNMAPPED || !geometry)
        return std::nullopt;
    const xcb_atom_t request = Atom(c, "_NET_REQUEST_FRAME_EXTENTS");
    if (!ManagerSupports(c, geometry->root, request))
        return std::nullopt;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = request;
    xcb_send_event(c, 0, geometry->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(c);
    // The manager answers at once; a short wait costs the first show little.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(250);
    do {
        if (const std::optional<QMargins> extents = FrameExtents(c, window))
            return ToQt(*extents, FWindow);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < deadline);
    return std::nullopt;
}

TPointerState TWindowSnapper::SystemPointer() const {
    xcb_connection_t* c = XConnection();
    const auto window = xcb_window_t(FWindow->internalWinId());
    if (!c || window == XCB_WINDOW_NONE)
        return QtPointer();
    const auto pointer = Ask(c, xcb_query_pointer(c, window), &xcb_query_pointer_reply);
    if (!pointer)
        return QtPointer();
    TPointerState state;
    state.ButtonDown =
        (pointer->mask & (XCB_KEY_BUT_MASK_BUTTON_1 | XCB_KEY_BUT_MASK_BUTTON_2 | XCB_KEY_BUT_MASK_BUTTON_3 |
                          XCB_KEY_BUT_MASK_BUTTON_4 | XCB_KEY_BUT_MASK_BUTTON_5)) != 0;
    if (pointer->mask & XCB_KEY_BUT_MASK_SHIFT)
        state.Modifiers |= Qt::ShiftModifier;
    if (pointer->mask & XCB_KEY_BUT_MASK_CONTROL)
        state.Modifiers |= Qt::ControlModifier;
    // The keymaps that XKB builds put Alt on Mod1.
    if (pointer->mask & XCB_KEY_BUT_MASK_MOD_1)
        state.Modifiers |= Qt::AltModifier;
    return state;
}

bool TWindowSnapper::PlacementNeedsLooks() {
    return XConnection() != nullptr;
}

void TWindowSnapper::WatchMoves() {
    FPointerPoll.setInterval(kPointerPollMs);
    connect(&FPointerPoll, &QTimer::timeout, this, &TWindowSnapper::PointerPoll);
}

void TWindowSnapper::WindowMoved() {
    FSinceMove.start();
    if (FPointerPoll.isActive())
        return;
    FSawButton = false;
    FMaybeAnswer = FSinceProgramMove.isValid() && FSinceProgramMove.elapsed() < kAnswerMs;
    FPointerPoll.start();
}

void TWindowSnapper::PointerPoll() {
    // One answer for both: the buttons that end the move and the modifiers
    // held at that moment.
    const TPointerState pointer = FPointer();
    if (pointer.ButtonDown) {
        FSawButton = true;
        return;
    }
    if (!FSawButton && FMaybeAnswer) {
        FPointerPoll.stop(); // the manager's doing, not the user's
        return;
    }
    if (!FSawButton && FSinceMove.elapsed() < kQuietMs)
        return;
    FPointerPoll.stop();
    FSawButton = false;
    SnapWith(pointer.Modifiers);
}
