// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LinePair.h"

#include <cstdlib>
#include <string>
#include <windows.h>
#undef CreateFile

namespace {

int PortFromEnvironment(const char* Name, int Fallback) {
    const char* Value = std::getenv(Name);
    return Value && *Value ? std::atoi(Value) : Fallback;
}

HANDLE OpenPlain(int Port) {
    const std::wstring Path = L"\\\\.\\COM" + std::to_wstring(Port);
    return CreateFileW(Path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

} // namespace

struct TLinePair::TFar {
    HANDLE Handle = INVALID_HANDLE_VALUE;
};

TLinePair::TLinePair(int)
    : FFar(std::make_unique<TFar>()), FPort(PortFromEnvironment("VRCOMM_TEST_PORT", 5)) {
    FFar->Handle = OpenPlain(PortFromEnvironment("VRCOMM_TEST_PEER_PORT", 6));
    if (FFar->Handle == INVALID_HANDLE_VALUE)
        return;
    // Reads return at once; ReadFar polls. Nothing a previous test left behind
    // reaches this one.
    COMMTIMEOUTS T{MAXDWORD, 0, 0, 0, 0};
    SetCommTimeouts(FFar->Handle, &T);
    PurgeComm(FFar->Handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
}

TLinePair::~TLinePair() {
    if (FFar->Handle != INVALID_HANDLE_VALUE)
        CloseHandle(FFar->Handle);
}

bool TLinePair::Ok() const {
    return FFar->Handle != INVALID_HANDLE_VALUE;
}

void TLinePair::WriteFar(const std::string& Bytes) const {
    size_t Done = 0;
    while (Done < Bytes.size()) {
        DWORD N = 0;
        if (!WriteFile(FFar->Handle, Bytes.data() + Done, static_cast<DWORD>(Bytes.size() - Done), &N,
                       nullptr) ||
            N == 0)
            return;
        Done += N;
    }
}

std::string TLinePair::ReadFar(size_t Count) const {
    std::string Got;
    ULONGLONG Silent = GetTickCount64() + 5000;
    while (Got.size() < Count && GetTickCount64() < Silent) {
        char B[512];
        DWORD N = 0;
        if (!ReadFile(FFar->Handle, B, sizeof B, &N, nullptr))
            break;
        if (N == 0) {
            Sleep(1);
            continue;
        }
        Got.append(B, N);
        Silent = GetTickCount64() + 5000;
    }
    return Got;
}

bool RunningUnderWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

int PortBusyError() {
    return ERROR_ACCESS_DENIED;
}

TMissingPort MissingPort() {
    return {41, ERROR_FILE_NOT_FOUND};
}

std::shared_ptr<TCommDevice> LineDevice() {
    return SystemCommDevice();
}
