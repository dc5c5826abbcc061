#include "Utf.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

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

} // namespace

std::u16string Utf8ToUtf16(std::string_view Text) {
    std::u16string Out;
    Out.reserve(Text.size());
    const size_t N = Text.size();
    size_t I = 0;
    while (I < N) {
        const unsigned char B = static_cast<unsigned char>(Text[I]);
        if (B < 0x80) {
            Out.push_back(B);
            ++I;
            continue;
        }
        // Length and the allowed range of the second byte, which rules out
        // overlong forms, surrogates and values past U+10FFFF in one check.
        int Length = 0;
        unsigned char Low = 0x80, High = 0xBF;
        char32_t C = 0;
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
            Out.push_back(kReplacement);
            ++I;
            continue;
        }
        // A malformed sequence is replaced by one U+FFFD for its longest
        // valid prefix, and decoding resumes at the offending byte.
        size_t J = I + 1;
        bool Valid = true;
        for (int K = 1; K < Length; ++K, ++J) {
            if (J >= N) {
                Valid = false;
                break;
            }
            const unsigned char T = static_cast<unsigned char>(Text[J]);
            const unsigned char Lo = K == 1 ? Low : 0x80;
            const unsigned char Hi = K == 1 ? High : 0xBF;
            if (T < Lo || T > Hi) {
                Valid = false;
                break;
            }
            C = (C << 6) | (T & 0x3F);
        }
        if (Valid)
            AppendCodePoint(Out, C);
        else
            Out.push_back(kReplacement);
        I = J;
    }
    return Out;
}

std::string Utf16ToUtf8(std::u16string_view Text) {
    std::string Out;
    Out.reserve(Text.size());
    const size_t N = Text.size();
    for (size_t I = 0; I < N; ++I) {
        const char16_t U = Text[I];
        if (U >= 0xD800 && U <= 0xDBFF && I + 1 < N && Text[I + 1] >= 0xDC00 && Text[I + 1] <= 0xDFFF) {
            AppendUtf8(Out, 0x10000 + ((char32_t(U) - 0xD800) << 10) + (char32_t(Text[I + 1]) - 0xDC00));
            ++I;
        } else if (U >= 0xD800 && U <= 0xDFFF) {
            AppendUtf8(Out, kReplacement);
        } else {
            AppendUtf8(Out, U);
        }
    }
    return Out;
}
