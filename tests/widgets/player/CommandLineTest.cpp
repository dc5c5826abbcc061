// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "CommandLine.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

namespace {

// Runs in a folder of its own, so that relative names have a known meaning.
class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FDir.isValid());
        FOld = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(FDir.path()));
        FHere = QDir::currentPath(); // the folder as the system names it
    }
    void TearDown() override { QDir::setCurrent(FOld); }

    QStringList Files(const QStringList& Arguments) {
        QTextStream errors(&FErrors);
        return CommandLineFiles(Arguments, errors);
    }

    QTemporaryDir FDir;
    QString FOld;
    QString FHere;
    QString FErrors;
};

TEST_F(CommandLineTest, FourFilesAreTakenInOrderAsAbsolutePaths) {
    const QStringList files =
        Files({QStringLiteral("a.mp4"), QStringLiteral("./sub/b.mkv"), QStringLiteral("/movies//c d.webm"),
               QStringLiteral("file:///movies/%E5%8B%95%E7%94%BB.mp4")});
    EXPECT_EQ(files, (QStringList{FHere + QStringLiteral("/a.mp4"), FHere + QStringLiteral("/sub/b.mkv"),
                                  QStringLiteral("/movies/c d.webm"), QStringLiteral("/movies/動画.mp4")}));
    EXPECT_TRUE(FErrors.isEmpty());
}

TEST_F(CommandLineTest, AFifthFileAndEmptyNamesAreIgnoredAndNamed) {
    const QStringList files =
        Files({QStringLiteral("1.mp4"), QString(), QStringLiteral("2.mp4"), QStringLiteral("3.mp4"),
               QStringLiteral("4.mp4"), QStringLiteral("5.mp4"), QStringLiteral("6.mp4")});
    ASSERT_EQ(files.size(), 4);
    EXPECT_EQ(files[3], FHere + QStringLiteral("/4.mp4"));
    const QStringList lines = FErrors.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << FErrors.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("quadrelle: ignoring an empty file name"));
    EXPECT_EQ(lines[1], QStringLiteral("quadrelle: only 4 files fit, one per pane; ignoring 5.mp4"));
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral("ignoring 6.mp4")));
}

TEST_F(CommandLineTest, DotDotIsLeftForTheSystemToResolve) {
    // Through a link, "link/.." is the link target's parent, not this folder.
    EXPECT_EQ(Files({QStringLiteral("link/../x.mp4")}),
              QStringList{FHere + QStringLiteral("/link/../x.mp4")});
}

} // namespace
