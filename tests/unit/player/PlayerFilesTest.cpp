// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "PlayerFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

TEST(SettingsFileName, ReplacesTheExtensionOfTheFileName) {
    struct Row {
        const char* Executable;
        const char16_t* Suffix;
        const char* Expected;
    } rows[] = {
        {"/opt/q/player.exe", u"_alice", "/opt/q/player_alice.ini"},
        {"/opt/q/player.exe", u"", "/opt/q/player.ini"},
        {"/opt/q/quadrelle", u"_alice", "/opt/q/quadrelle_alice.ini"},
        {"/opt/q.d/quadrelle", u"_bob", "/opt/q.d/quadrelle_bob.ini"},
        {"/opt/q/a.b.exe", u"_bob", "/opt/q/a.b_bob.ini"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(SettingsFileName(row.Executable, row.Suffix), fs::path(row.Expected)) << row.Executable;
}

TEST(NormalizeDialogFolder, DropsATrailingSeparatorExceptAtARoot) {
    EXPECT_EQ(NormalizeDialogFolder(u"/home/alice/Movies/"), u"/home/alice/Movies");
    EXPECT_EQ(NormalizeDialogFolder(u"D:\\Movies\\"), u"D:\\Movies");
    EXPECT_EQ(NormalizeDialogFolder(u"D:\\"), u"D:\\");
    EXPECT_EQ(NormalizeDialogFolder(u"/"), u"/");
    EXPECT_EQ(NormalizeDialogFolder(u""), u"");
    EXPECT_EQ(NormalizeDialogFolder(u"/home/alice"), u"/home/alice");
}

TEST(SnapshotFileName, NamesTheMovieThePaneAndThePosition) {
    struct Row {
        const char16_t* Movie;
        int Pane;
        double Seconds;
        int Copy;
        const char16_t* Expected;
    } rows[] = {
        {u"clip1_640x480.mp4", 0, 5.2, 1, u"clip1_640x480-pane1-00.05.200.png"},
        {u"clip1_640x480.mp4", 0, 5.2, 2, u"clip1_640x480-pane1-00.05.200-2.png"},
        {u"talk.v2.mkv", 3, 3723.004, 1, u"talk.v2-pane4-1.02.03.004.png"},
        {u"movie", 1, 59.9996, 12, u"movie-pane2-01.00.000-12.png"}, // rounded to the millisecond
        {u".hidden", 2, 0.0, 1, u".hidden-pane3-00.00.000.png"},
        {u"a.mp4", 2, -3.0, 1, u"a-pane3-00.00.000.png"},
        {u"a.mp4", 2, std::nan(""), 1, u"a-pane3-00.00.000.png"},
        {u"映像.mp4", 1, 125.04, 1, u"映像-pane2-02.05.040.png"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(SnapshotFileName(row.Movie, row.Pane, row.Seconds, row.Copy), row.Expected)
            << "pane " << row.Pane << " at " << row.Seconds;
}

TEST(SnapshotFileName, ShortensALongMovieNameToFitAFileNameWholeCharactersAtATime) {
    const std::u16string tail = u"-pane1-00.05.200-2.png"; // 22 bytes
    auto utf8 = [](const std::u16string& Text) { return fs::path(Text).u8string().size(); };
    struct Row {
        std::u16string Movie;
        size_t Kept; // UTF-16 units of the movie kept
    } rows[] = {
        {std::u16string(300, u'a') + u".mp4", 255 - 22},
        {std::u16string(100, u'あ') + u".mp4", (255 - 22) / 3}, // three bytes each
        {[] {
             std::u16string Faces;
             for (int i = 0; i < 80; ++i)
                 Faces += u"\U0001F600"; // four bytes, two units each
             return Faces + u".mp4";
         }(),
         (255 - 22) / 4 * 2},
        {std::u16string(233, u'b') + u".mp4", 233}, // exactly fits
    };
    for (const Row& row : rows) {
        const std::u16string name = SnapshotFileName(row.Movie, 0, 5.2, 2);
        EXPECT_LE(utf8(name), 255u);
        ASSERT_EQ(name.size(), row.Kept + tail.size());
        EXPECT_EQ(name.substr(0, row.Kept), row.Movie.substr(0, row.Kept));
        EXPECT_EQ(name.substr(row.Kept), tail);
    }
}

} // namespace
