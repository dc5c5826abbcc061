// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "IniStore.h"
#include "PlayerFiles.h"
#include "Utf.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

const fs::path kProgramDir = QUADV_PROGRAM_DIR;

std::string ReadBytes(const fs::path& File) {
    std::ifstream in(File, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::u16string Decimal(int Value) {
    const std::string text = std::to_string(Value);
    return {text.begin(), text.end()};
}

TEST(PlayerResources, TheHelpTextsAreUtf8TextBesideTheProgram) {
    for (const char* name : {"README.TXT", "HISTORY.TXT"}) {
        SCOPED_TRACE(name);
        const std::string bytes = ReadBytes(kProgramDir / name);
        ASSERT_FALSE(bytes.empty());
        // Plain UTF-8 as Linux viewers expect it: no mark, no CR, nothing malformed.
        EXPECT_NE(bytes.substr(0, 3), "\xEF\xBB\xBF");
        EXPECT_EQ(bytes.find('\r'), std::string::npos);
        const std::u16string text = Utf8ToUtf16(bytes);
        EXPECT_EQ(text.find(u'\uFFFD'), std::u16string::npos);
        EXPECT_NE(text.find(u"Quadrelle 150727"), std::u16string::npos);
    }
}

TEST(PlayerResources, TheSamplePresetsHoldTheBuiltInOnesInThePresetsFormat) {
    const fs::path sample = kProgramDir / "MovieSize.ini.sample";
    const std::string bytes = ReadBytes(sample);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    ASSERT_EQ(bytes.size() % 2, 0u);
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             static_cast<unsigned char>(bytes[i + 1]) << 8));
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), u"\r\n");
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n') {
            EXPECT_TRUE(i > 0 && text[i - 1] == u'\r') << "LF without CR at " << i;
        } else if (text[i] == u'\r') {
            EXPECT_TRUE(i + 1 < text.size() && text[i + 1] == u'\n') << "CR without LF at " << i;
        }
    }

    // Slot by slot, as the presets file is read: the built-ins in their
    // order, and no further slot.
    const TIniStore store(sample);
    const TMovieSizes builtIn = ReadMovieSizes(nullptr);
    for (int slot = 1; slot <= kMaxMovieSizes; ++slot) {
        SCOPED_TRACE(slot);
        const std::u16string n = Decimal(slot);
        const std::u16string caption = store.ReadString(u"MovieSize", u"Text" + n, u"");
        if (slot > builtIn.Count) {
            EXPECT_EQ(caption, u"");
            continue;
        }
        EXPECT_EQ(caption, builtIn.Text[slot - 1]);
        EXPECT_EQ(store.ReadInteger(u"MovieSize", u"SizeX" + n, -1), builtIn.SizeX[slot - 1]);
        EXPECT_EQ(store.ReadInteger(u"MovieSize", u"SizeY" + n, -1), builtIn.SizeY[slot - 1]);
    }
    // Under its own name it is not the presets file, so the build leaves the
    // built-ins in force.
    EXPECT_FALSE(fs::exists(kProgramDir / "MovieSize.ini"));
}

} // namespace
