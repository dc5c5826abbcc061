// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "WidgetsExport.h"

#include "ListBox.h"

// A list box whose horizontal extent follows its widest item plus a margin, so
// that the horizontal scroll bar appears exactly when an item is wider than the
// list and reaches the end of the widest one. Widths are measured in the list
// box's own font when the item is added; a later font change does not re-measure.
// GUI thread only.
class QUADRELLE_WIDGETS_EXPORT TListBoxEx : public TListBox {
    Q_OBJECT
public:
    explicit TListBoxEx(QWidget* Parent = nullptr);

    // Pixels added to the widest item's width to form the extent.
    int GetSpace() const { return FSpace; }
    void SetSpace(int Value);
    int GetMaxWidth() const { return FMaxWidth; }

protected:
    virtual void LBAdd(TMessage& Message);
    virtual void LBDelete(TMessage& Message);
    virtual void LBResetContent(TMessage& Message);
    void Dispatch(TMessage& Message) override;
    int GetTextWidth(int Index);

private:
    int FMaxWidth = 0; // the widest item as measured when added or last recomputed
    int FSpace = 5;
};
