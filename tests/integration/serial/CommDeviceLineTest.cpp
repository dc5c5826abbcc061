// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "LinePair.h"

#include "platform/CommDevice.h"
#include "platform/SystemError.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

std::u16string PortPath(int Port) {
    std::u16string Path = u"\\\\.\\COM";
    for (char C : std::to_string(Port))
        Path += static_cast<char16_t>(C);
    return Path;
}

// The device on one end of a line pair, opened as the family opens it.
struct TDeviceLine : ::testing::Test {
    TLinePair Line{31};
    std::shared_ptr<TCommDevice> Dev = SystemCommDevice();
    TCommHandle H = kInvalidCommHandle;

    void Open(bool Overlapped) {
        ASSERT_TRUE(Line.Ok());
        H = Dev->CreateFile(PortPath(Line.Port()),
                            kFileFlagNoBuffering | (Overlapped ? kFileFlagOverlapped : 0));
        ASSERT_NE(H, kInvalidCommHandle) << Dev->GetLastError();
        ASSERT_TRUE(Dev->PurgeComm(H, kPurgeRxClear | kPurgeTxClear));
    }
    void SetTimeouts(TCommTimeouts T) { ASSERT_TRUE(Dev->SetCommTimeouts(H, &T)) << Dev->GetLastError(); }
    void TearDown() override {
        if (H != kInvalidCommHandle) {
            EXPECT_TRUE(Dev->CloseHandle(H)) << Dev->GetLastError();
        }
    }
    // Waits (5 s at most) until the input queue holds Count bytes.
    uint32_t WaitForInput(uint32_t Count) {
        TCommStat Stat{};
        uint32_t Errors = 0;
        const auto End = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (Dev->ClearCommError(H, &Errors, &Stat) && Stat.cbInQue < Count &&
               std::chrono::steady_clock::now() < End)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return Stat.cbInQue;
    }
};

TEST_F(TDeviceLine, StateTimeoutsQueuesAndPropertiesRoundTrip) {
    Open(true);
    EXPECT_TRUE(Dev->SetupComm(H, 4096, 2048)) << Dev->GetLastError();
    TCommDcb Dcb{};
    ASSERT_TRUE(Dev->GetCommState(H, &Dcb)) << Dev->GetLastError();
    EXPECT_EQ(Dcb.DCBlength, sizeof(TCommDcb));
    Dcb.BaudRate = 57600;
    Dcb.ByteSize = 8;
    Dcb.Parity = kNoParity;
    Dcb.StopBits = kOneStopBit;
    Dcb.Flags =
        kDcbBinary | (kDtrControlEnable << kDcbDtrControlShift) | (kRtsControlEnable << kDcbRtsControlShift);
    Dcb.XonChar = 0x11;
    Dcb.XoffChar = 0x13;
    ASSERT_TRUE(Dev->SetCommState(H, &Dcb)) << Dev->GetLastError();
    TCommDcb Back{};
    ASSERT_TRUE(Dev->GetCommState(H, &Back));
    EXPECT_EQ(Back.BaudRate, 57600u);
    EXPECT_EQ(Back.ByteSize, 8);
    EXPECT_EQ(Back.Parity, kNoParity);
    EXPECT_EQ(Back.StopBits, kOneStopBit);
    EXPECT_TRUE(Back.Flags & kDcbBinary);
    EXPECT_EQ((Back.Flags >> kDcbDtrControlShift) & 3, kDtrControlEnable);
    EXPECT_EQ(Back.XonChar, 0x11);
    EXPECT_EQ(Back.XoffChar, 0x13);

    for (TCommTimeouts T : {TCommTimeouts{kMaxDword, 0, 0, 0, 1}, TCommTimeouts{10, 2, 30, 4, 50}}) {
        SetTimeouts(T);
        TCommTimeouts Got{};
        ASSERT_TRUE(Dev->GetCommTimeouts(H, &Got));
        EXPECT_EQ(Got.ReadIntervalTimeout, T.ReadIntervalTimeout);
        EXPECT_EQ(Got.ReadTotalTimeoutMultiplier, T.ReadTotalTimeoutMultiplier);
        EXPECT_EQ(Got.ReadTotalTimeoutConstant, T.ReadTotalTimeoutConstant);
        EXPECT_EQ(Got.WriteTotalTimeoutMultiplier, T.WriteTotalTimeoutMultiplier);
        EXPECT_EQ(Got.WriteTotalTimeoutConstant, T.WriteTotalTimeoutConstant);
    }

    TCommProp Props{};
    ASSERT_TRUE(Dev->GetCommProperties(H, &Props)) << Dev->GetLastError();
    // Wine fills in 1 where Windows gives the record's size.
    EXPECT_EQ(Props.wPacketLength, RunningUnderWine() ? 1u : sizeof(TCommProp));
    EXPECT_GT(Props.dwMaxBaud, 0u);
}

