#include "ErrorDisplay.h"

#include "main.h"

#include <QMessageBox>

namespace {

TMessageHook& Hook() {
    static TMessageHook hook;
    return hook;
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

void ShowCriticalMessage(QWidget* Owner, const QString& Caption, const QString& Text) {
    if (Hook()) {
        Hook()(Owner, Caption, Text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, Caption, Text, QMessageBox::Ok, Owner);
    box.exec();
}

void SetMessageHook(TMessageHook NewHook) {
    Hook() = std::move(NewHook);
}
