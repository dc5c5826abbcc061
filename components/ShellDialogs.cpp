// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "ShellDialogs.h"

#include "Shell.h"
#include "shoperation.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString Text(std::u16string_view Value) {
    return QString(reinterpret_cast<const QChar*>(Value.data()), qsizetype(Value.size()));
}

constexpr int kPathRole = Qt::UserRole;
constexpr int kListedRole = Qt::UserRole + 1; // children have been read

} // namespace

int TShell::FileOperation(QWidget* Owner, TShellFileOpStruct& Op) {
    TQtFileOperationUi ui(Owner);
    return ShellFileOperation(Op, &ui);
}

bool TShell::BrowseForFolder(QWidget* Owner, const TFolderBrowseRequest& Request, QString& Chosen) {
    TFolderBrowserDialog dialog(Request, Owner);
    if (dialog.exec() != QDialog::Accepted || dialog.SelectedPath().isEmpty())
        return false;
    Chosen = dialog.SelectedPath();
    return true;
}

TQtFileOperationUi::TQtFileOperationUi(QWidget* Owner) : FOwner(Owner) {}

TQtFileOperationUi::~TQtFileOperationUi() = default;

TFileOpAnswer TQtFileOperationUi::AskReplace(TWindowHandle, std::u16string_view Existing,
                                             std::u16string_view Source) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("ファイルの置き換えの確認"),
                    QStringLiteral("この場所には既に \"%1\" があります。\n\n\"%2\" で置き換えますか?")
                        .arg(Text(Existing), Text(Source)),
                    QMessageBox::NoButton, FOwner);
    box.setObjectName(QStringLiteral("ReplaceQuestion"));
    QPushButton* replace = box.addButton(QStringLiteral("置き換える(&R)"), QMessageBox::YesRole);
    QPushButton* skip = box.addButton(QStringLiteral("スキップ(&S)"), QMessageBox::NoRole);
    QPushButton* all = box.addButton(QStringLiteral("すべて置き換える(&A)"), QMessageBox::YesRole);
    QPushButton* cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
    replace->setObjectName(QStringLiteral("Replace"));
    skip->setObjectName(QStringLiteral("Skip"));
    all->setObjectName(QStringLiteral("ReplaceAll"));
    cancel->setObjectName(QStringLiteral("Cancel"));
    box.setDefaultButton(replace);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == replace)
        return foaReplace;
    if (box.clickedButton() == skip)
        return foaSkip;
    if (box.clickedButton() == all)
        return foaReplaceAll;
    return foaCancel;
}

bool TQtFileOperationUi::ConfirmDelete(TWindowHandle, std::size_t Count, bool ToTrash) {
    const QString text = ToTrash ? QStringLiteral("%1 個の項目をごみ箱に移動しますか?")
                                 : QStringLiteral("%1 個の項目を完全に削除しますか?");
    return QMessageBox::question(FOwner, QStringLiteral("削除の確認"), text.arg(Count)) == QMessageBox::Yes;
}

void TQtFileOperationUi::BeginProgress(TWindowHandle, uint32_t Func) {
    QString label;
    switch (Func) {
    case FO_MOVE:
        label = QStringLiteral("移動しています...");
        break;
    case FO_COPY:
        label = QStringLiteral("コピーしています...");
        break;
    case FO_DELETE:
        label = QStringLiteral("削除しています...");
        break;
    default:
        label = QStringLiteral("名前を変更しています...");
        break;
    }
    FProgress = std::make_unique<QProgressDialog>(label, QStringLiteral("キャンセル"), 0, 0, FOwner);
    FProgress->setObjectName(QStringLiteral("FileOperationProgress"));
    FProgress->setWindowModality(Qt::WindowModal);
    FProgress->setMinimumDuration(0);
    FProgress->setAutoReset(false);
    FProgress->setAutoClose(false);
    FProgress->show();
}

bool TQtFileOperationUi::UpdateProgress(uint64_t Done, uint64_t Total, std::u16string_view Current) {
    if (!FProgress)
        return true;
    if (Total > 0) {
        FProgress->setMaximum(1000);
        FProgress->setValue(int(std::min<uint64_t>(1000, Done * 1000 / Total)));
    }
    FProgress->setLabelText(FProgress->labelText().section(u'\n', 0, 0) + u'\n' +
                            QFileInfo(Text(Current)).fileName());
    QCoreApplication::processEvents();
    return !FProgress->wasCanceled();
}

void TQtFileOperationUi::EndProgress() {
    FProgress.reset();
}