TEST_F(TDeviceLine, RefusedSettingsFailWithTheSystemsCode) {
    Open(false);
    TCommDcb Dcb{};
    ASSERT_TRUE(Dev->GetCommState(H, &Dcb));
    TCommDcb Bad = Dcb;
    Bad.ByteSize = 16;
    EXPECT_FALSE(Dev->SetCommState(H, &Bad));
    // Wine refuses the size as not supported (50) rather than as invalid.
    EXPECT_EQ(Dev->GetLastError(), RunningUnderWine() ? 50 : SystemErrorInvalidArgument());
    TCommDcb Back{};
    ASSERT_TRUE(Dev->GetCommState(H, &Back));
    EXPECT_EQ(Back.ByteSize, Dcb.ByteSize);
}

TEST_F(TDeviceLine, QueuedInputPurgeBreakAndPriorityCharacter) {
    Open(true);
    Line.WriteFar("abc");
    EXPECT_EQ(WaitForInput(3), 3u);
    ASSERT_TRUE(Dev->PurgeComm(H, kPurgeRxAbort | kPurgeRxClear));
    TCommStat Stat{};
    uint32_t Errors = 99;
    ASSERT_TRUE(Dev->ClearCommError(H, &Errors, &Stat));
    EXPECT_EQ(Stat.cbInQue, 0u);
    EXPECT_EQ(Errors, 0u);

    EXPECT_TRUE(Dev->SetCommBreak(H)) << Dev->GetLastError();
    EXPECT_TRUE(Dev->ClearCommBreak(H)) << Dev->GetLastError();
    EXPECT_TRUE(Dev->TransmitCommChar(H, 'Z')) << Dev->GetLastError();
    EXPECT_EQ(Line.ReadFar(1), "Z");
}

TEST_F(TDeviceLine, ModemLinesOfAPseudoTerminal) {
    Open(false);
    uint32_t Status = 123;
    // Neither Linux nor Wine can read a pseudo-terminal's lines: they read as
    // off, and the call succeeds so that a worker polling them carries on.
    EXPECT_TRUE(Dev->GetCommModemStatus(H, &Status)) << Dev->GetLastError();
    if (RunningUnderWine()) {
        EXPECT_EQ(Status, 0u);
    }
    EXPECT_EQ(Status & ~(kMsCtsOn | kMsDsrOn | kMsRingOn | kMsRlsdOn), 0u);
}

TEST_F(TDeviceLine, OverlappedWriteFinishesWithItsCount) {
    Open(true);
    SetTimeouts({kMaxDword, 0, 0, 0, 0});
    std::string Out(3000, '\0');
    for (size_t I = 0; I < Out.size(); ++I)
        Out[I] = static_cast<char>(I * 13 + 5);
    TCommOverlapped Record{};
    uint32_t Written = 0;
    if (!Dev->WriteFile(H, Out.data(), static_cast<uint32_t>(Out.size()), &Written, &Record)) {
        ASSERT_EQ(Dev->GetLastError(), kErrorIoPending);
        ASSERT_TRUE(Dev->GetOverlappedResult(H, &Record, &Written, true)) << Dev->GetLastError();
    }
    EXPECT_EQ(Written, Out.size());
    EXPECT_EQ(Line.ReadFar(Out.size()), Out);
}

// The caller may reuse its buffer while the write is pending (the threaded
// port's send buffer moves when it grows): the line carries what it was given.
TEST_F(TDeviceLine, PendingWriteSendsTheBytesItWasGiven) {
    Open(true);
    SetTimeouts({kMaxDword, 0, 0, 0, 0}); // no write time-out: pending until all is sent
    std::string Out(512 * 1024, '\0');
    for (size_t I = 0; I < Out.size(); ++I)
        Out[I] = static_cast<char>('a' + I % 23);
    const std::string Given = Out;
    TCommOverlapped Record{};
    uint32_t Written = 0;
    // Far more than the line holds: the far end reads nothing yet.
    ASSERT_FALSE(Dev->WriteFile(H, Out.data(), static_cast<uint32_t>(Out.size()), &Written, &Record));
    ASSERT_EQ(Dev->GetLastError(), kErrorIoPending);
    Out.assign(Out.size(), '#');
    bool Finished = false;
    std::thread Finisher([&] { Finished = Dev->GetOverlappedResult(H, &Record, &Written, true); });
    const std::string Got = Line.ReadFar(Given.size());
    Finisher.join();
    EXPECT_TRUE(Finished) << Dev->GetLastError();
    EXPECT_EQ(Written, Given.size());
    EXPECT_EQ(Got.size(), Given.size());
    EXPECT_TRUE(Got == Given) << "the line carried bytes changed after the write began";
}

