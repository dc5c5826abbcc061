// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ErrorDisplay.h"
#include "PlayerTestSupport.h"
#include "QuadvError.h"
#include "main.h"

#include <QCoreApplication>
#include <QEvent>

#include <gtest/gtest.h>

namespace {

struct TFullStopRow {
    const char16_t* Text;
    const char16_t* Shown;
};

TEST(ErrorDisplayText, AppendsAFullStopOnlyAfterCharactersAboveIt) {
    const TFullStopRow rows[] = {
        {u"File not found", u"File not found."}, // letter
        {u"code 9", u"code 9."},                 // digit
        {u"Done.", u"Done."},                    // already a full stop
        {u"Oops!", u"Oops!"},                    // "!" is 33
        {u"(x)", u"(x)"},                        // ")" is 41
        {u"a-", u"a-"},                          // "-" is 45
        {u"a/", u"a/."},                         // "/" is 47
        {u"開けません", u"開けません."},         // beyond ASCII
        {u"", u""},
    };
    for (const TFullStopRow& row : rows)
        EXPECT_EQ(ErrorDisplayText(QString::fromUtf16(row.Text)), QString::fromUtf16(row.Shown))
            << QString::fromUtf16(row.Text).toStdString();
}

std::exception_ptr Chain(std::vector<std::string> Messages) {
    // Messages outermost first; each wraps the next.
    std::function<void(size_t)> raise = [&](size_t I) {
        if (I + 1 == Messages.size())
            throw EQuadvError(Messages[I]);
        try {
            raise(I + 1);
        } catch (...) {
            std::throw_with_nested(EQuadvError(Messages[I]));
        }
    };
    try {
        raise(0);
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

QString InnermostOf(std::vector<std::string> Messages) {
    try {
        std::rethrow_exception(Chain(std::move(Messages)));
    } catch (const std::exception& Error) {
        return InnermostMessage(Error);
    }
    return QStringLiteral("<nothing thrown>");
}

TEST(ErrorDisplayText, ShowsTheInnermostNonEmptyMessage) {
    EXPECT_EQ(InnermostOf({"outer"}), QStringLiteral("outer"));
    EXPECT_EQ(InnermostOf({"outer", "inner"}), QStringLiteral("inner"));
    EXPECT_EQ(InnermostOf({"outer", "middle", ""}), QStringLiteral("middle"));
    EXPECT_EQ(InnermostOf({"outer", "", ""}), QStringLiteral("outer"));
}

class TThrowingObject : public QObject {
public:
    std::function<void()> FThrow;
    int FDelivered = 0;
    bool event(QEvent* Event) override {
        if (Event->type() != QEvent::User)
            return QObject::event(Event);
        ++FDelivered;
        if (FThrow)
            FThrow();
        return true;
    }
};

TEST(ApplicationNotify, ShowsErrorsFromHandlersAndKeepsDelivering) {
    EnsureApplication();
    std::vector<TShownMessage> shown;
    SetMessageHook([&](QWidget* Owner, const QString& Caption, const QString& Text) {
        shown.push_back({Owner, Caption, Text});
    });
    TThrowingObject target;

    target.FThrow = [] { throw EQuadvError("cannot open a.mp4"); };
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents(&target);
    target.FThrow = [] { throw std::bad_alloc(); }; // another type's error keeps its own text
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents(&target);
    target.FThrow = [] { throw 42; }; // no exception at all: still a message, never an empty box
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents(&target);
    target.FThrow = nullptr;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents(&target);
    SetMessageHook({});

    EXPECT_EQ(target.FDelivered, 4);
    ASSERT_EQ(shown.size(), 3u);
    for (const TShownMessage& message : shown)
        EXPECT_EQ(message.Caption, QString::fromUtf16(kApplicationTitle));
    EXPECT_EQ(shown[0].Text, QStringLiteral("cannot open a.mp4."));
    EXPECT_EQ(shown[1].Text, QStringLiteral("std::bad_alloc."));
    EXPECT_EQ(shown[2].Text, QStringLiteral("予期しないエラーが発生しました."));
}

} // namespace
