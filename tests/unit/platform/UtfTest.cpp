// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "Utf.h"

#include <gtest/gtest.h>

namespace {

struct TUtf8Case {
    const char* Label;
    std::string Utf8;
    std::u16string Utf16;
};

// Well-formed text converts both ways unchanged.
TEST(UtfTest, WellFormedTextRoundTrips) {
    const TUtf8Case Cases[] = {
        {"empty", "", u""},
        {"ascii", "MovieSize.ini", u"MovieSize.ini"},
        {"two bytes", "\xC3\xA9", u"\u00E9"},
        {"japanese", "\xE5\xB7\xA6\xE4\xB8\x8A", u"\u5DE6\u4E0A"},
        {"supplementary", "\xF0\x9F\x8E\xAC", u"\U0001F3AC"},
        {"highest", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"nul inside", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Label);
        EXPECT_EQ(Utf8ToUtf16(C.Utf8), C.Utf16);
        EXPECT_EQ(Utf16ToUtf8(C.Utf16), C.Utf8);
    }
}

TEST(UtfTest, MalformedUtf8BecomesReplacementCharacters) {
    const TUtf8Case Cases[] = {
        {"stray continuation", "a\x80z", u"a\uFFFDz"},
        {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"overlong three bytes", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"past U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"truncated at end", "ab\xE5\xB7", u"ab\uFFFD"},
        {"truncated before ascii", "\xE5\xB7z", u"\uFFFDz"},
        {"invalid lead", "\xFF\xFE", u"\uFFFD\uFFFD"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Label);
        EXPECT_EQ(Utf8ToUtf16(C.Utf8), C.Utf16);
    }
}

TEST(UtfTest, UnpairedSurrogatesBecomeReplacementCharacters) {
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xDC00), u'a'}), "\xEF\xBF\xBD"
                                                                   "a");
    // A high surrogate followed by another high one: both unpaired.
    EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xD83C), char16_t(0xD83C), char16_t(0xDFAC)}),
              "\xEF\xBF\xBD\xF0\x9F\x8E\xAC");
}

// Any byte string but NUL is a possible POSIX name; each must come back exactly.
TEST(UtfTest, FileNamesRoundTripEveryByte) {
    const TUtf8Case Cases[] = {
        {"utf-8", "\xE5\xB7\xA6 a?b*[x]\n-", u"\u5DE6 a?b*[x]\n-"},
        {"latin-1", "caf\xE9", u"caf\xDCE9"},
        {"stray continuation", "a\x80z", u"a\xDC80z"},
        {"truncated", "\xE5\xB7z", u"\xDCE5\xDCB7z"},
        {"encoded surrogate", "\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},
        {"invalid lead", "\xFF\xFE", u"\xDCFF\xDCFE"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Label);
        EXPECT_EQ(FileNameToUtf16(C.Utf8), C.Utf16);
        std::string Back = "unchanged";
        EXPECT_TRUE(FileNameFromUtf16(C.Utf16, Back));
        EXPECT_EQ(Back, C.Utf8);
    }
    std::string All;
    for (int B = 1; B < 256; ++B)
        All.push_back(static_cast<char>(B));
    std::string Back;
    ASSERT_TRUE(FileNameFromUtf16(FileNameToUtf16(All), Back));
    EXPECT_EQ(Back, All);
}

TEST(UtfTest, FileNamesRefuseSurrogatesThatAreNoEscapedByte) {
    for (const std::u16string& Text : {std::u16string{u'a', char16_t(0xD800)},
                                       std::u16string{char16_t(0xDC7F)}, std::u16string{char16_t(0xDD00)}}) {
        std::string Name = "unchanged";
        EXPECT_FALSE(FileNameFromUtf16(Text, Name));
        EXPECT_EQ(Name, "unchanged");
    }
}

} // namespace