TEST_F(TDeviceLine, OverlappedReadWaitsForItsBytes) {
    Open(true);
    SetTimeouts({0, 0, 0, 0, 0}); // no time-out: the read ends with its count
    TCommOverlapped Record{};
    char Buffer[5] = {};
    uint32_t Read = 0;
    ASSERT_FALSE(Dev->ReadFile(H, Buffer, sizeof Buffer, &Read, &Record));
    ASSERT_EQ(Dev->GetLastError(), kErrorIoPending);
    EXPECT_FALSE(Dev->GetOverlappedResult(H, &Record, &Read, false));
    EXPECT_EQ(Dev->GetLastError(), kErrorIoIncomplete);
    Line.WriteFar("hello");
    ASSERT_TRUE(Dev->GetOverlappedResult(H, &Record, &Read, true)) << Dev->GetLastError();
    EXPECT_EQ(Read, 5u);
    EXPECT_EQ(std::string(Buffer, 5), "hello");
}

// A read and a write pending at once on one handle finish each with its own count.
TEST_F(TDeviceLine, AReadAndAWritePendingTogetherKeepTheirOwnResults) {
    Open(true);
    SetTimeouts({0, 0, 0, 0, 0});
    TCommOverlapped ReadRecord{}, WriteRecord{};
    char Buffer[2] = {};
    uint32_t Read = 0;
    ASSERT_FALSE(Dev->ReadFile(H, Buffer, sizeof Buffer, &Read, &ReadRecord));
    ASSERT_EQ(Dev->GetLastError(), kErrorIoPending);
    const std::string Out(3000, 'w');
    uint32_t Written = 0;
    if (!Dev->WriteFile(H, Out.data(), static_cast<uint32_t>(Out.size()), &Written, &WriteRecord)) {
        ASSERT_EQ(Dev->GetLastError(), kErrorIoPending);
        ASSERT_TRUE(Dev->GetOverlappedResult(H, &WriteRecord, &Written, true)) << Dev->GetLastError();
    }
    EXPECT_EQ(Written, Out.size());
    EXPECT_EQ(Line.ReadFar(Out.size()), Out);
    EXPECT_FALSE(Dev->GetOverlappedResult(H, &ReadRecord, &Read, false));
    EXPECT_EQ(Dev->GetLastError(), kErrorIoIncomplete);
    Line.WriteFar("hi");
    ASSERT_TRUE(Dev->GetOverlappedResult(H, &ReadRecord, &Read, true)) << Dev->GetLastError();
    EXPECT_EQ(std::string(Buffer, Read), "hi");
}

TEST_F(TDeviceLine, ClosingWithAReadPendingEndsItAndFreesThePort) {
    Open(true);
    SetTimeouts({0, 0, 0, 0, 0});
    TCommOverlapped Record{};
    char Buffer[8];
    uint32_t Read = 0;
    ASSERT_FALSE(Dev->ReadFile(H, Buffer, sizeof Buffer, &Read, &Record));
    ASSERT_EQ(Dev->GetLastError(), kErrorIoPending);
    EXPECT_TRUE(Dev->CloseHandle(H)) << Dev->GetLastError();
    H = kInvalidCommHandle;
    EXPECT_EQ(Record.hEvent, nullptr); // no event of the closed handle is left in it
    // The record is ready for the next handle, which reads normally.
    Open(true);
    SetTimeouts({0, 0, 0, 0, 0});
    ASSERT_FALSE(Dev->ReadFile(H, Buffer, 2, &Read, &Record));
    ASSERT_EQ(Dev->GetLastError(), kErrorIoPending);
    Line.WriteFar("ok");
    ASSERT_TRUE(Dev->GetOverlappedResult(H, &Record, &Read, true)) << Dev->GetLastError();
    EXPECT_EQ(std::string(Buffer, Read), "ok");
}

