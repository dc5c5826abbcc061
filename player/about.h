// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDialog>

class QLabel;
class QKeyEvent;
class QShowEvent;
class TURLLink;
class TWindowSnapper;

// The About dialog: the application title, the publisher's name and logo,
// and links to the publisher's web site and mail address. Fixed size, black,
// modal; it snaps to the work area like the main window. GUI thread only.
class TQUADV_ABOUT : public QDialog {
    Q_OBJECT
public:
    explicit TQUADV_ABOUT(QWidget* Owner);

    QLabel* Label1;
    QLabel* Label3;
    QLabel* IMG;
    TURLLink* L_URL;
    TURLLink* L_Email;

    // Puts the main window's captured title into Label1.
    void FormShow(QObject* Sender);

    TWindowSnapper* Snapper() const { return FSnapper; }

protected:
    void showEvent(QShowEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    TWindowSnapper* FSnapper;
};

// The publisher's texts, which only this dialog shows.
inline constexpr char16_t kPublisherName[] = u"Quadrelle Project";
inline constexpr char16_t kPublisherUrl[] = u"https://quadrelle.example.org/";
inline constexpr char16_t kPublisherMail[] = u"info@quadrelle.example.org";

// The logo: 200 x 40 pixels, 24-bit, black with a grey frame and the
// publisher's name near its lower right corner.
QImage PublisherLogo();

// The About command: a fresh dialog owned by Owner, its top-left corner on
// Owner's, shown modally and destroyed when it closes.
void ShowAboutDialog(QWidget* Owner);
