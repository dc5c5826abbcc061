// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

// A scripted serial device for tests: it keeps one port's state in memory,
// records the calls, and fails the calls a test asks it to fail.

#include "platform/CommDevice.h"

#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class TFakeCommDevice : public TCommDevice {
public:
    // Scripting; tests set these between calls (they are guarded by Lock).
    std::mutex Lock;
    int OpenError = 0;                   // CreateFile fails with it
    std::map<std::string, int> FailCall; // call name -> error code, until cleared
    int MaxByteSize = 8;                 // SetCommState refuses larger ByteSize with EINVAL
    uint32_t ModemStatus = 0;            // MS_* bits
    uint32_t NextErrors = 0;             // returned (and cleared) by the next ClearCommError
    uint32_t StatFlags = 0;              // COMSTAT flags
    uint32_t OutQueue = 0;               // cbOutQue
    uint32_t MaxTxQueue = 4096;          // COMMPROP maxima; 0 means none
    uint32_t MaxRxQueue = 2048;
    bool WritesPend = false;        // overlapped writes come back pending
    bool PendingDone = false;       // a pending write has finished
    std::deque<uint8_t> Input;      // bytes the line delivers
    std::vector<uint8_t> Output;    // bytes written
    std::vector<std::string> Calls; // call names, in order
    TCommDcb Dcb{};                 // the device's state
    TCommTimeouts Timeouts{};
    bool InBreak = false;
    bool IsOpen = false;
    std::u16string OpenedPath;

    void Feed(std::string_view Bytes);
    int CallCount(const std::string& Name);
    static void SetThreadError(int Code); // what GetLastError gives on this thread

    TCommHandle CreateFile(std::u16string_view Path, uint32_t Flags) override;
    bool CloseHandle(TCommHandle Handle) override;
    bool WriteFile(TCommHandle Handle, const void* Data, uint32_t Count, uint32_t* Written,
                   TCommOverlapped* Overlapped) override;
    bool ReadFile(TCommHandle Handle, void* Buffer, uint32_t Count, uint32_t* Read,
                  TCommOverlapped* Overlapped) override;
    bool GetOverlappedResult(TCommHandle Handle, TCommOverlapped* Overlapped, uint32_t* Transferred,
                             bool Wait) override;
    bool ClearCommError(TCommHandle Handle, uint32_t* Errors, TCommStat* Stat) override;
    bool GetCommModemStatus(TCommHandle Handle, uint32_t* Status) override;
    bool SetCommBreak(TCommHandle Handle) override;
    bool ClearCommBreak(TCommHandle Handle) override;
    bool GetCommState(TCommHandle Handle, TCommDcb* Dcb) override;
    bool SetCommState(TCommHandle Handle, const TCommDcb* Dcb) override;
    bool GetCommTimeouts(TCommHandle Handle, TCommTimeouts* Timeouts) override;
    bool SetCommTimeouts(TCommHandle Handle, const TCommTimeouts* Timeouts) override;
    bool SetupComm(TCommHandle Handle, uint32_t InQueue, uint32_t OutQueue) override;
    bool GetCommProperties(TCommHandle Handle, TCommProp* Props) override;
    bool PurgeComm(TCommHandle Handle, uint32_t Flags) override;
    bool TransmitCommChar(TCommHandle Handle, char Ch) override;
    bool WaitReadable(TCommHandle Handle, int TimeoutMs) override;
    int GetLastError() override;
    std::string ErrorText(int Code) override;

private:
    bool Enter(const char* Name); // records the call; false when scripted to fail
    uint32_t PendingCount = 0;
};
