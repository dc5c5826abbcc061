// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "VrComm.h"

#include <cstring>

TVrCustomComm::TVrCustomComm(TComponent* Owner, std::shared_ptr<TCommDevice> Device)
    : TVrCustomCommIo(Owner, std::move(Device)) {
    std::memset(&FAppliedDcb, 0, sizeof FAppliedDcb);
    FAppliedDcb.DCBlength = sizeof(TCommDcb);
    FAppliedDcb.BaudRate = 1200;
    FAppliedDcb.Flags = kDcbBinary | kDcbParity | (kDtrControlEnable << kDcbDtrControlShift) |
                        (kRtsControlEnable << kDcbRtsControlShift);
    FAppliedDcb.XonLim = 128;
    FAppliedDcb.XoffLim = 192;
    FAppliedDcb.ByteSize = 7;
    FAppliedDcb.Parity = kNoParity;
    FAppliedDcb.StopBits = kOneStopBit;
    FAppliedDcb.XonChar = 0x11;
    FAppliedDcb.XoffChar = 0x13;
    FAppliedDcb.EofChar = 3;
    FRequestedDcb = FAppliedDcb;
    FAppliedTimeouts = {kMaxDword, 0, 0, 0, 0};
    FRequestedTimeouts = FAppliedTimeouts;
}

TVrCustomComm::~TVrCustomComm() {
    BeginDestroy();
    if (GetOpened())
        CloseOwn();
}

void TVrCustomComm::Assign(const TComponent* Source) {
    TVrCustomCommIo::Assign(Source);
    auto* From = dynamic_cast<const TVrCustomComm*>(Source);
    if (!From)
        return;
    SetSendBufferSize(From->GetSendBufferSize());
    SetReceiveBufferSize(From->GetReceiveBufferSize());
    FRequestedDcb = From->FRequestedDcb;
    ApplyState(false);
    FRequestedTimeouts = From->FRequestedTimeouts;
    ApplyTimeouts(false);
    SetFlowControl(From->GetFlowControl());
}

void TVrCustomComm::ResetIoState() {
    FBreak = false;
    FSignals = 0;
    TVrCustomCommIo::ResetIoState();
}

int32_t TVrCustomComm::ApplyState(bool Force) {
    if (!Force && std::memcmp(&FAppliedDcb, &FRequestedDcb, sizeof(TCommDcb)) == 0)
        return 0;
    const int32_t E = SetState(FRequestedDcb);
    if (E == 0) {
        FAppliedDcb = FRequestedDcb;
        return 0;
    }
    // Show what the device really holds. When even that read fails the
    // applied copy keeps its last good value rather than the zeroed read.
    TCommDcb Device;
    if (GetState(Device) == 0) {
        FAppliedDcb = Device;
        FRequestedDcb = FAppliedDcb;
    }
    return ReportError(vcaProperty, E);
}

int32_t TVrCustomComm::ApplyTimeouts(bool Force) {
    if (!Force && std::memcmp(&FAppliedTimeouts, &FRequestedTimeouts, sizeof(TCommTimeouts)) == 0)
        return 0;
    const int32_t E = SetTimeouts(FRequestedTimeouts);
    if (E == 0) {
        FAppliedTimeouts = FRequestedTimeouts;
        return 0;
    }
    TCommTimeouts Device;
    if (GetTimeouts(Device) == 0) {
        FAppliedTimeouts = Device;
        FRequestedTimeouts = FAppliedTimeouts;
    }
    return ReportError(vcaProperty, E);
}

const TCommDcb* TVrCustomComm::CurrentDcb() const {
    return &FAppliedDcb;
}
const TCommDcb* TVrCustomComm::RequestedDcb() const {
    return &FRequestedDcb;
}

bool TVrCustomComm::GetFlag(uint32_t Bit) const {
    return FAppliedDcb.Flags & Bit;
}

