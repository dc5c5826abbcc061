// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "WidgetsExport.h"

#include "Colors.h"

#include <QFont>
#include <QLabel>
#include <QString>

#include <memory>

class QEnterEvent;
class QMouseEvent;

/// @file
/// TURLLink, a label that behaves as a hyperlink.

/// What a TURLLink's Link is.
enum TURLtype : uint8_t {
    tpURL = 0, ///< an address or a path, opened as it is
    tpMAIL = 1 ///< a mail address: "mailto:" is put before it when opened
};

/// A label that behaves as a hyperlink: its caption takes LinkColor while the
/// pointer is over it, a left press hands Link to the desktop (TShell), and a
/// small hint window can show the link next to the pointer. GUI thread only.
class QUADRELLE_WIDGETS_EXPORT TURLLink : public QLabel {
    Q_OBJECT
public:
    /// A link label with a pointing-hand cursor, a blue caption that turns red
    /// under the pointer, and Link "http://".
    explicit TURLLink(QWidget* Owner = nullptr);
    ~TURLLink() override;

    /// What Link is. Default tpURL.
    TURLtype GetURLType() const { return FURLtype; }
    /// Sets URLType.
    void SetURLType(TURLtype Value);
    /// What a left press opens: an address, a path, or with tpMAIL a mail address.
    const QString& GetLink() const { return FLink; }
    /// Sets Link.
    void SetLink(const QString& Value);
    /// The hint window's font. Setting copies the given font's attributes into
    /// the label's own hint font; the label keeps no reference to the argument.
    const QFont& GetHintFormFont() const { return *FHintFormFont; }
    /// Sets HintFormFont.
    void SetHintFormFont(const QFont& Value);
    /// True when the hint window shows Link while the pointer is over the label. Default true.
    bool GetEnableShowHint() const { return FEnableShowHint; }
    /// Sets EnableShowHint.
    void SetEnableShowHint(bool Value);
    /// The hint window's background. Default clInfoBk.
    TColor GetHintFormColor() const { return FHintFormColor; }
    /// Sets HintFormColor; takes effect the next time the hint shows.
    void SetHintFormColor(TColor Value);
    /// How far right of the pointer the hint window shows, in pixels. Default 15.
    int GetHintOffsetX() const { return FHintOffsetX; }
    /// Sets HintOffsetX.
    void SetHintOffsetX(int Value);
    /// How far below the pointer the hint window shows, in pixels. Default 15.
    int GetHintOffsetY() const { return FHintOffsetY; }
    /// Sets HintOffsetY.
    void SetHintOffsetY(int Value);
    /// The caption's colour while the pointer is over the label. Default clRed.
    TColor GetLinkColor() const { return FLinkColor; }
    /// Sets LinkColor; takes effect the next time the pointer enters.
    void SetLinkColor(TColor Value);

    /// The caption's font colour (the label's own Font.Color). A new value
    /// takes effect at once; while the pointer is over the label it is undone
    /// when the pointer leaves. Default clBlue.
    TColor GetFontColor() const { return FCaptionColor; }
    /// Sets FontColor.
    void SetFontColor(TColor Value);

    /// The caption; with AutoSize (the default) the label takes the size the
    /// caption needs, in its current font. Plain text.
    void SetCaption(const QString& Value);
    /// The caption.
    QString GetCaption() const { return text(); }
    /// True when the label takes the size its caption needs. Default true.
    bool GetAutoSize() const { return FAutoSize; }
    /// Sets AutoSize; true resizes the label at once.
    void SetAutoSize(bool Value);

    /// The hint window, for tests and for owners that style it; shown only
    /// through the pointer's moves.
    QWidget* GetHintForm() const { return HintForm.get(); }
    /// True while the hint window is on screen.
    bool IsHintShown() const { return ShowHintForm; }

protected:
    /// The pointer entered: the caption takes LinkColor.
    void enterEvent(QEnterEvent* Event) override;
    /// The pointer left: the caption takes FontColor back and the hint hides.
    void leaveEvent(QEvent* Event) override;
    /// The pointer's first move over the label shows the hint, once per stay.
    void mouseMoveEvent(QMouseEvent* Event) override;
    /// A left press opens Link through TShell::Current() and hides the hint.
    void mousePressEvent(QMouseEvent* Event) override;

private:
    void MouseEnter();
    void MouseLeave();
    void MouseMove();
    void MouseDown(Qt::MouseButton Button);
    void HideHint();

    std::unique_ptr<QWidget> HintForm; // top-level, owned by no widget
    bool ShowHintForm = false;         // true while HintForm is on screen
    TURLtype FURLtype = tpURL;
    QString FLink;
    TColor FFontColor = clBlue; // the caption colour saved when the pointer entered
    TColor FLinkColor = clRed;
    TColor FHintFormColor = clInfoBk;
    int FHintOffsetX = 15;
    int FHintOffsetY = 15;
    bool FEnableShowHint = true;
    std::unique_ptr<QFont> FHintFormFont; // never replaced, only copied into
    TColor FCaptionColor = clBlue;        // the colour the caption is painted in now
    bool FAutoSize = true;
};
