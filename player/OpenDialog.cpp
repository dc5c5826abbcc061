// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "OpenDialog.h"

#include "PlayerFiles.h"

#include <QDir>
#include <QFileDialog>

#include <algorithm>

namespace {

// The caption names "*.*", the Windows way of saying every file. Qt's own
// dialog, used on every system, matches "*.*" only against names that hold
// a dot, so the pattern it is given is "*" behind the caption; with the
// filter's details hidden it shows the caption and matches that last "(*)".
const QString kFilter = QStringLiteral("とにかく開けそうなの全部 (*.*) (*)");

// The separators of a path as the user's system writes them: "/" everywhere,
// and "\" and a drive's ":" where the native separator is "\".
qsizetype LastSeparator(const QString& Path) {
    qsizetype at = Path.lastIndexOf(u'/');
    if (QDir::separator() == u'\\')
        at = std::max({at, Path.lastIndexOf(u'\\'), Path.lastIndexOf(u':')});
    return at;
}

} // namespace

TOpenDialog::~TOpenDialog() = default;

void TOpenDialog::SetInitialDir(const QString& Dir) {
    FInitialDir = QString::fromStdU16String(NormalizeDialogFolder(Dir.toStdU16String()));
}

bool TQtOpenDialog::Execute(QWidget* Owner) {
    QFileDialog dialog(Owner, GetTitle(), GetInitialDir(), kFilter);
    // Qt's own dialog behaves alike on every desktop and under a bare X server.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setSizeGripEnabled(true);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (!GetFileName().isEmpty())
        dialog.selectFile(GetFileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    SetFileName(QDir::toNativeSeparators(dialog.selectedFiles().constFirst()));
    return true;
}

QString FolderPart(const QString& Path) {
    return Path.left(LastSeparator(Path) + 1);
}

QString FileNamePart(const QString& Path) {
    return Path.mid(LastSeparator(Path) + 1);
}
