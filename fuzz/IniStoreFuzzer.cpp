// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

// Feeds arbitrary bytes to the INI reader. Whatever it reads must survive a
// write and a second read unchanged: the keys it finds keep their values.
#include "IniStore.h"
#include "QuadvError.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const fs::path& Scratch() {
    static const fs::path dir = [] {
        // Memory-backed when there is one: every run writes and renames a file.
        const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        fs::path d = base / ("quadv-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

// Every section and key the reader could have found is probed by name.
const char16_t* const kSections[] = {u"Main", u"MovieSize", u"A", u"S", u""};
const char16_t* const kKeys[] = {u"X", u"Y", u"Dir", u"Link", u"AutoRepeat", u"Text1", u"SizeX1", u"K", u"", u"a"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const fs::path file = Scratch() / "in.ini";
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(Data),
                                                                   static_cast<std::streamsize>(Size));
    try {
        TIniStore first(file);
        first.UpdateFile();
        const TIniStore second(file);
        for (const char16_t* section : kSections)
            for (const char16_t* key : kKeys) {
                if (first.ReadString(section, key, u"\x1") != second.ReadString(section, key, u"\x1"))
                    std::abort();
                if (first.ReadInteger(section, key, -7) != second.ReadInteger(section, key, -7))
                    std::abort();
            }
    } catch (const EQuadvError&) {
        // An undecodable file is refused with the player's error; that is the contract.
    }
    return 0;
}
