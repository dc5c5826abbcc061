// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "shoperation.h"
#include "Shell.h"
#include "ShellDialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <optional>

namespace {

QStringList ReadList(const char16_t* List) {
    QStringList names;
    while (List && *List) {
        const QString name = QString::fromUtf16(List);
        names << name;
        List += name.size() + 1;
    }
    return names;
}

// Records the record each operation hands to the shell, and the browse request.
class TRecordingShell : public TShell {
public:
    struct TCall {
        TWindowHandle Hwnd;
        uint32_t Func;
        uint16_t Flags;
        QStringList From;
        std::optional<QStringList> To; // nullopt: pTo was null
    };
    std::vector<TCall> Calls;
    int Result = 0;
    std::vector<TFolderBrowseRequest> Browses;
    std::optional<QString> Choice; // nullopt: the user cancels

    void Execute(QWidget*, const QString&, const QString&) override {}
    int FileOperation(QWidget*, TShellFileOpStruct& Op) override {
        Calls.push_back({Op.hwnd, Op.wFunc, Op.fFlags, ReadList(Op.pFrom),
                         Op.pTo ? std::optional<QStringList>(ReadList(Op.pTo)) : std::nullopt});
        return Result;
    }
    bool BrowseForFolder(QWidget*, const TFolderBrowseRequest& Request, QString& Chosen) override {
        Browses.push_back(Request);
        if (Choice)
            Chosen = *Choice;
        return Choice.has_value();
    }
};

// Runs Action on the first modal dialog once it is up.
void OnModal(std::function<void(QWidget*)> Action) {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, Action] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            Action(modal);
        }
    });
    timer->start(10);
}

