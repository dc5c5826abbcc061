// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "WidgetsExport.h"

#include <QListView>
#include <QString>

#include <cstdint>

class QStringListModel;

// List box messages and results, with the Windows values (the Windows headers
// define the same names as macros).
#ifndef LB_ADDSTRING
inline constexpr uint32_t LB_ADDSTRING = 0x0180;
inline constexpr uint32_t LB_INSERTSTRING = 0x0181;
inline constexpr uint32_t LB_DELETESTRING = 0x0182;
inline constexpr uint32_t LB_RESETCONTENT = 0x0184;
inline constexpr uint32_t LB_SETCURSEL = 0x0186;
inline constexpr uint32_t LB_GETCURSEL = 0x0188;
inline constexpr uint32_t LB_GETTEXT = 0x0189;
inline constexpr uint32_t LB_GETTEXTLEN = 0x018A;
inline constexpr uint32_t LB_GETCOUNT = 0x018B;
inline constexpr uint32_t LB_DIR = 0x018D;
inline constexpr uint32_t LB_GETHORIZONTALEXTENT = 0x0193;
inline constexpr uint32_t LB_SETHORIZONTALEXTENT = 0x0194;
inline constexpr uint32_t LB_ADDFILE = 0x0196;
inline constexpr intptr_t LB_OKAY = 0;
inline constexpr intptr_t LB_ERR = -1;
inline constexpr intptr_t LB_ERRSPACE = -2;
inline constexpr uintptr_t DDL_HIDDEN = 0x0002;
inline constexpr uintptr_t DDL_DIRECTORY = 0x0010;
inline constexpr uintptr_t DDL_EXCLUSIVE = 0x8000;
#endif

// A message to a list box: number, parameters, and the result its handling fills.
// Strings travel in LParam as pointers to NUL-terminated UTF-16 text.
struct TMessage {
    uint32_t Msg = 0;
    uintptr_t WParam = 0;
    intptr_t LParam = 0;
    intptr_t Result = 0;
};

class TListBox;

// The item list of a list box. Every read and change is a message to the list
// box, so that a subclass sees it in Dispatch.
class QUADRELLE_WIDGETS_EXPORT TListBoxStrings {
public:
    explicit TListBoxStrings(TListBox& Owner) : FOwner(Owner) {}
    int Count() const;
    QString Get(int Index) const; // empty for an index that does not exist
    int Add(const QString& Text); // the new item's index, or LB_ERR
    void Insert(int Index, const QString& Text);
    void Delete(int Index);
    void Clear();

private:
    TListBox& FOwner;
};

// The platform's list box: items kept and changed through messages, and a
// horizontal extent set by the program rather than computed from the items.
// The horizontal scroll bar shows exactly when the extent exceeds the visible
// width, and scrolls up to the extent. GUI thread only.
class QUADRELLE_WIDGETS_EXPORT TListBox : public QListView {
    Q_OBJECT
public:
    explicit TListBox(QWidget* Parent = nullptr);
    ~TListBox() override;

    // Sends a message to the list box (SendMessageW): through Dispatch, returns Result.
    intptr_t Perform(uint32_t Msg, uintptr_t WParam = 0, intptr_t LParam = 0);
    TListBoxStrings& Items() { return FItems; }
    // Items added with LB_ADDSTRING go to their place in alphabetical order.
    bool GetSorted() const { return FSorted; }
    void SetSorted(bool Value);
    // The selected item, -1 for none.
    int GetItemIndex() const;
    void SetItemIndex(int Value) { Perform(LB_SETCURSEL, uintptr_t(intptr_t(Value))); }

protected:
    // Every message passes here; an override calls this for the list box's own handling.
    virtual void Dispatch(TMessage& Message);
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
