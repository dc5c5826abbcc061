// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "VrComm.h"

#include <chrono>
#include <string>
#include <thread>

// Reads what the line has delivered, polling until Count bytes or 5 s.
inline std::string ReceiveAll(TVrCustomComm& Comm, size_t Count) {
    std::string Got;
    const auto End = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Got.size() < Count && std::chrono::steady_clock::now() < End) {
        char B[256];
        int32_t N = Comm.Receive(B, sizeof B);
        if (N > 0)
            Got.append(B, static_cast<size_t>(N));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return Got;
}
