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

namespace {

class TModemLinesOff final : public TCommDevice {
public:
    explicit TModemLinesOff(std::shared_ptr<TCommDevice> Inner) : FInner(std::move(Inner)) {}

    bool GetCommModemStatus(TCommHandle H, uint32_t* Status) override {
        if (FInner->GetCommModemStatus(H, Status))
            return true;
        if (FInner->GetLastError() != ERROR_NOT_SUPPORTED)
            return false;
        *Status = 0;
        return true;
    }

    TCommHandle CreateFile(std::u16string_view Path, uint32_t Flags) override {
        return FInner->CreateFile(Path, Flags);
    }
    bool CloseHandle(TCommHandle H) override { return FInner->CloseHandle(H); }
    bool WriteFile(TCommHandle H, const void* D, uint32_t C, uint32_t* W, TCommOverlapped* O) override {
        return FInner->WriteFile(H, D, C, W, O);
    }
    bool ReadFile(TCommHandle H, void* B, uint32_t C, uint32_t* R, TCommOverlapped* O) override {
        return FInner->ReadFile(H, B, C, R, O);
    }
    bool GetOverlappedResult(TCommHandle H, TCommOverlapped* O, uint32_t* T, bool W) override {
        return FInner->GetOverlappedResult(H, O, T, W);
    }
    bool ClearCommError(TCommHandle H, uint32_t* E, TCommStat* S) override {
        return FInner->ClearCommError(H, E, S);
    }
    bool SetCommBreak(TCommHandle H) override { return FInner->SetCommBreak(H); }
    bool ClearCommBreak(TCommHandle H) override { return FInner->ClearCommBreak(H); }
    bool GetCommState(TCommHandle H, TCommDcb* D) override { return FInner->GetCommState(H, D); }
    bool SetCommState(TCommHandle H, const TCommDcb* D) override { return FInner->SetCommState(H, D); }
    bool GetCommTimeouts(TCommHandle H, TCommTimeouts* T) override { return FInner->GetCommTimeouts(H, T); }
    bool SetCommTimeouts(TCommHandle H, const TCommTimeouts* T) override {
        return FInner->SetCommTimeouts(H, T);
    }
    bool SetupComm(TCommHandle H, uint32_t In, uint32_t Out) override {
        return FInner->SetupComm(H, In, Out);
    }
    bool GetCommProperties(TCommHandle H, TCommProp* P) override { return FInner->GetCommProperties(H, P); }
    bool PurgeComm(TCommHandle H, uint32_t F) override { return FInner->PurgeComm(H, F); }
    bool TransmitCommChar(TCommHandle H, char C) override { return FInner->TransmitCommChar(H, C); }
    bool WaitReadable(TCommHandle H, int Ms) override { return FInner->WaitReadable(H, Ms); }
    void WakeWaiter(TCommHandle H) override { FInner->WakeWaiter(H); }
    int GetLastError() override { return FInner->GetLastError(); }
    std::string ErrorText(int Code) override { return FInner->ErrorText(Code); }

private:
    std::shared_ptr<TCommDevice> FInner;
};

} // namespace

std::shared_ptr<TCommDevice> LineDevice() {
    if (!RunningUnderWine())
        return SystemCommDevice();
    static const auto Device = std::make_shared<TModemLinesOff>(SystemCommDevice());
    return Device;
}