void TVrCustomComm::SetFlag(uint32_t Bit, bool Value, bool ManualOnly) {
    if (ManualOnly && FFlowControl != vfcManual)
        return;
    FRequestedDcb.Flags = Value ? FRequestedDcb.Flags | Bit : FRequestedDcb.Flags & ~Bit;
    ApplyState(false);
}

void TVrCustomComm::SetControl(int Shift, uint32_t Value) {
    if (FFlowControl != vfcManual)
        return;
    FRequestedDcb.Flags = (FRequestedDcb.Flags & ~(3u << Shift)) | ((Value & 3u) << Shift);
    ApplyState(false);
}

int32_t TVrCustomComm::ReadChar(char C) {
    return static_cast<int32_t>(static_cast<int8_t>(C));
}

int32_t TVrCustomComm::GetBaudRate() const {
    return static_cast<int32_t>(FAppliedDcb.BaudRate);
}
void TVrCustomComm::SetBaudRate(int32_t Value) {
    if (Value <= 0)
        return;
    FRequestedDcb.BaudRate = static_cast<uint32_t>(Value);
    ApplyState(false);
}

TVrCommByteSize TVrCustomComm::GetByteSize() const {
    switch (FAppliedDcb.ByteSize) {
    case 5:
        return vbs5Bits;
    case 6:
        return vbs6Bits;
    case 8:
        return vbs8Bits;
    case 16:
        return vbs16Bits;
    default:
        return vbs7Bits;
    }
}
void TVrCustomComm::SetByteSize(TVrCommByteSize Value) {
    switch (Value) {
    case vbs5Bits:
        FRequestedDcb.ByteSize = 5;
        break;
    case vbs6Bits:
        FRequestedDcb.ByteSize = 6;
        break;
    case vbs8Bits:
        FRequestedDcb.ByteSize = 8;
        break;
    case vbs16Bits:
        FRequestedDcb.ByteSize = 16;
        break;
    default:
        FRequestedDcb.ByteSize = 7;
        break;
    }
    ApplyState(false);
}

TVrCommStopBit TVrCustomComm::GetStopBit() const {
    switch (FAppliedDcb.StopBits) {
    case 1:
        return vsb1_5StopBits;
    case 2:
        return vsb2StopBits;
    default:
        return vsb1StopBit;
    }
}
void TVrCustomComm::SetStopBit(TVrCommStopBit Value) {
    FRequestedDcb.StopBits = Value == vsb1_5StopBits ? 1 : Value == vsb2StopBits ? 2 : 0;
    ApplyState(false);
}

TVrCommParityBit TVrCustomComm::GetParityBit() const {
    switch (FAppliedDcb.Parity) {
    case kOddParity:
        return vpbOdd;
    case kEvenParity:
        return vpbEven;
    case kMarkParity:
        return vpbMark;
    case kSpaceParity:
        return vpbSpace;
    default:
        return vpbNone;
    }
}
void TVrCustomComm::SetParityBit(TVrCommParityBit Value) {
    switch (Value) {
    case vpbOdd:
        FRequestedDcb.Parity = kOddParity;
        break;
    case vpbEven:
        FRequestedDcb.Parity = kEvenParity;
        break;
    case vpbSpace:
        FRequestedDcb.Parity = kSpaceParity;
        break;
    case vpbMark:
        FRequestedDcb.Parity = kMarkParity;
        break;
    default:
        FRequestedDcb.Parity = kNoParity;
        break;
    }
    ApplyState(false);
}