void Write(const QString& Path, const QByteArray& Data) {
    QDir().mkpath(QFileInfo(Path).path());
    QFile file(Path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(Data);
}

QByteArray Read(const QString& Path) {
    QFile file(Path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class SHOperationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!qApp) {
            static int argc = 1;
            static char name[] = "SHOperationTest";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
    }
    void SetUp() override {
        ASSERT_TRUE(Temp.isValid());
        qputenv("XDG_DATA_HOME", Temp.filePath(QStringLiteral("data")).toLocal8Bit());
        Owner.resize(300, 200);
        Owner.show();
    }
    void TearDown() override { TShell::SetCurrent(nullptr); }
    QString P(const char* Name) const { return Temp.filePath(QString::fromUtf8(Name)); }

    QTemporaryDir Temp;
    QWidget Owner;
};

TEST_F(SHOperationTest, CreateNameListLaysOutEachItemThenOneMoreNul) {
    EXPECT_EQ(TSHOperation::CreateNameList({}), nullptr);
    const struct {
        QStringList List;
        std::u16string Block;
    } rows[] = {
        {{QStringLiteral("a"), QStringLiteral("bc")}, std::u16string(u"a\0bc\0\0", 6)},
        {{QString()}, std::u16string(u"\0\0", 2)},
        {{QStringLiteral("x"), QString(), QStringLiteral("日本")}, std::u16string(u"x\0\0日本\0\0", 7)},
    };
    for (const auto& row : rows) {
        const TNameList block = TSHOperation::CreateNameList(row.List);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(std::u16string(block.get(), row.Block.size()), row.Block);
    }
}

TEST_F(SHOperationTest, EachOperationFillsTheRecord) {
    TRecordingShell shell;
    TShell::SetCurrent(&shell);
    TSHOperation op(&Owner);
    const QStringList one{QStringLiteral("/d")}, two{QStringLiteral("/d1"), QStringLiteral("/d2")};
    const QStringList src{QStringLiteral("/s1"), QStringLiteral("/s2")};
    struct Row {
        const char* Name;
        std::function<bool()> Call;
        uint32_t Func;
        uint16_t Flags;
        QStringList From;
        std::optional<QStringList> To;
    };
    const std::vector<Row> rows = {
        // FOF_WANTNUKEWARNING (0x4000) over the bare 0x54: what the bin cannot take is asked about.
        {"Delete", [&] { return op.Delete(src); }, FO_DELETE, 0x4054, src, std::nullopt},
        {"DeleteNoUndo", [&] { return op.DeleteNoUndo(src); }, FO_DELETE, 0x14, src, std::nullopt},
        {"Move to one", [&] { return op.Move(one, src); }, FO_MOVE, 0x40, src, one},
        {"Move pairs", [&] { return op.Move(two, src); }, FO_MOVE, 0x41, src, two},
        {"Copy pairs", [&] { return op.Copy(two, src); }, FO_COPY, 0x41, src, two},
        {"Rename pairs", [&] { return op.Rename(two, src); }, FO_RENAME, 0x41, src, two},
        {"Rename one", [&] { return op.Rename(one, src.mid(0, 1)); }, FO_RENAME, 0x40, src.mid(0, 1), one},
        {"Copy to a string", [&] { return op.Copy(QStringLiteral("/d"), src); }, FO_COPY, 0x40, src, one},
        {"Move to a string", [&] { return op.Move(QStringLiteral("/d"), src); }, FO_MOVE, 0x40, src, one},
        {"Rename two strings is a move",
         [&] { return op.Rename(QStringLiteral("/d"), QStringLiteral("/s1")); }, FO_MOVE, 0x40, src.mid(0, 1),
         one},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        shell.Calls.clear();
        shell.Result = 0;
        EXPECT_TRUE(row.Call());
        ASSERT_EQ(shell.Calls.size(), 1u);
        const auto& call = shell.Calls[0];
        EXPECT_EQ(call.Func, row.Func);
        EXPECT_EQ(call.Flags, row.Flags);
        EXPECT_EQ(call.From, row.From);
        EXPECT_EQ(call.To, row.To);
        EXPECT_EQ(call.Hwnd, reinterpret_cast<TWindowHandle>(Owner.winId()));
        // Any non-zero result of the shell is a failure.
        shell.Result = 1223;
        EXPECT_FALSE(row.Call());
    }
}

TEST_F(SHOperationTest, AnEmptyListMakesNoShellCall) {
    TRecordingShell shell;
    TShell::SetCurrent(&shell);
    TSHOperation op(&Owner);
    const QStringList some{QStringLiteral("/x")};
    EXPECT_FALSE(op.Delete({}));
    EXPECT_FALSE(op.DeleteNoUndo({}));
    EXPECT_FALSE(op.Move(QStringList{}, some));
    EXPECT_FALSE(op.Copy(some, QStringList{}));
    EXPECT_FALSE(op.Rename(QStringList{}, QStringList{}));
    EXPECT_FALSE(op.Move(QStringLiteral("/x"), QStringList{}));
    EXPECT_TRUE(shell.Calls.empty());
}

TEST_F(SHOperationTest, RealFilesThroughTheDesktopShell) {
    TSHOperation op(&Owner);
    Write(P("a"), "A");
    Write(P("b"), "B");
    // An empty item ends the list: "b" is not seen.
    EXPECT_TRUE(op.DeleteNoUndo({P("a"), QString(), P("b")}));
    EXPECT_FALSE(QFile::exists(P("a")));
    EXPECT_EQ(Read(P("b")), "B");

    // A two-string rename into another folder moves the item there.
    QDir().mkpath(P("other"));
    EXPECT_TRUE(op.Rename(P("other/b2"), P("b")));
    EXPECT_EQ(Read(P("other/b2")), "B");

    // Trash, and nothing is asked.
    EXPECT_TRUE(op.Delete({P("other/b2")}));
    EXPECT_EQ(Read(P("data/Trash/files/b2")), "B");

    // A missing source fails.
    EXPECT_FALSE(op.Copy(P("other"), {P("missing")}));

    // A name with a wildcard in it is that file alone while it exists.
    Write(P("a?"), "?");
    Write(P("ab"), "B");
    EXPECT_TRUE(op.DeleteNoUndo({P("a?")}));
    EXPECT_FALSE(QFile::exists(P("a?")));
    EXPECT_EQ(Read(P("ab")), "B");
}

TEST_F(SHOperationTest, ConflictsAreAskedInADialogOverTheOwner) {
    TSHOperation op(&Owner);
    for (const char* n : {"1", "2"}) {
        Write(P("src/") + QString::fromUtf8(n), "new");
        Write(P("dst/") + QString::fromUtf8(n), "old");
    }
    int asked = 0;
    QWidget* parent = nullptr;
    std::function<void(QWidget*)> answer = [&](QWidget* modal) {
        ++asked;
        parent = modal->parentWidget();
        if (auto* all = modal->findChild<QPushButton*>(QStringLiteral("ReplaceAll")))
            all->click();
    };
    OnModal(answer);
    EXPECT_TRUE(op.Copy(P("dst"), {P("src/1"), P("src/2")}));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(parent, &Owner);
    EXPECT_EQ(Read(P("dst/1")), "new");
    EXPECT_EQ(Read(P("dst/2")), "new");

    // Cancel: false, and both sides as they were.
    Write(P("dst/1"), "old");
    OnModal([](QWidget* modal) { modal->findChild<QPushButton*>(QStringLiteral("Cancel"))->click(); });
    EXPECT_FALSE(op.Move(P("dst"), {P("src/1")}));
    EXPECT_EQ(Read(P("dst/1")), "old");
    EXPECT_EQ(Read(P("src/1")), "new");
}

TEST_F(SHOperationTest, ProgressWindowOverTheOwnerCancels) {
    TQtFileOperationUi ui(&Owner);
    ui.BeginProgress(nullptr, FO_COPY);
    auto* progress = Owner.findChild<QProgressDialog*>(QStringLiteral("FileOperationProgress"));
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->isVisible());
    EXPECT_TRUE(ui.UpdateProgress(250, 1000, u"/some/where/file.bin"));
    EXPECT_EQ(progress->value(), 250);
    EXPECT_TRUE(progress->labelText().contains(QStringLiteral("file.bin")));
    auto* cancel = progress->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    EXPECT_FALSE(ui.UpdateProgress(500, 1000, u"/some/where/file.bin"));
    ui.EndProgress();
    EXPECT_EQ(Owner.findChild<QProgressDialog*>(), nullptr);
}

