// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "shoperation.h"

#include "Shell.h"
#include "ShellDialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QWidget>

#include <algorithm>

namespace {

// The shell reads paths into 260-character buffers: 259 characters and a NUL.
constexpr qsizetype kMaxPath = 259;

// A path the shell could turn into an item: absolute and existing.
bool Parsable(const QString& Path) {
    return QDir::isAbsolutePath(Path) && QFileInfo::exists(Path);
}

} // namespace

TSHOperation::TSHOperation(QWidget* Owner) : QObject(Owner) {}

QWidget* TSHOperation::Owner() const {
    return qobject_cast<QWidget*>(parent());
}

TNameList TSHOperation::CreateNameList(const QStringList& List) {
    if (List.isEmpty())
        return nullptr;
    qsizetype size = 0;
    for (const QString& item : List)
        size += item.size() + 1;
    TNameList block(new char16_t[size_t(size + 1)]);
    char16_t* at = block.get();
    for (const QString& item : List) {
        at = std::copy_n(reinterpret_cast<const char16_t*>(item.utf16()), item.size(), at);
        *at++ = u'\0';
        *at = u'\0'; // the final terminator unless another item follows
    }
    return block;
}

bool TSHOperation::Operate(uint32_t Func, const QStringList& From, const QStringList& To, uint16_t Flags) {
    const TNameList to = Func == FO_DELETE ? nullptr : CreateNameList(To);
    const TNameList from = CreateNameList(From);
    if (!from || (Func != FO_DELETE && !to))
        return false;
    QWidget* owner = Owner();
    TShellFileOpStruct op;
    op.hwnd = owner ? reinterpret_cast<TWindowHandle>(owner->window()->winId()) : nullptr;
    op.wFunc = Func;
    op.pFrom = from.get();
    op.pTo = to.get();
    op.fFlags = Flags;
    return TShell::Current().FileOperation(owner, op) == 0;
}

bool TSHOperation::Delete(const QStringList& List) {
    // A mend over the bare 0x54: under FOF_NOCONFIRMATION alone the Windows
    // shell deletes for good, without a word, whatever the recycle bin cannot
    // take (network drives, removable media, oversized files). With
    // FOF_WANTNUKEWARNING it asks first, so a delete meant to be undoable never
    // loses a file silently.
    return Operate(FO_DELETE, List, {},
                   FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_WANTNUKEWARNING);
}

bool TSHOperation::DeleteNoUndo(const QStringList& List) {
    return Operate(FO_DELETE, List, {}, FOF_NOCONFIRMATION | FOF_SILENT);
}

bool TSHOperation::Transfer(uint32_t Func, const QStringList& Destinations, const QStringList& Sources) {
    // Several destinations pair up one to one with the sources.
    const uint16_t flags = FOF_ALLOWUNDO | (Destinations.size() > 1 ? FOF_MULTIDESTFILES : 0);
    return Operate(Func, Sources, Destinations, flags);
}

bool TSHOperation::Move(const QStringList& Destinations, const QStringList& Sources) {
    return Transfer(FO_MOVE, Destinations, Sources);
}

bool TSHOperation::Copy(const QStringList& Destinations, const QStringList& Sources) {
    return Transfer(FO_COPY, Destinations, Sources);
}

bool TSHOperation::Rename(const QStringList& Destinations, const QStringList& Sources) {
    return Transfer(FO_RENAME, Destinations, Sources);
}

bool TSHOperation::Move(const QString& Destination, const QStringList& Sources) {
    return Move(QStringList{Destination}, Sources);
}

bool TSHOperation::Copy(const QString& Destination, const QStringList& Sources) {
    return Copy(QStringList{Destination}, Sources);
}

bool TSHOperation::Rename(const QString& NewName, const QString& OldName) {
    return Move(QStringList{NewName}, QStringList{OldName});
}

bool TSHOperation::BrowseFolder() {
    TFolderBrowseRequest request;
    request.Root = FRoot.left(kMaxPath);
    request.Selected = FFolderName.left(kMaxPath);
    request.Title = FTitle;
    request.Flags = FFlags;
    if (!request.Root.isEmpty() && !Parsable(request.Root))
        return false;
    if (!request.Selected.isEmpty() && !Parsable(request.Selected))
        return false;
    QString chosen;
    if (!TShell::Current().BrowseForFolder(Owner(), request, chosen))
        return false;
    // A path cut to the buffer would name another folder, or none.
    if (chosen.size() > kMaxPath)
        return false;
    FFolderName = chosen;
    return true;
}
