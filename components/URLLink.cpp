// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "URLLink.h"

#include "Shell.h"

#include <QCursor>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace {

// The borderless window that shows the link. It paints its text whenever it
// is exposed, so it stays readable when another window covers and uncovers it.
class THintForm final : public QWidget {
public:
    THintForm()
        : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowDoesNotAcceptFocus) {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setFocusPolicy(Qt::NoFocus);
        setAutoFillBackground(true);
    }
    QString FText;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setFont(font());
        p.setPen(palette().color(QPalette::ToolTipText));
        const QFontMetrics fm(font());
        p.drawText(QPoint(2, 2 + fm.ascent()), FText);
    }
};

} // namespace

TURLLink::TURLLink(QWidget* Owner) : QLabel(Owner) {
    FURLtype = tpURL;
    setCursor(Qt::PointingHandCursor);
    FLink = QStringLiteral("http://");
    SetFontColor(clBlue);
    FLinkColor = clRed;
    ShowHintForm = false;
    FHintOffsetX = 15;
    FHintOffsetY = 15;
    FHintFormColor = clInfoBk;
    FEnableShowHint = true;
    HintForm = std::make_unique<THintForm>();
    FHintFormFont = std::make_unique<QFont>();
    setTextFormat(Qt::PlainText);
    setMouseTracking(true);
}

TURLLink::~TURLLink() {
    HintForm.reset();
    FHintFormFont.reset();
}

void TURLLink::SetURLType(TURLtype Value) {
    if (Value != FURLtype) {
        FURLtype = Value;
        update();
    }
}

void TURLLink::SetLink(const QString& Value) {
    if (Value != FLink) {
        FLink = Value;
        update();
    }
}

void TURLLink::SetHintFormFont(const QFont& Value) {
    if (&Value == FHintFormFont.get())
        return;
    *FHintFormFont = Value;
    update();
}

void TURLLink::SetEnableShowHint(bool Value) {
    if (Value != FEnableShowHint) {
        FEnableShowHint = Value;
        update();
    }
}

void TURLLink::SetHintFormColor(TColor Value) {
    if (Value != FHintFormColor) {
        FHintFormColor = Value;
        update();
    }
}

void TURLLink::SetHintOffsetX(int Value) {
    if (Value != FHintOffsetX) {
        FHintOffsetX = Value;
        update();
    }
}

void TURLLink::SetHintOffsetY(int Value) {
    if (Value != FHintOffsetY) {
        FHintOffsetY = Value;
        update();
    }
}

void TURLLink::SetLinkColor(TColor Value) {
    // Takes effect at the next entry of the pointer, not on a hot caption.
    if (Value != FLinkColor) {
        FLinkColor = Value;
        update();
    }
}

void TURLLink::SetFontColor(TColor Value) {
    FCaptionColor = Value;
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, ToQColor(Value));
    setPalette(pal);
}

void TURLLink::SetCaption(const QString& Value) {
    setText(Value);
    if (FAutoSize)
        adjustSize();
}

void TURLLink::SetAutoSize(bool Value) {
    FAutoSize = Value;
    if (FAutoSize)
        adjustSize();
}

void TURLLink::enterEvent(QEnterEvent* Event) {
    QLabel::enterEvent(Event);
    MouseEnter();
}

void TURLLink::leaveEvent(QEvent* Event) {
    QLabel::leaveEvent(Event);
    MouseLeave();
}

void TURLLink::mouseMoveEvent(QMouseEvent* Event) {
    QLabel::mouseMoveEvent(Event);
    MouseMove();
}

void TURLLink::mousePressEvent(QMouseEvent* Event) {
    update();
    QLabel::mousePressEvent(Event);
    MouseDown(Event->button());
}

void TURLLink::MouseEnter() {
    FFontColor = FCaptionColor;
    SetFontColor(FLinkColor);
    update();
}

void TURLLink::MouseLeave() {
    SetFontColor(FFontColor);
    update();
    if (ShowHintForm)
        HideHint();
}

void TURLLink::MouseMove() {
    // Once per stay over the label, where the pointer first moved; the hint
    // does not follow the pointer.
    if (!FEnableShowHint || ShowHintForm)
        return;
    const QPoint p = QCursor::pos();
    auto* hint = static_cast<THintForm*>(HintForm.get());
    QPalette pal = hint->palette();
    pal.setColor(QPalette::Window, ToQColor(FHintFormColor));
    hint->setPalette(pal);
    hint->setFont(*FHintFormFont);
    const QFontMetrics fm(*FHintFormFont);
    hint->resize(fm.horizontalAdvance(FLink) + 6, fm.height() + 3);
    // Not kept on the screen: near its right or bottom edge the hint may extend past it.
    hint->move(p.x() + FHintOffsetX, p.y() + FHintOffsetY);
    hint->FText = FLink;
    hint->show();
    hint->update();
    ShowHintForm = true;
}

void TURLLink::MouseDown(Qt::MouseButton Button) {
    if (Button != Qt::LeftButton)
        return;
    // The mail form prefixes whatever Link holds, even a "mailto:" already there.
    const QString target = FURLtype == tpMAIL ? QStringLiteral("mailto:") + FLink : FLink;
    TShell::Current().Execute(nullptr, QStringLiteral("OPEN"), target);
    if (ShowHintForm)
        HideHint();
}

void TURLLink::HideHint() {
    HintForm->hide();
    ShowHintForm = false;
}