TEST_F(SHOperationTest, BrowseFolderChecksAndCutsPathsAndKeepsFolderNameOnCancel) {
    TRecordingShell shell;
    TShell::SetCurrent(&shell);
    TSHOperation op(&Owner);
    EXPECT_EQ(op.GetFlags(), 0x41u);
    QDir().mkpath(P("a/b"));

    // Paths are cut to 259 characters before they are checked.
    const QString longRoot = Temp.path() + QString(300, u'/');
    op.SetRoot(longRoot);
    op.SetFolderName(P("a/b"));
    op.SetTitle(QStringLiteral("選んでください"));
    shell.Choice = P("a");
    EXPECT_TRUE(op.BrowseFolder());
    ASSERT_EQ(shell.Browses.size(), 1u);
    EXPECT_EQ(shell.Browses[0].Root, longRoot.left(259));
    EXPECT_EQ(shell.Browses[0].Selected, P("a/b"));
    EXPECT_EQ(shell.Browses[0].Title, QStringLiteral("選んでください"));
    EXPECT_EQ(shell.Browses[0].Flags, 0x41u);
    EXPECT_EQ(op.GetFolderName(), P("a"));

    // Cancelled, or a path that cannot be parsed: false and FolderName kept.
    shell.Choice.reset();
    EXPECT_FALSE(op.BrowseFolder());
    EXPECT_EQ(op.GetFolderName(), P("a"));
    shell.Choice = P("a/b");
    shell.Browses.clear();
    for (const QString& root :
         {P("missing"), QStringLiteral("relative/path"), Temp.path() + u'/' + QString(300, u'x')}) {
        op.SetRoot(root);
        EXPECT_FALSE(op.BrowseFolder());
    }
    op.SetRoot(QString());
    op.SetFolderName(P("missing"));
    EXPECT_FALSE(op.BrowseFolder());
    EXPECT_EQ(op.GetFolderName(), P("missing"));
    EXPECT_TRUE(shell.Browses.empty());

    // A chosen path longer than the shell's buffer is refused, not cut to another folder.
    op.SetFolderName(P("a"));
    for (const qsizetype length : {259, 260}) {
        SCOPED_TRACE(length);
        const QString chosen = Temp.path() + u'/' + QString(length - Temp.path().size() - 1, u'd');
        ASSERT_EQ(chosen.size(), length);
        shell.Choice = chosen;
        EXPECT_EQ(op.BrowseFolder(), length == 259);
        EXPECT_EQ(op.GetFolderName(), length == 259 ? chosen : P("a"));
        op.SetFolderName(P("a"));
    }
}