bool TVrCustomComm::GetCheckParity() const {
    return GetFlag(kDcbParity);
}
void TVrCustomComm::SetCheckParity(bool Value) {
    SetFlag(kDcbParity, Value, false);
}
bool TVrCustomComm::GetUseErrorChar() const {
    return GetFlag(kDcbErrorChar);
}
void TVrCustomComm::SetUseErrorChar(bool Value) {
    SetFlag(kDcbErrorChar, Value, false);
}
bool TVrCustomComm::GetAbortOnError() const {
    return GetFlag(kDcbAbortOnError);
}
void TVrCustomComm::SetAbortOnError(bool Value) {
    SetFlag(kDcbAbortOnError, Value, false);
}
bool TVrCustomComm::GetIgnoreNull() const {
    return GetFlag(kDcbNull);
}
void TVrCustomComm::SetIgnoreNull(bool Value) {
    SetFlag(kDcbNull, Value, false);
}

bool TVrCustomComm::GetBreak() const {
    return FBreak;
}
void TVrCustomComm::SetBreak(bool Value) {
    if (!GetOpened() || Value == FBreak)
        return;
    const int32_t E = Value ? SetBreakState() : ClearBreakState();
    if (E == 0)
        FBreak = Value;
    else
        ReportError(vcaSend, E);
}

TVrCommEvents TVrCustomComm::GetSignals() const {
    TVrCommEvents S;
    S.Value = FSignals;
    return S;
}

int32_t TVrCustomComm::GetXOnChar() const {
    return ReadChar(FAppliedDcb.XonChar);
}
void TVrCustomComm::SetXOnChar(int32_t Value) {
    if (Value < 0 || static_cast<char>(Value & 0xFF) == FAppliedDcb.XoffChar)
        return;
    FRequestedDcb.XonChar = static_cast<char>(Value & 0xFF);
    ApplyState(false);
}
int32_t TVrCustomComm::GetXOffChar() const {
    return ReadChar(FAppliedDcb.XoffChar);
}
void TVrCustomComm::SetXOffChar(int32_t Value) {
    if (Value < 0 || static_cast<char>(Value & 0xFF) == FAppliedDcb.XonChar)
        return;
    FRequestedDcb.XoffChar = static_cast<char>(Value & 0xFF);
    ApplyState(false);
}
int32_t TVrCustomComm::GetErrorChar() const {
    return ReadChar(FAppliedDcb.ErrorChar);
}
void TVrCustomComm::SetErrorChar(int32_t Value) {
    if (Value < 0)
        return;
    FRequestedDcb.ErrorChar = static_cast<char>(Value & 0xFF);
    ApplyState(false);
}
int32_t TVrCustomComm::GetEventChar() const {
    return ReadChar(FAppliedDcb.EvtChar);
}
void TVrCustomComm::SetEventChar(int32_t Value) {
    if (Value < 0)
        return;
    FRequestedDcb.EvtChar = static_cast<char>(Value & 0xFF);
    ApplyState(false);
}
int32_t TVrCustomComm::GetEofChar() const {
    return ReadChar(FAppliedDcb.EofChar);
}
void TVrCustomComm::SetEofChar(int32_t Value) {
    if (Value < 0)
        return;
    FRequestedDcb.EofChar = static_cast<char>(Value & 0xFF);
    ApplyState(false);
}

TVrCommFlowControl TVrCustomComm::GetFlowControl() const {
    return FFlowControl;
}
void TVrCustomComm::SetFlowControl(TVrCommFlowControl Value) {
    if (Value == FFlowControl)
        return;
    FFlowControl = vfcManual;
    switch (Value) {
    case vfcHardware:
        SetSilentWithXOff(false);
        SetUseXControl(false);
        SetAcceptXControl(false);
        SetRequireCts(true);
        SetRequireDsr(true);
        SetIgnoreNoDsr(true);
        SetDtrLine(vdlHandShake);
        SetRtsLine(vrlHandShake);
        break;
    case vfcXOnXOff:
        SetRequireCts(false);
        SetRequireDsr(false);
        SetIgnoreNoDsr(false);
        SetDtrLine(vdlKeepOn);
        SetRtsLine(vrlKeepOn);
        SetSilentWithXOff(true);
        SetUseXControl(true);
        SetAcceptXControl(true);
        break;
    case vfcBoth:
        SetRequireCts(true);
        SetRequireDsr(true);
        SetIgnoreNoDsr(true);
        SetDtrLine(vdlHandShake);
        SetRtsLine(vrlHandShake);
        SetSilentWithXOff(true);
        SetUseXControl(true);
        SetAcceptXControl(true);
        break;
    default:
        SetRequireCts(false);
        SetRequireDsr(false);
        SetIgnoreNoDsr(false);
        SetDtrLine(vdlKeepOn);
        SetRtsLine(vrlKeepOn);
        SetSilentWithXOff(false);
        SetUseXControl(false);
        SetAcceptXControl(false);
        break;
    }
    FFlowControl = Value;
}

