// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "FileIo.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class TFd {
public:
    explicit TFd(int Fd) : FFd(Fd) {}
    ~TFd() {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }
    void Reset(int Fd) {
        if (FFd >= 0)
            ::close(FFd);
        FFd = Fd;
    }
    int Release() {
        const int fd = FFd;
        FFd = -1;
        return fd;
    }

private:
    int FFd;
};

int WriteAll(int Fd, const char* Data, size_t Size) {
    while (Size > 0) {
        const ssize_t n = ::write(Fd, Data, Size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        Data += n;
        Size -= static_cast<size_t>(n);
    }
    return 0;
}

} // namespace

int ReadWholeFile(const std::filesystem::path& FileName, std::string& Bytes) {
    Bytes.clear();
    TFd fd(::open(FileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0)
        return errno;
    if (::flock(fd.Get(), LOCK_SH | LOCK_NB) != 0)
        return errno;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            break;
        Bytes.append(buffer, static_cast<size_t>(n));
    }
    return 0;
}

int ReplaceWholeFile(const std::filesystem::path& FileName, const std::string& Bytes) {
    // Writers of the same file take turns: the target's exclusive lock keeps a
    // reader (and another writer) out while it is replaced.
    TFd target(::open(FileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (target.Get() >= 0 && ::flock(target.Get(), LOCK_EX | LOCK_NB) != 0)
        return errno;

    const std::filesystem::path folder = FileName.has_parent_path() ? FileName.parent_path() : ".";
    std::random_device random;
    std::filesystem::path temp;
    TFd out(-1);
    for (int attempt = 0; attempt < 16 && out.Get() < 0; ++attempt) {
        std::string name(1, '.');
        name.append(FileName.filename().string()).append(1, '.').append(std::to_string(random())).append(".tmp");
        temp = folder / name;
        out.Reset(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (out.Get() < 0 && errno != EEXIST)
            return errno;
    }
    if (out.Get() < 0)
        return EEXIST;

    // A replaced file keeps its permissions.
    struct stat st {};
    if (target.Get() >= 0 && ::fstat(target.Get(), &st) == 0)
        ::fchmod(out.Get(), st.st_mode & 07777);

    int e = WriteAll(out.Get(), Bytes.data(), Bytes.size());
    if (e == 0 && ::fsync(out.Get()) != 0)
        e = errno;
    if (::close(out.Release()) != 0 && e == 0)
        e = errno;
    if (e == 0 && ::rename(temp.c_str(), FileName.c_str()) != 0)
        e = errno;
    if (e != 0) {
        ::unlink(temp.c_str());
        return e;
    }
    // Make the rename itself durable.
    TFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0)
        ::fsync(dir.Get());
    return 0;
}
