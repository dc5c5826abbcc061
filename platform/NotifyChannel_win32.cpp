// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "NotifyChannel.h"

#include <windows.h>

#include <atomic>
#include <exception>
#include <utility>

// Each channel is a hidden message-only window on its owner's thread; a post
// is PostMessageW and a send is SendMessageW with the notification's number as
// the message and both parameters 0. The thread's own message queue is what an
// event loop waits on, so any Win32 message loop (Qt's included) delivers the
// notifications by itself: there is no wake-up descriptor (-1) and the queue
// hook is never called.

namespace {

constexpr wchar_t kClassName[] = L"QuadvNotifyChannel";
// Ends a drain: posted after the messages the drain is to deliver.
constexpr UINT kDrainMarker = WM_APP + 0x3FFF;
constexpr int kQueueLimit = 10000; // USERPostMessageLimit's default

bool IsNotification(UINT Msg) {
    return Msg >= WM_APP && Msg < kDrainMarker;
}

// Notifications handled on this thread, counted for the drains.
thread_local int HandledCount = 0;
// A message that another thread sent is delivered from inside the system's
// peek, and an exception cannot cross that call (Windows and Wine swallow it).
// So while a drain runs, the first exception a handler raises waits here and
// the drain raises it once the system call has returned. Outside a drain the
// program's own loop dispatches, and an exception goes its usual way.
thread_local int DrainDepth = 0;
thread_local std::exception_ptr Raised;

struct TDrainScope {
    TDrainScope() { ++DrainDepth; }
    ~TDrainScope() { --DrainDepth; }
};

void RaiseWhatAHandlerRaised() {
    if (Raised)
        std::rethrow_exception(std::exchange(Raised, nullptr));
}

std::atomic<WPARAM> DrainSequence{0};

class TWin32Channel final : public TNotifyChannel {
public:
    explicit TWin32Channel(THandler Handler) : FHandler(std::move(Handler)) {}
    // Destroying the window discards its posted messages and releases a thread
    // waiting in SendMessageW for it.
    ~TWin32Channel() override {
        if (FWindow)
            DestroyWindow(FWindow);
    }

    bool Open() {
        FWindow = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        if (!FWindow)
            return false;
        SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        return true;
    }

    bool Post(uint32_t Message) override { return PostMessageW(FWindow, Message, 0, 0) != 0; }
    void Send(uint32_t Message) override { SendMessageW(FWindow, Message, 0, 0); }

    void Handle(uint32_t Message) { FHandler(Message); }

private:
    THandler FHandler;
    HWND FWindow = nullptr;
};

LRESULT CALLBACK ChannelProc(HWND Window, UINT Msg, WPARAM W, LPARAM L) {
    if (IsNotification(Msg)) {
        if (auto* Channel = reinterpret_cast<TWin32Channel*>(GetWindowLongPtrW(Window, GWLP_USERDATA))) {
            ++HandledCount;
            if (DrainDepth == 0) {
                Channel->Handle(Msg);
                return 0;
            }
            try {
                Channel->Handle(Msg);
            } catch (...) {
                if (!Raised)
                    Raised = std::current_exception();
            }
        }
        return 0;
    }
    return DefWindowProcW(Window, Msg, W, L);
}

bool RegisterChannelClass() {
    static const bool Registered = [] {
        WNDCLASSEXW Class{};
        Class.cbSize = sizeof Class;
        Class.lpfnWndProc = ChannelProc;
        Class.hInstance = GetModuleHandleW(nullptr);
        Class.lpszClassName = kClassName;
        return RegisterClassExW(&Class) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return Registered;
}

} // namespace

std::unique_ptr<TNotifyChannel> TNotifyChannel::Create(THandler Handler) {
    if (!RegisterChannelClass())
        return nullptr;
    auto Channel = std::make_unique<TWin32Channel>(std::move(Handler));
    if (!Channel->Open())
        return nullptr;
    return Channel;
}

int NotifyWakeDescriptor() {
    return -1;
}

int DrainNotifications(int TimeoutMs) {
    const int Before = HandledCount;
    const TDrainScope Scope;
    MSG M;
    // The wait also wakes for a sent message, which the peeks below deliver.
    if (TimeoutMs != 0 && !PeekMessageW(&M, nullptr, 0, 0, PM_NOREMOVE))
        MsgWaitForMultipleObjectsEx(0, nullptr, TimeoutMs < 0 ? INFINITE : static_cast<DWORD>(TimeoutMs),
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    RaiseWhatAHandlerRaised();
    // Only what is queued now: handlers that post again wait for the next
    // drain. Posted messages keep their order, so the marker comes after them.
    // A queue too full to take the marker holds at most the system's limit of
    // posted messages, so that many are delivered instead.
    const WPARAM Sequence = ++DrainSequence;
    const bool Marked = PostThreadMessageW(GetCurrentThreadId(), kDrainMarker, Sequence, 0);
    for (int Left = kQueueLimit; (Marked || Left-- > 0) && PeekMessageW(&M, nullptr, 0, 0, PM_REMOVE);) {
        if (M.hwnd == nullptr && M.message == kDrainMarker) {
            if (M.wParam == Sequence)
                break;
            continue; // left behind by a drain that a handler's exception ended
        }
        if (M.message == WM_QUIT) { // for the program's own loop
            PostQuitMessage(static_cast<int>(M.wParam));
            break;
        }
        TranslateMessage(&M);
        DispatchMessageW(&M);
        // This message's exception, or that of one sent during the peek, now
        // that the message the peek took has had its turn.
        RaiseWhatAHandlerRaised();
    }
    RaiseWhatAHandlerRaised(); // sent during the last peek
    return HandledCount - Before;
}

int DrainSentNotifications() {
    const int Before = HandledCount;
    const TDrainScope Scope;
    // A peek delivers the messages that other threads sent to this thread's
    // windows before it looks at the queue; limited to those, it takes nothing.
    MSG M;
    PeekMessageW(&M, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    RaiseWhatAHandlerRaised();
    return HandledCount - Before;
}

void SetNotifyQueueHook(std::function<void(int WakeDescriptor)>) {}
