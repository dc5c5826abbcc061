// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "NamedMutex.h"

#include "Utf.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// Holders keep a shared flock on the file, so several processes may create
// the same name, as with a named mutex. The existence test tries an exclusive
// lock without waiting on an open file description of its own: it fails
// exactly while some holder is alive. A file left behind by an ended process
// holds no lock and so counts as absent; the test never creates a file.

namespace {

// A folder is safe when it is a real directory (not a symbolic link) owned by
// us that nobody else can write to.
bool IsPrivateFolder(int Fd) {
    struct stat St {};
    if (fstat(Fd, &St) != 0)
        return false;
    if (!S_ISDIR(St.st_mode) || St.st_uid != geteuid() || (St.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        errno = EPERM;
        return false;
    }
    return true;
}

int OpenFolder(const std::string& Path) {
    const int Fd = open(Path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (Fd < 0)
        return -1;
    if (!IsPrivateFolder(Fd)) {
        const int Saved = errno;
        close(Fd);
        errno = Saved;
        return -1;
    }
    return Fd;
}

// The user's runtime folder, opened, and its path in Path; -1 with errno set
// when there is no safe one. $XDG_RUNTIME_DIR is used only when it is
// absolute and private.
int OpenRuntimeFolder(std::string& Path) {
    const char* Xdg = std::getenv("XDG_RUNTIME_DIR");
    if (Xdg && Xdg[0] == '/') {
        const int Fd = OpenFolder(Xdg);
        if (Fd >= 0) {
            Path = Xdg;
            return Fd;
        }
    }
    Path = "/tmp/quadv-" + std::to_string(geteuid());
    if (mkdir(Path.c_str(), 0700) != 0 && errno != EEXIST)
        return -1;
    // Someone else may have made the folder first: OpenFolder refuses it then.
    return OpenFolder(Path);
}

bool ValidName(const std::string& Name) {
    return !Name.empty() && Name != "." && Name != ".." && Name.find('/') == std::string::npos &&
           Name.find('\0') == std::string::npos;
}

// Opens the lock file inside the runtime folder; only regular files qualify.
int OpenLockFile(std::u16string_view Name, int Flags) {
    const std::string File = Utf16ToUtf8(Name);
    if (!ValidName(File)) {
        errno = EINVAL;
        return -1;
    }
    std::string Folder;
    const int Dir = OpenRuntimeFolder(Folder);
    if (Dir < 0)
        return -1;
    const int Fd = openat(Dir, File.c_str(), Flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    const int Saved = errno;
    close(Dir);
    if (Fd < 0) {
        errno = Saved;
        return -1;
    }
    struct stat St {};
    if (fstat(Fd, &St) != 0 || !S_ISREG(St.st_mode)) {
        close(Fd);
        errno = EINVAL;
        return -1;
    }
    return Fd;
}

int LockRetrying(int Fd, int Operation) {
    int Rc;
    do {
        Rc = flock(Fd, Operation);
    } while (Rc != 0 && errno == EINTR);
    return Rc;
}

} // namespace

bool NamedMutexExists(std::u16string_view Name) {
    const int Saved = errno;
    const int Fd = OpenLockFile(Name, O_RDONLY);
    if (Fd < 0) {
        errno = Saved;
        return false;
    }
    bool Exists = false;
    if (LockRetrying(Fd, LOCK_EX | LOCK_NB) != 0)
        Exists = errno == EWOULDBLOCK;
    close(Fd); // also drops the probe's lock
    errno = Saved;
    return Exists;
}

TMutexHandle CreateNamedMutex(std::u16string_view Name) {
    const int Fd = OpenLockFile(Name, O_RDWR | O_CREAT);
    if (Fd < 0)
        return nullptr;
    // Waits only for a concurrent existence test, which holds its exclusive
    // lock for an instant.
    if (LockRetrying(Fd, LOCK_SH) != 0) {
        const int Saved = errno;
        close(Fd);
        errno = Saved;
        return nullptr;
    }
    // The descriptor stays open until the process ends; the handle carries it.
    return reinterpret_cast<TMutexHandle>(static_cast<intptr_t>(Fd) + 1);
}

void ReleaseNamedMutex(TMutexHandle Handle) {
    // Ownership means nothing to the existence test, and the lock must stay
    // until the process ends, so there is nothing to undo here.
    (void)Handle;
}

std::u16string NamedMutexSocketName(std::u16string_view Name) {
    const std::string File = Utf16ToUtf8(Name);
    if (!ValidName(File))
        return {};
    const int Saved = errno;
    std::string Folder;
    const int Dir = OpenRuntimeFolder(Folder);
    if (Dir < 0) {
        errno = Saved;
        return {};
    }
    close(Dir);
    if (Folder.back() != '/')
        Folder += '/';
    return Utf8ToUtf16(Folder + File + ".sock");
}
