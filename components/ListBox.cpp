// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "ListBox.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QScrollBar>
#include <QStringListModel>

#include <algorithm>
#include <climits>

namespace {

QString FromMessage(intptr_t LParam) {
    return LParam ? QString::fromUtf16(reinterpret_cast<const char16_t*>(LParam)) : QString();
}

} // namespace

int TListBoxStrings::Count() const {
    return int(FOwner.Perform(LB_GETCOUNT));
}

QString TListBoxStrings::Get(int Index) const {
    const intptr_t length = FOwner.Perform(LB_GETTEXTLEN, uintptr_t(intptr_t(Index)));
    if (length < 0)
        return {};
    std::u16string buffer(size_t(length) + 1, u'\0');
    FOwner.Perform(LB_GETTEXT, uintptr_t(intptr_t(Index)), reinterpret_cast<intptr_t>(buffer.data()));
    return QString::fromUtf16(buffer.data(), qsizetype(length));
}

int TListBoxStrings::Add(const QString& Text) {
    return int(FOwner.Perform(LB_ADDSTRING, 0, reinterpret_cast<intptr_t>(Text.utf16())));
}

void TListBoxStrings::Insert(int Index, const QString& Text) {
    FOwner.Perform(LB_INSERTSTRING, uintptr_t(intptr_t(Index)), reinterpret_cast<intptr_t>(Text.utf16()));
}

void TListBoxStrings::Delete(int Index) {
    FOwner.Perform(LB_DELETESTRING, uintptr_t(intptr_t(Index)));
}

void TListBoxStrings::Clear() {
    FOwner.Perform(LB_RESETCONTENT);
}

TListBox::TListBox(QWidget* Parent) : QListView(Parent), FModel(new QStringListModel(this)), FItems(*this) {
    setModel(FModel);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideNone);
    setUniformItemSizes(true);
}

TListBox::~TListBox() = default;

intptr_t TListBox::Perform(uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
    TMessage message{Msg, WParam, LParam, 0};
    Dispatch(message);
    return message.Result;
}

void TListBox::SetSorted(bool Value) {
    FSorted = Value;
    if (Value)
        FModel->sort(0);
}

int TListBox::GetItemIndex() const {
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.front().row();
}

intptr_t TListBox::InsertAt(int Index, const QString& Text) {
    if (!FModel->insertRows(Index, 1))
        return LB_ERRSPACE;
    FModel->setData(FModel->index(Index), Text);
    return Index;
}

intptr_t TListBox::AddSorted(const QString& Text) {
    const QStringList items = FModel->stringList();
    if (!FSorted)
        return InsertAt(int(items.size()), Text);
    const auto at =
        std::upper_bound(items.begin(), items.end(), Text, [](const QString& A, const QString& B) {
            return QString::compare(A, B, Qt::CaseInsensitive) < 0;
        });
    return InsertAt(int(at - items.begin()), Text);
}

// The names in Pattern's folder that match its last part: plain files, with
// DDL_DIRECTORY folders as "[name]", with DDL_HIDDEN dot files; DDL_EXCLUSIVE
// leaves out the plain files. There are no drive letters here.
intptr_t TListBox::AddDirectory(uintptr_t Attributes, const QString& Pattern) {
    const QFileInfo pattern(Pattern.isEmpty() ? QStringLiteral("*") : Pattern);
    QDir dir = pattern.dir();
    if (!dir.exists())
        return LB_ERR;
    QDir::Filters filters = QDir::NoDotAndDotDot;
    if (!(Attributes & DDL_EXCLUSIVE))
        filters |= QDir::Files;
    if (Attributes & DDL_DIRECTORY)
        filters |= QDir::Dirs;
    if (Attributes & DDL_HIDDEN)
        filters |= QDir::Hidden;
    const QFileInfoList entries = dir.entryInfoList({pattern.fileName()}, filters, QDir::Name);
    intptr_t last = LB_ERR;
    for (const QFileInfo& entry : entries) {
        last = AddSorted(entry.isDir() ? u'[' + entry.fileName() + u']' : entry.fileName());
        if (last < 0)
            return last;
    }
    return last;
}

void TListBox::Dispatch(TMessage& Message) {
    const int count = FModel->rowCount();
    const intptr_t index = intptr_t(Message.WParam);
    const bool exists = index >= 0 && index < count;
    switch (Message.Msg) {
    case LB_ADDSTRING:
    case LB_ADDFILE:
        Message.Result = AddSorted(FromMessage(Message.LParam));
        break;
    case LB_INSERTSTRING:
        Message.Result = index == -1                    ? InsertAt(count, FromMessage(Message.LParam))
                         : index >= 0 && index <= count ? InsertAt(int(index), FromMessage(Message.LParam))
                                                        : LB_ERR;
        break;
    case LB_DELETESTRING:
        Message.Result = exists && FModel->removeRows(int(index), 1) ? count - 1 : LB_ERR;
        break;
    case LB_RESETCONTENT:
        FModel->setStringList({});
        Message.Result = LB_OKAY;
        break;
    case LB_DIR:
        Message.Result = AddDirectory(Message.WParam, FromMessage(Message.LParam));
        break;
    case LB_GETCOUNT:
        Message.Result = count;
        break;
    case LB_GETTEXTLEN:
        Message.Result = exists ? FModel->stringList().at(index).size() : LB_ERR;
        break;
    case LB_GETTEXT:
        if (exists && Message.LParam) {
            const QString text = FModel->stringList().at(index);
            auto* out = reinterpret_cast<char16_t*>(Message.LParam);
            std::copy_n(reinterpret_cast<const char16_t*>(text.utf16()), text.size() + 1, out);
            Message.Result = text.size();
        } else {
            Message.Result = LB_ERR;
        }
        break;
    case LB_SETCURSEL:
        if (exists) {
            setCurrentIndex(FModel->index(int(index)));
            Message.Result = index;
        } else {
            clearSelection();
            Message.Result = LB_ERR; // also for -1, which only clears
        }
        break;
    case LB_GETCURSEL:
        Message.Result = GetItemIndex() < 0 ? LB_ERR : GetItemIndex();
        break;
    case LB_SETHORIZONTALEXTENT:
        // Kept within what a scroll bar can hold; a negative width is none.
        FExtent = int(std::clamp<intptr_t>(intptr_t(Message.WParam), 0, INT_MAX));
        updateGeometries();
        Message.Result = 0;
        break;
    case LB_GETHORIZONTALEXTENT:
        Message.Result = FExtent;
        break;
    default:
        Message.Result = 0;
        break;
    }
}

void TListBox::updateGeometries() {
    QScrollBar* bar = horizontalScrollBar();
    const int value = bar->value(); // the view's own range would cut it to 0
    QListView::updateGeometries();
    // The item view sizes its range from the items; the extent replaces that.
    const int visible = viewport()->width();
    bar->setRange(0, std::max(0, FExtent - visible));
    bar->setValue(value);
    bar->setPageStep(visible);
    bar->setSingleStep(std::max(1, fontMetrics().averageCharWidth()));
    // The view shows its bar from its own range, which it keeps at 0 for a
    // one-column list; the extent decides here instead.
    const Qt::ScrollBarPolicy policy = FExtent > visible ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
    if (horizontalScrollBarPolicy() != policy)
        setHorizontalScrollBarPolicy(policy);
}
