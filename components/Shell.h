// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "WidgetsExport.h"

#include <quadrelle/platform/ShellFileOperation.h>

#include <QString>

class QWidget;
struct TFolderBrowseRequest;

// The seam through which the program hands a document or an address to the
// desktop (the Windows shell's "open"). Tests install a recording fake with
// TShell::SetCurrent. GUI thread only.
class QUADRELLE_WIDGETS_EXPORT TShell {
public:
    virtual ~TShell();

    // Opens File (a path or an address such as https:// or mailto:) with the
    // desktop's program for it. Verb is the shell verb ("open", "OPEN"); only
    // opening is supported. Failures are silent: nothing is returned or shown.
    virtual void Execute(QWidget* Owner, const QString& Verb, const QString& File) = 0;

    // Carries out a file operation record (SHFileOperationW); its questions and
    // progress window are modal to Owner's window. Returns 0 on success.
    virtual int FileOperation(QWidget* Owner, TShellFileOpStruct& Op);
    // Shows the folder browser modal to Owner. True with Chosen set when the
    // user picked a folder; false, Chosen untouched, when cancelled.
    virtual bool BrowseForFolder(QWidget* Owner, const TFolderBrowseRequest& Request, QString& Chosen);

    // The shell in use: the desktop's unless a test installed another.
    static TShell& Current();
    // Installs Shell (not owned) as the current one; nullptr restores the desktop's.
    static void SetCurrent(TShell* Shell);
};
