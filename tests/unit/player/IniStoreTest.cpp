// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "IniStore.h"
#include "QuadvError.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string Utf16Le(std::u16string_view Text, bool Mark = true) {
    std::string bytes = Mark ? std::string("\xFF\xFE", 2) : std::string();
    for (char16_t c : Text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

class IniStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        FDir = fs::temp_directory_path() /
               ("quadv-ini-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(FDir);
        fs::create_directories(FDir);
        FFile = FDir / "settings.ini";
    }
    void TearDown() override { fs::remove_all(FDir); }

    void Put(const std::string& Bytes) const { std::ofstream(FFile, std::ios::binary) << Bytes; }
    std::string Get() const {
        std::ifstream in(FFile, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path FDir, FFile;
};

TEST(ParseIniInteger, AcceptsTheDecimalAndHexadecimalForms) {
    struct Row {
        const char16_t* Text;
        bool Ok;
        int32_t Value;
    } rows[] = {
        {u"100", true, 100},
        {u"0x64", true, 100},
        {u"0X64", true, 100},
        {u"$64", true, 100},
        {u"x64", true, 100},
        {u"-1920", true, -1920},
        {u"+7", true, 7},
        {u"  42", true, 42},
        {u"-0x10", true, -16},
        {u"$FFFFFFFF", true, -1},
        {u"$0000000001", true, 1}, // leading zeros are not significant
        {u"$80000000", true, INT32_MIN},
        {u"-$1", true, -1},
        {u"2147483647", true, INT32_MAX},
        {u"-2147483648", true, INT32_MIN},
        {u"2147483648", false, 0},
        {u"-2147483649", false, 0},
        {u"$100000000", false, 0}, // nine significant digits
        {u"100px", false, 0},
        {u"42 ", false, 0},
        {u"", false, 0},
        {u"0x", false, 0},
        {u"$", false, 0},
        {u"-", false, 0},
        {u"1e3", false, 0},
        {u"$G1", false, 0},
    };
    for (const Row& row : rows) {
        int32_t value = 12345;
        const bool ok = ParseIniInteger(row.Text, value);
        const std::u16string text(row.Text);
        EXPECT_EQ(ok, row.Ok) << std::string(text.begin(), text.end());
        if (row.Ok) {
            EXPECT_EQ(value, row.Value) << std::string(text.begin(), text.end());
        }
    }
}

TEST_F(IniStoreTest, ReadsValuesAndFallsBackToDefaults) {
    Put(Utf16Le(u"[Main]\r\nX = 0x64 \r\nY=100px\r\nLink=2\r\nAutoRepeat=0\r\nDir=D:\\Movies\r\n"));
    const TIniStore store(FFile);
    EXPECT_EQ(store.ReadInteger(u"Main", u"X", 7), 100);
    EXPECT_EQ(store.ReadInteger(u"Main", u"Y", 100), 100);
    EXPECT_EQ(store.ReadInteger(u"Main", u"Y", 5), 5);
    EXPECT_TRUE(store.ReadBool(u"Main", u"Link", false));
    EXPECT_FALSE(store.ReadBool(u"Main", u"AutoRepeat", true));
    EXPECT_TRUE(store.ReadBool(u"Main", u"Missing", true));
    EXPECT_EQ(store.ReadString(u"Main", u"Dir", u""), u"D:\\Movies");
    EXPECT_EQ(store.ReadString(u"Other", u"Dir", u"def"), u"def");
}

TEST_F(IniStoreTest, LooksUpSectionsAndKeysWithoutLetterCase) {
    Put(Utf16Le(u"[main]\r\nx=5\r\ntext5=Wide\r\n"));
    const TIniStore store(FFile);
    EXPECT_EQ(store.ReadInteger(u"Main", u"X", 0), 5);
    EXPECT_EQ(store.ReadString(u"MAIN", u"Text5", u""), u"Wide");
}

TEST_F(IniStoreTest, FirstDuplicateIsReadAndReplacedAndLaterOnesSurvive) {
    Put(Utf16Le(u"[Main]\r\nX=1\r\nX=2\r\n[main]\r\nY=9\r\n"));
    TIniStore store(FFile);
    EXPECT_EQ(store.ReadInteger(u"Main", u"X", 0), 1);
    EXPECT_EQ(store.ReadInteger(u"Main", u"Y", 0), 0); // only the first section is looked in
    store.WriteInteger(u"Main", u"x", 3);
    store.UpdateFile();
    EXPECT_EQ(Get(), Utf16Le(u"[Main]\r\nx=3\r\nX=2\r\n\r\n[main]\r\nY=9\r\n\r\n"));
}

TEST_F(IniStoreTest, RoundTripDropsCommentsAndKeepsWhatItDoesNotKnow) {
    Put(Utf16Le(
        u"stray line\r\n; a comment\r\n[Main]\r\nFoo = bar\r\nX=5\r\n\r\n[Other]\r\nK=V\r\nbare line\r\n"));
    TIniStore store(FFile);
    store.WriteInteger(u"Main", u"X", 100);
    store.WriteInteger(u"Main", u"Y", -1920);
    store.UpdateFile();
    EXPECT_EQ(Get(),
              Utf16Le(u"[Main]\r\nFoo=bar\r\nX=100\r\nY=-1920\r\n\r\n[Other]\r\nK=V\r\nbare line\r\n\r\n"));
}

TEST_F(IniStoreTest, SettingsWrittenFromScratchHaveTheExactLayout) {
    TIniStore store(FFile); // no file yet
    store.WriteInteger(u"Main", u"X", 100);
    store.WriteInteger(u"Main", u"Y", 100);
    store.WriteString(u"Main", u"Dir", u"");
    store.WriteBool(u"Main", u"AutoRepeat", false);
    store.WriteBool(u"Main", u"Link", true);
    store.UpdateFile();
    EXPECT_EQ(Get(), Utf16Le(u"[Main]\r\nX=100\r\nY=100\r\nDir=\r\nAutoRepeat=0\r\nLink=1\r\n\r\n"));
}

TEST_F(IniStoreTest, LineEndsOfEveryKindAndANulEndTheText) {
    static constexpr char16_t kText[] = u"[S]\rA=1\nB=2\r\nC=3\0D=4\r\n";
    Put(Utf16Le(std::u16string(kText, std::size(kText) - 1)));
    const TIniStore store(FFile);
    EXPECT_EQ(store.ReadInteger(u"S", u"A", 0), 1);
    EXPECT_EQ(store.ReadInteger(u"S", u"B", 0), 2);
    EXPECT_EQ(store.ReadInteger(u"S", u"C", 0), 3);
    EXPECT_EQ(store.ReadInteger(u"S", u"D", 0), 0);
}

TEST_F(IniStoreTest, ControlCharactersAreTrimmedLikeSpaces) {
    Put(Utf16Le(u"\t[ Main ]\x01\r\n\x1F X \t=\t 7 \x1E\r\n"));
    const TIniStore store(FFile);
    EXPECT_EQ(store.ReadInteger(u"Main", u"X", 0), 7);
}

TEST_F(IniStoreTest, AFileWithoutTheMarkIsReadAndGetsItOnWrite) {
    Put(Utf16Le(u"[Main]\r\nX=5\r\n", false));
    TIniStore store(FFile);
    EXPECT_EQ(store.ReadInteger(u"Main", u"X", 0), 5);
    store.UpdateFile();
    EXPECT_EQ(Get(), Utf16Le(u"[Main]\r\nX=5\r\n\r\n"));
}

TEST_F(IniStoreTest, AnsiAndUtf8FilesGiveDefaultsAndAreRewrittenAsUtf16) {
    for (const std::string& content : {std::string("[Main]\r\nX=5\r\nLink=1\r\n"),
                                       std::string("\xEF\xBB\xBF[Main]\r\nX=5\r\nDir=\xC3\xA9\r\n")}) {
        Put(content);
        TIniStore store(FFile);
        EXPECT_EQ(store.ReadInteger(u"Main", u"X", 100), 100);
        EXPECT_FALSE(store.ReadBool(u"Main", u"Link", false));
        store.WriteInteger(u"Main", u"X", 1);
        store.UpdateFile();
        EXPECT_EQ(Get(), Utf16Le(u"[Main]\r\nX=1\r\n\r\n"));
    }
}

TEST_F(IniStoreTest, ATrailingOddByteIsIgnored) {
    Put(Utf16Le(u"[Main]\r\nX=5\r\n") + "Z");
    const TIniStore store(FFile);
    EXPECT_EQ(store.ReadInteger(u"Main", u"X", 0), 5);
}

TEST_F(IniStoreTest, ASingleByteCannotBeDecoded) {
    for (const std::string& content : {std::string("A"), std::string("\xFF\xFE", 2) + "A"}) {
        Put(content);
        try {
            TIniStore store(FFile);
            ADD_FAILURE() << "a single byte was decoded";
        } catch (const EQuadvError& e) {
            EXPECT_NE(std::string(e.what()).find("settings.ini"), std::string::npos) << e.what();
        }
    }
    Put(std::string("\xFF\xFE", 2)); // the mark alone is an empty document
    EXPECT_EQ(TIniStore(FFile).ReadInteger(u"Main", u"X", 3), 3);
}

TEST_F(IniStoreTest, AMissingFileIsAnEmptyDocumentAndIsNotCreatedByReading) {
    const TIniStore store(FFile);
    EXPECT_EQ(store.ReadString(u"Main", u"Dir", u"none"), u"none");
    EXPECT_FALSE(fs::exists(FFile));
    EXPECT_EQ(TIniStore(fs::path()).ReadInteger(u"A", u"B", 9), 9);
}

TEST_F(IniStoreTest, ValuesThatWouldBreakTheLineAreRefused) {
    TIniStore store(FFile);
    EXPECT_THROW(store.WriteString(u"Main", u"Dir", u"/a\nX=1"), EQuadvError);
    EXPECT_THROW(store.WriteString(u"Main", u"Dir", std::u16string(u"a\0b", 3)), EQuadvError);
    EXPECT_EQ(store.ReadString(u"Main", u"Dir", u"unset"), u"unset");
}

TEST_F(IniStoreTest, AFailedWriteRaisesAndLeavesNothingBehind) {
    TIniStore store(FDir / "missing-folder" / "x.ini");
    store.WriteInteger(u"Main", u"X", 1);
    try {
        store.UpdateFile();
        ADD_FAILURE() << "writing into a missing folder succeeded";
    } catch (const EQuadvError& e) {
        EXPECT_NE(std::string(e.what()).find("x.ini"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(FDir / "missing-folder"));
}

} // namespace
