#include "PlayerFiles.h"

#include "IniStore.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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
    size_t Bytes = 0;
    for (char16_t Unit : Text)
        Bytes += Unit < 0x80 ? 1 : Unit < 0x800 ? 2 : (Unit >= 0xD800 && Unit < 0xE000) ? 2 : 3;
    return Bytes; // a surrogate pair counts 2 + 2, as its four bytes
}

std::u16string Ascii(const char* Text) {
    return std::u16string(Text, Text + std::char_traits<char>::length(Text));
}

} // namespace

std::u16string SnapshotFileName(std::u16string_view MovieFile, int Pane, double Seconds, int Copy) {
    std::u16string_view Movie = MovieFile;
    if (const size_t Dot = Movie.rfind(u'.'); Dot != std::u16string_view::npos && Dot > 0)
        Movie = Movie.substr(0, Dot);
    const long long Ms = std::isfinite(Seconds) && Seconds > 0 ? std::llround(Seconds * 1000.0) : 0;
    char Text[64];
    const long long Hours = Ms / 3600000;
    if (Hours > 0)
        std::snprintf(Text, sizeof Text, "-pane%d-%lld.%02lld.%02lld.%03lld", Pane + 1, Hours,
                      Ms / 60000 % 60, Ms / 1000 % 60, Ms % 1000);
    else
        std::snprintf(Text, sizeof Text, "-pane%d-%02lld.%02lld.%03lld", Pane + 1, Ms / 60000 % 60,
                      Ms / 1000 % 60, Ms % 1000);
    std::u16string Tail = Ascii(Text);
    if (Copy > 1)
        Tail += u'-' + Ascii(std::to_string(Copy).c_str());
    Tail += u".png";
    constexpr size_t kMaxNameBytes = 255;
    while (!Movie.empty() && Utf8Length(Movie) + Utf8Length(Tail) > kMaxNameBytes) {
        const bool Pair = Movie.size() >= 2 && Movie.back() >= 0xDC00 && Movie.back() < 0xE000;
        Movie.remove_suffix(Pair ? 2 : 1);
    }
    return std::u16string(Movie) + Tail;
}
