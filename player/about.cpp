// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "about.h"

#include "URLLink.h"
#include "WindowSnapper.h"
#include "main.h"

#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QShowEvent>

namespace {

QFont TahomaFont(int PixelSize, bool Bold) {
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(PixelSize);
    font.setBold(Bold);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QLabel* MakeLabel(QWidget* Parent, int Left, int Top, int Width, int Height, bool Bold,
                  const QString& Caption) {
    auto* label = new QLabel(Caption, Parent);
    label->setTextFormat(Qt::PlainText);
    label->setAutoFillBackground(true);
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(pal);
    label->setFont(TahomaFont(11, Bold));
    label->setGeometry(Left, Top, Width, Height);
    label->adjustSize();
    return label;
}

TURLLink* MakeLink(QWidget* Parent, int Left, int Top, int Width, int Height, const QString& Link,
                   const QString& Caption) {
    auto* link = new TURLLink(Parent);
    link->setGeometry(Left, Top, Width, Height);
    link->SetLink(Link);
    link->SetURLType(tpURL);
    link->setAttribute(Qt::WA_TranslucentBackground);
    link->setAutoFillBackground(false);
    link->setFont(TahomaFont(11, false));
    link->SetFontColor(clWhite);
    link->SetLinkColor(clRed);
    link->SetEnableShowHint(false);
    QFont hint(QStringLiteral("ＭＳ Ｐゴシック"));
    hint.setPixelSize(12);
    link->SetHintFormFont(hint);
    link->SetCaption(Caption);
    return link;
}

} // namespace

QImage PublisherLogo() {
    QImage logo(200, 40, QImage::Format_RGB888);
    logo.fill(Qt::black);
    QPainter p(&logo);
    p.setPen(QColor(181, 181, 181));
    p.drawRect(0, 0, 199, 39);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(9);
    p.setFont(font);
    p.setPen(QColor(210, 210, 210));
    p.drawText(QRect(0, 0, 194, 35), Qt::AlignRight | Qt::AlignBottom, QString::fromUtf16(kPublisherName));
    return logo;
}

TQUADV_ABOUT::TQUADV_ABOUT(QWidget* Owner)
    : QDialog(Owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("QUADV_ABOUT"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    setFixedSize(217, 152);
    setFont(TahomaFont(11, false));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);

    // The stored caption is replaced before the dialog appears.
    Label1 = MakeLabel(this, 8, 8, 46, 13, true, QStringLiteral("Label1"));
    Label3 = MakeLabel(this, 8, 48, 50, 13, false, QString::fromUtf16(kPublisherName));
    IMG = new QLabel(this);
    IMG->setGeometry(8, 104, 201, 41);
    IMG->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    IMG->setPixmap(QPixmap::fromImage(PublisherLogo()));
    L_URL =
        MakeLink(this, 8, 64, 101, 13, QString::fromUtf16(kPublisherUrl), QString::fromUtf16(kPublisherUrl));
    L_Email = MakeLink(this, 8, 80, 120, 13, QStringLiteral("mailto:") + QString::fromUtf16(kPublisherMail),
                       QString::fromUtf16(kPublisherMail));

    FSnapper = new TWindowSnapper(this);
}

void TQUADV_ABOUT::FormShow(QObject*) {
    Label1->setText(QUADV_MAIN ? QUADV_MAIN->FTitle : QString());
    Label1->adjustSize();
}

void TQUADV_ABOUT::showEvent(QShowEvent* Event) {
    if (!Event->spontaneous())
        FormShow(this);
    QDialog::showEvent(Event);
}

void TQUADV_ABOUT::keyPressEvent(QKeyEvent* Event) {
    // The dialog closes only through its title bar (close button, system
    // menu, Alt+F4); Escape, which QDialog takes as a rejection, does nothing.
    if (Event->key() == Qt::Key_Escape) {
        Event->ignore();
        return;
    }
    QDialog::keyPressEvent(Event);
}

void ShowAboutDialog(QWidget* Owner) {
    TQUADV_ABOUT about(Owner);
    // Frame on frame, as the window manager draws both.
    about.Snapper()->PlaceFrame(TWindowSnapper::OuterFrame(Owner).value_or(Owner->frameGeometry()).topLeft());
    about.exec();
}
