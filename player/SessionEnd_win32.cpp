// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SessionEnd.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QObject>

#include <windows.h>

#include <utility>

namespace {

// WM_ENDSESSION reaches every top-level window of the program; the first one
// ends the session for all of them. Its parameters are not looked at: a
// session end cancelled by another program closes the window all the same.
class TSessionEndFilter final : public QObject, public QAbstractNativeEventFilter {
public:
    TSessionEndFilter(QObject* Owner, std::function<void()> OnEnd)
        : QObject(Owner), FOnEnd(std::move(OnEnd)) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    // The base class's destructor takes the filter out of the application,
    // so OnEnd is never called once Owner has gone.

    bool nativeEventFilter(const QByteArray& EventType, void* Message, qintptr* Result) override {
        if (EventType != "windows_generic_MSG")
            return false;
        const MSG* msg = static_cast<const MSG*>(Message);
        if (msg->message != WM_ENDSESSION)
            return false;
        if (!FEnded) {
            FEnded = true;
            FOnEnd();
        }
        *Result = 0;
        return true;
    }

private:
    std::function<void()> FOnEnd;
    bool FEnded = false;
};

} // namespace

void InstallSessionEndSignals(QObject* Owner, std::function<void()> OnEnd) {
    new TSessionEndFilter(Owner, std::move(OnEnd));
}
