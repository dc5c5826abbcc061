// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

// A program of one file built against an installed Quadrelle and nothing else:
//   c++ -std=c++17 consumer.cpp $(pkg-config --cflags --libs quadrelle-serial) -o consumer
// It opens no port. It makes a port component, prints its defaults, checks
// that what it sets reads back, and sends itself a notification from another
// thread that it waits for with poll() on the wake-up descriptor, as a plain
// C++ program with its own loop does. Exit code 0 when all of that holds.

#include <quadrelle/platform/NotifyChannel.h>
#include <quadrelle/serial/VrComm.h>

#include <poll.h>

#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

int Failures = 0;

void Expect(bool Ok, const char* What) {
    if (!Ok) {
        std::fprintf(stderr, "consumer: FAIL: %s\n", What);
        ++Failures;
    }
}

void Print(const char* Label, const TVrThreadedComm& Comm) {
    std::printf("%s: port %d, %d baud, byte size %d, flow control %d, buffers %d/%d, open %s\n", Label,
                Comm.GetPortNumber(), Comm.GetBaudRate(), static_cast<int>(Comm.GetByteSize()),
                static_cast<int>(Comm.GetFlowControl()), Comm.GetSendBufferSize(), Comm.GetReceiveBufferSize(),
                Comm.GetOpened() ? "yes" : "no");
}

} // namespace

int main() {
    TVrThreadedComm Comm(nullptr);
    Print("defaults", Comm);
    Expect(!Comm.GetOpened(), "a new port component is open");
    Expect(Comm.GetPortNumber() == 1, "the default port number is not 1");
    Expect(Comm.GetFlowControl() == vfcManual, "the default flow control is not manual");
    Expect(Comm.GetSendCount() == 0 && Comm.GetReceiveCount() == 0, "a new port has bytes queued");

    Comm.SetPortNumber(4);
    Comm.SetBaudRate(115200);
    Comm.SetByteSize(vbs8Bits);
    Comm.SetFlowControl(vfcHardware);
    Comm.SetPortNumber(0); // refused: port numbers start at 1
    Print("set", Comm);
    Expect(Comm.GetPortNumber() == 4, "port number 4 did not stay (or 0 was taken)");
    Expect(Comm.GetBaudRate() == 115200, "115200 baud did not read back");
    Expect(Comm.GetByteSize() == vbs8Bits, "8 bits did not read back");
    Expect(Comm.GetFlowControl() == vfcHardware, "hardware flow control did not read back");

    // A message posted from another thread wakes the owner's descriptor and
    // runs the handler on the owner's thread when it drains.
    std::vector<uint32_t> Handled;
    const std::thread::id Owner = std::this_thread::get_id();
    bool OnOwner = true;
    auto Channel = TNotifyChannel::Create([&](uint32_t Message) {
        Handled.push_back(Message);
        OnOwner = OnOwner && std::this_thread::get_id() == Owner;
    });
    Expect(Channel != nullptr, "no notification channel");
    if (Channel) {
        std::thread Poster([&] { Channel->Post(0x8123); });
        Poster.join();
        pollfd Wake{NotifyWakeDescriptor(), POLLIN, 0};
        Expect(::poll(&Wake, 1, 2000) == 1, "the wake-up descriptor did not become readable");
        const int Count = DrainNotifications(0);
        std::printf("notification: %d handled, message 0x%x\n", Count, Handled.empty() ? 0u : Handled[0]);
        Expect(Count == 1 && Handled == std::vector<uint32_t>{0x8123}, "the posted message was not handled once");
        Expect(OnOwner, "the handler ran on another thread");
    }
    std::printf("%s\n", Failures ? "consumer: FAILED" : "consumer: ok");
    return Failures ? 1 : 0;
}