TEST_F(TDeviceLine, ImmediateReadTakesWhatIsQueued) {
    Open(true);
    SetTimeouts({kMaxDword, 0, 0, 0, 0});
    Line.WriteFar("xyz");
    ASSERT_EQ(WaitForInput(3), 3u);
    TCommOverlapped Record{};
    char Buffer[64];
    uint32_t Read = 0;
    if (!Dev->ReadFile(H, Buffer, sizeof Buffer, &Read, &Record)) {
        ASSERT_EQ(Dev->GetLastError(), kErrorIoPending);
        ASSERT_TRUE(Dev->GetOverlappedResult(H, &Record, &Read, true)) << Dev->GetLastError();
    }
    EXPECT_EQ(std::string(Buffer, Read), "xyz");
}

TEST_F(TDeviceLine, ImmediateReadWithNothingQueuedEndsAtOnce) {
    Open(true);
    SetTimeouts({kMaxDword, 0, 0, 0, 0});
    TCommOverlapped Record{};
    char Buffer[16];
    uint32_t Read = 7;
    if (Dev->ReadFile(H, Buffer, sizeof Buffer, &Read, &Record)) {
        EXPECT_EQ(Read, 0u);
        return;
    }
    ASSERT_EQ(Dev->GetLastError(), kErrorIoPending);
    if (RunningUnderWine()) {
        // Wine keeps such a read pending until a byte arrives, where Windows
        // ends it at once with none; the byte then completes it.
        Line.WriteFar("!");
        ASSERT_TRUE(Dev->GetOverlappedResult(H, &Record, &Read, true)) << Dev->GetLastError();
        EXPECT_EQ(std::string(Buffer, Read), "!");
        return;
    }
    ASSERT_TRUE(Dev->GetOverlappedResult(H, &Record, &Read, true)) << Dev->GetLastError();
    EXPECT_EQ(Read, 0u);
}

TEST_F(TDeviceLine, ReadsEndAtTheirTotalTimeOutWithWhatCame) {
    for (bool Overlapped : {false, true}) {
        SCOPED_TRACE(Overlapped ? "overlapped" : "plain");
        Open(Overlapped);
        SetTimeouts({0, 0, 50, 0, 0});
        TCommOverlapped Record{};
        TCommOverlapped* Ov = Overlapped ? &Record : nullptr;
        char Buffer[10];
        uint32_t Read = 7;
        bool Ok = Dev->ReadFile(H, Buffer, sizeof Buffer, &Read, Ov);
        if (!Ok && Overlapped && Dev->GetLastError() == kErrorIoPending)
            Ok = Dev->GetOverlappedResult(H, &Record, &Read, true);
        if (RunningUnderWine() && !Ok) {
            // Wine fails the read with ERROR_TIMEOUT where Windows succeeds with what came.
            EXPECT_EQ(Dev->GetLastError(), 1460);
        } else {
            EXPECT_TRUE(Ok) << Dev->GetLastError();
        }
        EXPECT_EQ(Read, 0u);
        Line.WriteFar("late");
        SetTimeouts({0, 0, 5000, 0, 0});
        Read = 0;
        Ok = Dev->ReadFile(H, Buffer, 4, &Read, Ov);
        if (!Ok && Overlapped && Dev->GetLastError() == kErrorIoPending)
            Ok = Dev->GetOverlappedResult(H, &Record, &Read, true);
        ASSERT_TRUE(Ok) << Dev->GetLastError();
        EXPECT_EQ(std::string(Buffer, Read), "late");
        ASSERT_TRUE(Dev->CloseHandle(H));
        H = kInvalidCommHandle;
    }
}

TEST_F(TDeviceLine, PortsOpenExclusivelyAndMissingOnesFail) {
    Open(false);
    const TMissingPort Missing = MissingPort();
    EXPECT_EQ(Dev->CreateFile(PortPath(Missing.Port), kFileFlagNoBuffering), kInvalidCommHandle);
    EXPECT_EQ(Dev->GetLastError(), Missing.Error);
    const TCommHandle Second = Dev->CreateFile(PortPath(Line.Port()), kFileFlagNoBuffering);
    if (Second != kInvalidCommHandle && RunningUnderWine()) {
        Dev->CloseHandle(Second);
        GTEST_SKIP() << "Wine lets a second exclusive open of a COM port succeed";
    }
    EXPECT_EQ(Second, kInvalidCommHandle);
    EXPECT_EQ(Dev->GetLastError(), PortBusyError());
}

} // namespace