bool TVrCustomComm::GetRequireCts() const {
    return GetFlag(kDcbOutxCtsFlow);
}
void TVrCustomComm::SetRequireCts(bool Value) {
    SetFlag(kDcbOutxCtsFlow, Value, true);
}
bool TVrCustomComm::GetRequireDsr() const {
    return GetFlag(kDcbOutxDsrFlow);
}
void TVrCustomComm::SetRequireDsr(bool Value) {
    SetFlag(kDcbOutxDsrFlow, Value, true);
}
bool TVrCustomComm::GetIgnoreNoDsr() const {
    return GetFlag(kDcbDsrSensitivity);
}
void TVrCustomComm::SetIgnoreNoDsr(bool Value) {
    SetFlag(kDcbDsrSensitivity, Value, true);
}
TVrCommDtrLine TVrCustomComm::GetDtrLine() const {
    return static_cast<TVrCommDtrLine>((FAppliedDcb.Flags >> kDcbDtrControlShift) & 3);
}
void TVrCustomComm::SetDtrLine(TVrCommDtrLine Value) {
    SetControl(kDcbDtrControlShift, Value);
}
TVrCommRtsLine TVrCustomComm::GetRtsLine() const {
    return static_cast<TVrCommRtsLine>((FAppliedDcb.Flags >> kDcbRtsControlShift) & 3);
}
void TVrCustomComm::SetRtsLine(TVrCommRtsLine Value) {
    SetControl(kDcbRtsControlShift, Value);
}
bool TVrCustomComm::GetSilentWithXOff() const {
    return !GetFlag(kDcbTxContinueOnXoff);
}
void TVrCustomComm::SetSilentWithXOff(bool Value) {
    SetFlag(kDcbTxContinueOnXoff, !Value, true);
}
bool TVrCustomComm::GetAcceptXControl() const {
    return GetFlag(kDcbOutX);
}
void TVrCustomComm::SetAcceptXControl(bool Value) {
    SetFlag(kDcbOutX, Value, true);
}
bool TVrCustomComm::GetUseXControl() const {
    return GetFlag(kDcbInX);
}
void TVrCustomComm::SetUseXControl(bool Value) {
    SetFlag(kDcbInX, Value, true);
}

int32_t TVrCustomComm::GetXOnThreshold() const {
    return FAppliedDcb.XonLim;
}
void TVrCustomComm::SetXOnThreshold(int32_t Value) {
    if (Value <= 0)
        return;
    FRequestedDcb.XonLim = static_cast<uint16_t>(Value & 0xFFFF);
    ApplyState(false);
}
int32_t TVrCustomComm::GetXOffThreshold() const {
    return FAppliedDcb.XoffLim;
}
void TVrCustomComm::SetXOffThreshold(int32_t Value) {
    if (Value <= 0)
        return;
    FRequestedDcb.XoffLim = static_cast<uint16_t>(Value & 0xFFFF);
    ApplyState(false);
}

