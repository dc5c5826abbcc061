// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "PlatformExport.h"

/// @file
/// Notifications from any thread to the thread that created a channel (its
/// owner). Each thread has one queue with a wake-up descriptor that any event
/// loop can watch; the owner's thread runs the channel's handler when it drains
/// its queue. On Windows a hidden message-only window stands behind the same calls.
///
/// A program with its own loop watches NotifyWakeDescriptor() (poll, select,
/// epoll) and calls DrainNotifications(0) when it is readable. A Qt program
/// needs neither: Quadrelle::Widgets watches every owner thread's descriptor
/// in that thread's Qt event loop (see VrCommQt.h).

#include <cstdint>
#include <functional>
#include <memory>

/// A way for any thread to hand a message number to the thread that created
/// the channel, as a window's message queue does on Windows.
///
/// Message numbers are those a Win32 program keeps for its private window
/// messages, 0x8000 (WM_APP) to 0xBFFE; on Windows they are the window messages.
class QUADRELLE_PLATFORM_EXPORT TNotifyChannel {
public:
    /// Runs on the owner's thread, inside DrainNotifications or
    /// DrainSentNotifications, once for each message.
    using THandler = std::function<void(uint32_t Message)>;

    /// Creates a channel owned by the calling thread; null when the platform
    /// refuses (no descriptor left). Handler runs only on the owner's thread.
    static std::unique_ptr<TNotifyChannel> Create(THandler Handler);
    /// Owner's thread only. Messages not yet handled are dropped, and a thread
    /// waiting in Send is released.
    virtual ~TNotifyChannel() = default;

    /// Any thread: queues Message and returns at once (PostMessageW); false
    /// when the system refused it (on Windows a thread's queue takes 10000).
    virtual bool Post(uint32_t Message) = 0;
    /// Any thread but the owner's: queues Message and waits until the owner's
    /// thread has handled it or destroyed the channel (SendMessageW). Called on
    /// the owner's thread it would wait for ever.
    virtual void Send(uint32_t Message) = 0;
};

/// The calling thread's wake-up descriptor: readable while messages wait. The
/// thread's queue is made on the first call; -1 when the system refuses one
/// (no descriptor left), and always on Windows, where the thread's message
/// queue announces the messages (MsgWaitForMultipleObjects). The descriptor
/// stays the thread's until it ends: do not read, write or close it;
/// DrainNotifications resets it.
QUADRELLE_PLATFORM_EXPORT int NotifyWakeDescriptor();

/// Delivers the calling thread's pending messages, waiting up to TimeoutMs
/// (0: not at all, negative: for ever) for the first. Returns the number handled.
/// Messages that handlers post meanwhile wait for the next drain.
/// What a handler raises leaves the drain; the messages still queued stay
/// announced on the wake-up descriptor, so the next drain delivers them.
QUADRELLE_PLATFORM_EXPORT int DrainNotifications(int TimeoutMs);

/// Delivers only the calling thread's messages of Send, which a sender waits
/// for; used by an owner that must wait for a worker without running the rest.
/// Returns the number handled; never waits.
QUADRELLE_PLATFORM_EXPORT int DrainSentNotifications();

/// Called on a thread the first time it gets a queue, with its wake-up
/// descriptor; lets an event loop (Qt's) watch every owner thread by itself.
/// Any thread may set it; it replaces the hook set before, and queues made
/// earlier are not announced again. Quadrelle::Widgets sets it for Qt. On
/// Windows, where the window messages reach every event loop, it is not called.
QUADRELLE_PLATFORM_EXPORT void SetNotifyQueueHook(std::function<void(int WakeDescriptor)> Hook);
