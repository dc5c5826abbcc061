// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// An INI document held in memory and bound to one file: UTF-16 little-endian
// text with the FF FE mark, CR LF line ends. The whole file is read when the
// store is made, reads are answered from memory, and the document is written
// back only by UpdateFile. Section names and keys are compared without
// regard to letter case; where one occurs twice, the first is found and
// replaced, and later ones are kept but never read. One thread at a time.
class TIniStore {
public:
    // Reads FileName at once. A missing file (or an empty name) gives an
    // empty document. Throws EQuadvError when the file exists but cannot be
    // read (another process is writing it) or decoded (one byte after the mark).
    explicit TIniStore(std::filesystem::path FileName);
    // An empty document bound to FileName, which is not read: for writing
    // afresh a file whose old content cannot be read.
    static TIniStore Empty(std::filesystem::path FileName);

    std::u16string ReadString(std::u16string_view Section, std::u16string_view Ident,
                              std::u16string_view Default) const;
    // Decimal, or hexadecimal after "$", "x" or "0x" (the 32-bit pattern, so
    // $FFFFFFFF is -1), with an optional sign; anything else gives Default.
    int32_t ReadInteger(std::u16string_view Section, std::u16string_view Ident, int32_t Default) const;
    bool ReadBool(std::u16string_view Section, std::u16string_view Ident, bool Default) const;

    // Replaces the key's line in place, or appends it to its section, or
    // appends a new section. The key keeps the letter case given here.
    // Throws EQuadvError for a value holding a line break or NUL, which the
    // file could not hold without turning it into other lines.
    void WriteString(std::u16string_view Section, std::u16string_view Ident, std::u16string_view Value);
    void WriteInteger(std::u16string_view Section, std::u16string_view Ident, int32_t Value);
    void WriteBool(std::u16string_view Section, std::u16string_view Ident, bool Value);

    // Writes the whole document to the file. Throws EQuadvError on failure,
    // leaving the file as it was.
    void UpdateFile();

    const std::filesystem::path& FileName() const { return FFileName; }

private:
    struct TUnread {};
    TIniStore(std::filesystem::path FileName, TUnread);

    struct TSection {
        std::u16string Name;
        std::vector<std::u16string> Lines; // "key=value" (trimmed around '=') or a line without '='
    };

    const TSection* FindSection(std::u16string_view Name) const;
    TSection* FindSection(std::u16string_view Name);
    void Parse(std::u16string_view Text);

    std::filesystem::path FFileName;
    std::vector<TSection> FSections;
};

// The number rules of ReadInteger, on a value's text. Exposed for tests.
bool ParseIniInteger(std::u16string_view Text, int32_t& Value);
