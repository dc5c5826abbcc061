#pragma once

// A pseudo-terminal pair for serial tests: the family opens the slave through
// VRCOMM_PORT<n>, the test plays the far end on the master.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>

struct TPtyPair {
    int Master = -1;
    int Slave = -1; // kept open so the master never sees a hang-up between opens
    std::string SlaveName;
    int Port = 0;

    explicit TPtyPair(int PortNumber) : Port(PortNumber) {
        char Name[256] = {};
        if (::openpty(&Master, &Slave, Name, nullptr, nullptr) != 0)
            return;
        termios T{};
        ::tcgetattr(Master, &T);
        ::cfmakeraw(&T);
        ::tcsetattr(Master, TCSANOW, &T);
        SlaveName = Name;
        ::setenv(("VRCOMM_PORT" + std::to_string(Port)).c_str(), Name, 1);
    }
    ~TPtyPair() {
        ::unsetenv(("VRCOMM_PORT" + std::to_string(Port)).c_str());
        if (Slave >= 0)
            ::close(Slave);
        if (Master >= 0)
            ::close(Master);
    }
    bool Ok() const { return Master >= 0; }

    void WriteFar(const std::string& Bytes) const {
        size_t Done = 0;
        while (Done < Bytes.size()) {
            ssize_t N = ::write(Master, Bytes.data() + Done, Bytes.size() - Done);
            if (N <= 0)
                return;
            Done += static_cast<size_t>(N);
        }
    }
    // Reads until Count bytes came or the far end stayed silent for 5 s.
    std::string ReadFar(size_t Count) const {
        std::string Got;
        while (Got.size() < Count) {
            pollfd P{Master, POLLIN, 0};
            if (::poll(&P, 1, 5000) <= 0)
                break;
            char B[512];
            ssize_t N = ::read(Master, B, sizeof B);
            if (N <= 0)
                break;
            Got.append(B, static_cast<size_t>(N));
        }
        return Got;
    }
};
