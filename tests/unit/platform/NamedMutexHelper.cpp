// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

// Second process for the named mutex tests. Reads one-word commands from
// stdin and answers each on stdout:
//   create NAME   -> "ok" or "fail"
//   release       -> "ok"
//   exists NAME   -> "yes" or "no"
//   quit          -> ends the process
#include "NamedMutex.h"
#include "Utf.h"

#include <iostream>
#include <string>

int main() {
    TMutexHandle Handle = nullptr;
    std::string Command;
    while (std::cin >> Command) {
        if (Command == "create") {
            std::string Name;
            std::cin >> Name;
            Handle = CreateNamedMutex(Utf8ToUtf16(Name));
            std::cout << (Handle ? "ok" : "fail") << std::endl;
        } else if (Command == "release") {
            ReleaseNamedMutex(Handle);
            std::cout << "ok" << std::endl;
        } else if (Command == "exists") {
            std::string Name;
            std::cin >> Name;
            std::cout << (NamedMutexExists(Utf8ToUtf16(Name)) ? "yes" : "no") << std::endl;
        } else if (Command == "quit") {
            break;
        }
    }
    return 0;
}
