// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "ListBoxEx.h"

#include <QFontMetrics>

#include <algorithm>

TListBoxEx::TListBoxEx(QWidget* Parent) : TListBox(Parent) {}

void TListBoxEx::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case LB_ADDSTRING:
    case LB_INSERTSTRING:
    case LB_DIR:
    case LB_ADDFILE:
        LBAdd(Message);
        break;
    case LB_DELETESTRING:
        LBDelete(Message);
        break;
    case LB_RESETCONTENT:
        LBResetContent(Message);
        break;
    default:
        TListBox::Dispatch(Message);
        break;
    }
}

// Measured in the list box's own font, so that the extent fits what is drawn.
int TListBoxEx::GetTextWidth(int Index) {
    const intptr_t length = Perform(LB_GETTEXTLEN, uintptr_t(intptr_t(Index)));
    if (length < 0)
        return 0;
    std::u16string buffer(size_t(length) + 1, u'\0');
    Perform(LB_GETTEXT, uintptr_t(intptr_t(Index)), reinterpret_cast<intptr_t>(buffer.data()));
    return QFontMetrics(font()).horizontalAdvance(QString::fromUtf16(buffer.data(), qsizetype(length)));
}

void TListBoxEx::LBAdd(TMessage& Message) {
    TListBox::Dispatch(Message);
    if (Message.Result < 0)
        return; // nothing was added, so there is nothing to measure
    // LB_DIR answers with the last name it added: only that one is measured.
    const int width = GetTextWidth(int(Message.Result));
    if (width > FMaxWidth) {
        Perform(LB_SETHORIZONTALEXTENT, uintptr_t(intptr_t(width + FSpace)));
        FMaxWidth = width;
    }
}

void TListBoxEx::LBDelete(TMessage& Message) {
    if (Perform(LB_GETTEXTLEN, Message.WParam) < 0) {
        TListBox::Dispatch(Message); // no such item: the list box reports the error
        return;
    }
    const int width = GetTextWidth(int(intptr_t(Message.WParam)));
    TListBox::Dispatch(Message);
    if (FMaxWidth > width)
        return; // not the widest
    int widest = 0;
    const int count = int(Perform(LB_GETCOUNT));
    for (int i = 0; i < count; ++i)
        widest = std::max(widest, GetTextWidth(i));
    Perform(LB_SETHORIZONTALEXTENT, uintptr_t(intptr_t(widest + FSpace)));
    FMaxWidth = widest;
}

void TListBoxEx::LBResetContent(TMessage& Message) {
    TListBox::Dispatch(Message);
    Perform(LB_SETHORIZONTALEXTENT, uintptr_t(intptr_t(FSpace)));
    FMaxWidth = 0;
}

void TListBoxEx::SetSpace(int Value) {
    Perform(LB_SETHORIZONTALEXTENT, uintptr_t(intptr_t(FMaxWidth + Value)));
    FSpace = Value;
}
