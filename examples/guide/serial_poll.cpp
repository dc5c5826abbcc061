// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

// A serial port in a plain C++ program with a loop of its own: poll() watches
// the notification channel's descriptor, and DrainNotifications runs the
// port's events on this thread. The program answers every line that arrives
// with "got: <line>" and ends on the line "bye", or after ten seconds without
// a line.
//
//     serial_poll PORT     (port n is COMn; on Linux VRCOMM_PORTn names its device)
#include <quadrelle/platform/NotifyChannel.h>
#include <quadrelle/platform/SystemError.h>
#include <quadrelle/serial/VrComm.h>

#include <poll.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: serial_poll PORT\n");
        return 2;
    }
    const int Port = std::atoi(argv[1]);

    TVrThreadedComm Comm(nullptr);
    Comm.SetPortNumber(Port);
    Comm.SetBaudRate(9600);
    Comm.SetByteSize(vbs8Bits);
    Comm.SetParityBit(vpbNone);
    Comm.SetStopBit(vsb1StopBit);

    bool Done = false;
    int ExitCode = 0;
    // Errors come back as return codes; the handler prints them and asks for
    // no exception.
    Comm.SetOnError([&](TComponent*, TVrCommErrorAt, int32_t Error, bool& ThrowException) {
        std::fprintf(stderr, "port %d: %s\n", Port, SystemErrorText(Error).c_str());
        ThrowException = false;
        Done = true;
        ExitCode = 1;
    });

    // Runs on this thread, inside DrainNotifications.
    std::string Line;
    Comm.SetOnReceive([&](TComponent*) {
        char Buffer[256];
        int32_t N;
        while ((N = Comm.Receive(Buffer, sizeof Buffer)) > 0) {
            for (int32_t I = 0; I < N; ++I) {
                const char C = Buffer[I];
                if (C == '\r')
                    continue;
                if (C != '\n') {
                    Line += C;
                    continue;
                }
                std::printf("received: %s\n", Line.c_str());
                const std::string Answer = "got: " + Line + "\n";
                Comm.Send(Answer.data(), static_cast<int32_t>(Answer.size()));
                if (Line == "bye")
                    Done = true;
                Line.clear();
            }
        }
        std::fflush(stdout);
    });

    // The thread that opens the port receives its events.
    if (Comm.Open() != 0)
        return 1;
    std::printf("open: port %d\n", Port);
    std::fflush(stdout);

    pollfd Watch{NotifyWakeDescriptor(), POLLIN, 0};
    while (!Done) {
        const int Ready = ::poll(&Watch, 1, 10000);
        if (Ready < 0 && errno == EINTR)
            continue;
        if (Ready <= 0) {
            std::fprintf(stderr, "serial_poll: no line for ten seconds\n");
            return 1;
        }
        DrainNotifications(0);
    }

    // Closing drops what still waits to be sent: let the worker hand the last
    // answer to the driver, and the driver send it, first.
    for (int Wait = 0; Wait < 1000 && Comm.GetOpened(); ++Wait) {
        uint32_t Errors;
        TCommStat Stat;
        if (Comm.GetSendCount() == 0 && (Comm.GetLineStatus(Errors, Stat) != 0 || Stat.cbOutQue == 0))
            break;
        DrainNotifications(1);
    }
    Comm.Close();
    std::printf("closed\n");
    return ExitCode;
}
