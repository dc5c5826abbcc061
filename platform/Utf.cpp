// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "Utf.h"

#include <utility>

namespace {

constexpr char16_t kReplacement = 0xFFFD;
// A file name's byte B that is not part of valid UTF-8 travels as this + B.
constexpr char16_t kEscapedByte = 0xDC00;

void AppendCodePoint(std::u16string& Out, char32_t C) {
    if (C < 0x10000) {
        Out.push_back(static_cast<char16_t>(C));
    } else {
        C -= 0x10000;
        Out.push_back(static_cast<char16_t>(0xD800 + (C >> 10)));
        Out.push_back(static_cast<char16_t>(0xDC00 + (C & 0x3FF)));
    }
}

void AppendUtf8(std::string& Out, char32_t C) {
    if (C < 0x80) {
        Out.push_back(static_cast<char>(C));
    } else if (C < 0x800) {
        Out.push_back(static_cast<char>(0xC0 | (C >> 6)));
        Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
    } else if (C < 0x10000) {
        Out.push_back(static_cast<char>(0xE0 | (C >> 12)));
        Out.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
    } else {
        Out.push_back(static_cast<char>(0xF0 | (C >> 18)));
        Out.push_back(static_cast<char>(0x80 | ((C >> 12) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
    }
}

// The well-formed sequence at Text[I]: its length, with its code point in C.
// 0 when malformed, with Bad the length of its longest valid prefix (at least 1),
// so that decoding can resume at the offending byte.
size_t DecodeUtf8(std::string_view Text, size_t I, char32_t& C, size_t& Bad) {
    const size_t N = Text.size();
    const unsigned char B = static_cast<unsigned char>(Text[I]);
    Bad = 1;
    if (B < 0x80) {
        C = B;
        return 1;
    }
    // Length and the allowed range of the second byte, which rules out
    // overlong forms, surrogates and values past U+10FFFF in one check.
    int Length = 0;
    unsigned char Low = 0x80, High = 0xBF;
    if (B >= 0xC2 && B <= 0xDF) {
        Length = 2;
        C = B & 0x1F;
    } else if (B >= 0xE0 && B <= 0xEF) {
        Length = 3;
        C = B & 0x0F;
        if (B == 0xE0)
            Low = 0xA0;
        else if (B == 0xED)
            High = 0x9F;
    } else if (B >= 0xF0 && B <= 0xF4) {
        Length = 4;
        C = B & 0x07;
        if (B == 0xF0)
            Low = 0x90;
        else if (B == 0xF4)
            High = 0x8F;
    } else {
        return 0;
    }
    size_t J = I + 1;
    for (int K = 1; K < Length; ++K, ++J) {
        if (J >= N) {
            Bad = J - I;
            return 0;
        }
        const unsigned char T = static_cast<unsigned char>(Text[J]);
        const unsigned char Lo = K == 1 ? Low : 0x80;
        const unsigned char Hi = K == 1 ? High : 0xBF;
        if (T < Lo || T > Hi) {
            Bad = J - I;
            return 0;
        }
        C = (C << 6) | (T & 0x3F);
    }
    return size_t(Length);
}

// UTF-8 to UTF-16. Bad(Out, Byte, Length) takes each malformed sequence, whose
// first byte is Byte and whose longest valid prefix is Length bytes long, and
// returns how many bytes it consumed.
template <typename TBad> std::u16string DecodeText(std::string_view Text, TBad Bad) {
    std::u16string Out;
    Out.reserve(Text.size());
    for (size_t I = 0; I < Text.size();) {
        char32_t C = 0;
        size_t Prefix = 1;
        if (const size_t Length = DecodeUtf8(Text, I, C, Prefix)) {
            AppendCodePoint(Out, C);
            I += Length;
        } else {
            I += Bad(Out, static_cast<unsigned char>(Text[I]), Prefix);
        }
    }
    return Out;
}

// UTF-16 to UTF-8. Lone(U, Out) takes each unpaired surrogate U; when it
// returns false the conversion stops and the result is false.
template <typename TLone> bool EncodeUtf16(std::u16string_view Text, std::string& Out, TLone Lone) {
    Out.reserve(Out.size() + Text.size());
    const size_t N = Text.size();
    for (size_t I = 0; I < N; ++I) {
        const char16_t U = Text[I];
        if (U >= 0xD800 && U <= 0xDBFF && I + 1 < N && Text[I + 1] >= 0xDC00 && Text[I + 1] <= 0xDFFF) {
            AppendUtf8(Out, 0x10000 + ((char32_t(U) - 0xD800) << 10) + (char32_t(Text[I + 1]) - 0xDC00));
            ++I;
        } else if (U >= 0xD800 && U <= 0xDFFF) {
            if (!Lone(U, Out))
                return false;
        } else {
            AppendUtf8(Out, U);
        }
    }
    return true;
}

} // namespace

std::u16string Utf8ToUtf16(std::string_view Text) {
    // One U+FFFD for a malformed sequence's longest valid prefix.
    return DecodeText(Text, [](std::u16string& Out, unsigned char, size_t Bad) {
        Out.push_back(kReplacement);
        return Bad;
    });
}

std::string Utf16ToUtf8(std::u16string_view Text) {
    std::string Out;
    EncodeUtf16(Text, Out, [](char16_t, std::string& To) {
        AppendUtf8(To, kReplacement);
        return true;
    });
    return Out;
}

std::u16string FileNameToUtf16(std::string_view Name) {
    // Byte by byte, so that the name comes back exactly.
    return DecodeText(Name, [](std::u16string& Out, unsigned char Byte, size_t) {
        Out.push_back(static_cast<char16_t>(kEscapedByte + Byte));
        return size_t(1);
    });
}

bool FileNameFromUtf16(std::u16string_view Text, std::string& Name) {
    std::string Out;
    const bool Whole = EncodeUtf16(Text, Out, [](char16_t U, std::string& To) {
        if (U < kEscapedByte + 0x80 || U > kEscapedByte + 0xFF)
            return false;
        To.push_back(static_cast<char>(U - kEscapedByte));
        return true;
    });
    if (Whole)
        Name = std::move(Out);
    return Whole;
}
