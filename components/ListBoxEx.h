// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "WidgetsExport.h"

#include "ListBox.h"

/// @file
/// TListBoxEx, the list box whose horizontal extent follows its widest item.

/// A list box whose horizontal extent follows its widest item plus a margin, so
/// that the horizontal scroll bar appears exactly when an item is wider than the
/// list and reaches the end of the widest one. Widths are measured in the list
/// box's own font when the item is added; a later font change does not re-measure.
/// GUI thread only.
///
/// Adding an item widens the extent when the item is the widest; deleting
/// the widest measures the rest again; clearing sets the extent to Space.
class QUADRELLE_WIDGETS_EXPORT TListBoxEx : public TListBox {
    Q_OBJECT
public:
    /// An empty list box; Space is 5.
    explicit TListBoxEx(QWidget* Parent = nullptr);

    /// Pixels added to the widest item's width to form the extent.
    int GetSpace() const { return FSpace; }
    /// Sets Space and the extent with it.
    void SetSpace(int Value);
    /// The widest item's width in pixels, as measured when added or last
    /// measured again; 0 for an empty list.
    int GetMaxWidth() const { return FMaxWidth; }

protected:
    /// Handles LB_ADDSTRING, LB_INSERTSTRING, LB_ADDFILE and LB_DIR: adds,
    /// then measures the added item (for LB_DIR the last one) and widens the extent.
    virtual void LBAdd(TMessage& Message);
    /// Handles LB_DELETESTRING: deletes, and measures every item again when
    /// the deleted one was the widest.
    virtual void LBDelete(TMessage& Message);
    /// Handles LB_RESETCONTENT: deletes every item and sets the extent to Space.
    virtual void LBResetContent(TMessage& Message);
    /// Sends the item messages to LBAdd, LBDelete and LBResetContent, the rest to TListBox.
    void Dispatch(TMessage& Message) override;
    /// The width in pixels of item Index's text in the list box's font; 0 for
    /// an index that does not exist.
    int GetTextWidth(int Index);

private:
    int FMaxWidth = 0; // the widest item as measured when added or last recomputed
    int FSpace = 5;
};
