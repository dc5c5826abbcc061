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

enum TURLtype : uint8_t { tpURL = 0, tpMAIL = 1 };

// A label that behaves as a hyperlink: its caption takes LinkColor while the
// pointer is over it, a left press hands Link to the desktop (TShell), and a
// small hint window can show the link next to the pointer. GUI thread only.
class QUADRELLE_WIDGETS_EXPORT TURLLink : public QLabel {
    Q_OBJECT
public:
    explicit TURLLink(QWidget* Owner = nullptr);
    ~TURLLink() override;

    TURLtype GetURLType() const { return FURLtype; }
    void SetURLType(TURLtype Value);
    const QString& GetLink() const { return FLink; }
    void SetLink(const QString& Value);
    // The hint window's font. Setting copies the given font's attributes into
    // the label's own hint font; the label keeps no reference to the argument.
    const QFont& GetHintFormFont() const { return *FHintFormFont; }
    void SetHintFormFont(const QFont& Value);
    bool GetEnableShowHint() const { return FEnableShowHint; }
    void SetEnableShowHint(bool Value);
    TColor GetHintFormColor() const { return FHintFormColor; }
    void SetHintFormColor(TColor Value);
    int GetHintOffsetX() const { return FHintOffsetX; }
    void SetHintOffsetX(int Value);
    int GetHintOffsetY() const { return FHintOffsetY; }
    void SetHintOffsetY(int Value);
    TColor GetLinkColor() const { return FLinkColor; }
    void SetLinkColor(TColor Value);

    // The caption's font colour (the label's own Font.Color). A new value
    // takes effect at once; while the pointer is over the label it is undone
    // when the pointer leaves.
    TColor GetFontColor() const { return FCaptionColor; }
    void SetFontColor(TColor Value);

    // The caption; with AutoSize (the default) the label takes the size the
    // caption needs, in its current font.
    void SetCaption(const QString& Value);
    QString GetCaption() const { return text(); }
    bool GetAutoSize() const { return FAutoSize; }
    void SetAutoSize(bool Value);

    // The hint window, for tests and for owners that style it; shown only
    // through the pointer's moves.
    QWidget* GetHintForm() const { return HintForm.get(); }
    bool IsHintShown() const { return ShowHintForm; }

protected:
    void enterEvent(QEnterEvent* Event) override;
    void leaveEvent(QEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
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
