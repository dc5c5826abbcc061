// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

// Deleting to the trash and undoing it with TSHOperation. Delete moves the
// file into the freedesktop trash; there is no restore call, so the undo does
// what a file manager's "restore" does: it finds the trash entry whose info
// file records the file's path, moves the entry back with Move, and removes
// the info file. Files on the home trash's file system only (the home trash
// is $XDG_DATA_HOME/Trash, by default ~/.local/share/Trash); elsewhere the
// mount's own trash ($topdir/.Trash-$uid) works the same way.
//
//     trash_undo FILE
#include <quadrelle/widgets/shoperation.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include <cstdio>

namespace {

// The trash entry (its name in files/ and info/) of the item last trashed from
// Path, or an empty string.
QString FindTrashEntry(const QString& Trash, const QString& Path) {
    QString Found, FoundDate;
    const QDir Info(Trash + QStringLiteral("/info"));
    for (const QString& Name : Info.entryList({QStringLiteral("*.trashinfo")}, QDir::Files)) {
        QFile File(Info.filePath(Name));
        if (!File.open(QIODevice::ReadOnly))
            continue;
        QString Original, Date;
        for (const QByteArray& Line : File.readAll().split('\n')) {
            if (Line.startsWith("Path="))
                Original = QUrl::fromPercentEncoding(Line.mid(5)); // percent-encoded bytes
            else if (Line.startsWith("DeletionDate="))
                Date = QString::fromUtf8(Line.mid(13));
        }
        if (Original == Path && Date >= FoundDate) {
            Found = Name.chopped(int(sizeof ".trashinfo") - 1);
            FoundDate = Date;
        }
    }
    return Found;
}

} // namespace

int main(int argc, char** argv) {
    QApplication App(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: trash_undo FILE\n");
        return 2;
    }
    const QString Path = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    TSHOperation Shell(nullptr);

    // Delete: to the trash, silently; an item that cannot be trashed fails.
    if (!Shell.Delete({Path})) {
        std::fprintf(stderr, "trash_undo: %s could not be moved to the trash\n", qPrintable(Path));
        return 1;
    }
    std::printf("deleted: %s exists: %s\n", qPrintable(Path), QFileInfo::exists(Path) ? "yes" : "no");

    // Undo: find the entry, move it back, and remove its info file.
    const QString Trash =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash");
    const QString Entry = FindTrashEntry(Trash, Path);
    if (Entry.isEmpty()) {
        std::fprintf(stderr, "trash_undo: no entry for %s in %s\n", qPrintable(Path), qPrintable(Trash));
        return 1;
    }
    std::printf("in the trash: files/%s\n", qPrintable(Entry));
    if (!Shell.Move(Path, {Trash + QStringLiteral("/files/") + Entry})) {
        std::fprintf(stderr, "trash_undo: %s could not be moved back\n", qPrintable(Entry));
        return 1;
    }
    QFile::remove(Trash + QStringLiteral("/info/") + Entry + QStringLiteral(".trashinfo"));
    std::printf("restored: %s exists: %s\n", qPrintable(Path), QFileInfo::exists(Path) ? "yes" : "no");
    return 0;
}
