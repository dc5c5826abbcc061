// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "IniStore.h"

#include "FileIo.h"
#include "QuadvError.h"
#include "SystemError.h"
#include "Utf.h"

#include <optional>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string Describe(const fs::path& FileName) {
    return "\"" + Utf16ToUtf8(FileName.u16string()) + "\"";
}

// Every code unit of 32 or less counts as blank, control characters included.
std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && s.front() <= 32)
        s.remove_prefix(1);
    while (!s.empty() && s.back() <= 32)
        s.remove_suffix(1);
    return s;
}

char16_t Upper(char16_t c) {
    if (c >= u'a' && c <= u'z')
        return static_cast<char16_t>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) // Latin-1 letters
        return static_cast<char16_t>(c - 32);
    if (c >= 0xFF41 && c <= 0xFF5A) // full-width Latin letters
        return static_cast<char16_t>(c - 32);
    return c;
}

bool SameText(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i]))
            return false;
    return true;
}

// The value of Line when its key is Ident.
std::optional<std::u16string_view> KeyValue(std::u16string_view Line, std::u16string_view Ident) {
    const auto eq = Line.find(u'=');
    if (eq == std::u16string_view::npos || !SameText(Line.substr(0, eq), Ident))
        return std::nullopt;
    return Line.substr(eq + 1);
}

std::u16string Decimal(int32_t Value) {
    const std::string s = std::to_string(Value);
    return {s.begin(), s.end()};
}

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

} // namespace

bool ParseIniInteger(std::u16string_view Text, int32_t& Value) {
    std::u16string s(Text);
    if (s.size() > 2 && s[0] == u'0' && (s[1] == u'x' || s[1] == u'X'))
        s.replace(0, 2, u"$");
    std::u16string_view t = s;
    while (!t.empty() && t.front() == u' ')
        t.remove_prefix(1);
    bool negative = false;
    if (!t.empty() && (t.front() == u'+' || t.front() == u'-')) {
        negative = t.front() == u'-';
        t.remove_prefix(1);
    }
    bool hex = false;
    if (!t.empty() && (t.front() == u'$' || t.front() == u'x' || t.front() == u'X')) {
        hex = true;
        t.remove_prefix(1);
    } else if (t.size() > 1 && t[0] == u'0' && (t[1] == u'x' || t[1] == u'X')) {
        hex = true;
        t.remove_prefix(2);
    }
    if (t.empty())
        return false;
    if (hex) {
        uint32_t v = 0;
        int significant = 0;
        for (char16_t c : t) {
            const int d = HexDigit(c);
            if (d < 0)
                return false;
            if (significant > 0 || d != 0)
                ++significant;
            if (significant > 8)
                return false;
            v = (v << 4) | static_cast<uint32_t>(d);
        }
        if (negative)
            v = 0u - v;
        Value = static_cast<int32_t>(v);
        return true;
    }
    int64_t v = 0;
    for (char16_t c : t) {
        if (c < u'0' || c > u'9')
            return false;
        v = v * 10 + (c - u'0');
        if (v > 2147483648LL)
            return false;
    }
    if (negative)
        v = -v;
    if (v > 2147483647LL)
        return false;
    Value = static_cast<int32_t>(v);
    return true;
}

TIniStore::TIniStore(fs::path FileName) : FFileName(std::move(FileName)) {
    std::error_code ec;
    if (FFileName.empty() || !fs::exists(FFileName, ec))
        return;
    std::string bytes;
    if (const int e = ReadWholeFile(FFileName, bytes); e != 0)
        throw EQuadvError("Cannot read " + Describe(FFileName) + ": " + SystemErrorText(e));
    size_t start = 0;
    // Only the little-endian mark is known; other marks are read as text.
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE)
        start = 2;
    if (bytes.size() - start == 1)
        throw EQuadvError("Cannot decode " + Describe(FFileName) +
                          ": it holds a single byte, not UTF-16 text");
    std::u16string text;
    text.reserve((bytes.size() - start) / 2);
    for (size_t i = start; i + 1 < bytes.size(); i += 2) {
        const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                    (static_cast<unsigned char>(bytes[i + 1]) << 8));
        if (unit == 0)
            break; // a NUL ends the text
        text.push_back(unit);
    }
    Parse(text);
}