TFolderBrowserDialog::TFolderBrowserDialog(const TFolderBrowseRequest& Request, QWidget* Parent)
    : QDialog(Parent), FFlags(Request.Flags) {
    setWindowTitle(QStringLiteral("フォルダーの参照"));
    setObjectName(QStringLiteral("FolderBrowser"));
    auto* layout = new QVBoxLayout(this);
    FTitle = new QLabel(Request.Title, this);
    FTitle->setWordWrap(true);
    FTitle->setVisible(!Request.Title.isEmpty());
    layout->addWidget(FTitle);
    FTree = new QTreeWidget(this);
    FTree->setHeaderHidden(true);
    FTree->setColumnCount(1);
    layout->addWidget(FTree, 1);

    auto* buttons = new QDialogButtonBox(this);
    FNewFolder =
        buttons->addButton(QStringLiteral("新しいフォルダーの作成(&M)"), QDialogButtonBox::ActionRole);
    FOk = buttons->addButton(QDialogButtonBox::Ok);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    FNewFolder->setVisible(Request.Flags & BIF_NEWDIALOGSTYLE); // after the box's last layout
    layout->addWidget(buttons);
    resize(360, 420);
    // The newer style may be resized; the old one has a fixed size.
    if (!(Request.Flags & BIF_NEWDIALOGSTYLE))
        setFixedSize(size());

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(FNewFolder, &QPushButton::clicked, this, &TFolderBrowserDialog::NewFolderClick);
    connect(FTree, &QTreeWidget::itemExpanded, this, &TFolderBrowserDialog::Populate);
    connect(FTree, &QTreeWidget::itemSelectionChanged, this, &TFolderBrowserDialog::UpdateOk);

    if (Request.Root.isEmpty()) {
        AddItem(nullptr, QStringLiteral("/"), QStringLiteral("/"));
        AddItem(nullptr, QDir::homePath(), QDir::homePath());
    } else {
        const QString root = QDir::cleanPath(Request.Root);
        FTree->expandItem(AddItem(nullptr, root, root));
    }
    if (!Request.Selected.isEmpty())
        SelectPath(Request.Selected);
    UpdateOk();
}

QTreeWidgetItem* TFolderBrowserDialog::AddItem(QTreeWidgetItem* Parent, const QString& Path,
                                               const QString& Text) {
    auto* item = Parent ? new QTreeWidgetItem(Parent) : new QTreeWidgetItem(FTree);
    item->setText(0, Text);
    item->setData(0, kPathRole, Path);
    item->setChildIndicatorPolicy(QFileInfo(Path).isDir() ? QTreeWidgetItem::ShowIndicator
                                                          : QTreeWidgetItem::DontShowIndicator);
    return item;
}

void TFolderBrowserDialog::Populate(QTreeWidgetItem* Item) {
    if (Item->data(0, kListedRole).toBool())
        return;
    Item->setData(0, kListedRole, true);
    const QString path = Item->data(0, kPathRole).toString();
    QDir::Filters filters = QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden;
    if (FFlags & BIF_BROWSEINCLUDEFILES)
        filters |= QDir::Files;
    const QFileInfoList entries =
        QDir(path).entryInfoList(filters, QDir::Name | QDir::DirsFirst | QDir::IgnoreCase);
    for (const QFileInfo& entry : entries)
        AddItem(Item, entry.absoluteFilePath(), entry.fileName());
    if (entries.isEmpty())
        Item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

bool TFolderBrowserDialog::SelectPath(const QString& Path) {
    const QString target = QDir::cleanPath(Path);
    // The top item that holds the target, then one folder level at a time.
    QTreeWidgetItem* item = nullptr;
    for (int i = 0; i < FTree->topLevelItemCount() && !item; ++i) {
        const QString top = FTree->topLevelItem(i)->data(0, kPathRole).toString();
        if (target == top || target.startsWith(top.endsWith(u'/') ? top : top + u'/'))
            item = FTree->topLevelItem(i);
    }
    while (item && item->data(0, kPathRole).toString() != target) {
        Populate(item);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount() && !next; ++i) {
            const QString child = item->child(i)->data(0, kPathRole).toString();
            if (target == child || target.startsWith(child + u'/'))
                next = item->child(i);
        }
        if (next)
            item->setExpanded(true);
        item = next;
    }
    if (!item)
        return false;
    FTree->setCurrentItem(item);
    FTree->scrollToItem(item, QAbstractItemView::PositionAtCenter);
    return true;
}

// The selection, not the current item: the view makes an item current when it
// gets the focus, which must not count as a choice.
QString TFolderBrowserDialog::SelectedPath() const {
    const QList<QTreeWidgetItem*> items = FTree->selectedItems();
    return items.isEmpty() ? QString() : items.front()->data(0, kPathRole).toString();
}

void TFolderBrowserDialog::UpdateOk() {
    const QString path = SelectedPath();
    FOk->setEnabled(!path.isEmpty() && (!(FFlags & BIF_RETURNONLYFSDIRS) || QFileInfo(path).isDir()));
}

bool TFolderBrowserDialog::CreateFolder(const QString& Name) {
    const QList<QTreeWidgetItem*> selected = FTree->selectedItems();
    QTreeWidgetItem* parent = selected.isEmpty() ? nullptr : selected.front();
    if (!parent || Name.isEmpty() || Name.contains(u'/'))
        return false;
    const QString parentPath = parent->data(0, kPathRole).toString();
    if (!QFileInfo(parentPath).isDir())
        return false;
    Populate(parent); // before the folder exists, so that it is not listed twice
    if (!QDir(parentPath).mkdir(Name))
        return false;
    const QString path = QDir(parentPath).absoluteFilePath(Name);
    auto* item = AddItem(parent, path, Name);
    parent->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    parent->setExpanded(true);
    FTree->setCurrentItem(item);
    FTree->scrollToItem(item);
    return true;
}

void TFolderBrowserDialog::NewFolderClick() {
    bool ok = false;
    const QString name =
        QInputDialog::getText(this, QStringLiteral("新しいフォルダー"), QStringLiteral("フォルダー名:"),
                              QLineEdit::Normal, QStringLiteral("新しいフォルダー"), &ok);
    if (ok)
        CreateFolder(name.trimmed());
}
