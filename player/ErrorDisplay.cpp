// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ErrorDisplay.h"

#include "QuadvError.h"
#include "main.h"

#include <QMessageBox>

namespace {

TMessageHook& Hook() {
    static TMessageHook hook;
    return hook;
}

void ShowMessage(QMessageBox::Icon Icon, QWidget* Owner, const QString& Caption, const QString& Text) {
    if (Hook()) {
        Hook()(Owner, Caption, Text);
        return;
    }
    QMessageBox box(Icon, Caption, Text, QMessageBox::Ok, Owner);
    box.exec();
}

} // namespace

QString InnermostMessage(const std::exception& Error) {
    QString message = QString::fromUtf8(Error.what());
    try {
        std::rethrow_if_nested(Error);
    } catch (const std::exception& Inner) {
        const QString inner = InnermostMessage(Inner);
        if (!inner.isEmpty())
            message = inner;
    } catch (...) {
        // A nested value that is no exception has no message to offer.
    }
    return message;
}

QString ErrorDisplayText(const QString& Text) {
    if (!Text.isEmpty() && Text.back().unicode() > u'.')
        return Text + u'.';
    return Text;
}

void ShowErrorDisplay(const std::exception& Error) {
    ShowCriticalMessage(nullptr, QString::fromUtf16(kApplicationTitle),
                        ErrorDisplayText(InnermostMessage(Error)));
}

void ShowCurrentError() {
    const QString unexpected = QStringLiteral("予期しないエラーが発生しました");
    try {
        throw;
    } catch (const EQuadvError& Error) {
        ShowErrorDisplay(Error);
    } catch (const std::exception& Error) {
        const QString message = InnermostMessage(Error);
        ShowCriticalMessage(nullptr, QString::fromUtf16(kApplicationTitle),
                            ErrorDisplayText(message.isEmpty() ? unexpected : message));
    } catch (...) {
        ShowCriticalMessage(nullptr, QString::fromUtf16(kApplicationTitle), ErrorDisplayText(unexpected));
    }
}

void RunCommand(const std::function<void()>& Command) {
    try {
        Command();
    } catch (...) {
        ShowCurrentError();
    }
}

void ShowCriticalMessage(QWidget* Owner, const QString& Caption, const QString& Text) {
    ShowMessage(QMessageBox::Critical, Owner, Caption, Text);
}

void ShowWarningMessage(QWidget* Owner, const QString& Caption, const QString& Text) {
    ShowMessage(QMessageBox::Warning, Owner, Caption, Text);
}

void SetMessageHook(TMessageHook NewHook) {
    Hook() = std::move(NewHook);
}