int32_t TVrCustomComm::GetSendBufferSize() const {
    return FSendSize;
}
void TVrCustomComm::SetSendBufferSize(int32_t Value) {
    if (Value == FSendSize || Value <= 0)
        return;
    const int32_t E = SetQueueSizes(Value, FReceiveSize);
    if (E == 0) {
        FSendSize = Value;
        return;
    }
    TCommProp Props;
    // A maximum of 0 means the device has none; the stored size then stays.
    if (GetProperties(Props) == 0 && Props.dwMaxTxQueue != 0)
        FSendSize = static_cast<int32_t>(Props.dwMaxTxQueue);
    ReportError(vcaProperty, E);
}

int32_t TVrCustomComm::GetReceiveBufferSize() const {
    return FReceiveSize;
}
void TVrCustomComm::SetReceiveBufferSize(int32_t Value) {
    if (Value == FReceiveSize || Value <= 0)
        return;
    const int32_t E = SetQueueSizes(FSendSize, Value);
    if (E == 0) {
        FReceiveSize = Value;
    } else {
        TCommProp Props;
        if (GetProperties(Props) != 0)
            ReportError(vcaProperty, E);
        else if (Props.dwMaxRxQueue != 0) // 0: no maximum, the stored size stays
            FReceiveSize = static_cast<int32_t>(Props.dwMaxRxQueue);
    }
    if (GetXOnThreshold() > FReceiveSize)
        SetXOnThreshold(FReceiveSize / 2);
    if (GetXOffThreshold() > FReceiveSize)
        SetXOffThreshold(FReceiveSize * 3 / 4);
}

void TVrCustomComm::SetTimeoutField(uint32_t TCommTimeouts::*Field, uint32_t Value) {
    if (FAppliedTimeouts.*Field == Value)
        return;
    FRequestedTimeouts.*Field = Value;
    ApplyTimeouts(false);
}

uint32_t TVrCustomComm::GetSendTimeoutMultiplier() const {
    return FAppliedTimeouts.WriteTotalTimeoutMultiplier;
}
void TVrCustomComm::SetSendTimeoutMultiplier(uint32_t Value) {
    SetTimeoutField(&TCommTimeouts::WriteTotalTimeoutMultiplier, Value);
}
uint32_t TVrCustomComm::GetSendTimeoutConstant() const {
    return FAppliedTimeouts.WriteTotalTimeoutConstant;
}
void TVrCustomComm::SetSendTimeoutConstant(uint32_t Value) {
    SetTimeoutField(&TCommTimeouts::WriteTotalTimeoutConstant, Value);
}
uint32_t TVrCustomComm::GetReceiveIntervalTimeout() const {
    return FAppliedTimeouts.ReadIntervalTimeout;
}
void TVrCustomComm::SetReceiveIntervalTimeout(uint32_t Value) {
    SetTimeoutField(&TCommTimeouts::ReadIntervalTimeout, Value);
}
uint32_t TVrCustomComm::GetReceiveTimeoutMultiplier() const {
    return FAppliedTimeouts.ReadTotalTimeoutMultiplier;
}
void TVrCustomComm::SetReceiveTimeoutMultiplier(uint32_t Value) {
    SetTimeoutField(&TCommTimeouts::ReadTotalTimeoutMultiplier, Value);
}
uint32_t TVrCustomComm::GetReceiveTimeoutConstant() const {
    return FAppliedTimeouts.ReadTotalTimeoutConstant;
}
void TVrCustomComm::SetReceiveTimeoutConstant(uint32_t Value) {
    SetTimeoutField(&TCommTimeouts::ReadTotalTimeoutConstant, Value);
}

int32_t TVrCustomComm::Open() {
    if (GetOpened())
        return 0;
    const int32_t E = OpenPort();
    if (E != 0)
        return ReportError(vcaOpen, E);
    FSignals |= 1u << vevXOn;
    try {
        int32_t R = SetQueueSizes(FSendSize, FReceiveSize);
        if (R != 0)
            R = ReportError(vcaOpen, R);
        if (R == 0) {
            R = PurgePort(true, true);
            if (R != 0)
                R = ReportError(vcaOpen, R);
        }
        if (R == 0)
            R = ApplyState(true);
        if (R == 0)
            R = ApplyTimeouts(true);
        if (R != 0)
            CloseOwn();
        return R;
    } catch (...) {
        CloseOwn();
        throw;
    }
}

