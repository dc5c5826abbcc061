// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Both ends of one serial line for the tests: the component opens Port(), the
// test plays the far end. On Linux each pair is a fresh pseudo-terminal whose
// slave the family reaches through VRCOMM_PORT<n>; on Windows (Wine) it is the
// pair named by VRCOMM_TEST_PORT and VRCOMM_TEST_PEER_PORT, two COM ports
// joined by a pseudo-terminal pair, and the far end is the peer port.

#include "platform/CommDevice.h"

#include <memory>
#include <string>

class TLinePair {
public:
    explicit TLinePair(int PreferredPort);
    ~TLinePair();
    TLinePair(const TLinePair&) = delete;
    TLinePair& operator=(const TLinePair&) = delete;

    bool Ok() const;
    int Port() const { return FPort; }

    void WriteFar(const std::string& Bytes) const;
    // Reads until Count bytes came or the far end stayed silent for 5 s.
    std::string ReadFar(size_t Count) const;
    // Closes the far end for good, as a pulled adapter does: the near end
    // hangs up. Pseudo-terminal pairs only (Linux).
    void HangUp();

private:
    struct TFar;
    std::unique_ptr<TFar> FFar;
    int FPort = 0;
};

// Wine stands in for Windows in the cross build's tests; where it answers a
// call differently, a test checks what Windows guarantees only off Wine.
bool RunningUnderWine();

// System error codes the tests expect: a port that another handle holds, a
// port that does not exist. (A refused setting gives SystemErrorInvalidArgument.)
int PortBusyError();
struct TMissingPort {
    int Port;
    int Error;
};
TMissingPort MissingPort();

// The device the tests open the line with: the system's.
std::shared_ptr<TCommDevice> LineDevice();
