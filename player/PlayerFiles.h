// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

class TIniStore;

// Where the player's files live and what the presets file holds. Pure C++;
// any thread.

// The executable's path with its extension replaced by UserSuffix + ".ini".
// The extension is the text from the last '.' of the file name; a name
// without one gets the text appended (quadrelle -> quadrelle_alice.ini).
std::filesystem::path SettingsFileName(const std::filesystem::path& Executable,
                                       std::u16string_view UserSuffix);

// The place of a file that belongs next to the executable. It stays there
// when it exists there, or, for writing, when that folder can be written.
// Otherwise (an installed copy in a read-only folder) it lives in
// $XDG_CONFIG_HOME/quadrelle/ (default ~/.config/quadrelle/); for writing
// that folder is created. For reading, a file found in neither place is
// looked for next to the executable, where its absence reads as empty.
std::filesystem::path PlayerDataFile(const std::filesystem::path& Executable,
                                     const std::filesystem::path& Name, bool ForWriting);

// The "Dir" value as the file dialog keeps it: a trailing separator is
// dropped unless it ends a root ("/", "D:\").
std::u16string NormalizeDialogFolder(std::u16string_view Folder);

// The name of a snapshot of pane Pane (0..3) of the movie file MovieFile
// (a file name, no folder) at Seconds: the movie's name without its
// extension, "-pane" and the pane's number counted from 1, then the position
// as minutes, seconds and milliseconds, led by the hours when there are any:
// "clip1_640x480-pane1-00.05.200.png", "talk-pane4-1.02.03.004.png". Copy 2
// and up stands before the extension ("...-00.05.200-2.png"). The movie's
// part is shortened so that the name fits in 255 bytes of UTF-8.
std::u16string SnapshotFileName(std::u16string_view MovieFile, int Pane, double Seconds, int Copy);

inline constexpr int kMaxMovieSizes = 20;
// Pane movie sizes outside this range would give an unusable or enormous
// window, so values from the presets file are held inside it.
inline constexpr int32_t kMinMovieSize = 16;
inline constexpr int32_t kMaxMovieSize = 4096;

struct TMovieSizes {
    int Count = 0; // 1..20 after ReadMovieSizes
    int32_t SizeX[kMaxMovieSizes]{};
    int32_t SizeY[kMaxMovieSizes]{};
    std::u16string Text[kMaxMovieSizes];
};

// Reads the presets of section "MovieSize" (slots 1 to 20, packed in slot
// order, a slot without caption skipped), or gives the four built-in presets
// when the store yields none. Store nullptr stands for a file that could not
// be read. The result always holds at least one preset.
TMovieSizes ReadMovieSizes(const TIniStore* Store);
