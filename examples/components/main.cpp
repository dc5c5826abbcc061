// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

// A window that puts the shell file operations and the extended list box to
// work on a folder of sample files.
#include <quadrelle/widgets/ListBoxEx.h>
#include <quadrelle/widgets/shoperation.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <QWidget>

namespace {

class TDemoWindow : public QWidget {
public:
    explicit TDemoWindow(const QString& Folder) : FFolder(Folder), FShell(new TSHOperation(this)) {
        setWindowTitle(QStringLiteral("コンポーネントの見本"));
        auto* layout = new QHBoxLayout(this);

        // Files: a list box of the work folder, filled with LB_DIR.
        auto* files = new QGroupBox(QStringLiteral("ファイル"), this);
        auto* fl = new QVBoxLayout(files);
        FFolderLabel = new QLabel(files);
        FFiles = new TListBoxEx(files);
        FFiles->setObjectName(QStringLiteral("Files"));
        FTarget = new QLabel(files);
        FResult = new QLabel(files);
        fl->addWidget(FFolderLabel);
        fl->addWidget(FFiles, 1);
        auto* buttons = new QGridLayout;
        const struct {
            const char16_t* Caption;
            void (TDemoWindow::*Click)();
        } actions[] = {
            {u"ごみ箱へ(&D)", &TDemoWindow::B_TrashClick},
            {u"コピー(&C)", &TDemoWindow::B_CopyClick},
            {u"移動(&M)", &TDemoWindow::B_MoveClick},
            {u"名前の変更(&R)", &TDemoWindow::B_RenameClick},
            {u"フォルダーの参照(&B)", &TDemoWindow::B_BrowseClick},
            {u"再表示(&L)", &TDemoWindow::Reload},
        };
        int n = 0;
        for (const auto& a : actions) {
            auto* b = new QPushButton(QString::fromUtf16(a.Caption), files);
            connect(b, &QPushButton::clicked, this, a.Click);
            buttons->addWidget(b, n / 2, n % 2);
            ++n;
        }
        fl->addLayout(buttons);
        fl->addWidget(FTarget);
        fl->addWidget(FResult);
        layout->addWidget(files, 1);

        // Free text: the scroll bar follows the widest item.
        auto* texts = new QGroupBox(QStringLiteral("項目"), this);
        auto* tl = new QVBoxLayout(texts);
        FItems = new TListBoxEx(texts);
        FItems->setObjectName(QStringLiteral("Items"));
        FItems->setFixedWidth(180);
        FEdit = new QLineEdit(QStringLiteral("とても長い項目の文字列はスクロールバーを出します"), texts);
        auto* add = new QPushButton(QStringLiteral("追加(&A)"), texts);
        auto* remove = new QPushButton(QStringLiteral("削除(&X)"), texts);
        auto* clear = new QPushButton(QStringLiteral("クリア(&E)"), texts);
        auto* space = new QSpinBox(texts);
        space->setRange(0, 200);
        space->setValue(FItems->GetSpace());
        space->setPrefix(QStringLiteral("Space "));
        FExtent = new QLabel(texts);
        tl->addWidget(FItems, 1);
        tl->addWidget(FEdit);
        tl->addWidget(add);
        tl->addWidget(remove);
        tl->addWidget(clear);
        tl->addWidget(space);
        tl->addWidget(FExtent);
        layout->addWidget(texts);
        connect(add, &QPushButton::clicked, this, [this] {
            FItems->Items().Add(FEdit->text());
            ShowExtent();
        });
        connect(remove, &QPushButton::clicked, this, [this] {
            FItems->Items().Delete(FItems->GetItemIndex());
            ShowExtent();
        });
        connect(clear, &QPushButton::clicked, this, [this] {
            FItems->Items().Clear();
            ShowExtent();
        });
        connect(space, &QSpinBox::valueChanged, this, [this](int Value) {
            FItems->SetSpace(Value);
            ShowExtent();
        });
        for (const char* t : {"短い", "medium length item", "三番目"})
            FItems->Items().Add(QString::fromUtf8(t));

        FShell->SetTitle(QStringLiteral("コピーと移動の行き先を選んでください"));
        FShell->SetFolderName(FFolder + QStringLiteral("/target"));
        Reload();
        ShowExtent();
        resize(640, 420);
    }

private:
    QStringList Selected() const {
        const int i = FFiles->GetItemIndex();
        return i < 0 ? QStringList() : QStringList{FFolder + u'/' + FFiles->Items().Get(i)};
    }
    void Show(const char16_t* What, bool Ok) {
        FResult->setText(QString::fromUtf16(What) +
                         (Ok ? QStringLiteral(": 成功") : QStringLiteral(": 失敗")));
        Reload();
    }
    void B_TrashClick() { Show(u"ごみ箱へ", FShell->Delete(Selected())); }
    void B_CopyClick() { Show(u"コピー", FShell->Copy(FShell->GetFolderName(), Selected())); }
    void B_MoveClick() { Show(u"移動", FShell->Move(FShell->GetFolderName(), Selected())); }
    void B_RenameClick() {
        const QStringList old = Selected();
        if (old.isEmpty())
            return;
        bool ok = false;
        const QString name =
            QInputDialog::getText(this, QStringLiteral("名前の変更"), QStringLiteral("新しい名前:"),
                                  QLineEdit::Normal, QFileInfo(old[0]).fileName(), &ok);
        if (ok)
            Show(u"名前の変更", FShell->Rename(FFolder + u'/' + name, old[0]));
    }
    void B_BrowseClick() {
        FShell->SetRoot(FFolder);
        Show(u"フォルダーの参照", FShell->BrowseFolder());
    }
    void Reload() {
        FFiles->Items().Clear();
        FFiles->Perform(LB_DIR, DDL_DIRECTORY,
                        reinterpret_cast<intptr_t>((FFolder + QStringLiteral("/*")).utf16()));
        FFolderLabel->setText(FFolder);
        FTarget->setText(QStringLiteral("行き先: ") + FShell->GetFolderName());
    }
    void ShowExtent() {
        FExtent->setText(QStringLiteral("extent %1 / 最大幅 %2")
                             .arg(FItems->Perform(LB_GETHORIZONTALEXTENT))
                             .arg(FItems->GetMaxWidth()));
    }

    QString FFolder;
    TSHOperation* FShell;
    QLabel* FFolderLabel;
    TListBoxEx* FFiles;
    QLabel* FTarget;
    QLabel* FResult;
    TListBoxEx* FItems;
    QLineEdit* FEdit;
    QLabel* FExtent;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The work folder: the first argument, else a fresh one with sample files.
    QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (folder.isEmpty()) {
        folder = QDir::tempPath() + QStringLiteral("/quadrelle-components-demo");
        QDir(folder).mkpath(QStringLiteral("target"));
        for (const char* name : {"memo.txt", "report with a rather long file name.txt", "写真.jpg"}) {
            QFile f(folder + u'/' + QString::fromUtf8(name));
            if (f.open(QIODevice::WriteOnly))
                f.write(name);
        }
    }
    TDemoWindow window(QDir(folder).absolutePath());
    window.show();
    return app.exec();
}
