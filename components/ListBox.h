// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "WidgetsExport.h"

#include <QListView>
#include <QString>

#include <cstdint>

class QStringListModel;

/// @file
/// TListBox, the platform's list box, driven by messages.

// List box messages and results, with the Windows values (the Windows headers
// define the same names as macros).
#ifndef LB_ADDSTRING
/// @name List box messages
/// The messages TListBox::Perform takes, with the Windows values. WParam and
/// LParam as on Windows; a string travels in LParam as a pointer to
/// NUL-terminated UTF-16 text.
/**@{*/
inline constexpr uint32_t LB_ADDSTRING = 0x0180; ///< add LParam's text (in order when sorted); the new index
/// Insert LParam's text at WParam (-1: at the end); its index.
inline constexpr uint32_t LB_INSERTSTRING = 0x0181;
inline constexpr uint32_t LB_DELETESTRING = 0x0182; ///< delete item WParam; the number left
inline constexpr uint32_t LB_RESETCONTENT = 0x0184; ///< delete every item
inline constexpr uint32_t LB_SETCURSEL = 0x0186;    ///< select item WParam (-1: none); its index
inline constexpr uint32_t LB_GETCURSEL = 0x0188;    ///< the selected item's index
/// Copy item WParam's text and NUL to LParam's buffer; its length.
inline constexpr uint32_t LB_GETTEXT = 0x0189;
inline constexpr uint32_t LB_GETTEXTLEN = 0x018A; ///< the length of item WParam's text in UTF-16 units
inline constexpr uint32_t LB_GETCOUNT = 0x018B;   ///< the number of items
/// Add the names that LParam's pattern matches (DDL_* in WParam); the last index.
inline constexpr uint32_t LB_DIR = 0x018D;
inline constexpr uint32_t LB_GETHORIZONTALEXTENT = 0x0193; ///< the horizontal extent in pixels
inline constexpr uint32_t LB_SETHORIZONTALEXTENT = 0x0194; ///< set the horizontal extent to WParam pixels
inline constexpr uint32_t LB_ADDFILE = 0x0196;             ///< add LParam's file name, as LB_ADDSTRING
/**@}*/
/// @name List box results
/**@{*/
inline constexpr intptr_t LB_OKAY = 0;      ///< success
inline constexpr intptr_t LB_ERR = -1;      ///< failure: no such item, no such folder
inline constexpr intptr_t LB_ERRSPACE = -2; ///< the item could not be stored
/**@}*/
/// @name LB_DIR attributes
/**@{*/
inline constexpr uintptr_t DDL_HIDDEN = 0x0002;    ///< list hidden (dot) files too
inline constexpr uintptr_t DDL_DIRECTORY = 0x0010; ///< list folders too, as "[name]"
inline constexpr uintptr_t DDL_EXCLUSIVE = 0x8000; ///< leave out the plain files
/**@}*/
#endif

/// A message to a list box: number, parameters, and the result its handling fills.
/// Strings travel in LParam as pointers to NUL-terminated UTF-16 text.
struct TMessage {
    uint32_t Msg = 0;     ///< the message number (LB_*)
    uintptr_t WParam = 0; ///< the first parameter
    intptr_t LParam = 0;  ///< the second parameter
    intptr_t Result = 0;  ///< the answer, filled by the handling
};

class TListBox;

/// The item list of a list box. Every read and change is a message to the list
/// box, so that a subclass sees it in Dispatch. GUI thread only.
class QUADRELLE_WIDGETS_EXPORT TListBoxStrings {
public:
    /// The item list of Owner; made by the list box itself (TListBox::Items).
    explicit TListBoxStrings(TListBox& Owner) : FOwner(Owner) {}
    /// The number of items (LB_GETCOUNT).
    int Count() const;
    /// The text of item Index (LB_GETTEXT).
    QString Get(int Index) const; // empty for an index that does not exist
    /// Adds an item (LB_ADDSTRING): at the end, or in order when sorted.
    int Add(const QString& Text); // the new item's index, or LB_ERR
    /// Inserts an item at Index (LB_INSERTSTRING); -1 appends. An Index past
    /// the end adds nothing.
    void Insert(int Index, const QString& Text);
    /// Deletes item Index (LB_DELETESTRING); nothing for an index that does not exist.
    void Delete(int Index);
    /// Deletes every item (LB_RESETCONTENT).
    void Clear();

private:
    TListBox& FOwner;
};

/// The platform's list box: items kept and changed through messages, and a
/// horizontal extent set by the program rather than computed from the items.
/// The horizontal scroll bar shows exactly when the extent exceeds the visible
/// width, and scrolls up to the extent. One column of plain text, single
/// selection, not editable. GUI thread only.
class QUADRELLE_WIDGETS_EXPORT TListBox : public QListView {
    Q_OBJECT
public:
    /// An empty list box with an extent of 0.
    explicit TListBox(QWidget* Parent = nullptr);
    ~TListBox() override;

    /// Sends a message to the list box (SendMessageW): through Dispatch, returns Result.
    /// An unknown message answers 0.
    intptr_t Perform(uint32_t Msg, uintptr_t WParam = 0, intptr_t LParam = 0);
    /// The item list; valid as long as the list box.
    TListBoxStrings& Items() { return FItems; }
    /// Items added with LB_ADDSTRING go to their place in alphabetical order.
    bool GetSorted() const { return FSorted; }
    /// Sets Sorted; true also sorts the items already there.
    void SetSorted(bool Value);
    /// The selected item, -1 for none.
    int GetItemIndex() const;
    /// Selects item Value; an index that does not exist (-1 among them) clears the selection.
    void SetItemIndex(int Value) { Perform(LB_SETCURSEL, uintptr_t(intptr_t(Value))); }

protected:
    /// Every message passes here; an override calls this for the list box's own handling.
    virtual void Dispatch(TMessage& Message);
    /// Sizes the horizontal scroll bar from the extent instead of the items.
    void updateGeometries() override;

private:
    intptr_t InsertAt(int Index, const QString& Text);
    intptr_t AddSorted(const QString& Text);
    intptr_t AddDirectory(uintptr_t Attributes, const QString& Pattern);

    QStringListModel* FModel;
    int FExtent = 0; // pixels; the initial extent is 0, as the platform's
    bool FSorted = false;
    TListBoxStrings FItems;
};
