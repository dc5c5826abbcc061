// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "IniStore.h"
#include "PlayerFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// A presets file with the given lines, read back through the store.
TMovieSizes FromLines(std::u16string_view Lines) {
    const fs::path file =
        fs::temp_directory_path() /
        ("quadv-sizes-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
         ".ini");
    std::string bytes("\xFF\xFE", 2);
    for (char16_t c : Lines) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    std::ofstream(file, std::ios::binary) << bytes;
    const TIniStore store(file);
    fs::remove(file);
    return ReadMovieSizes(&store);
}

void ExpectBuiltIns(const TMovieSizes& s) {
    ASSERT_EQ(s.Count, 4);
    EXPECT_EQ(s.Text[0], u"320x240[4:3]");
    EXPECT_EQ(s.Text[3], u"640x360[16:9]");
    EXPECT_EQ(s.SizeX[1], 640);
    EXPECT_EQ(s.SizeY[1], 480);
    EXPECT_EQ(s.SizeX[2], 320);
    EXPECT_EQ(s.SizeY[2], 180);
}

TEST(MovieSizes, NoFileOrNoCaptionGivesTheBuiltIns) {
    ExpectBuiltIns(ReadMovieSizes(nullptr));
    ExpectBuiltIns(FromLines(u"[MovieSize]\r\nSizeX1=100\r\nText1=   \r\n[Other]\r\nText1=x\r\n"));
}

TEST(MovieSizes, UsedSlotsArePackedAndBuiltInsNeverMixedIn) {
    const TMovieSizes s = FromLines(u"[MovieSize]\r\nText3=Three\r\nSizeX3=400\r\nSizeY3=300\r\n");
    ASSERT_EQ(s.Count, 1);
    EXPECT_EQ(s.Text[0], u"Three");
    EXPECT_EQ(s.SizeX[0], 400);
    EXPECT_EQ(s.SizeY[0], 300);
}

TEST(MovieSizes, MissingOrBadSizesTakeTheirDefaultsAlone) {
    const TMovieSizes s = FromLines(u"[MovieSize]\r\nText1=A\r\nText2=B\r\nSizeX2=abc\r\nSizeY2=500\r\n");
    ASSERT_EQ(s.Count, 2);
    EXPECT_EQ(s.SizeX[0], 320);
    EXPECT_EQ(s.SizeY[0], 240);
    EXPECT_EQ(s.SizeX[1], 320);
    EXPECT_EQ(s.SizeY[1], 500);
}

TEST(MovieSizes, OnlySlotsOneToTwentyAreRead) {
    std::u16string lines = u"[MovieSize]\r\nText0=zero\r\n";
    for (int d = 1; d <= 21; ++d) {
        const std::string n = std::to_string(d);
        lines += u"Text" + std::u16string(n.begin(), n.end()) + u"=S" + std::u16string(n.begin(), n.end()) +
                 u"\r\n";
    }
    const TMovieSizes s = FromLines(lines);
    ASSERT_EQ(s.Count, 20);
    EXPECT_EQ(s.Text[0], u"S1");
    EXPECT_EQ(s.Text[19], u"S20");
}

TEST(MovieSizes, LowerCaseKeysAreFound) {
    const TMovieSizes s = FromLines(u"[moviesize]\r\ntext5=Five\r\nsizex5=720\r\nsizey5=576\r\n");
    ASSERT_EQ(s.Count, 1);
    EXPECT_EQ(s.SizeX[0], 720);
    EXPECT_EQ(s.SizeY[0], 576);
}

TEST(MovieSizes, SizesAreHeldInsideAUsableRange) {
    const TMovieSizes s = FromLines(u"[MovieSize]\r\nText1=Zero\r\nSizeX1=0\r\nSizeY1=-5\r\nText2="
                                    u"Huge\r\nSizeX2=100000\r\nSizeY2=$7FFFFFFF\r\n");
    ASSERT_EQ(s.Count, 2);
    EXPECT_EQ(s.SizeX[0], kMinMovieSize);
    EXPECT_EQ(s.SizeY[0], kMinMovieSize);
    EXPECT_EQ(s.SizeX[1], kMaxMovieSize);
    EXPECT_EQ(s.SizeY[1], kMaxMovieSize);
}

} // namespace
