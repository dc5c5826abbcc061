// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "FakeCommDevice.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace {
thread_local int FakeLastError = 0;
constexpr TCommHandle kFakeHandle = 0x5E1A;
} // namespace

void TFakeCommDevice::Feed(std::string_view Bytes) {
    std::lock_guard Guard(Lock);
    Input.insert(Input.end(), Bytes.begin(), Bytes.end());
}

int TFakeCommDevice::CallCount(const std::string& Name) {
    std::lock_guard Guard(Lock);
    int N = 0;
    for (const auto& C : Calls)
        N += C == Name;
    return N;
}

bool TFakeCommDevice::Enter(const char* Name) {
    Calls.emplace_back(Name);
    if (auto It = FailCall.find(Name); It != FailCall.end()) {
        FakeLastError = It->second;
        return false;
    }
    return true;
}

TCommHandle TFakeCommDevice::CreateFile(std::u16string_view Path, uint32_t) {
    std::lock_guard Guard(Lock);
    Calls.emplace_back("CreateFile");
    if (OpenError) {
        FakeLastError = OpenError;
        return kInvalidCommHandle;
    }
    OpenedPath = Path;
    IsOpen = true;
    return kFakeHandle;
}

bool TFakeCommDevice::CloseHandle(TCommHandle) {
    std::lock_guard Guard(Lock);
    if (!Enter("CloseHandle"))
        return false;
    IsOpen = false;
    return true;
}

bool TFakeCommDevice::WriteFile(TCommHandle, const void* Data, uint32_t Count, uint32_t* Written,
                                TCommOverlapped* Overlapped) {
    std::lock_guard Guard(Lock);
    *Written = 0;
    if (!Enter("WriteFile"))
        return false;
    auto* Bytes = static_cast<const uint8_t*>(Data);
    Output.insert(Output.end(), Bytes, Bytes + Count);
    if (Overlapped && WritesPend) {
        PendingCount = Count;
        PendingDone = false;
        FakeLastError = kErrorIoPending;
        return false;
    }
    *Written = Count;
    return true;
}

bool TFakeCommDevice::ReadFile(TCommHandle, void* Buffer, uint32_t Count, uint32_t* Read, TCommOverlapped*) {
    std::lock_guard Guard(Lock);
    *Read = 0;
    if (!Enter("ReadFile"))
        return false;
    auto* Out = static_cast<uint8_t*>(Buffer);
    while (*Read < Count && !Input.empty()) {
        Out[(*Read)++] = Input.front();
        Input.pop_front();
    }
    return true;
}

bool TFakeCommDevice::GetOverlappedResult(TCommHandle, TCommOverlapped*, uint32_t* Transferred, bool Wait) {
    for (;;) {
        {
            std::lock_guard Guard(Lock);
            if (!Enter("GetOverlappedResult"))
                return false;
            if (PendingDone) {
                *Transferred = PendingCount;
                return true;
            }
            if (!Wait) {
                FakeLastError = kErrorIoIncomplete;
                return false;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool TFakeCommDevice::ClearCommError(TCommHandle, uint32_t* Errors, TCommStat* Stat) {
    std::lock_guard Guard(Lock);
    if (!Enter("ClearCommError"))
        return false;
    *Errors = NextErrors;
    NextErrors = 0;
    Stat->Flags = StatFlags;
    Stat->cbInQue = static_cast<uint32_t>(Input.size());
    Stat->cbOutQue = OutQueue;
    return true;
}

bool TFakeCommDevice::GetCommModemStatus(TCommHandle, uint32_t* Status) {
    std::lock_guard Guard(Lock);
    if (!Enter("GetCommModemStatus"))
        return false;
    *Status = ModemStatus;
    return true;
}

bool TFakeCommDevice::SetCommBreak(TCommHandle) {
    std::lock_guard Guard(Lock);
    if (!Enter("SetCommBreak"))
        return false;
    InBreak = true;
    return true;
}

bool TFakeCommDevice::ClearCommBreak(TCommHandle) {
    std::lock_guard Guard(Lock);
    if (!Enter("ClearCommBreak"))
        return false;
    InBreak = false;
    return true;
}

bool TFakeCommDevice::GetCommState(TCommHandle, TCommDcb* Out) {
    std::lock_guard Guard(Lock);
    if (!Enter("GetCommState"))
        return false;
    *Out = Dcb;
    return true;
}

bool TFakeCommDevice::SetCommState(TCommHandle, const TCommDcb* In) {
    std::lock_guard Guard(Lock);
    if (!Enter("SetCommState"))
        return false;
    if (In->ByteSize > MaxByteSize) {
        FakeLastError = EINVAL;
        return false;
    }
    Dcb = *In;
    return true;
}

bool TFakeCommDevice::GetCommTimeouts(TCommHandle, TCommTimeouts* Out) {
    std::lock_guard Guard(Lock);
    if (!Enter("GetCommTimeouts"))
        return false;
    *Out = Timeouts;
    return true;
}

bool TFakeCommDevice::SetCommTimeouts(TCommHandle, const TCommTimeouts* In) {
    std::lock_guard Guard(Lock);
    if (!Enter("SetCommTimeouts"))
        return false;
    Timeouts = *In;
    return true;
}

bool TFakeCommDevice::SetupComm(TCommHandle, uint32_t, uint32_t) {
    std::lock_guard Guard(Lock);
    return Enter("SetupComm");
}

bool TFakeCommDevice::GetCommProperties(TCommHandle, TCommProp* Props) {
    std::lock_guard Guard(Lock);
    if (!Enter("GetCommProperties"))
        return false;
    std::memset(Props, 0, sizeof *Props);
    Props->dwMaxTxQueue = MaxTxQueue;
    Props->dwMaxRxQueue = MaxRxQueue;
    return true;
}

bool TFakeCommDevice::PurgeComm(TCommHandle, uint32_t Flags) {
    std::lock_guard Guard(Lock);
    if (!Enter("PurgeComm"))
        return false;
    if (Flags & kPurgeRxClear)
        Input.clear();
    return true;
}

bool TFakeCommDevice::TransmitCommChar(TCommHandle, char Ch) {
    std::lock_guard Guard(Lock);
    if (!Enter("TransmitCommChar"))
        return false;
    Output.push_back(static_cast<uint8_t>(Ch));
    return true;
}

bool TFakeCommDevice::WaitReadable(TCommHandle, int TimeoutMs) {
    {
        std::lock_guard Guard(Lock);
        if (!Input.empty())
            return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(TimeoutMs));
    return false;
}

void TFakeCommDevice::SetThreadError(int Code) {
    FakeLastError = Code;
}

int TFakeCommDevice::GetLastError() {
    return FakeLastError;
}

std::string TFakeCommDevice::ErrorText(int Code) {
    return "fake error " + std::to_string(Code);
}
