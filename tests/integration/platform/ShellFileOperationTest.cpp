// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ShellFileOperation.h"
#include "Utf.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::u16string NameList(const std::vector<fs::path>& Paths) {
    std::u16string list;
    for (const auto& p : Paths) {
        list += FileNameToUtf16(p.native());
        list.push_back(u'\0');
    }
    list.push_back(u'\0');
    return list;
}

void Write(const fs::path& Path, const std::string& Text) {
    fs::create_directories(Path.parent_path());
    std::ofstream(Path, std::ios::binary) << Text;
}

std::string Read(const fs::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Names(const fs::path& Dir) {
    std::vector<std::string> names;
    if (fs::exists(Dir))
        for (const auto& e : fs::directory_iterator(Dir))
            names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t Mode(const fs::path& Path) {
    struct stat st {};
    ::lstat(Path.c_str(), &st);
    return st.st_mode & 07777;
}

std::string PercentDecode(const std::string& Text) {
    std::string out;
    for (size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == '%' && i + 2 < Text.size() && std::isxdigit(static_cast<unsigned char>(Text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(Text[i + 2]))) {
            out.push_back(char(std::stoi(Text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(Text[i]);
        }
    }
    return out;
}

// What a desktop's trash does to undo a delete: finds the entry whose info
// file gives Original as its place (relative paths are from the folder that
// holds the trash) and moves it back there. False when there is none.
bool Restore(const fs::path& Trash, const fs::path& Original) {
    std::error_code ec;
    for (fs::directory_iterator it(Trash / "info", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string text = Read(it->path());
        const auto at = text.find("\nPath=");
        if (at == std::string::npos)
            continue;
        const auto stop = text.find('\n', at + 6);
        const fs::path stored = PercentDecode(text.substr(at + 6, stop - at - 6));
        if ((stored.is_relative() ? Trash.parent_path() / stored : stored) != Original)
            continue;
        const fs::path item = Trash / "files" / it->path().stem();
        if (::rename(item.c_str(), Original.c_str()) != 0)
            return false;
        fs::remove(it->path());
        return true;
    }
    return false;
}

dev_t Device(const fs::path& Path) {
    struct stat st {};
    ::stat(Path.c_str(), &st);
    return st.st_dev;
}

// Answers questions from a script and cancels progress at a chosen update.
class TScriptedUi : public TFileOperationUi {
public:
    std::vector<TFileOpAnswer> Answers;
    int Asked = 0, Begun = 0, Updates = 0, Ended = 0;
    int CancelAtUpdate = -1;
    TFileOpAnswer AskReplace(TWindowHandle, std::u16string_view, std::u16string_view) override {
        return Answers.at(size_t(Asked++));
    }
    bool ConfirmDelete(TWindowHandle, std::size_t, bool) override { return true; }
    void BeginProgress(TWindowHandle, uint32_t) override { ++Begun; }
    bool UpdateProgress(uint64_t, uint64_t, std::u16string_view) override {
        return ++Updates != CancelAtUpdate;
    }
    void EndProgress() override { ++Ended; }
    std::chrono::milliseconds ProgressDelay() const override { return std::chrono::milliseconds(0); }
};

class ShellFileOperationTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quadv-fileop-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        Dir = pattern;
        const char* old = std::getenv("XDG_DATA_HOME");
        OldDataHome = old ? old : "";
        HadDataHome = old != nullptr;
        ::setenv("XDG_DATA_HOME", (Dir / "data").c_str(), 1);
    }
    void TearDown() override {
        if (HadDataHome)
            ::setenv("XDG_DATA_HOME", OldDataHome.c_str(), 1);
        else
            ::unsetenv("XDG_DATA_HOME");
        std::error_code ec;
        fs::remove_all(Dir, ec);
        for (const auto& p : Extra)
            fs::remove_all(p, ec);
    }

    int Run(uint32_t Func, const std::vector<fs::path>& From, const std::vector<fs::path>& To, uint16_t Flags,
            TFileOperationUi* Ui = nullptr) {
        const std::u16string from = NameList(From), to = NameList(To);
        Op = {};
        Op.wFunc = Func;
        Op.pFrom = from.c_str();
        Op.pTo = To.empty() ? nullptr : to.c_str();
        Op.fFlags = Flags;
        return ShellFileOperation(Op, Ui);
    }

    fs::path Dir;
    std::string OldDataHome;
    bool HadDataHome = false;
    std::vector<fs::path> Extra; // outside Dir, removed as well
    TShellFileOpStruct Op;
};

TEST_F(ShellFileOperationTest, CopyAndMoveFollowTheDestinationsShape) {
    Write(Dir / "a.txt", "A");
    Write(Dir / "b.txt", "B");
    fs::create_directory(Dir / "folder");

    // An existing folder receives the item; a new name is the copy's name.
    EXPECT_EQ(Run(FO_COPY, {Dir / "a.txt"}, {Dir / "folder"}, FOF_ALLOWUNDO), 0);
    EXPECT_EQ(Read(Dir / "folder/a.txt"), "A");
    EXPECT_EQ(Run(FO_COPY, {Dir / "a.txt"}, {Dir / "copy.txt"}, FOF_ALLOWUNDO), 0);
    EXPECT_EQ(Read(Dir / "copy.txt"), "A");
    EXPECT_EQ(Read(Dir / "a.txt"), "A");

    // Several sources and a missing destination: the folder is made.
    EXPECT_EQ(Run(FO_MOVE, {Dir / "a.txt", Dir / "b.txt"}, {Dir / "new/sub"}, FOF_ALLOWUNDO), 0);
    EXPECT_EQ(Names(Dir / "new/sub"), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_FALSE(fs::exists(Dir / "a.txt"));

    // One destination per source.
    EXPECT_EQ(Run(FO_MOVE, {Dir / "new/sub/a.txt", Dir / "new/sub/b.txt"},
                  {Dir / "x.txt", Dir / "folder/y.txt"}, FOF_ALLOWUNDO | FOF_MULTIDESTFILES),
              0);
    EXPECT_EQ(Read(Dir / "x.txt"), "A");
    EXPECT_EQ(Read(Dir / "folder/y.txt"), "B");
    EXPECT_TRUE(Names(Dir / "new/sub").empty());

    // A folder and its contents; never into itself.
    Write(Dir / "tree/deep/f", "F");
    EXPECT_EQ(Run(FO_COPY, {Dir / "tree"}, {Dir / "tree2"}, 0), 0);
    EXPECT_EQ(Read(Dir / "tree2/deep/f"), "F");
    EXPECT_NE(Run(FO_COPY, {Dir / "tree"}, {Dir / "tree/deep"}, 0), 0);
    EXPECT_NE(Run(FO_MOVE, {Dir / "tree"}, {Dir / "tree/deep/in"}, 0), 0);
    EXPECT_EQ(Names(Dir / "tree/deep"), std::vector<std::string>{"f"});
}

TEST_F(ShellFileOperationTest, WildcardsMatchTheLastPartOnly) {
    for (const char* name : {"a.txt", "bb.txt", "c.log", "noext", ".hidden.txt"})
        Write(Dir / "src" / name, name);
    EXPECT_EQ(Run(FO_COPY, {Dir / "src/*.txt"}, {Dir / "t1"}, 0), 0);
    EXPECT_EQ(Names(Dir / "t1"), (std::vector<std::string>{".hidden.txt", "a.txt", "bb.txt"}));
    EXPECT_EQ(Run(FO_COPY, {Dir / "src/?.*"}, {Dir / "t2"}, 0), 0);
    EXPECT_EQ(Names(Dir / "t2"), (std::vector<std::string>{"a.txt", "c.log"}));
    EXPECT_EQ(Run(FO_COPY, {Dir / "src/*.*"}, {Dir / "t3"}, 0), 0);
    EXPECT_EQ(Names(Dir / "t3").size(), 5u);
    // No match, or a wildcard in a folder's part, finds nothing.
    EXPECT_EQ(Run(FO_COPY, {Dir / "src/*.png"}, {Dir / "t4"}, 0), ENOENT);
    EXPECT_NE(Run(FO_COPY, {Dir / "s*/a.txt"}, {Dir / "t5"}, 0), 0);
    EXPECT_FALSE(fs::exists(Dir / "t4"));
    EXPECT_FALSE(fs::exists(Dir / "t5"));
}

// Names a POSIX folder may hold that Windows would refuse, or that tools
// like to misread: patterns, bytes that are not UTF-8, line breaks, options.
const std::vector<std::string> kOddNames = {
    "a?",
    "b*",
    "[x]",
    "c?d*",
    "caf\xE9",
    "\xFF\xFE",
    "line\nbreak",
    "-rf",
    "--",
    " spaced ",
    "tab\tend",
    "%41 100%",
    "\xE5\xB7\xA6\xE4\xB8\x8A",
    // As long as a name may be, less the "~" the test adds: 84 three-byte characters and two bytes.
    [] {
        std::string name;
        for (int i = 0; i < 84; ++i)
            name += "\xE5\xB7\xA6";
        return name + "ab";
    }(),
};

TEST_F(ShellFileOperationTest, ANameThatExistsIsThatItemAloneNotAPattern) {
    const std::vector<std::string> all = {"[x]", "a?", "ab", "ac", "b*", "bcd", "x"};
    struct Row {
        const char* Name;
        uint32_t Func;
        uint16_t Flags;
    };
    const Row rows[] = {
        {"delete for good", FO_DELETE, FOF_NOCONFIRMATION | FOF_SILENT},
        {"delete to the trash", FO_DELETE, FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT},
        {"copy", FO_COPY, FOF_SILENT},
        {"move", FO_MOVE, FOF_SILENT},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        fs::remove_all(Dir / "src");
        fs::remove_all(Dir / "dst");
        fs::remove_all(Dir / "data");
        for (const auto& name : all)
            Write(Dir / "src" / name, name);
        const std::vector<fs::path> from = {Dir / "src/a?", Dir / "src/b*", Dir / "src/[x]"};
        const std::vector<fs::path> to = {Dir / "dst"};
        ASSERT_EQ(Run(row.Func, from, row.Func == FO_DELETE ? std::vector<fs::path>{} : to, row.Flags), 0);
        const std::vector<std::string> named = {"[x]", "a?", "b*"};
        const std::vector<std::string> others = {"ab", "ac", "bcd", "x"};
        const bool stays = row.Func == FO_COPY;
        EXPECT_EQ(Names(Dir / "src"), stays ? all : others);
        if (row.Func == FO_DELETE) {
            const auto trashed = Names(Dir / "data/Trash/files");
            EXPECT_EQ(trashed, (row.Flags & FOF_ALLOWUNDO) ? named : std::vector<std::string>{});
        } else {
            EXPECT_EQ(Names(Dir / "dst"), named);
            for (const auto& name : named)
                EXPECT_EQ(Read(Dir / "dst" / name), name);
        }
    }

    // A name that does not exist is still a pattern, and ? is one character, not one byte.
    fs::remove_all(Dir / "src");
    for (const char* name : {"c1", "c22", "\xC3\xA9", "\xFF", "\xE5\xB7\xA6\xE4\xB8\x8A"})
        Write(Dir / "src" / name, name);
    EXPECT_EQ(Run(FO_DELETE, {Dir / "src/c?", Dir / "src/?"}, {}, FOF_NOCONFIRMATION | FOF_SILENT), 0);
    EXPECT_EQ(Names(Dir / "src"), (std::vector<std::string>{"c22", "\xE5\xB7\xA6\xE4\xB8\x8A"}));
    EXPECT_EQ(Run(FO_DELETE, {Dir / "src/??"}, {}, FOF_NOCONFIRMATION | FOF_SILENT), 0);
    EXPECT_EQ(Names(Dir / "src"), std::vector<std::string>{"c22"});
}

TEST_F(ShellFileOperationTest, OddNamesSurviveEveryOperationAndTheTrash) {
    const fs::path trash = Dir / "data/Trash";
    fs::create_directory(Dir / "copies");
    fs::create_directory(Dir / "moved");
    for (const auto& name : kOddNames) {
        SCOPED_TRACE(::testing::PrintToString(name));
        const fs::path item = Dir / "src" / name;
        Write(item, name);
        Write(Dir / "src/neighbour", "n");

        ASSERT_EQ(Run(FO_COPY, {item}, {Dir / "copies"}, FOF_SILENT), 0);
        EXPECT_EQ(Read(Dir / "copies" / name), name);
        ASSERT_EQ(Run(FO_MOVE, {Dir / "copies" / name}, {Dir / "moved"}, FOF_SILENT), 0);
        EXPECT_EQ(Read(Dir / "moved" / name), name);
        ASSERT_EQ(Run(FO_RENAME, {Dir / "moved" / name}, {Dir / "moved" / (name + "~")}, 0), 0);
        EXPECT_EQ(Read(Dir / "moved" / (name + "~")), name);

        // To the trash and back, as a desktop restores it from the info file.
        ASSERT_EQ(Run(FO_DELETE, {item}, {}, FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(item)));
        EXPECT_TRUE(Restore(trash, item));
        EXPECT_EQ(Read(item), name);

        ASSERT_EQ(Run(FO_DELETE, {item, Dir / "moved" / (name + "~")}, {}, FOF_NOCONFIRMATION | FOF_SILENT),
                  0);
        EXPECT_EQ(Names(Dir / "src"), std::vector<std::string>{"neighbour"});
        EXPECT_TRUE(Names(Dir / "moved").empty());
    }

    // All of them inside a folder that is copied, trashed and restored whole.
    for (const auto& name : kOddNames)
        Write(Dir / "tree" / name, name);
    ASSERT_EQ(Run(FO_COPY, {Dir / "tree"}, {Dir / "tree2"}, FOF_SILENT), 0);
    ASSERT_EQ(Run(FO_DELETE, {Dir / "tree"}, {}, FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT), 0);
    EXPECT_TRUE(Restore(trash, Dir / "tree"));
    for (const auto& name : kOddNames) {
        EXPECT_EQ(Read(Dir / "tree" / name), name);
        EXPECT_EQ(Read(Dir / "tree2" / name), name);
    }
    EXPECT_EQ(Names(Dir / "tree").size(), kOddNames.size());
}

TEST_F(ShellFileOperationTest, ACopyDropsSetUserAndGroupIdsAsCpDoes) {
    Write(Dir / "tool", "#!/bin/sh\n");
    ::chmod((Dir / "tool").c_str(), 06755);
    fs::create_directory(Dir / "shared");
    ::chmod((Dir / "shared").c_str(), 02775);
    if (Mode(Dir / "tool") != 06755 || Mode(Dir / "shared") != 02775)
        GTEST_SKIP() << "this file system does not keep set-user-ID and set-group-ID bits";
    Write(Dir / "old", "old");

    EXPECT_EQ(Run(FO_COPY, {Dir / "tool"}, {Dir / "copy"}, 0), 0);
    EXPECT_EQ(Mode(Dir / "copy"), 0755);
    EXPECT_EQ(Run(FO_COPY, {Dir / "tool"}, {Dir / "old"}, FOF_NOCONFIRMATION), 0); // over an existing file
    EXPECT_EQ(Mode(Dir / "old"), 0755);
    EXPECT_EQ(Read(Dir / "old"), "#!/bin/sh\n");

    // A folder's own set-group-ID is not copied; one it inherits in its new place stays.
    EXPECT_EQ(Run(FO_COPY, {Dir / "shared"}, {Dir / "plain"}, 0), 0);
    EXPECT_EQ(Mode(Dir / "plain"), 0775);
    EXPECT_EQ(Run(FO_COPY, {Dir / "plain", Dir / "tool"}, {Dir / "shared"}, 0), 0);
    EXPECT_EQ(Mode(Dir / "shared/plain"), 02775);
    EXPECT_EQ(Mode(Dir / "shared/tool"), 0755);

    // A move is no copy: the file stays what it was.
    EXPECT_EQ(Run(FO_MOVE, {Dir / "tool"}, {Dir / "moved"}, 0), 0);
    EXPECT_EQ(Mode(Dir / "moved"), 06755);
}

TEST_F(ShellFileOperationTest, FailuresChangeNothing) {
    Write(Dir / "a.txt", "A");
    Write(Dir / "b.txt", "B");
    // Every source is found before anything moves.
    EXPECT_EQ(Run(FO_MOVE, {Dir / "a.txt", Dir / "missing"}, {Dir / "dst"}, 0), ENOENT);
    EXPECT_EQ(Read(Dir / "a.txt"), "A");
    EXPECT_FALSE(fs::exists(Dir / "dst"));
    // A rename never replaces.
    EXPECT_EQ(Run(FO_RENAME, {Dir / "a.txt"}, {Dir / "b.txt"}, FOF_NOCONFIRMATION), EEXIST);
    EXPECT_EQ(Read(Dir / "a.txt"), "A");
    EXPECT_EQ(Read(Dir / "b.txt"), "B");
    // A bare new name stays in the source's folder.
    EXPECT_EQ(Run(FO_RENAME, {Dir / "a.txt"}, {"c.txt"}, 0), 0);
    EXPECT_EQ(Read(Dir / "c.txt"), "A");
    // A conflict with nobody to ask is refused.
    EXPECT_EQ(Run(FO_COPY, {Dir / "c.txt"}, {Dir / "b.txt"}, 0), EEXIST);
    EXPECT_EQ(Read(Dir / "b.txt"), "B");
    // A file cannot replace a folder.
    fs::create_directory(Dir / "folder");
    EXPECT_NE(Run(FO_MOVE, {Dir / "c.txt"}, {Dir / "folder"}, FOF_NOCONFIRMATION | FOF_MULTIDESTFILES), 0);
    EXPECT_EQ(Read(Dir / "c.txt"), "A");
    EXPECT_EQ(Run(FO_DELETE, {}, {}, 0), EINVAL);
}

TEST_F(ShellFileOperationTest, ConflictAnswersDecideEachItem) {
    struct Row {
        const char* Name;
        std::vector<TFileOpAnswer> Answers;
        uint16_t Flags;
        int Result;
        std::string One, Two; // the destinations afterwards
        int Asked;
        bool Aborted;
    };
    const std::vector<Row> rows = {
        {"replace then skip", {foaReplace, foaSkip}, 0, 0, "new1", "old2", 2, true},
        {"replace all", {foaReplaceAll}, 0, 0, "new1", "new2", 1, false},
        {"cancel", {foaCancel}, 0, kFileOpCancelled, "old1", "old2", 1, true},
        {"no confirmation", {}, FOF_NOCONFIRMATION, 0, "new1", "new2", 0, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        fs::remove_all(Dir / "src");
        fs::remove_all(Dir / "dst");
        Write(Dir / "src/1", "new1");
        Write(Dir / "src/2", "new2");
        Write(Dir / "dst/1", "old1");
        Write(Dir / "dst/2", "old2");
        TScriptedUi ui;
        ui.Answers = row.Answers;
        EXPECT_EQ(Run(FO_MOVE, {Dir / "src/1", Dir / "src/2"}, {Dir / "dst"}, row.Flags | FOF_SILENT, &ui),
                  row.Result);
        EXPECT_EQ(Read(Dir / "dst/1"), row.One);
        EXPECT_EQ(Read(Dir / "dst/2"), row.Two);
        EXPECT_EQ(ui.Asked, row.Asked);
        EXPECT_EQ(Op.fAnyOperationsAborted, row.Aborted);
        // What was not moved is still at its source.
        for (const char* n : {"1", "2"}) {
            if (Read(Dir / "dst" / n).rfind("old", 0) == 0) {
                EXPECT_EQ(Read(Dir / "src" / n), std::string("new") + n);
            }
        }
    }
}

TEST_F(ShellFileOperationTest, CancelLeavesNoHalfCopiedFile) {
    const std::string big(3 * 1024 * 1024, 'x');
    Write(Dir / "src/big", big);
    Write(Dir / "dst/big", "old");
    Write(Dir / "src/other", "other");

    TScriptedUi ui;
    ui.CancelAtUpdate = 4; // inside the first file's chunks
    ui.Answers = {foaReplace};
    EXPECT_EQ(Run(FO_COPY, {Dir / "src/big", Dir / "src/other"}, {Dir / "dst"}, 0, &ui), kFileOpCancelled);
    EXPECT_TRUE(Op.fAnyOperationsAborted);
    EXPECT_EQ(Names(Dir / "dst"), std::vector<std::string>{"big"}); // no temporary, no "other"
    EXPECT_EQ(Read(Dir / "dst/big"), "old");
    EXPECT_EQ(Read(Dir / "src/big"), big);
    EXPECT_EQ(ui.Begun, 1);
    EXPECT_EQ(ui.Ended, 1);

    // Silent: no progress window, so nothing can cancel.
    TScriptedUi silent;
    silent.Answers = {foaReplace};
    silent.CancelAtUpdate = 1;
    EXPECT_EQ(Run(FO_COPY, {Dir / "src/big"}, {Dir / "dst"}, FOF_SILENT, &silent), 0);
    EXPECT_EQ(silent.Begun, 0);
    EXPECT_EQ(Read(Dir / "dst/big"), big);
}

TEST_F(ShellFileOperationTest, DeleteForGoodIsRecursive) {
    Write(Dir / "tree/a/b/c", "c");
    Write(Dir / "keep", "k");
    EXPECT_EQ(Run(FO_DELETE, {Dir / "tree"}, {}, FOF_NOCONFIRMATION | FOF_SILENT), 0);
    EXPECT_FALSE(fs::exists(Dir / "tree"));
    EXPECT_TRUE(fs::exists(Dir / "keep"));
    EXPECT_FALSE(fs::exists(Dir / "data/Trash/files/tree"));
}

TEST_F(ShellFileOperationTest, DeleteWithUndoGoesToTheHomeTrash) {
    const fs::path item = Dir / "my file ü%.txt";
    Write(item, "one");
    EXPECT_EQ(Run(FO_DELETE, {item}, {}, FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT), 0);
    EXPECT_FALSE(fs::exists(item));
    const fs::path trash = Dir / "data/Trash";
    EXPECT_EQ(Read(trash / "files" / item.filename()), "one");
    const std::string info = Read(trash / "info" / (item.filename().string() + ".trashinfo"));
    const std::string path = Dir.string() + "/my%20file%20%C3%BC%25.txt";
    EXPECT_TRUE(
        std::regex_match(info, std::regex("\\[Trash Info\\]\nPath=" + path +
                                          "\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n")))
        << info;
    EXPECT_EQ((fs::status(trash).permissions() & fs::perms::all), fs::perms::owner_all);

    // The same name again gets a name of its own; the first stays.
    Write(item, "two");
    EXPECT_EQ(Run(FO_DELETE, {item}, {}, FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT), 0);
    EXPECT_EQ(Names(trash / "files").size(), 2u);
    EXPECT_EQ(Names(trash / "info").size(), 2u);
    EXPECT_EQ(Read(trash / "files" / item.filename()), "one");
}

TEST_F(ShellFileOperationTest, AnItemThatCannotBeTrashedIsKept) {
    Write(Dir / "data/Trash", "a file where the trash folder should be");
    Write(Dir / "victim", "v");
    Write(Dir / "second", "s");
    EXPECT_NE(Run(FO_DELETE, {Dir / "victim", Dir / "second"}, {}, FOF_ALLOWUNDO | FOF_NOCONFIRMATION), 0);
    EXPECT_EQ(Read(Dir / "victim"), "v");
    EXPECT_EQ(Read(Dir / "second"), "s");
}

class CrossFileSystemTest : public ShellFileOperationTest {
protected:
    void SetUp() override {
        ShellFileOperationTest::SetUp();
        if (!fs::is_directory("/dev/shm") || Device("/dev/shm") == Device(Dir))
            GTEST_SKIP() << "/dev/shm is not a separate file system from /tmp here";
        char pattern[] = "/dev/shm/quadv-fileop-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        Other = pattern;
        Extra.push_back(Other);
    }
    fs::path Other;
};

TEST_F(CrossFileSystemTest, MoveCopiesThenRemovesTheSource) {
    Write(Other / "tree/a", "A");
    Write(Other / "tree/sub/b", "B");
    ::chmod((Other / "tree/a").c_str(), 06750); // same owner and group: a move keeps both bits
    const mode_t mode = Mode(Other / "tree/a");
    EXPECT_EQ(Run(FO_MOVE, {Other / "tree"}, {Dir}, FOF_ALLOWUNDO), 0);
    EXPECT_EQ(Read(Dir / "tree/a"), "A");
    EXPECT_EQ(Read(Dir / "tree/sub/b"), "B");
    EXPECT_EQ(Mode(Dir / "tree/a"), mode);
    EXPECT_FALSE(fs::exists(Other / "tree"));

    // Cancelled half way: each file is either moved whole or still at its source.
    const std::string big(3 * 1024 * 1024, 'y');
    Write(Other / "m/1", "small");
    Write(Other / "m/2", big);
    TScriptedUi ui;
    ui.CancelAtUpdate = 5;
    EXPECT_EQ(Run(FO_MOVE, {Other / "m"}, {Dir}, 0, &ui), kFileOpCancelled);
    EXPECT_EQ(Read(Dir / "m/1"), "small");
    EXPECT_FALSE(fs::exists(Other / "m/1"));
    EXPECT_EQ(Read(Other / "m/2"), big);
    EXPECT_EQ(Names(Dir / "m"), std::vector<std::string>{"1"});
}

TEST_F(CrossFileSystemTest, TrashOnAnotherMountUsesItsOwnTrash) {
    const fs::path top = "/dev/shm";
    const fs::path trash = top / (".Trash-" + std::to_string(::getuid()));
    if (fs::exists(top / ".Trash"))
        GTEST_SKIP() << "/dev/shm has an administrator's .Trash";
    if (!fs::exists(trash))
        Extra.push_back(trash);
    Write(Other / "gone.txt", "G");
    // The same folder reached through a link from another mount.
    fs::create_directory_symlink(Other, Dir / "link");
    Write(Other / "linked.txt", "L");

    for (const char* name : {"gone.txt", "linked.txt"}) {
        SCOPED_TRACE(name);
        const fs::path item = std::string(name) == "gone.txt" ? Other / name : Dir / "link" / name;
        EXPECT_EQ(Run(FO_DELETE, {item}, {}, FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT), 0);
        EXPECT_FALSE(fs::exists(Other / name));
        EXPECT_TRUE(Restore(trash, Other / name));
        EXPECT_EQ(Read(Other / name), std::string(1, name[0] & ~0x20));
    }
    // No trash inside the linked folder, where no desktop would look.
    EXPECT_EQ(Names(Other), (std::vector<std::string>{"gone.txt", "linked.txt"}));
}

} // namespace
