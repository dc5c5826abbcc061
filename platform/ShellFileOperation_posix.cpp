// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "ShellFileOperation.h"

#include "Utf.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

TFileOperationUi::~TFileOperationUi() = default;

namespace {

constexpr int kSkipped = -1; // internal: the user chose to skip this item

std::vector<std::u16string> SplitNameList(const char16_t* List) {
    std::vector<std::u16string> names;
    if (!List)
        return names;
    // An empty name is the list's end, as the shell reads it.
    while (*List) {
        std::u16string name(List);
        List += name.size() + 1;
        names.push_back(std::move(name));
    }
    return names;
}

// Names cross the record as UTF-16, with the bytes of a name that is not
// UTF-8 escaped (Utf.h), so every name can be named and shown.
bool ToPath(const std::u16string& Text, fs::path& Out) {
    std::string name;
    if (!FileNameFromUtf16(Text, name))
        return false; // an unpaired surrogate that stands for no byte
    Out = fs::path(std::move(name));
    return true;
}

std::u16string ToText(const fs::path& Path) {
    return FileNameToUtf16(Path.native());
}

bool HasWildcard(const std::string& Name) {
    return Name.find_first_of("*?") != std::string::npos;
}

// The characters of a name: its code points, and each byte that belongs to no
// UTF-8 sequence on its own (as an escaped byte, which no code point equals).
std::u32string Characters(std::string_view Name) {
    const std::u16string text = FileNameToUtf16(Name);
    std::u32string chars;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        // Escaped bytes are low surrogates, so a high one always starts a pair.
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
            chars.push_back(0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(text[++i]) - 0xDC00));
        } else {
            chars.push_back(unit);
        }
    }
    return chars;
}

