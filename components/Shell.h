// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "WidgetsExport.h"

#include <quadrelle/platform/ShellFileOperation.h>

#include <QString>

#include <cstdint>

class QWidget;

/// @file
/// TShell, the seam between the widgets and the desktop.

/// What the folder browser shows: TSHOperation::BrowseFolder fills it from its
/// properties after checking the paths, and TShell::BrowseForFolder shows it.
struct TFolderBrowseRequest {
    QString Root;       ///< Top of the tree; empty: the file system root and the home folder.
    QString Selected;   ///< Folder selected at the start; empty: none.
    QString Title;      ///< Text above the tree; empty: none.
    uint32_t Flags = 0; ///< The BIF_ bits of TSHOperation::GetFlags.
};

/// The seam through which the program hands a document or an address to the
/// desktop (the Windows shell's "open"), and through which TSHOperation runs
/// its file operations and folder browser. Tests install a recording fake with
/// TShell::SetCurrent. GUI thread only.
class QUADRELLE_WIDGETS_EXPORT TShell {
public:
    virtual ~TShell();

    /// Opens File (a path or an address such as https:// or mailto:) with the
    /// desktop's program for it. Verb is the shell verb ("open", "OPEN"); only
    /// opening is supported. Failures are silent: nothing is returned or shown.
    /// The desktop's shell ignores an empty File and a path that does not exist.
    virtual void Execute(QWidget* Owner, const QString& Verb, const QString& File) = 0;

    /// Carries out a file operation record (SHFileOperationW); its questions and
    /// progress window are modal to Owner's window. Returns 0 on success,
    /// kFileOpCancelled when the user cancelled, otherwise the error code of
    /// ShellFileOperation. Waits until the operation has ended.
    virtual int FileOperation(QWidget* Owner, TShellFileOpStruct& Op);
    /// Shows the folder browser modal to Owner. True with Chosen set when the
    /// user picked a folder; false, Chosen untouched, when cancelled.
    virtual bool BrowseForFolder(QWidget* Owner, const TFolderBrowseRequest& Request, QString& Chosen);

    /// The shell in use: the desktop's unless a test installed another.
    static TShell& Current();
    /// Installs Shell (not owned) as the current one; nullptr restores the desktop's.
    static void SetCurrent(TShell* Shell);
};
