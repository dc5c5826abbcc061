// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "CommandLine.h"

#include <QDir>
#include <QTextStream>
#include <QUrl>

namespace {

// Path made absolute against the current folder, and cleaned of "." parts
// and doubled separators unless it holds "..": through a symbolic link that
// names another folder than the text before it, so the system resolves it.
QString AbsolutePath(const QString& Path) {
    const QString absolute = QDir::current().absoluteFilePath(Path);
    return absolute.split(u'/').contains(QStringLiteral("..")) ? absolute : QDir::cleanPath(absolute);
}

} // namespace

QStringList CommandLineFiles(const QStringList& Arguments, QTextStream& Errors) {
    QStringList files;
    for (const QString& argument : Arguments) {
        if (argument.isEmpty()) {
            Errors << "quadrelle: ignoring an empty file name\n";
            continue;
        }
        if (files.size() == kMaxCommandLineFiles) {
            Errors << "quadrelle: only " << kMaxCommandLineFiles << " files fit, one per pane; ignoring "
                   << argument << '\n';
            continue;
        }
        // Absolute, because the running copy that may get these files
        // works in a folder of its own.
        const bool url = argument.startsWith(QStringLiteral("file:"), Qt::CaseInsensitive);
        files << AbsolutePath(url ? QUrl(argument).toLocalFile() : argument);
    }
    Errors.flush();
    return files;
}