// The shell's wildcards: * any run, ? any one character, nothing else special.
// "*.*" matches every name, dot or not.
bool MatchWildcard(std::u32string_view Pattern, std::u32string_view Name) {
    if (Pattern == U"*.*")
        Pattern = U"*";
    size_t p = 0, n = 0, starP = std::u32string_view::npos, starN = 0;
    while (n < Name.size()) {
        if (p < Pattern.size() && (Pattern[p] == U'?' || Pattern[p] == Name[n])) {
            ++p;
            ++n;
        } else if (p < Pattern.size() && Pattern[p] == U'*') {
            starP = p++;
            starN = n;
        } else if (starP != std::u32string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < Pattern.size() && Pattern[p] == U'*')
        ++p;
    return p == Pattern.size();
}

// Absolute, normal, and naming the item itself ("a/b/" is "a/b").
fs::path Normalize(const fs::path& Path) {
    std::error_code ec;
    fs::path p = fs::absolute(Path, ec).lexically_normal();
    if (!p.has_filename() && p.has_relative_path())
        p = p.parent_path();
    return p;
}

bool LStat(const fs::path& Path, struct stat& St) {
    return ::lstat(Path.c_str(), &St) == 0;
}

bool IsDirectory(const fs::path& Path) {
    struct stat st;
    return ::stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Children of a folder by name, sorted so that the order does not depend on the file system.
int ListChildren(const fs::path& Dir, std::vector<fs::path>& Names) {
    std::error_code ec;
    for (fs::directory_iterator it(Dir, ec), end; !ec && it != end; it.increment(ec))
        Names.push_back(it->path().filename());
    if (ec)
        return ec.value();
    std::sort(Names.begin(), Names.end());
    return 0;
}

uint64_t TreeSize(const fs::path& Path) {
    struct stat st;
    if (!LStat(Path, st))
        return 0;
    if (!S_ISDIR(st.st_mode))
        return S_ISREG(st.st_mode) ? uint64_t(st.st_size) : 0;
    std::vector<fs::path> names;
    ListChildren(Path, names);
    uint64_t size = 0;
    for (const auto& name : names)
        size += TreeSize(Path / name);
    return size;
}

// At most Room bytes of Name, cut before a whole UTF-8 character: a name of the
// longest length the file system takes still leaves room for what is added to it.
std::string Shortened(const std::string& Name, size_t Room) {
    if (Name.size() <= Room)
        return Name;
    size_t cut = Room;
    while (cut > 0 && (static_cast<unsigned char>(Name[cut]) & 0xC0) == 0x80)
        --cut;
    return Name.substr(0, cut);
}

// rename(2) that never replaces: a name that appeared after the check is not overwritten.
int RenameNoReplace(const fs::path& From, const fs::path& To) {
    if (::renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // The file system cannot do it atomically.
    struct stat st;
    if (LStat(To, st))
        return EEXIST;
    return ::rename(From.c_str(), To.c_str()) == 0 ? 0 : errno;
}

std::string PercentEncode(const std::string& Path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : Path) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' ||
            c == '-' || c == '_' || c == '.' || c == '~') {
            out.push_back(char(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

int EnsurePrivateDir(const fs::path& Dir) {
    if (::mkdir(Dir.c_str(), 0700) == 0)
        return 0;
    if (errno != EEXIST)
        return errno;
    struct stat st;
    if (!LStat(Dir, st))
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

fs::path HomeTrash() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data == '/')
        return fs::path(data) / "Trash";
    const char* home = std::getenv("HOME");
    if (home && *home == '/')
        return fs::path(home) / ".local/share/Trash";
    return {};
}

// The top folder of the mount that holds Item: the highest ancestor on the same device.
fs::path MountTop(const fs::path& Item, dev_t Device) {
    fs::path top = Item.parent_path();
    while (top.has_relative_path()) {
        struct stat st;
        fs::path up = top.parent_path();
        if (::stat(up.c_str(), &st) != 0 || st.st_dev != Device)
            break;
        top = up;
    }
    return top;
}

// The mount's trash for this user: $topdir/.Trash/$uid when the administrator
// made $topdir/.Trash a sticky folder (not a link), otherwise $topdir/.Trash-$uid.
int MountTrash(const fs::path& Top, fs::path& Trash) {
    const std::string uid = std::to_string(::getuid());
    struct stat st;
    const fs::path shared = Top / ".Trash";
    if (LStat(shared, st) && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        Trash = shared / uid;
        if (EnsurePrivateDir(Trash) == 0 && LStat(Trash, st) && st.st_uid == ::getuid())
            return 0;
    }
    Trash = Top / (".Trash-" + uid);
    if (int rc = EnsurePrivateDir(Trash))
        return rc;
    if (!LStat(Trash, st))
        return errno;
    return st.st_uid == ::getuid() ? 0 : EACCES;
}

// Reserves a name in Trash by creating its info file exclusively, then moves Item
// under that name. The info file goes away again when the move fails.
int TrashInto(const fs::path& Trash, const fs::path& Item, const std::string& InfoPath) {
    const fs::path files = Trash / "files", info = Trash / "info";
    if (int rc = EnsurePrivateDir(Trash))
        return rc;
    if (int rc = EnsurePrivateDir(files))
        return rc;
    if (int rc = EnsurePrivateDir(info))
        return rc;

    char date[32];
    const std::time_t now = std::time(nullptr);
    struct tm local;
    ::localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const std::string content =
        "[Trash Info]\nPath=" + PercentEncode(InfoPath) + "\nDeletionDate=" + date + "\n";

    // The item keeps its own name in the info file's Path; the name in the trash
    // is only a key, cut so that the key, a number and ".trashinfo" fit.
    const std::string base = Shortened(Item.filename().native(), NAME_MAX - 16);
    for (int n = 1; n < 100000; ++n) {
        const std::string name = n == 1 ? base : base + "." + std::to_string(n);
        const fs::path infoFile = info / (name + ".trashinfo");
        const int fd = ::open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return errno;
        }
        int rc = 0;
        if (::write(fd, content.data(), content.size()) != ssize_t(content.size()))
            rc = errno ? errno : EIO;
        if (::close(fd) != 0 && rc == 0)
            rc = errno;
        if (rc == 0) {
            rc = RenameNoReplace(Item, files / name);
            if (rc == EEXIST) { // a stray entry without info: try the next name
                ::unlink(infoFile.c_str());
                continue;
            }
        }
        if (rc != 0)
            ::unlink(infoFile.c_str());
        return rc;
    }
    return EEXIST;
}

dev_t NearestDevice(fs::path Path) {
    struct stat st;
    while (::stat(Path.c_str(), &st) != 0 && Path.has_relative_path())
        Path = Path.parent_path();
    return st.st_dev;
}

// Items on the home trash's file system go to the home trash and nowhere else;
// others go to their mount's trash. Either way a failure is reported, never
// turned into a deletion.
int MoveToTrash(const fs::path& Item) {
    struct stat item;
    if (!LStat(Item, item))
        return errno;
    const fs::path home = HomeTrash();
    if (!home.empty() && NearestDevice(home) == item.st_dev) {
        std::error_code ec;
        fs::create_directories(home.parent_path(), ec);
        return TrashInto(home, Item, Item.native());
    }
    // Through a linked folder the item lies on the mount the link points to;
    // the walk up to that mount's top must follow the real folders, or the trash
    // would be made inside the linked folder, where no desktop looks for it.
    std::error_code ec;
    const fs::path real = fs::canonical(Item.parent_path(), ec) / Item.filename();
    if (ec)
        return ec.value();
    const fs::path top = MountTop(real, item.st_dev);
    fs::path trash;
    if (int rc = MountTrash(top, trash))
        return rc;
    return TrashInto(trash, real, real.lexically_relative(top).native());
}

class TOperation {
public:
    TOperation(TShellFileOpStruct& Op, TFileOperationUi* Ui)
        : FOp(Op), FUi(Op.fFlags & FOF_SILENT ? nullptr : Ui), FAskUi(Ui),
          FStart(std::chrono::steady_clock::now()) {}
    ~TOperation() {
        if (FShown)
            FUi->EndProgress();
    }

    int Run();

private:
    int Expand(const std::vector<std::u16string>& Names, std::vector<std::vector<fs::path>>& Sources,
               std::vector<bool>& Wild);
    int Delete(const std::vector<fs::path>& Items);
    int CopyItem(const fs::path& Src, const fs::path& Dst);
    int MoveItem(const fs::path& Src, const fs::path& Dst, bool RenameOnly);
    int CopyAcross(const fs::path& Src, const fs::path& Dst, const struct stat& St, bool Replace);
    int CopyFile(const fs::path& Src, const fs::path& Dst, const struct stat& St, bool Replace);
    int CopySymlink(const fs::path& Src, const fs::path& Dst, bool Replace);
    mode_t WrittenMode(const struct stat& Src, int Fd) const;
    int Conflict(const fs::path& Existing, const fs::path& Source);
    bool Tick(const fs::path& Current, uint64_t Bytes);
    int Cancelled() {
        FOp.fAnyOperationsAborted = true;
        return kFileOpCancelled;
    }

    TShellFileOpStruct& FOp;
    TFileOperationUi* FUi;    // progress; null when silent
    TFileOperationUi* FAskUi; // questions; null when there is nobody to ask
    std::chrono::steady_clock::time_point FStart;
    bool FShown = false;      // BeginProgress was called, so EndProgress is owed
    bool FReplaceAll = false; // the user answered "replace all"
    uint64_t FDone = 0, FTotal = 0;
};

bool TOperation::Tick(const fs::path& Current, uint64_t Bytes) {
    FDone += Bytes;
    if (!FUi)
        return true;
    if (!FShown) {
        if (std::chrono::steady_clock::now() - FStart < FUi->ProgressDelay())
            return true;
        FUi->BeginProgress(FOp.hwnd, FOp.wFunc);
        FShown = true;
    }
    return FUi->UpdateProgress(FDone, FTotal, ToText(Current));
}

int TOperation::Conflict(const fs::path& Existing, const fs::path& Source) {
    if ((FOp.fFlags & FOF_NOCONFIRMATION) || FReplaceAll)
        return 0;
    if (!FAskUi)
        return EEXIST;
    switch (FAskUi->AskReplace(FOp.hwnd, ToText(Existing), ToText(Source))) {
    case foaReplace:
        return 0;
    case foaReplaceAll:
        FReplaceAll = true;
        return 0;
    case foaSkip:
        FOp.fAnyOperationsAborted = true;
        return kSkipped;
    default:
        return Cancelled();
    }
}

int TOperation::Expand(const std::vector<std::u16string>& Names, std::vector<std::vector<fs::path>>& Sources,
                       std::vector<bool>& Wild) {
    for (const auto& text : Names) {
        fs::path path;
        if (!ToPath(text, path))
            return EINVAL;
        path = Normalize(path);
        if (!path.has_relative_path())
            return EINVAL; // the root itself
        std::vector<fs::path> matches;
        const std::string last = path.filename().native();
        // Unlike Windows, a POSIX name may hold * and ?: a name that exists as
        // it is written is that item alone, and only one that does not is a pattern.
        struct stat st;
        const bool exists = LStat(path, st);
        const int missing = exists ? 0 : errno;
        const bool wild = !exists && missing == ENOENT && HasWildcard(last);
        if (wild) {
            std::vector<fs::path> names;
            if (int rc = ListChildren(path.parent_path(), names))
                return rc;
            const std::u32string pattern = Characters(last);
            for (const auto& name : names)
                if (MatchWildcard(pattern, Characters(name.native())))
                    matches.push_back(path.parent_path() / name);
            if (matches.empty())
                return ENOENT;
        } else {
            if (!exists)
                return missing;
            matches.push_back(path);
        }
        Sources.push_back(std::move(matches));
        Wild.push_back(wild);
    }
    return 0;
}

int TOperation::Delete(const std::vector<fs::path>& Items) {
    const bool toTrash = FOp.fFlags & FOF_ALLOWUNDO;
    if (!(FOp.fFlags & FOF_NOCONFIRMATION) && FAskUi &&
        !FAskUi->ConfirmDelete(FOp.hwnd, Items.size(), toTrash))
        return Cancelled();
    for (const auto& item : Items) {
        if (!Tick(item, 0))
            return Cancelled();
        if (toTrash) {
            if (int rc = MoveToTrash(item))
                return rc;
        } else {
            std::error_code ec;
            fs::remove_all(item, ec);
            if (ec)
                return ec.value();
        }
    }
    return 0;
}

int TOperation::CopySymlink(const fs::path& Src, const fs::path& Dst, bool Replace) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(Src, ec);
    if (ec)
        return ec.value();
    if (!Replace)
        return ::symlink(target.c_str(), Dst.c_str()) == 0 ? 0 : errno;
    // Made beside the old one and renamed over it, so the old link survives a failure.
    const fs::path temp = Dst.parent_path() / ("." + Shortened(Dst.filename().native(), 64) + ".quadv-link");
    ::unlink(temp.c_str());
    if (::symlink(target.c_str(), temp.c_str()) != 0)
        return errno;
    if (::rename(temp.c_str(), Dst.c_str()) != 0) {
        const int rc = errno;
        ::unlink(temp.c_str());
        return rc;
    }
    return 0;
}

// A copy drops the set-user-ID and set-group-ID bits, as cp does: the copy
// belongs to whoever made it, and must not run with the rights of the
// original's owner or group, nor give its maker's to whoever runs it. A move
// across file systems keeps them while the new file has the old owner and group.
mode_t TOperation::WrittenMode(const struct stat& Src, int Fd) const {
    mode_t mode = Src.st_mode & 07777;
    struct stat now {};
    const bool keep = FOp.wFunc != FO_COPY && ::fstat(Fd, &now) == 0;
    if (!keep || now.st_uid != Src.st_uid)
        mode &= ~mode_t(S_ISUID);
    if (!keep || now.st_gid != Src.st_gid)
        mode &= ~mode_t(S_ISGID);
    return mode;
}

// The copy is written under a temporary name in the destination folder and
// renamed into place only when complete: a cancel or an error leaves either the
// old destination or none, never a partial file.
int TOperation::CopyFile(const fs::path& Src, const fs::path& Dst, const struct stat& St, bool Replace) {
    const int in = ::open(Src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    std::string pattern =
        (Dst.parent_path() / ("." + Shortened(Dst.filename().native(), 64) + ".quadv-XXXXXX")).native();
    const int out = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (out < 0) {
        const int rc = errno;
        ::close(in);
        return rc;
    }
    const fs::path temp = pattern;
    int rc = 0;
    std::vector<char> buffer(256 * 1024);
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            rc = errno;
            break;
        }
        if (got == 0)
            break;
        for (ssize_t put = 0; put < got && rc == 0;) {
            const ssize_t n = ::write(out, buffer.data() + put, size_t(got - put));
            if (n < 0 && errno != EINTR)
                rc = errno;
            else if (n > 0)
                put += n;
        }
        if (rc != 0)
            break;
        if (!Tick(Src, uint64_t(got))) {
            rc = Cancelled();
            break;
        }
    }
    if (rc == 0 && ::fchmod(out, WrittenMode(St, out)) != 0)
        rc = errno;
    if (rc == 0) {
        const struct timespec times[2] = {St.st_atim, St.st_mtim};
        ::futimens(out, times);
    }
    if (::close(out) != 0 && rc == 0)
        rc = errno;
    ::close(in);
    if (rc == 0)
        rc = Replace ? (::rename(temp.c_str(), Dst.c_str()) == 0 ? 0 : errno) : RenameNoReplace(temp, Dst);
    if (rc != 0)
        ::unlink(temp.c_str());
    return rc;
}

int TOperation::CopyAcross(const fs::path& Src, const fs::path& Dst, const struct stat& St, bool Replace) {
    if (S_ISREG(St.st_mode))
        return CopyFile(Src, Dst, St, Replace);
    if (S_ISLNK(St.st_mode))
        return CopySymlink(Src, Dst, Replace);
    return ENOTSUP; // devices, pipes and sockets are not copied
}

int TOperation::CopyItem(const fs::path& Src, const fs::path& Dst) {
    if (!Tick(Src, 0))
        return Cancelled();
    struct stat src, dst;
    if (!LStat(Src, src))
        return errno;
    const bool exists = LStat(Dst, dst);
    if (!exists && errno != ENOENT)
        return errno;
    if (S_ISDIR(src.st_mode)) {
        if (exists && !S_ISDIR(dst.st_mode))
            return EEXIST;
        // An existing folder receives the contents (a merge); a new one gets the
        // source's mode only once it is filled, so a read-only folder can be filled.
        if (!exists && ::mkdir(Dst.c_str(), 0700) != 0)
            return errno;
        std::vector<fs::path> names;
        if (int rc = ListChildren(Src, names))
            return rc;
        for (const auto& name : names)
            if (int rc = CopyItem(Src / name, Dst / name))
                return rc;
        if (!exists) {
            // Not the source's set-group-ID, which says whose group new files
            // get; the one the folder inherited from its new parent stays.
            struct stat made;
            const mode_t inherited = LStat(Dst, made) ? made.st_mode & S_ISGID : 0;
            ::chmod(Dst.c_str(), (src.st_mode & 01777) | inherited);
        }
        return 0;
    }
    if (exists) {
        if (S_ISDIR(dst.st_mode))
            return EEXIST;
        const int rc = Conflict(Dst, Src);
        if (rc == kSkipped)
            return 0;
        if (rc != 0)
            return rc;
    }
    return CopyAcross(Src, Dst, src, exists);
}

int TOperation::MoveItem(const fs::path& Src, const fs::path& Dst, bool RenameOnly) {
    if (!Tick(Src, 0))
        return Cancelled();
    struct stat src, dst;
    if (!LStat(Src, src))
        return errno;
    const bool exists = LStat(Dst, dst);
    if (!exists && errno != ENOENT)
        return errno;
    const uint64_t size = FUi ? TreeSize(Src) : 0;
    if (exists) {
        if (RenameOnly)
            return EEXIST;
        if (S_ISDIR(src.st_mode) != S_ISDIR(dst.st_mode))
            return EEXIST;
        if (S_ISDIR(src.st_mode)) {
            // Merge: each child moves on its own; the source folder goes only when it is empty.
            std::vector<fs::path> names;
            if (int rc = ListChildren(Src, names))
                return rc;
            for (const auto& name : names)
                if (int rc = MoveItem(Src / name, Dst / name, false))
                    return rc;
            ::rmdir(Src.c_str()); // still holds skipped items when it fails
            return 0;
        }
        const int rc = Conflict(Dst, Src);
        if (rc == kSkipped)
            return 0;
        if (rc != 0)
            return rc;
        if (::rename(Src.c_str(), Dst.c_str()) == 0)
            return Tick(Src, size) ? 0 : Cancelled();
        if (errno != EXDEV)
            return errno;
    } else {
        const int rc = RenameNoReplace(Src, Dst);
        if (rc == 0)
            return Tick(Src, size) ? 0 : Cancelled();
        if (rc != EXDEV)
            return rc;
    }

    // Another file system: copy, and remove each source only once its copy is in place.
    if (S_ISDIR(src.st_mode)) {
        if (::mkdir(Dst.c_str(), 0700) != 0)
            return errno;
        std::vector<fs::path> names;
        if (int rc = ListChildren(Src, names))
            return rc;
        for (const auto& name : names)
            if (int rc = MoveItem(Src / name, Dst / name, false))
                return rc;
        ::chmod(Dst.c_str(), src.st_mode & 07777);
        ::rmdir(Src.c_str());
        return 0;
    }
    if (int rc = CopyAcross(Src, Dst, src, exists))
        return rc;
    return ::unlink(Src.c_str()) == 0 ? 0 : errno;
}

bool Inside(const fs::path& Inner, const fs::path& Outer) {
    std::error_code ec;
    const fs::path in = fs::weakly_canonical(Inner, ec), out = fs::weakly_canonical(Outer, ec);
    auto i = in.begin();
    for (auto o = out.begin(); o != out.end(); ++o, ++i)
        if (i == in.end() || *i != *o)
            return false;
    return true;
}

int TOperation::Run() {
    const auto from = SplitNameList(FOp.pFrom);
    if (from.empty())
        return EINVAL;
    std::vector<std::vector<fs::path>> sources;
    std::vector<bool> wild;
    if (int rc = Expand(from, sources, wild))
        return rc;

    if (FOp.wFunc == FO_DELETE) {
        std::vector<fs::path> items;
        for (const auto& group : sources)
            items.insert(items.end(), group.begin(), group.end());
        return Delete(items);
    }
    if (FOp.wFunc != FO_MOVE && FOp.wFunc != FO_COPY && FOp.wFunc != FO_RENAME)
        return EINVAL;
    const bool rename = FOp.wFunc == FO_RENAME;

    const auto to = SplitNameList(FOp.pTo);
    if (to.empty())
        return EINVAL;
    // A rename's bare new name stays in the source's folder.
    auto destination = [&](const std::u16string& Text, const fs::path& Source, fs::path& Out) {
        if (!ToPath(Text, Out))
            return false;
        if (rename && Text.find(u'/') == std::u16string::npos)
            Out = Source.parent_path() / Out;
        Out = Normalize(Out);
        return Out.has_relative_path();
    };

    std::vector<std::pair<fs::path, fs::path>> plan;
    std::vector<fs::path> folders; // destination folders to create first
    auto intoFolder = [&](const std::vector<fs::path>& Group, const fs::path& Folder) {
        for (const auto& src : Group)
            plan.emplace_back(src, Folder / src.filename());
    };
    if (FOp.fFlags & FOF_MULTIDESTFILES) {
        if (to.size() < from.size())
            return EINVAL;
        for (size_t i = 0; i < sources.size(); ++i) {
            fs::path dst;
            if (!destination(to[i], sources[i].front(), dst))
                return EINVAL;
            if (!wild[i]) {
                plan.emplace_back(sources[i].front(), dst);
            } else if (rename) {
                if (sources[i].size() != 1)
                    return EINVAL;
                plan.emplace_back(sources[i].front(), dst);
            } else {
                folders.push_back(dst);
                intoFolder(sources[i], dst);
            }
        }
    } else {
        size_t count = 0;
        for (const auto& group : sources)
            count += group.size();
        const bool anyWild = std::find(wild.begin(), wild.end(), true) != wild.end();
        fs::path dst;
        if (!destination(to.front(), sources.front().front(), dst))
            return EINVAL;
        if (count == 1 && (rename || (!anyWild && !IsDirectory(dst)))) {
            plan.emplace_back(sources.front().front(), dst);
        } else if (rename) {
            return EINVAL; // one name cannot be given to several items
        } else {
            struct stat st;
            if (LStat(dst, st) && !IsDirectory(dst))
                return EEXIST;
            folders.push_back(dst);
            for (const auto& group : sources)
                intoFolder(group, dst);
        }
    }

    for (const auto& [src, dst] : plan) {
        struct stat st;
        if (LStat(src, st) && S_ISDIR(st.st_mode) && Inside(dst, src))
            return EINVAL; // into itself
        if (Inside(src, dst) && Inside(dst, src))
            return EINVAL; // onto itself
    }
    for (const auto& folder : folders) {
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec)
            return ec.value();
    }
    if (FUi)
        for (const auto& step : plan)
            FTotal += TreeSize(step.first);
    for (const auto& [src, dst] : plan) {
        const int rc = FOp.wFunc == FO_COPY ? CopyItem(src, dst) : MoveItem(src, dst, rename);
        if (rc != 0)
            return rc;
    }
    return 0;
}

} // namespace

int ShellFileOperation(TShellFileOpStruct& Op, TFileOperationUi* Ui) {
    Op.fAnyOperationsAborted = false;
    try {
        TOperation operation(Op, Ui);
        return operation.Run();
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    } catch (...) {
        return EIO;
    }
}