int32_t TVrCustomComm::CloseOwn() {
    if (!GetOpened())
        return 0;
    Purge();
    SetState(FAppliedDcb);
    const int32_t E = ClosePort();
    return E != 0 ? ReportError(vcaClose, E) : 0;
}

int32_t TVrCustomComm::Close() {
    return CloseOwn();
}

int32_t TVrCustomComm::Send(const void* Data, int32_t Count) {
    if (!GetOpened())
        return 0;
    int32_t N = WritePort(Data, Count);
    if (N == 0 && GetOverlapped())
        N = CompletePending(true, true);
    if (N < 0)
        return ReportError(vcaSend, -N) < 0 ? -1 : 0;
    return N;
}

int32_t TVrCustomComm::Receive(void* Buffer, int32_t Count) {
    if (!GetOpened())
        return 0;
    int32_t N = ReadPort(Buffer, Count);
    if (N == 0 && GetOverlapped())
        N = CompletePending(false, true);
    if (N < 0)
        return ReportError(vcaReceive, -N) < 0 ? -1 : 0;
    return N;
}

int32_t TVrCustomComm::SendChar(char Ch) {
    const int32_t E = TransmitChar(Ch);
    return E != 0 ? ReportError(vcaSend, E) : 0;
}

int32_t TVrCustomComm::Purge() {
    const int32_t E = PurgePort(true, true);
    return E != 0 ? ReportError(vcaOther, E) : 0;
}

int32_t TVrCustomComm::PollEvents(TVrCommEvents& Events) {
    const int32_t M = PollLine(Events);
    if (M != 0)
        ReportError(vcaOther, M);
    return M;
}

int32_t TVrCustomComm::PollLine(TVrCommEvents& Events) {
    Events = {};
    TVrCommEvents S;
    uint32_t Status = 0;
    const int32_t M = GetModemStatus(Status);
    if (M == 0) {
        if (Status & kMsCtsOn)
            S.Include(vevCts);
        if (Status & kMsDsrOn)
            S.Include(vevDsr);
        if (Status & kMsRingOn)
            S.Include(vevRing);
        if (Status & kMsRlsdOn)
            S.Include(vevRlsd);
    }
    uint32_t Errors = 0;
    TCommStat Stat{};
    if (GetLineStatus(Errors, Stat) == 0) {
        if (Errors != 0) {
            if (Errors & kCeIoe) {
                Events.Include(vevErrIo);
            } else {
                static constexpr struct {
                    uint32_t Flag;
                    TVrCommEvent Event;
                } Table[] = {{kCeBreak, vevBreak},        {kCeOverrun, vevErrOverrun},
                             {kCeRxParity, vevErrParity}, {kCeFrame, vevErrFraming},
                             {kCeMode, vevErrMode},       {kCeRxOver, vevErrReceiveOver},
                             {kCeTxFull, vevErrSendFull}};
                for (const auto& Row : Table)
                    if (Errors & Row.Flag)
                        Events.Include(Row.Event);
                if (Events.Empty())
                    Events.Include(vevErrUnknown);
            }
            Events.Include(vevError);
        }
        if (Stat.cbInQue > 0)
            Events.Include(vevReceive);
        if (GetSendPending() && Stat.cbOutQue == 0)
            Events.Include(vevSent);
        if (!(Stat.Flags & kComStatXoffHold))
            S.Include(vevXOn);
    }
    const uint32_t Old = FSignals;
    if (S.Value != Old) {
        for (TVrCommEvent E : {vevCts, vevDsr, vevRing, vevRlsd, vevXOn})
            if (((Old >> E) & 1u) != ((S.Value >> E) & 1u))
                Events.Include(E);
        FSignals = S.Value;
    }
    return M;
}
