// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

// commcat: a minimal terminal on a serial port, built on TVrThreadedComm.
//   commcat PORTNUMBER [--baud N] [--flow none|hw|xon]
// Standard input goes to the port, the port to standard output; line errors
// and signal changes are told on standard error. Ends at the end of input
// (once everything queued has been sent) or on Ctrl+C, and with exit code 1
// when the port fails (its far end hung up, its adapter pulled).

#include "Console.h"

#include <quadrelle/platform/NotifyChannel.h>
#include <quadrelle/serial/VrComm.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

namespace {

int Usage() {
    std::fprintf(stderr, "usage: commcat PORTNUMBER [--baud N] [--flow none|hw|xon]\n");
    return 2;
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

    const std::unique_ptr<TConsole> Console = TConsole::Create();
    if (!Console) {
        std::fprintf(stderr, "commcat: cannot take over standard input and output\n");
        return 1;
    }

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
            Console->WriteOutput(Buffer, static_cast<size_t>(N));
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
        // Keep the send queue bounded: take input only while little is waiting.
        const bool WantInput = InputOpen && Comm.GetSendCount() <= 65536;
        try {
            Console->Wait(InputOpen ? 100 : 10, WantInput);
        } catch (const EPropertyError& E) {
            // A failure the worker found (the default handling raises it here).
            std::fprintf(stderr, "commcat: port %ld: %s\n", Port, E.what());
            Status = 1;
            break;
        }
        if (Console->Interrupted())
            Quit = true;
        if (WantInput) {
            char Buffer[16384];
            const long N = Console->ReadInput(Buffer, sizeof Buffer);
            if (N > 0)
                Comm.Send(Buffer, static_cast<int32_t>(N));
            else if (N < 0)
                InputOpen = false;
        }
        if (!InputOpen && Comm.GetSendCount() == 0)
            Quit = true; // everything read has left the component
        if (!Comm.GetOpened())
            Quit = true;
    }
    // Closing purges the driver's queue and cancels a pending write: let the
    // line take what they hold first. (Wine leaves a pending write's bytes out
    // of the driver's queue; Windows and POSIX count them.)
    for (int Tries = 0; Status == 0 && Tries < 2000 && Comm.GetOpened(); ++Tries) {
        uint32_t Errors;
        TCommStat Stat;
        if (Comm.GetLineStatus(Errors, Stat) != 0 || (Stat.cbOutQue == 0 && !Comm.GetSendPending()))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
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
