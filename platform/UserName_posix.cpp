// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "UserName.h"

#include "Utf.h"

#include <cerrno>
#include <pwd.h>
#include <unistd.h>
#include <vector>

std::optional<std::u16string> QueryLogonUserName() {
    long Hint = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> Buffer(Hint > 0 ? static_cast<size_t>(Hint) : 1024);
    passwd Entry{};
    passwd* Found = nullptr;
    for (;;) {
        const int Rc = getpwuid_r(geteuid(), &Entry, Buffer.data(), Buffer.size(), &Found);
        if (Rc == ERANGE && Buffer.size() < (1u << 20)) {
            Buffer.resize(Buffer.size() * 2);
            continue;
        }
        if (Rc != 0) {
            errno = Rc;
            return std::nullopt;
        }
        break;
    }
    if (!Found || !Found->pw_name || !*Found->pw_name) {
        errno = ENOENT; // no entry for this user in the user database
        return std::nullopt;
    }
    return Utf8ToUtf16(Found->pw_name);
}
