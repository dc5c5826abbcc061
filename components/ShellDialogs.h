// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "Shell.h"
#include "ShellFileOperation.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <memory>

class QLabel;
class QProgressDialog;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The dialogs of a file operation, as Qt dialogs modal to the owner's window.
class TQtFileOperationUi final : public TFileOperationUi {
public:
    explicit TQtFileOperationUi(QWidget* Owner);
    ~TQtFileOperationUi() override;
    TFileOpAnswer AskReplace(TWindowHandle, std::u16string_view Existing,
                             std::u16string_view Source) override;
    bool ConfirmDelete(TWindowHandle, std::size_t Count, bool ToTrash) override;
    void BeginProgress(TWindowHandle, uint32_t Func) override;
    bool UpdateProgress(uint64_t Done, uint64_t Total, std::u16string_view Current) override;
    void EndProgress() override;

private:
    QWidget* FOwner;
    std::unique_ptr<QProgressDialog> FProgress; // while the progress window is up
};


// A folder tree under a title, with OK, Cancel and (with BIF_NEWDIALOGSTYLE) a
// new-folder button. Folders are listed when their parent is first expanded.
class TFolderBrowserDialog : public QDialog {
    Q_OBJECT
public:
    TFolderBrowserDialog(const TFolderBrowseRequest& Request, QWidget* Parent);

    QString SelectedPath() const;           // empty when nothing is selected
    bool SelectPath(const QString& Path);   // expands down to Path and scrolls it into view
    bool CreateFolder(const QString& Name); // in the selected folder, then selects it

    QTreeWidget* Tree() const { return FTree; }
    QLabel* TitleLabel() const { return FTitle; }
    QPushButton* NewFolderButton() const { return FNewFolder; }
    QPushButton* OkButton() const { return FOk; }

private:
    QTreeWidgetItem* AddItem(QTreeWidgetItem* Parent, const QString& Path, const QString& Text);
    void Populate(QTreeWidgetItem* Item);
    void UpdateOk();
    void NewFolderClick();

    uint32_t FFlags;
    QLabel* FTitle;
    QTreeWidget* FTree;
    QPushButton* FNewFolder;
    QPushButton* FOk;
};
