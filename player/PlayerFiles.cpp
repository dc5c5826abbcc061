// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "PlayerFiles.h"

#include "IniStore.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

fs::path SettingsFileName(const fs::path& Executable, std::u16string_view UserSuffix) {
    auto name = Executable.filename().u16string();
    const auto dot = name.rfind(u'.');
    if (dot != std::u16string::npos)
        name.erase(dot);
    name += UserSuffix;
    name += u".ini";
    return Executable.parent_path() / fs::path(name);
}

namespace {

// Whether a file can be created in Folder. Permission bits do not answer
// that (root, ACLs, read-only mounts), so a probe file is created and removed.
bool CanCreateIn(const fs::path& Folder) {
    std::error_code ec;
    if (!fs::is_directory(Folder, ec))
        return false;
    std::random_device random;
    const fs::path probe = Folder / (".quadrelle-probe-" + std::to_string(random()));
    {
        std::ofstream out(probe, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
    }
    fs::remove(probe, ec);
    return true;
}

fs::path ConfigFolder() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME");
        config && *config && fs::path(config).is_absolute())
        return fs::path(config) / "quadrelle";
    if (const char* home = std::getenv("HOME"); home && *home)
        return fs::path(home) / ".config" / "quadrelle";
    return {};
}

} // namespace

fs::path PlayerDataFile(const fs::path& Executable, const fs::path& Name, bool ForWriting) {
    const fs::path folder = Executable.parent_path();
    const fs::path beside = folder / Name;
    std::error_code ec;
    if (fs::exists(beside, ec))
        return beside;
    const fs::path config = ConfigFolder();
    if (config.empty())
        return beside;
    if (!ForWriting)
        return fs::exists(config / Name, ec) ? config / Name : beside;
    if (CanCreateIn(folder))
        return beside;
    fs::create_directories(config, ec);
    return config / Name;
}

std::u16string NormalizeDialogFolder(std::u16string_view Folder) {
    std::u16string folder(Folder);
    if (folder.size() > 1 && (folder.back() == u'/' || folder.back() == u'\\') &&
        folder[folder.size() - 2] != u':')
        folder.pop_back();
    return folder;
}

TMovieSizes ReadMovieSizes(const TIniStore* Store) {
    TMovieSizes sizes;
    const auto clamp = [](int32_t v) { return std::clamp(v, kMinMovieSize, kMaxMovieSize); };
    if (Store) {
        for (int d = 1; d <= kMaxMovieSizes; ++d) {
            const std::string n = std::to_string(d);
            const std::u16string slot(n.begin(), n.end());
            std::u16string caption = Store->ReadString(u"MovieSize", u"Text" + slot, u"");
            if (caption.empty())
                continue;
            sizes.SizeX[sizes.Count] = clamp(Store->ReadInteger(u"MovieSize", u"SizeX" + slot, 320));
            sizes.SizeY[sizes.Count] = clamp(Store->ReadInteger(u"MovieSize", u"SizeY" + slot, 240));
            sizes.Text[sizes.Count] = std::move(caption);
            ++sizes.Count;
        }
    }
    if (sizes.Count == 0) {
        static constexpr struct {
            const char16_t* Text;
            int32_t X, Y;
        } kBuiltIn[] = {{u"320x240[4:3]", 320, 240},
                        {u"640x480[4:3]", 640, 480},
                        {u"320x180[16:9]", 320, 180},
                        {u"640x360[16:9]", 640, 360}};
        for (const auto& preset : kBuiltIn) {
            sizes.Text[sizes.Count] = preset.Text;
            sizes.SizeX[sizes.Count] = preset.X;
            sizes.SizeY[sizes.Count] = preset.Y;
            ++sizes.Count;
        }
    }
    return sizes;
}

namespace {

size_t Utf8Length(std::u16string_view Text) {
    size_t bytes = 0;
    for (char16_t unit : Text)
        bytes += unit < 0x80 ? 1 : unit < 0x800 ? 2 : (unit >= 0xD800 && unit < 0xE000) ? 2 : 3;
    return bytes; // a surrogate pair counts 2 + 2, as its four bytes
}

std::u16string Ascii(std::string_view Text) {
    return std::u16string(Text.begin(), Text.end());
}

} // namespace

std::u16string SnapshotFileName(std::u16string_view MovieFile, int Pane, double Seconds, int Copy) {
    std::u16string_view movie = MovieFile;
    if (const size_t dot = movie.rfind(u'.'); dot != std::u16string_view::npos && dot > 0)
        movie = movie.substr(0, dot);
    const long long ms = std::isfinite(Seconds) && Seconds > 0 ? std::llround(Seconds * 1000.0) : 0;
    auto digits = [](long long Value, size_t Width) {
        std::string text = std::to_string(Value);
        return std::string(text.size() < Width ? Width - text.size() : 0, '0') + text;
    };
    std::string text = "-pane" + std::to_string(Pane + 1) + "-";
    if (const long long hours = ms / 3600000; hours > 0)
        text += std::to_string(hours) + ".";
    text += digits(ms / 60000 % 60, 2) + "." + digits(ms / 1000 % 60, 2) + "." + digits(ms % 1000, 3);
    std::u16string tail = Ascii(text);
    if (Copy > 1)
        tail += u'-' + Ascii(std::to_string(Copy));
    tail += u".png";
    constexpr size_t kMaxNameBytes = 255;
    while (!movie.empty() && Utf8Length(movie) + Utf8Length(tail) > kMaxNameBytes) {
        const bool pair = movie.size() >= 2 && movie.back() >= 0xDC00 && movie.back() < 0xE000;
        movie.remove_suffix(pair ? 2 : 1);
    }
    return std::u16string(movie) + tail;
}
