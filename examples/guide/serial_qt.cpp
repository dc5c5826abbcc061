// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

// A serial port in a Qt program: OnReceive runs in the Qt event loop of the
// thread that opened the port, with nothing to wire up. The program answers
// every line that arrives with "got: <line>" and quits on the line "bye", or
// after ten seconds without a line.
//
//     serial_qt PORT     (port n is COMn; on Linux VRCOMM_PORTn names its device)
#include <quadrelle/platform/SystemError.h>
#include <quadrelle/serial/VrComm.h>
#include <quadrelle/widgets/VrCommQt.h>

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    QCoreApplication App(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: serial_qt PORT\n");
        return 2;
    }
    const int Port = std::atoi(argv[1]);

    // What a handler throws cannot cross Qt's loop; it ends here instead.
    SetVrCommQtErrorHook([](std::exception_ptr Error) {
        try {
            std::rethrow_exception(Error);
        } catch (const std::exception& E) {
            std::fprintf(stderr, "serial_qt: %s\n", E.what());
        }
        QCoreApplication::exit(1);
    });

    TVrThreadedComm Comm(nullptr);
    Comm.SetPortNumber(Port);
    Comm.SetBaudRate(9600);
    Comm.SetByteSize(vbs8Bits);

    QTimer Silence;
    Silence.setSingleShot(true);
    QObject::connect(&Silence, &QTimer::timeout, [] {
        std::fprintf(stderr, "serial_qt: no line for ten seconds\n");
        QCoreApplication::exit(1);
    });

    // Runs on this thread, in App.exec(), like any slot.
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
                    QCoreApplication::quit(); // once this handler has returned
                Line.clear();
                Silence.start(10000);
            }
        }
        std::fflush(stdout);
    });
    // Without a handler a failure raises EPropertyError here, as in any C++ code.
    try {
        Comm.Open();
    } catch (const EPropertyError& E) {
        std::fprintf(stderr, "serial_qt: port %d: %s\n", Port, E.what());
        return 1;
    }
    std::printf("open: port %d\n", Port);
    std::fflush(stdout);
    Silence.start(10000);

    const int Result = App.exec();
    // Closing drops what still waits to be sent: let the worker hand the last
    // answer to the driver, and the driver send it, first.
    for (int Wait = 0; Wait < 1000 && Comm.GetOpened(); ++Wait) {
        uint32_t Errors;
        TCommStat Stat;
        if (Comm.GetSendCount() == 0 && (Comm.GetLineStatus(Errors, Stat) != 0 || Stat.cbOutQue == 0))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Comm.Close();
    std::printf("closed\n");
    return Result;
}
