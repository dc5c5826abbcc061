// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

// commcat: a minimal terminal on a serial port, built on TVrThreadedComm.
//   commcat PORTNUMBER [--baud N] [--flow none|hw|xon]
// Standard input goes to the port, the port to standard output; line errors
// and signal changes are told on standard error. Ends at the end of input
// (once everything queued has been sent) or on Ctrl+C, and with exit code 1
// when the port fails (its far end hung up, its adapter pulled).

#include <quadrelle/serial/VrComm.h>
#include <quadrelle/platform/NotifyChannel.h>

#include <sys/signalfd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace {

int Usage() {
    std::fprintf(stderr, "usage: commcat PORTNUMBER [--baud N] [--flow none|hw|xon]\n");
    return 2;
}

void WriteAll(int Fd, const char* Data, size_t Count) {
    while (Count > 0) {
        ssize_t N = ::write(Fd, Data, Count);
        if (N < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                pollfd P{Fd, POLLOUT, 0};
                ::poll(&P, 1, 100);
                continue;
            }
            return;
        }
        Data += N;
        Count -= static_cast<size_t>(N);
    }
}

std::string EventNames(TVrCommEvents Events) {
    static const char* const Names[] = {"unknown", "overrun", "parity", "framing", "io",   "mode",
                                        "rx-over", "tx-full", "error",  "break",   "rx",   "event",
                                        "sent",    "cts",     "dsr",    "ring",    "rlsd", "xon"};
    std::string Text;
    for (int E = 0; E <= vevXOn; ++E)
        if (Events.Contains(static_cast<TVrCommEvent>(E)))
            Text += (Text.empty() ? "" : " ") + std::string(Names[E]);
    return Text;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage();
    char* End = nullptr;
    const long Port = std::strtol(argv[1], &End, 10);
    if (*End || Port <= 0)
        return Usage();
    long Baud = 9600;
    TVrCommFlowControl Flow = vfcManual;
    for (int I = 2; I < argc; ++I) {
        const std::string Arg = argv[I];
        if (Arg == "--baud" && I + 1 < argc) {
            Baud = std::strtol(argv[++I], &End, 10);
            if (*End || Baud <= 0)
                return Usage();
        } else if (Arg == "--flow" && I + 1 < argc) {
            const std::string Value = argv[++I];
            if (Value == "hw")
                Flow = vfcHardware;
            else if (Value == "xon")
                Flow = vfcXOnXOff;
            else if (Value != "none")
                return Usage();
        } else {
            return Usage();
        }
    }

    // Ctrl+C and termination arrive as readable data, handled in the loop.
    sigset_t Signals;
    sigemptyset(&Signals);
    sigaddset(&Signals, SIGINT);
    sigaddset(&Signals, SIGTERM);
    sigprocmask(SIG_BLOCK, &Signals, nullptr);
    const int SignalFd = ::signalfd(-1, &Signals, SFD_CLOEXEC);

    TVrThreadedComm Comm(nullptr);
    Comm.SetPortNumber(static_cast<int32_t>(Port));
    Comm.SetBaudRate(static_cast<int32_t>(Baud));
    Comm.SetByteSize(vbs8Bits);
    Comm.SetCheckParity(false);
    Comm.SetFlowControl(Flow);
    Comm.SetReceiveBufferSize(4096);
    Comm.SetOnReceive([&](TComponent*) {
        char Buffer[4096];
        int32_t N;
        while ((N = Comm.Receive(Buffer, sizeof Buffer)) > 0)
            WriteAll(STDOUT_FILENO, Buffer, static_cast<size_t>(N));
    });
    Comm.SetOnLineError([](TComponent*, TVrCommEvents E) {
        std::fprintf(stderr, "commcat: line error: %s\n", EventNames(E).c_str());
    });
    Comm.SetOnChangeSignal([&](TComponent*, TVrCommEvents) {
        std::fprintf(stderr, "commcat: signals: %s\n", EventNames(Comm.GetSignals()).c_str());
    });
    try {
        Comm.Open();
    } catch (const EPropertyError& E) {
        std::fprintf(stderr, "commcat: port %ld: %s\n", Port, E.what());
        return 1;
    }
    // Bytes that came before the open were purged; from here on nothing is lost.
    std::fprintf(stderr, "commcat: connected to port %ld\n", Port);

    bool InputOpen = true;
    bool Quit = false;
    int Status = 0;
    while (!Quit) {
        pollfd Fds[3] = {{NotifyWakeDescriptor(), POLLIN, 0},
                         {SignalFd, POLLIN, 0},
                         {InputOpen ? STDIN_FILENO : -1, POLLIN, 0}};
        // Keep the send queue bounded: take input only while little is waiting.
        if (Comm.GetSendCount() > 65536)
            Fds[2].fd = -1;
        ::poll(Fds, 3, InputOpen ? 100 : 10);
        try {
            DrainNotifications(0);
        } catch (const EPropertyError& E) {
            // A failure the worker found (the default handling raises it here).
            std::fprintf(stderr, "commcat: port %ld: %s\n", Port, E.what());
            Status = 1;
            break;
        }
        if (Fds[1].revents & POLLIN)
            Quit = true;
        if (Fds[2].revents & (POLLIN | POLLHUP)) {
            char Buffer[16384];
            const ssize_t N = ::read(STDIN_FILENO, Buffer, sizeof Buffer);
            if (N > 0) {
                Comm.Send(Buffer, static_cast<int32_t>(N));
            } else if (N == 0 || errno != EINTR) {
                InputOpen = false;
            }
        }
        if (!InputOpen && Comm.GetSendCount() == 0)
            Quit = true; // everything read has left the component
        if (!Comm.GetOpened())
            Quit = true;
    }
    // Closing purges the driver's queue: let the line take what it holds first.
    for (int Tries = 0; Status == 0 && Tries < 2000 && Comm.GetOpened(); ++Tries) {
        uint32_t Errors;
        TCommStat Stat;
        if (Comm.GetLineStatus(Errors, Stat) != 0 || Stat.cbOutQue == 0)
            break;
        ::usleep(1000);
    }
    try {
        if (Status == 0)
            DrainNotifications(0);
        Comm.Close();
    } catch (const EPropertyError& E) {
        std::fprintf(stderr, "commcat: port %ld: %s\n", Port, E.what());
        return 1;
    }
    return Status;
}
