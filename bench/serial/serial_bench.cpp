// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

// Measurements for bench/serial/run over pseudo-terminal pairs:
//   serial_bench raw BYTES          plain blocking write/read loop, prints MB/s
//   serial_bench latency SAMPLES    far-end byte to OnReceive, prints median and p99 in us
//   serial_bench idle SECONDS       CPU share of one core used by an idle open port, in %
//   serial_bench idle-floor SECONDS the same for a bare thread waiting 1 ms at a time
//   serial_bench far BYTES          prints a pty slave name, reads BYTES from its master, prints MB/s
//                                   (fails when fewer arrive)
#include "VrComm.h"
#include "platform/NotifyChannel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

void MakeRaw(int Fd) {
    termios T{};
    ::tcgetattr(Fd, &T);
    ::cfmakeraw(&T);
    ::tcsetattr(Fd, TCSANOW, &T);
}

double Seconds(TClock::time_point Start) {
    return std::chrono::duration<double>(TClock::now() - Start).count();
}

size_t ReadBytes(int Fd, size_t Count) {
    std::vector<char> B(65536);
    size_t Got = 0;
    while (Got < Count) {
        ssize_t N = ::read(Fd, B.data(), std::min(B.size(), Count - Got));
        if (N <= 0)
            break;
        Got += static_cast<size_t>(N);
    }
    return Got;
}

int Raw(size_t Bytes) {
    int Master, Slave;
    if (::openpty(&Master, &Slave, nullptr, nullptr, nullptr) != 0)
        return 1;
    MakeRaw(Master);
    MakeRaw(Slave);
    const auto Start = TClock::now();
    std::thread Writer([&] {
        std::vector<char> B(16384, 'r');
        size_t Done = 0;
        while (Done < Bytes) {
            ssize_t N = ::write(Slave, B.data(), std::min(B.size(), Bytes - Done));
            if (N <= 0)
                break;
            Done += static_cast<size_t>(N);
        }
    });
    const size_t Got = ReadBytes(Master, Bytes);
    Writer.join();
    std::printf("%.2f\n", static_cast<double>(Got) / 1e6 / Seconds(Start));
    return 0;
}

int Far(size_t Bytes) {
    int Master, Slave;
    char Name[256];
    if (::openpty(&Master, &Slave, Name, nullptr, nullptr) != 0)
        return 1;
    MakeRaw(Master);
    std::printf("%s\n", Name);
    std::fflush(stdout);
    // The clock starts with the first byte, so the port's start-up is not counted.
    pollfd P{Master, POLLIN, 0};
    ::poll(&P, 1, 30000);
    const auto Start = TClock::now();
    const size_t Got = ReadBytes(Master, Bytes);
    const double Secs = Seconds(Start);
    if (Got != Bytes) {
        std::fprintf(stderr, "far end: %zu of %zu bytes arrived\n", Got, Bytes);
        return 1;
    }
    std::printf("%.2f\n", static_cast<double>(Got) / 1e6 / Secs);
    return 0;
}

int OpenThreaded(TVrThreadedComm& Comm, int& Master) {
    int Slave;
    char Name[256];
    if (::openpty(&Master, &Slave, Name, nullptr, nullptr) != 0)
        return 1;
    MakeRaw(Master);
    ::setenv("VRCOMM_PORT1", Name, 1);
    Comm.SetByteSize(vbs8Bits);
    Comm.SetSuppressException(true);
    return Comm.Open();
}

int Latency(int Samples) {
    TVrThreadedComm Comm(nullptr);
    int Master;
    bool Got = false;
    Comm.SetOnReceive([&](TComponent*) {
        char B[256];
        while (Comm.Receive(B, sizeof B) > 0) {
        }
        Got = true;
    });
    if (OpenThreaded(Comm, Master) != 0)
        return 1;
    std::vector<double> Us;
    for (int I = 0; I < Samples; ++I) {
        Got = false;
        const auto Start = TClock::now();
        [[maybe_unused]] ssize_t N = ::write(Master, "x", 1);
        while (!Got)
            DrainNotifications(-1);
        Us.push_back(Seconds(Start) * 1e6);
        std::this_thread::sleep_for(std::chrono::milliseconds(2)); // let the worker go idle again
    }
    std::sort(Us.begin(), Us.end());
    std::printf("%.1f %.1f\n", Us[Us.size() / 2], Us[Us.size() * 99 / 100]);
    return 0;
}

double CpuSeconds() {
    rusage U{};
    ::getrusage(RUSAGE_SELF, &U);
    return static_cast<double>(U.ru_utime.tv_sec + U.ru_stime.tv_sec) +
           static_cast<double>(U.ru_utime.tv_usec + U.ru_stime.tv_usec) / 1e6;
}

// The share of one core used since Cpu0 and Start, in %.
void PrintCpuShare(double Cpu0, TClock::time_point Start) {
    std::printf("%.2f\n", (CpuSeconds() - Cpu0) / Seconds(Start) * 100.0);
}

int Idle(int Secs) {
    TVrThreadedComm Comm(nullptr);
    int Master;
    if (OpenThreaded(Comm, Master) != 0)
        return 1;
    const double Cpu0 = CpuSeconds();
    const auto Start = TClock::now();
    while (Seconds(Start) < Secs)
        DrainNotifications(100);
    PrintCpuShare(Cpu0, Start);
    return 0;
}

// The floor under Idle: a thread that does nothing but wait 1 ms at a time on
// an open pty, the pass rate an idle port keeps.
int IdleFloor(int Secs) {
    int Master, Slave;
    if (::openpty(&Master, &Slave, nullptr, nullptr, nullptr) != 0)
        return 1;
    std::atomic<bool> Stop = false;
    const double Cpu0 = CpuSeconds();
    const auto Start = TClock::now();
    std::thread Waiter([&] {
        while (!Stop) {
            pollfd P{Slave, POLLIN, 0};
            ::poll(&P, 1, 1);
        }
    });
    while (Seconds(Start) < Secs)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Stop = true;
    Waiter.join();
    PrintCpuShare(Cpu0, Start);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    const std::string Mode = argv[1];
    const long N = std::atol(argv[2]);
    if (Mode == "raw")
        return Raw(static_cast<size_t>(N));
    if (Mode == "far")
        return Far(static_cast<size_t>(N));
    if (Mode == "latency")
        return Latency(static_cast<int>(N));
    if (Mode == "idle")
        return Idle(static_cast<int>(N));
    if (Mode == "idle-floor")
        return IdleFloor(static_cast<int>(N));
    return 2;
}