TEST_F(SHOperationTest, FolderBrowserShowsTitleTreeAndPreselection) {
    for (int i = 0; i < 60; ++i)
        QDir().mkpath(P("root/f") + QString::number(i).rightJustified(2, u'0'));
    QDir().mkpath(P("root/f55/inner"));
    Write(P("root/file.txt"), "x");

    TFolderBrowserDialog dialog({P("root"), P("root/f55/inner"), QStringLiteral("題"), 0x41}, &Owner);
    dialog.show();
    QApplication::processEvents();
    EXPECT_EQ(dialog.parentWidget(), &Owner);
    EXPECT_TRUE(dialog.TitleLabel()->isVisible());
    EXPECT_EQ(dialog.TitleLabel()->text(), QStringLiteral("題"));
    EXPECT_TRUE(dialog.NewFolderButton()->isVisible());
    EXPECT_EQ(dialog.SelectedPath(), P("root/f55/inner"));
    QTreeWidgetItem* item = dialog.Tree()->currentItem();
    EXPECT_TRUE(dialog.Tree()->viewport()->rect().intersects(dialog.Tree()->visualItemRect(item)));
    // Folders only: the file is not listed.
    EXPECT_EQ(dialog.Tree()->topLevelItem(0)->childCount(), 60);
    EXPECT_TRUE(dialog.OkButton()->isEnabled());

    EXPECT_TRUE(dialog.CreateFolder(QStringLiteral("新しいフォルダー")));
    EXPECT_TRUE(QFileInfo(P("root/f55/inner/新しいフォルダー")).isDir());
    EXPECT_EQ(dialog.SelectedPath(), P("root/f55/inner/新しいフォルダー"));
    ASSERT_TRUE(dialog.SelectPath(P("root/f55/inner")));
    EXPECT_FALSE(dialog.CreateFolder(QStringLiteral("新しいフォルダー"))); // exists already

    // No title, no new-folder button, no preselection.
    TFolderBrowserDialog plain({P("root"), QString(), QString(), BIF_RETURNONLYFSDIRS}, &Owner);
    plain.show();
    QApplication::processEvents();
    EXPECT_FALSE(plain.TitleLabel()->isVisible());
    EXPECT_FALSE(plain.NewFolderButton()->isVisible());
    EXPECT_TRUE(plain.SelectedPath().isEmpty());
    EXPECT_FALSE(plain.OkButton()->isEnabled());

    // With files shown, only folders can still be chosen.
    TFolderBrowserDialog files(
        {P("root"), P("root/file.txt"), QString(), BIF_RETURNONLYFSDIRS | BIF_BROWSEINCLUDEFILES}, &Owner);
    EXPECT_EQ(files.SelectedPath(), P("root/file.txt"));
    EXPECT_FALSE(files.OkButton()->isEnabled());
}

TEST_F(SHOperationTest, BrowseFolderReturnsTheChosenFolder) {
    QDir().mkpath(P("a/b"));
    TSHOperation op(&Owner);
    op.SetRoot(Temp.path());
    op.SetFolderName(P("a/b"));
    QWidget* parent = nullptr;
    OnModal([&](QWidget* modal) {
        parent = modal->parentWidget();
        static_cast<QDialog*>(modal)->accept();
    });
    EXPECT_TRUE(op.BrowseFolder());
    EXPECT_EQ(parent, &Owner);
    EXPECT_EQ(op.GetFolderName(), P("a/b"));

    OnModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    op.SetFolderName(P("a"));
    EXPECT_FALSE(op.BrowseFolder());
    EXPECT_EQ(op.GetFolderName(), P("a"));
}

} // namespace
