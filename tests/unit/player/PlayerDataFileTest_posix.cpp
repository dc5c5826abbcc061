// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "PlayerFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace fs = std::filesystem;

namespace {

class PlayerDataFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        FRoot = fs::temp_directory_path() /
                ("quadv-files-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(FRoot);
        fs::create_directories(FRoot / "app");
        FConfig = FRoot / "config";
        const char* old = std::getenv("XDG_CONFIG_HOME");
        FOldConfig = old ? std::optional<std::string>(old) : std::nullopt;
        setenv("XDG_CONFIG_HOME", FConfig.c_str(), 1);
    }
    void TearDown() override {
        if (FOldConfig)
            setenv("XDG_CONFIG_HOME", FOldConfig->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(FRoot);
    }
    static void Touch(const fs::path& p) {
        fs::create_directories(p.parent_path());
        std::ofstream(p) << "x";
    }
    fs::path FRoot, FConfig;
    std::optional<std::string> FOldConfig;
};

TEST_F(PlayerDataFileTest, WritableFolderKeepsTheFileNextToTheExecutable) {
    const fs::path exe = FRoot / "app" / "quadrelle";
    EXPECT_EQ(PlayerDataFile(exe, "MovieSize.ini", false), FRoot / "app" / "MovieSize.ini");
    EXPECT_EQ(PlayerDataFile(exe, "quadrelle_alice.ini", true), FRoot / "app" / "quadrelle_alice.ini");
    // The probe that answers "writable" leaves nothing behind.
    EXPECT_TRUE(fs::is_empty(FRoot / "app"));
}

TEST_F(PlayerDataFileTest, ReadOnlyFolderMovesTheFileToTheConfigFolder) {
    // Nobody, root included, can create a file in /proc.
    const fs::path exe = "/proc/quadrelle";
    EXPECT_EQ(PlayerDataFile(exe, "quadrelle_alice.ini", true),
              FConfig / "quadrelle" / "quadrelle_alice.ini");
    EXPECT_TRUE(fs::is_directory(FConfig / "quadrelle"));

    // Reading finds it there once it exists, and falls back to the
    // executable's folder (where its absence reads as empty) before that.
    EXPECT_EQ(PlayerDataFile(exe, "MovieSize.ini", false), fs::path("/proc/MovieSize.ini"));
    Touch(FConfig / "quadrelle" / "MovieSize.ini");
    EXPECT_EQ(PlayerDataFile(exe, "MovieSize.ini", false), FConfig / "quadrelle" / "MovieSize.ini");
}

TEST_F(PlayerDataFileTest, AFileNextToTheExecutableWinsOverTheConfigFolder) {
    const fs::path exe = FRoot / "app" / "quadrelle";
    Touch(FRoot / "app" / "MovieSize.ini");
    Touch(FConfig / "quadrelle" / "MovieSize.ini");
    EXPECT_EQ(PlayerDataFile(exe, "MovieSize.ini", false), FRoot / "app" / "MovieSize.ini");
    EXPECT_EQ(PlayerDataFile(exe, "MovieSize.ini", true), FRoot / "app" / "MovieSize.ini");
}

} // namespace