TIniStore::TIniStore(fs::path FileName, TUnread) : FFileName(std::move(FileName)) {}

TIniStore TIniStore::Empty(fs::path FileName) {
    return TIniStore(std::move(FileName), TUnread{});
}

void TIniStore::Parse(std::u16string_view Text) {
    TSection* current = nullptr;
    size_t pos = 0;
    while (pos <= Text.size()) {
        size_t end = Text.find_first_of(u"\r\n", pos);
        if (end == std::u16string_view::npos)
            end = Text.size();
        const std::u16string_view line = Trim(Text.substr(pos, end - pos));
        pos = end +
              ((end < Text.size() && Text[end] == u'\r' && end + 1 < Text.size() && Text[end + 1] == u'\n')
                   ? 2
                   : 1);
        if (line.empty() || line.front() == u';')
            continue;
        if (line.front() == u'[' && line.back() == u']' && line.size() >= 2) {
            FSections.push_back({std::u16string(Trim(line.substr(1, line.size() - 2))), {}});
            current = &FSections.back();
            continue;
        }
        if (!current)
            continue; // nothing before the first header belongs to a section
        const auto eq = line.find(u'=');
        if (eq == std::u16string_view::npos)
            current->Lines.emplace_back(line);
        else
            current->Lines.push_back(std::u16string(Trim(line.substr(0, eq))) + u"=" +
                                     std::u16string(Trim(line.substr(eq + 1))));
    }
}

const TIniStore::TSection* TIniStore::FindSection(std::u16string_view Name) const {
    for (const TSection& s : FSections)
        if (SameText(s.Name, Name))
            return &s;
    return nullptr;
}

TIniStore::TSection* TIniStore::FindSection(std::u16string_view Name) {
    return const_cast<TSection*>(static_cast<const TIniStore*>(this)->FindSection(Name));
}

std::u16string TIniStore::ReadString(std::u16string_view Section, std::u16string_view Ident,
                                     std::u16string_view Default) const {
    if (const TSection* s = FindSection(Section))
        for (const std::u16string& line : s->Lines)
            if (const auto value = KeyValue(line, Ident))
                return std::u16string(*value);
    return std::u16string(Default);
}

int32_t TIniStore::ReadInteger(std::u16string_view Section, std::u16string_view Ident,
                               int32_t Default) const {
    int32_t value = 0;
    return ParseIniInteger(ReadString(Section, Ident, u""), value) ? value : Default;
}

bool TIniStore::ReadBool(std::u16string_view Section, std::u16string_view Ident, bool Default) const {
    return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TIniStore::WriteString(std::u16string_view Section, std::u16string_view Ident,
                            std::u16string_view Value) {
    for (std::u16string_view part : {Section, Ident, Value})
        if (part.find_first_of(std::u16string_view(u"\r\n\0", 3)) != std::u16string_view::npos)
            throw EQuadvError("Cannot store a line break in " + Describe(FFileName));
    TSection* s = FindSection(Section);
    if (!s) {
        FSections.push_back({std::u16string(Section), {}});
        s = &FSections.back();
    }
    std::u16string line = std::u16string(Ident) + u"=" + std::u16string(Value);
    for (std::u16string& existing : s->Lines)
        if (KeyValue(existing, Ident)) {
            existing = std::move(line);
            return;
        }
    s->Lines.push_back(std::move(line));
}

void TIniStore::WriteInteger(std::u16string_view Section, std::u16string_view Ident, int32_t Value) {
    WriteString(Section, Ident, Decimal(Value));
}

void TIniStore::WriteBool(std::u16string_view Section, std::u16string_view Ident, bool Value) {
    WriteString(Section, Ident, Value ? u"1" : u"0");
}

void TIniStore::UpdateFile() {
    std::u16string text;
    for (const TSection& s : FSections) {
        text += u"[" + s.Name + u"]\r\n";
        for (const std::u16string& line : s.Lines)
            text += line + u"\r\n";
        text += u"\r\n";
    }
    std::string bytes("\xFF\xFE", 2);
    bytes.reserve(2 + text.size() * 2);
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    if (const int e = ReplaceWholeFile(FFileName, bytes); e != 0)
        throw EQuadvError("Cannot write " + Describe(FFileName) + ": " + SystemErrorText(e));
}
