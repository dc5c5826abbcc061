// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "WidgetsExport.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

class QWidget;

/// @file
/// TSHOperation, the desktop's file operations and folder browser as a component.

// The Windows headers define these as macros with the same values.
#ifndef BIF_RETURNONLYFSDIRS
/// @name Folder browser flags
/// The bits of TSHOperation::SetFlags, with the Windows values.
/**@{*/
inline constexpr uint32_t BIF_RETURNONLYFSDIRS = 0x0001;   ///< only file-system folders can be chosen
inline constexpr uint32_t BIF_NEWDIALOGSTYLE = 0x0040;     ///< resizable browser with a new-folder button
inline constexpr uint32_t BIF_BROWSEINCLUDEFILES = 0x4000; ///< Windows: files are listed too
/**@}*/
#endif

/// A name list as the shell reads it: each name, one NUL, then one more NUL.
using TNameList = std::unique_ptr<char16_t[]>;

/// Deletes, moves, copies and renames files and folders the way the desktop's
/// file manager does (trash, conflict questions, progress), and lets the user
/// pick a folder. Non-visual; owned by the widget given as owner, whose window
/// parents every dialog. Every operation returns true exactly when the shell
/// operation succeeded, and shows no message of its own. Without an owner the
/// dialogs have no parent and the record's hwnd is null. GUI thread only.
///
/// The operations run through TShell::Current() and return when they have
/// ended. Moves and copies ask before they replace an item, and moves, copies
/// and renames show a progress window once they have run for half a second;
/// deletes ask and show nothing. There is no restore call: an item that
/// Delete put in the trash comes back by moving it out of the trash (see
/// ShellFileOperation.h and the guide).
class QUADRELLE_WIDGETS_EXPORT TSHOperation : public QObject {
    Q_OBJECT
public:
    /// A component that Owner owns (QObject parent), or, with a null Owner,
    /// one that the caller owns.
    explicit TSHOperation(QWidget* Owner);

    /// Top of the folder browser's tree; empty: the file system root and the home folder.
    const QString& GetRoot() const { return FRoot; }
    /// Sets Root.
    void SetRoot(const QString& Value) { FRoot = Value; }
    /// Before BrowseFolder the folder to preselect; after a successful one, the chosen folder.
    const QString& GetFolderName() const { return FFolderName; }
    /// Sets FolderName.
    void SetFolderName(const QString& Value) { FFolderName = Value; }
    /// Text above the folder browser's tree.
    const QString& GetTitle() const { return FTitle; }
    /// Sets Title.
    void SetTitle(const QString& Value) { FTitle = Value; }
    /// The folder browser's BIF_ bits. Default BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE.
    uint32_t GetFlags() const { return FFlags; }
    /// Sets Flags.
    void SetFlags(uint32_t Value) { FFlags = Value; }

    /// A new name list the caller owns; null for an empty list.
    static TNameList CreateNameList(const QStringList& List);

    /// Moves the items of List to the trash, without a question or a progress
    /// window. An item that cannot be trashed fails the operation; it is never
    /// deleted for good unasked. False for an empty List.
    bool Delete(const QStringList& List); // to the trash, silently; never for good unasked
    /// Deletes the items of List for good, without a question or a progress window.
    bool DeleteNoUndo(const QStringList& List); // for good, silently
    /// Moves each of Sources to the path at the same place in Destinations
    /// (with one destination: as the single-destination Move). False when
    /// either list is empty.
    bool Move(const QStringList& Destinations, const QStringList& Sources);
    /// Copies each of Sources to the path at the same place in Destinations,
    /// as Move does.
    bool Copy(const QStringList& Destinations, const QStringList& Sources);
    /// Gives each of Sources the name at the same place in Destinations; a
    /// name without a folder stays in the source's folder. An existing item is
    /// never replaced.
    bool Rename(const QStringList& Destinations, const QStringList& Sources);
    /// Moves Sources into the folder Destination, made when missing; a single
    /// source whose Destination is not a folder moves to that path.
    bool Move(const QString& Destination, const QStringList& Sources);
    /// Copies Sources into the folder Destination, as Move does.
    bool Copy(const QString& Destination, const QStringList& Sources);
    /// A move: a new name in another folder moves the item there.
    bool Rename(const QString& NewName, const QString& OldName);

    /// Shows the folder browser (modal). True and FolderName set when the user
    /// chose a folder; false, FolderName unchanged, on cancel, when the chosen
    /// path is longer than 259 characters, or when Root or a non-empty
    /// FolderName is not an existing absolute path.
    bool BrowseFolder();

private:
    bool Operate(uint32_t Func, const QStringList& From, const QStringList& To, uint16_t Flags);
    bool Transfer(uint32_t Func, const QStringList& Destinations, const QStringList& Sources);
    QWidget* Owner() const;

    QString FRoot;
    QString FFolderName;
    QString FTitle;
    uint32_t FFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
};
