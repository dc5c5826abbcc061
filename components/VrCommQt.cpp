#include "VrCommQt.h"

#include "platform/NotifyChannel.h"

#include <QCoreApplication>
#include <QSocketNotifier>

void InstallVrCommQtNotifier() {
    // Called on the thread that gets its queue, so the notifier belongs to that
    // thread's event loop. It lives as long as the queue: until the thread ends.
    SetNotifyQueueHook([](int WakeDescriptor) {
        auto* Notifier = new QSocketNotifier(WakeDescriptor, QSocketNotifier::Read);
        QObject::connect(Notifier, &QSocketNotifier::activated, Notifier, [] { DrainNotifications(0); });
    });
}

Q_COREAPP_STARTUP_FUNCTION(InstallVrCommQtNotifier)
