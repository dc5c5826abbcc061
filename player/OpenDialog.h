// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

class QWidget;

// The main window's file-open dialog: a title, an initial folder and the
// chosen file's full path, with the run of the dialog behind a seam so that
// tests can script the user's choices. GUI thread only.
class TOpenDialog {
public:
    virtual ~TOpenDialog();

    void SetTitle(const QString& Title) { FTitle = Title; }
    const QString& GetTitle() const { return FTitle; }
    // A trailing separator is dropped unless it belongs to a root ("/", "D:\").
    void SetInitialDir(const QString& Dir);
    const QString& GetInitialDir() const { return FInitialDir; }
    void SetFileName(const QString& FileName) { FFileName = FileName; }
    const QString& GetFileName() const { return FFileName; }

    // Runs the dialog modally over Owner. True when the user picked a file,
    // whose full path is then the file name; false when they cancelled.
    virtual bool Execute(QWidget* Owner) = 0;

private:
    QString FTitle = QStringLiteral("開く");
    QString FInitialDir;
    QString FFileName;
};

// The real dialog: Qt's own (the same on every desktop), one existing file,
// resizable, opening in the initial folder.
class TQtOpenDialog final : public TOpenDialog {
public:
    bool Execute(QWidget* Owner) override;
};

// Everything up to and including the last separator of Path ("" when it has none).
QString FolderPart(const QString& Path);
// Everything after the last separator of Path.
QString FileNamePart(const QString& Path);
