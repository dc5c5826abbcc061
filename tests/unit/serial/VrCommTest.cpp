// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "VrComm.h"
#include "FakeCommDevice.h"
#include "platform/SystemError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <memory>

namespace {

struct TCommFixture : ::testing::Test {
    std::shared_ptr<TFakeCommDevice> Fake = std::make_shared<TFakeCommDevice>();
    std::unique_ptr<TVrCustomComm> Comm = std::make_unique<TVrCustomComm>(nullptr, Fake);
    std::vector<std::pair<TVrCommErrorAt, int32_t>> Reported;

    void RecordErrors(bool Throw) {
        Comm->SetOnError([this, Throw](TComponent*, TVrCommErrorAt At, int32_t Error, bool& ThrowException) {
            Reported.emplace_back(At, Error);
            ThrowException = Throw;
        });
    }
    void OpenQuietly() {
        ASSERT_EQ(Comm->Open(), 0);
        ASSERT_TRUE(Comm->GetOpened());
    }
};

TEST_F(TCommFixture, NewComponentHasTheLineDefaults) {
    EXPECT_EQ(Comm->GetBaudRate(), 1200);
    EXPECT_EQ(Comm->GetByteSize(), vbs7Bits);
    EXPECT_EQ(Comm->GetParityBit(), vpbNone);
    EXPECT_EQ(Comm->GetStopBit(), vsb1StopBit);
    EXPECT_TRUE(Comm->GetCheckParity());
    EXPECT_EQ(Comm->GetDtrLine(), vdlKeepOn);
    EXPECT_EQ(Comm->GetRtsLine(), vrlKeepOn);
    EXPECT_TRUE(Comm->GetSilentWithXOff());
    EXPECT_EQ(Comm->GetFlowControl(), vfcManual);
    EXPECT_EQ(Comm->GetXOnThreshold(), 128);
    EXPECT_EQ(Comm->GetXOffThreshold(), 192);
    EXPECT_EQ(Comm->GetXOnChar(), 17);
    EXPECT_EQ(Comm->GetXOffChar(), 19);
    EXPECT_EQ(Comm->GetEofChar(), 3);
    EXPECT_EQ(Comm->GetSendBufferSize(), 256);
    EXPECT_EQ(Comm->GetReceiveBufferSize(), 256);
    EXPECT_EQ(Comm->GetReceiveIntervalTimeout(), 0xFFFFFFFFu);
    EXPECT_EQ(Comm->GetReceiveTimeoutConstant(), 0u);
    EXPECT_EQ(Comm->GetSendTimeoutConstant(), 0u);
    EXPECT_EQ(Comm->CurrentDcb()->DCBlength, 28u);
    EXPECT_FALSE(Comm->GetOverlapped());
    EXPECT_EQ(Comm->GetPortNumber(), 1);
}

TEST_F(TCommFixture, ClosedWritersApplyAtOnceAndIgnoreInvalidValues) {
    Comm->SetBaudRate(0);
    EXPECT_EQ(Comm->GetBaudRate(), 1200);
    Comm->SetPortNumber(0);
    Comm->SetPortNumber(-3);
    EXPECT_EQ(Comm->GetPortNumber(), 1);
    // The XOn character may not equal the XOff one; swapping needs a third value.
    Comm->SetXOnChar(19);
    EXPECT_EQ(Comm->GetXOnChar(), 17);
    Comm->SetXOnChar(1);
    Comm->SetXOffChar(17);
    Comm->SetXOnChar(19);
    EXPECT_EQ(Comm->GetXOnChar(), 19);
    EXPECT_EQ(Comm->GetXOffChar(), 17);
    Comm->SetEofChar(200);
    EXPECT_EQ(Comm->GetEofChar(), -56);
    Comm->SetEofChar(-56);
    EXPECT_EQ(Comm->GetEofChar(), -56);
    EXPECT_EQ(Comm->CurrentDcb()->EofChar, static_cast<char>(200));
    Comm->SetParityBit(vpbMark);
    EXPECT_EQ(Comm->CurrentDcb()->Parity, 3);
    EXPECT_EQ(Comm->GetParityBit(), vpbMark);
    Comm->SetParityBit(vpbSpace);
    EXPECT_EQ(Comm->CurrentDcb()->Parity, 4);
    EXPECT_EQ(Comm->GetParityBit(), vpbSpace);
    Comm->SetByteSize(vbs16Bits);
    EXPECT_EQ(Comm->CurrentDcb()->ByteSize, 16);
}

TEST_F(TCommFixture, FlowControlPresetsGateTheHandshakeWriters) {
    Comm->SetFlowControl(vfcManual); // already manual: nothing is written
    EXPECT_TRUE(Comm->GetSilentWithXOff());
    Comm->SetFlowControl(vfcHardware);
    EXPECT_TRUE(Comm->GetRequireCts());
    EXPECT_EQ(Comm->GetDtrLine(), vdlHandShake);
    EXPECT_EQ(Comm->GetRtsLine(), vrlHandShake);
    EXPECT_FALSE(Comm->GetSilentWithXOff());
    Comm->SetRequireCts(false);
    EXPECT_TRUE(Comm->GetRequireCts());
    Comm->SetFlowControl(vfcXOnXOff);
    EXPECT_FALSE(Comm->GetRequireCts());
    EXPECT_TRUE(Comm->GetUseXControl());
    EXPECT_TRUE(Comm->GetAcceptXControl());
    EXPECT_TRUE(Comm->GetSilentWithXOff());
    Comm->SetFlowControl(vfcManual);
    EXPECT_FALSE(Comm->GetSilentWithXOff());
    EXPECT_FALSE(Comm->GetUseXControl());
    Comm->SetRequireCts(true);
    EXPECT_TRUE(Comm->GetRequireCts());
}

TEST_F(TCommFixture, ReceiveSizeLowersOnlyThresholdsAboveIt) {
    Comm->SetReceiveBufferSize(100);
    EXPECT_EQ(Comm->GetXOnThreshold(), 50);
    EXPECT_EQ(Comm->GetXOffThreshold(), 75);
    Comm->SetReceiveBufferSize(1000);
    EXPECT_EQ(Comm->GetXOnThreshold(), 50);
    EXPECT_EQ(Comm->GetXOffThreshold(), 75);
}

TEST_F(TCommFixture, RefusedQueueSizesTakeTheMaximaAndReportDifferently) {
    RecordErrors(false);
    OpenQuietly();
    Fake->FailCall["SetupComm"] = EINVAL;
    Comm->SetSendBufferSize(9000);
    EXPECT_EQ(Comm->GetSendBufferSize(), 4096);
    EXPECT_EQ(Reported.size(), 1u); // a refused send size is always reported
    Fake->MaxRxQueue = 64;
    Comm->SetReceiveBufferSize(9000);
    EXPECT_EQ(Comm->GetReceiveBufferSize(), 64);
    EXPECT_EQ(Reported.size(), 1u); // a refused receive size only when the maxima are unknown
    EXPECT_EQ(Comm->GetXOnThreshold(), 32);
    EXPECT_EQ(Comm->GetXOffThreshold(), 48);

    // A device without maxima leaves the sizes as they were, not 0.
    Fake->MaxTxQueue = 0;
    Fake->MaxRxQueue = 0;
    Comm->SetSendBufferSize(100);
    Comm->SetReceiveBufferSize(100);
    EXPECT_EQ(Comm->GetSendBufferSize(), 4096);
    EXPECT_EQ(Comm->GetReceiveBufferSize(), 64);

    Fake->FailCall["GetCommProperties"] = EIO;
    Comm->SetReceiveBufferSize(50);
    EXPECT_EQ(Comm->GetReceiveBufferSize(), 64);
    ASSERT_EQ(Reported.size(), 3u);
    EXPECT_EQ(Reported.back(), std::make_pair(vcaProperty, int32_t{EINVAL}));
    Fake->FailCall.clear();
}

TEST_F(TCommFixture, OpenAppliesEverySettingAndTimeoutsSkipEqualValues) {
    Comm->SetPortNumber(12);
    Comm->SetBaudRate(9600);
    OpenQuietly();
    EXPECT_EQ(Fake->OpenedPath, u"\\\\.\\COM12");
    EXPECT_EQ(Fake->Dcb.BaudRate, 9600u);
    EXPECT_EQ(Fake->Timeouts.ReadIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(Fake->CallCount("SetupComm"), 1);
    EXPECT_EQ(Fake->CallCount("PurgeComm"), 1);
    Comm->SetPortNumber(3); // ignored while open
    EXPECT_EQ(Comm->GetPortNumber(), 12);
    EXPECT_EQ(Comm->Open(), 0); // a second open re-applies nothing
    EXPECT_EQ(Fake->CallCount("SetCommState"), 1);
    Comm->SetReceiveTimeoutConstant(0);
    EXPECT_EQ(Fake->CallCount("SetCommTimeouts"), 1);
    Comm->SetReceiveTimeoutConstant(5);
    EXPECT_EQ(Fake->CallCount("SetCommTimeouts"), 2);
    EXPECT_EQ(Fake->Timeouts.ReadTotalTimeoutConstant, 5u);
}

TEST_F(TCommFixture, RefusedSettingReportsAndReadsBackTheDevice) {
    RecordErrors(true);
    OpenQuietly();
    try {
        Comm->SetByteSize(vbs16Bits);
        FAIL() << "no exception";
    } catch (const EPropertyError& E) {
        EXPECT_EQ(std::string(E.what()), "その他 : fake error " + std::to_string(EINVAL));
    }
    ASSERT_EQ(Reported.size(), 1u);
    EXPECT_EQ(Reported[0], std::make_pair(vcaProperty, int32_t(EINVAL)));
    EXPECT_EQ(Comm->GetByteSize(), vbs7Bits);
    EXPECT_EQ(Comm->RequestedDcb()->ByteSize, 7);
}

TEST_F(TCommFixture, OpenOfMissingPortReportsStageOpenAndStaysClosed) {
    Fake->OpenError = ENOENT;
    try {
        Comm->Open();
        FAIL() << "no exception";
    } catch (const EPropertyError& E) {
        EXPECT_EQ(std::string(E.what()), "開始 : fake error " + std::to_string(ENOENT));
    }
    EXPECT_FALSE(Comm->GetOpened());
    EXPECT_EQ(Comm->GetLastError(), ENOENT);
}

TEST_F(TCommFixture, OpenFailingAfterTheDeviceOpenedClosesAgain) {
    Fake->FailCall["SetCommTimeouts"] = EIO;
    RecordErrors(false);
    EXPECT_EQ(Comm->Open(), EIO);
    EXPECT_FALSE(Comm->GetOpened());
    EXPECT_FALSE(Fake->IsOpen);
    EXPECT_EQ(Reported.at(0).first, vcaProperty);
}

TEST_F(TCommFixture, HandlerThatClearsThrowExceptionGetsTheCode) {
    RecordErrors(false);
    EXPECT_EQ(Comm->ReportError(vcaSend, 5), 5);
    EXPECT_EQ(Comm->GetLastError(), 5);
    ASSERT_EQ(Reported.size(), 1u);
    // No code and no thread error: nothing at all.
    Fake->SetThreadError(0);
    EXPECT_EQ(Comm->ReportError(vcaSend, 0), 0);
    EXPECT_EQ(Reported.size(), 1u);
    Comm->SetOnError(nullptr);
    Comm->SetSuppressException(true);
    EXPECT_EQ(Comm->ReportError(vcaReceive, 7), 7);
}

class THidingComm : public TVrCustomComm {
public:
    using TVrCustomComm::TVrCustomComm;

protected:
    int32_t FilterError(TVrCommErrorAt ErrorAt, int32_t Error) override {
        return ErrorAt == vcaSend ? 0 : Error;
    }
};

TEST(VrCommFilter, FilterErrorHidesAnError) {
    auto Fake = std::make_shared<TFakeCommDevice>();
    THidingComm Comm(nullptr, Fake);
    int Calls = 0;
    Comm.SetOnError([&](TComponent*, TVrCommErrorAt, int32_t, bool&) { ++Calls; });
    ASSERT_EQ(Comm.Open(), 0);
    Fake->FailCall["WriteFile"] = EIO;
    EXPECT_EQ(Comm.Send("ab", 2), 0);
    EXPECT_EQ(Calls, 0);
    EXPECT_EQ(Comm.GetLastError(), 0);
    EXPECT_THROW(Comm.ReportError(vcaReceive, EIO), EPropertyError);
    EXPECT_EQ(Calls, 1);
}

TEST_F(TCommFixture, TransfersOnClosedPortDoNothing) {
    RecordErrors(true);
    char B[4];
    EXPECT_EQ(Comm->Send("abc", 3), 0);
    EXPECT_EQ(Comm->Receive(B, 4), 0);
    EXPECT_EQ(Comm->SendChar('x'), 0);
    Comm->SetBreak(true);
    EXPECT_FALSE(Comm->GetBreak());
    EXPECT_TRUE(Reported.empty());
    EXPECT_TRUE(Fake->Calls.empty());
}

TEST_F(TCommFixture, FailedWriteIsNegatedAndClearsTheLine) {
    OpenQuietly();
    Fake->FailCall["WriteFile"] = EIO;
    EXPECT_EQ(Comm->WritePort("ab", 2), -EIO);
    EXPECT_FALSE(Comm->GetSendPending());
    EXPECT_EQ(Fake->Calls.back(), "ClearCommError");
    RecordErrors(false);
    EXPECT_EQ(Comm->Send("ab", 2), 0);
    EXPECT_EQ(Reported.at(0), std::make_pair(vcaSend, int32_t(EIO)));
}

// The device takes counts unsigned; a negative one must never reach it.
TEST_F(TCommFixture, NegativeCountsAreRefusedBeforeTheDevice) {
    OpenQuietly();
    RecordErrors(false);
    char B[4] = {};
    const int32_t Invalid = SystemErrorInvalidArgument();
    EXPECT_EQ(Comm->WritePort("ab", -1), -Invalid);
    EXPECT_EQ(Comm->ReadPort(B, -1), -Invalid);
    EXPECT_EQ(Comm->Send("ab", -2), 0);
    EXPECT_EQ(Comm->Receive(B, INT32_MIN), 0);
    EXPECT_EQ(Reported,
              (std::vector<std::pair<TVrCommErrorAt, int32_t>>{{vcaSend, Invalid}, {vcaReceive, Invalid}}));
    EXPECT_EQ(Fake->CallCount("WriteFile"), 0);
    EXPECT_EQ(Fake->CallCount("ReadFile"), 0);
    EXPECT_TRUE(Fake->Output.empty());
}

// A handle whose close failed is gone all the same (Linux frees the
// descriptor): the port must read closed and never use it again.
TEST_F(TCommFixture, FailedCloseStillClosesThePort) {
    OpenQuietly();
    RecordErrors(false);
    Fake->FailCall["CloseHandle"] = EIO;
    EXPECT_EQ(Comm->Close(), EIO);
    EXPECT_EQ(Reported.at(0), std::make_pair(vcaClose, int32_t(EIO)));
    EXPECT_FALSE(Comm->GetOpened());
    EXPECT_EQ(Comm->GetHandle(), kInvalidCommHandle);
    const size_t CallsAfterClose = Fake->Calls.size();
    uint32_t Status;
    EXPECT_EQ(Comm->GetModemStatus(Status), 0);
    EXPECT_EQ(Comm->Send("ab", 2), 0);
    EXPECT_EQ(Comm->Close(), 0);
    EXPECT_EQ(Fake->Calls.size(), CallsAfterClose);
    Fake->FailCall.clear();
    EXPECT_EQ(Comm->Open(), 0);
    EXPECT_EQ(Fake->CallCount("CreateFile"), 2);
}

TEST(VrCommIo, OverlappedWriteStaysPendingUntilTheDeviceFinishes) {
    auto Fake = std::make_shared<TFakeCommDevice>();
    TVrCustomComm Comm(nullptr, Fake);
    Comm.SetOverlapped(true);
    ASSERT_EQ(Comm.Open(), 0);
    Comm.SetOverlapped(false); // ignored while open
    EXPECT_TRUE(Comm.GetOverlapped());
    Fake->WritesPend = true;
    EXPECT_EQ(Comm.WritePort("hello", 5), 0);
    EXPECT_TRUE(Comm.GetSendPending());
    EXPECT_EQ(Comm.CompletePending(true, false), 0);
    EXPECT_TRUE(Comm.GetSendPending());
    Fake->PendingDone = true;
    EXPECT_EQ(Comm.CompletePending(true, false), 5);
    EXPECT_FALSE(Comm.GetSendPending());
    // Open again on an open port leaves a pending flag alone; a close clears it.
    Fake->PendingDone = false;
    EXPECT_EQ(Comm.WritePort("x", 1), 0);
    EXPECT_EQ(Comm.OpenPort(), 0);
    EXPECT_TRUE(Comm.GetSendPending());
    EXPECT_EQ(Comm.Close(), 0);
    EXPECT_FALSE(Comm.GetSendPending());
    EXPECT_EQ(Comm.ClosePort(), 0);
}

struct TErrorRow {
    uint32_t Flags;
    TVrCommEvents Expected;
};

TEST_F(TCommFixture, LineErrorFlagsBecomeEventsInOrder) {
    OpenQuietly();
    const TErrorRow Rows[] = {
        {kCeRxParity, {vevErrParity, vevError}},
        {kCeIoe | kCeFrame, {vevErrIo, vevError}},
        {kCeBreak, {vevBreak, vevError}},
        {0x0020, {vevErrUnknown, vevError}},
        {kCeOverrun | kCeRxOver | kCeTxFull | kCeMode,
         {vevErrOverrun, vevErrReceiveOver, vevErrSendFull, vevErrMode, vevError}},
    };
    TVrCommEvents Events;
    Comm->PollEvents(Events); // settles the signal set
    for (const TErrorRow& Row : Rows) {
        Fake->NextErrors = Row.Flags;
        EXPECT_EQ(Comm->PollEvents(Events), 0);
        EXPECT_EQ(Events, Row.Expected) << "flags " << Row.Flags;
    }
    EXPECT_EQ(Comm->PollEvents(Events), 0);
    EXPECT_TRUE(Events.Empty());
}

TEST_F(TCommFixture, PollsTrackSignalsInputAndFinishedWrites) {
    Comm->SetOverlapped(true);
    OpenQuietly();
    Fake->ModemStatus = kMsCtsOn;
    TVrCommEvents Events;
    EXPECT_EQ(Comm->PollEvents(Events), 0);
    EXPECT_EQ(Events, (TVrCommEvents{vevCts})); // XOn was set by Open
    EXPECT_EQ(Comm->GetSignals(), (TVrCommEvents{vevCts, vevXOn}));
    Fake->StatFlags = kComStatXoffHold;
    Fake->ModemStatus = kMsDsrOn | kMsRlsdOn;
    Fake->Feed("z");
    Comm->PollEvents(Events);
    EXPECT_EQ(Events, (TVrCommEvents{vevReceive, vevCts, vevDsr, vevRlsd, vevXOn}));
    Fake->WritesPend = true;
    Comm->WritePort("q", 1);
    Fake->Input.clear();
    Comm->PollEvents(Events);
    EXPECT_EQ(Events, (TVrCommEvents{vevSent}));
}

TEST_F(TCommFixture, FailedModemQueryIsReportedAsOther) {
    OpenQuietly();
    RecordErrors(false);
    Fake->FailCall["GetCommModemStatus"] = EIO;
    TVrCommEvents Events;
    EXPECT_EQ(Comm->PollEvents(Events), EIO);
    EXPECT_EQ(Reported.at(0), std::make_pair(vcaOther, int32_t(EIO)));
}

TEST_F(TCommFixture, BreakFollowsTheDevice) {
    OpenQuietly();
    Comm->SetBreak(true);
    EXPECT_TRUE(Fake->InBreak);
    EXPECT_TRUE(Comm->GetBreak());
    RecordErrors(false);
    Fake->FailCall["ClearCommBreak"] = EIO;
    Comm->SetBreak(false);
    EXPECT_TRUE(Comm->GetBreak());
    EXPECT_EQ(Reported.at(0).first, vcaSend);
    Fake->FailCall.clear();
    Comm->SetBreak(false);
    EXPECT_FALSE(Fake->InBreak);
    Comm->SetBreak(true);
    Comm->Close();
    EXPECT_FALSE(Comm->GetBreak());
}

TEST_F(TCommFixture, DestroyingAnOpenComponentReportsNothing) {
    OpenQuietly();
    RecordErrors(true);
    Fake->FailCall["PurgeComm"] = EIO;
    Fake->FailCall["CloseHandle"] = EIO;
    Comm.reset();
    EXPECT_TRUE(Reported.empty());
    EXPECT_GE(Fake->CallCount("CloseHandle"), 1);
}

TEST_F(TCommFixture, AssignCopiesSettingsAndTheClosedPortNumber) {
    TVrCustomComm Source(nullptr, Fake);
    Source.SetPortNumber(7);
    Source.SetBaudRate(57600);
    Source.SetReceiveBufferSize(512);
    Source.SetFlowControl(vfcXOnXOff);
    Source.SetReceiveTimeoutConstant(9);
    Comm->Assign(&Source);
    EXPECT_EQ(Comm->GetPortNumber(), 7);
    EXPECT_EQ(Comm->GetBaudRate(), 57600);
    EXPECT_EQ(Comm->GetReceiveBufferSize(), 512);
    EXPECT_EQ(Comm->GetFlowControl(), vfcXOnXOff);
    EXPECT_TRUE(Comm->GetUseXControl());
    EXPECT_EQ(Comm->GetReceiveTimeoutConstant(), 9u);
    TComponent Other(nullptr);
    Comm->Assign(&Other);
    EXPECT_EQ(Comm->GetBaudRate(), 57600);
}

TEST(VrComponent, OwnerDestroysWhatItOwns) {
    auto Fake = std::make_shared<TFakeCommDevice>();
    auto* Owner = new TComponent(nullptr);
    auto* Comm = new TVrCustomComm(Owner, Fake);
    Comm->SetOnError(
        [](TComponent*, TVrCommErrorAt, int32_t, bool&) { FAIL() << "reported while destroyed"; });
    ASSERT_EQ(Comm->Open(), 0);
    EXPECT_EQ(Owner->GetComponentCount(), 1);
    delete Owner;
    EXPECT_FALSE(Fake->IsOpen);
}

} // namespace
