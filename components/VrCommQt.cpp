// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "VrCommQt.h"

#include "platform/NotifyChannel.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QtGlobal>

#include <mutex>

namespace {

std::mutex HookLock;
TVrCommQtErrorHook ErrorHook;

void LogError(std::exception_ptr Error) {
    try {
        std::rethrow_exception(Error);
    } catch (const std::exception& E) {
        qCritical("TVrThreadedComm: %s", E.what());
    } catch (...) {
        qCritical("TVrThreadedComm: an exception of unknown type");
    }
}

void HandOver(std::exception_ptr Error) {
    TVrCommQtErrorHook Hook;
    {
        std::lock_guard Guard(HookLock);
        Hook = ErrorHook;
    }
    (Hook ? Hook : LogError)(Error);
}

} // namespace

void SetVrCommQtErrorHook(TVrCommQtErrorHook Hook) {
    std::lock_guard Guard(HookLock);
    ErrorHook = std::move(Hook);
}

void InstallVrCommQtNotifier() {
    // Called on the thread that gets its queue, so the notifier belongs to that
    // thread's event loop. It lives as long as the queue: until the thread ends.
    SetNotifyQueueHook([](int WakeDescriptor) {
        // On the application's own thread the application owns it, so it goes
        // with the application; a worker thread's notifier lives as long as
        // that thread's queue.
        QCoreApplication* App = QCoreApplication::instance();
        QObject* Owner = App && App->thread() == QThread::currentThread() ? App : nullptr;
        auto* Notifier = new QSocketNotifier(WakeDescriptor, QSocketNotifier::Read, Owner);
        QObject::connect(Notifier, &QSocketNotifier::activated, Notifier, [] {
            // The drain leaves what is still queued announced, so the notifier
            // fires again for it.
            try {
                DrainNotifications(0);
            } catch (...) {
                HandOver(std::current_exception());
            }
        });
    });
}

Q_COREAPP_STARTUP_FUNCTION(InstallVrCommQtNotifier)
