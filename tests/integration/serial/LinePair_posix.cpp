// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LinePair.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

struct TLinePair::TFar {
    int Master = -1;
    int Slave = -1; // kept open so the master never sees a hang-up between opens
};

TLinePair::TLinePair(int PreferredPort) : FFar(std::make_unique<TFar>()), FPort(PreferredPort) {
    char Name[256] = {};
    if (::openpty(&FFar->Master, &FFar->Slave, Name, nullptr, nullptr) != 0)
        return;
    // A program the test starts must not hold the far end open: HangUp would
    // not end the line.
    ::fcntl(FFar->Master, F_SETFD, FD_CLOEXEC);
    ::fcntl(FFar->Slave, F_SETFD, FD_CLOEXEC);
    termios T{};
    ::tcgetattr(FFar->Master, &T);
    ::cfmakeraw(&T);
    ::tcsetattr(FFar->Master, TCSANOW, &T);
    ::setenv(("VRCOMM_PORT" + std::to_string(FPort)).c_str(), Name, 1);
}

TLinePair::~TLinePair() {
    ::unsetenv(("VRCOMM_PORT" + std::to_string(FPort)).c_str());
    if (FFar->Slave >= 0)
        ::close(FFar->Slave);
    if (FFar->Master >= 0)
        ::close(FFar->Master);
}

void TLinePair::HangUp() {
    if (FFar->Master >= 0)
        ::close(FFar->Master);
    FFar->Master = -1;
}

bool TLinePair::Ok() const {
    return FFar->Master >= 0;
}

void TLinePair::WriteFar(const std::string& Bytes) const {
    size_t Done = 0;
    while (Done < Bytes.size()) {
        ssize_t N = ::write(FFar->Master, Bytes.data() + Done, Bytes.size() - Done);
        if (N <= 0)
            return;
        Done += static_cast<size_t>(N);
    }
}

std::string TLinePair::ReadFar(size_t Count) const {
    std::string Got;
    while (Got.size() < Count) {
        pollfd P{FFar->Master, POLLIN, 0};
        if (::poll(&P, 1, 5000) <= 0)
            break;
        char B[512];
        ssize_t N = ::read(FFar->Master, B, sizeof B);
        if (N <= 0)
            break;
        Got.append(B, static_cast<size_t>(N));
    }
    return Got;
}

bool RunningUnderWine() {
    return false;
}

int PortBusyError() {
    return EBUSY;
}

TMissingPort MissingPort() {
    ::setenv("VRCOMM_PORT41", "/nonexistent/tty", 1);
    return {41, ENOENT};
}

std::shared_ptr<TCommDevice> LineDevice() {
    return SystemCommDevice();
}
