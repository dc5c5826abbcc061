#include "PlayerFiles.h"

#include <gtest/gtest.h>

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

} // namespace
