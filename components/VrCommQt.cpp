#include "VrCommQt.h"

#include "platform/NotifyChannel.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

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
        QObject::connect(Notifier, &QSocketNotifier::activated, Notifier, [] { DrainNotifications(0); });
    });
}

Q_COREAPP_STARTUP_FUNCTION(InstallVrCommQtNotifier)
