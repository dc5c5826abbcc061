// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "VrComm.h"

#include "platform/SystemError.h"

#include <cstring>

namespace {

const char* StageWord(TVrCommErrorAt ErrorAt) {
    switch (ErrorAt) {
    case vcaOpen:
        return "開始";
    case vcaClose:
        return "停止";
    case vcaSend:
        return "送信";
    case vcaReceive:
        return "受信";
    default:
        return "その他";
    }
}

} // namespace

TVrCustomCommIo::TVrCustomCommIo(TComponent* Owner, std::shared_ptr<TCommDevice> Device)
    : TComponent(Owner), FDevice(Device ? std::move(Device) : SystemCommDevice()) {
    // The records start without event objects: the device layer gives each
    // one the event it needs (Windows) or none (Linux), for as long as the
    // handle is open.
}

TVrCustomCommIo::~TVrCustomCommIo() {
    BeginDestroy();
    FOnError = nullptr;
    if (GetOpened())
        ClosePort();
}

void TVrCustomCommIo::Assign(const TComponent* Source) {
    auto* From = dynamic_cast<const TVrCustomCommIo*>(Source);
    if (!From)
        return;
    SetOverlapped(From->GetOverlapped());
    SetOnError(From->GetOnError());
    if (!GetOpened())
        FPortNumber = From->GetPortNumber();
}

bool TVrCustomCommIo::GetSuppressException() const {
    return FSuppressException;
}
void TVrCustomCommIo::SetSuppressException(bool Value) {
    FSuppressException = Value;
}
int32_t TVrCustomCommIo::GetLastError() const {
    return FLastError;
}
void TVrCustomCommIo::SetLastError(int32_t Value) {
    FLastError = Value;
}
TCommHandle TVrCustomCommIo::GetHandle() const {
    return FHandle;
}
bool TVrCustomCommIo::GetOpened() const {
    return FHandle != kInvalidCommHandle;
}
int32_t TVrCustomCommIo::GetPortNumber() const {
    return FPortNumber;
}

void TVrCustomCommIo::SetPortNumber(int32_t Value) {
    if (!GetOpened() && Value > 0)
        FPortNumber = Value;
}

bool TVrCustomCommIo::GetOverlapped() const {
    return FActiveWrite != nullptr;
}

void TVrCustomCommIo::SetOverlapped(bool Value) {
    if (GetOpened())
        return;
    FActiveWrite = Value ? &FWriteRecord : nullptr;
    FActiveRead = Value ? &FReadRecord : nullptr;
}

bool TVrCustomCommIo::GetSendPending() const {
    return FSendPending;
}
bool TVrCustomCommIo::GetReceivePending() const {
    return FReceivePending;
}
const TVrNotifyCommError& TVrCustomCommIo::GetOnError() const {
    return FOnError;
}
void TVrCustomCommIo::SetOnError(TVrNotifyCommError Handler) {
    FOnError = std::move(Handler);
}

int32_t TVrCustomCommIo::FilterError(TVrCommErrorAt, int32_t Error) {
    return Error;
}

void TVrCustomCommIo::ResetIoState() {
    FSendPending = false;
    FReceivePending = false;
}

int32_t TVrCustomCommIo::ReportError(TVrCommErrorAt ErrorAt, int32_t Error) {
    FLastError = Error != 0 ? Error : FDevice->GetLastError();
    FLastError = FilterError(ErrorAt, FLastError);
    if (FLastError == 0 || GetDestroying()) {
        FLastError = 0;
        return 0;
    }
    bool ThrowException = true;
    if (FOnError)
        FOnError(this, ErrorAt, FLastError, ThrowException);
    if (ThrowException && !FSuppressException)
        throw EPropertyError(std::string(StageWord(ErrorAt)) + " : " + FDevice->ErrorText(FLastError));
    return FLastError;
}

void TVrCustomCommIo::ClearLineError() {
    if (!GetOpened())
        return;
    uint32_t Errors = 0;
    TCommStat Stat{};
    FDevice->ClearCommError(FHandle, &Errors, &Stat);
}

int32_t TVrCustomCommIo::Failed() {
    const int Code = FDevice->GetLastError();
    ClearLineError();
    return Code;
}

int32_t TVrCustomCommIo::OpenPort() {
    FLastError = 0;
    if (GetDestroying() || GetOpened())
        return 0;
    ResetIoState();
    uint32_t Flags = kFileFlagNoBuffering;
    if (GetOverlapped())
        Flags |= kFileFlagOverlapped;
    std::u16string Path = u"\\\\.\\COM";
    for (char C : std::to_string(FPortNumber))
        Path += static_cast<char16_t>(C);
    FHandle = FDevice->CreateFile(Path, Flags);
    return GetOpened() ? 0 : FDevice->GetLastError();
}

int32_t TVrCustomCommIo::ClosePort() {
    FLastError = 0;
    int32_t Result = 0;
    // A failed close does not leave the handle usable: Linux frees the
    // descriptor whatever close reports, and Windows fails only for a handle
    // that is not valid. Kept, it would be used again after it was freed.
    if (const TCommHandle Handle = FHandle.exchange(kInvalidCommHandle); Handle != kInvalidCommHandle)
        if (!FDevice->CloseHandle(Handle))
            Result = FDevice->GetLastError();
    ResetIoState();
    return Result;
}

TCommHandle TVrCustomCommIo::DetachHandle() {
    const TCommHandle Handle = FHandle.exchange(kInvalidCommHandle);
    ResetIoState();
    return Handle;
}

int32_t TVrCustomCommIo::WritePort(const void* Data, int32_t Count) {
    FLastError = 0;
    if (!GetOpened())
        return 0;
    // The device takes the count unsigned: a negative one would move some
    // 4 GiB from or into the caller's memory. Windows refuses such a transfer.
    if (Count < 0)
        return -SystemErrorInvalidArgument();
    uint32_t Written = 0;
    if (FDevice->WriteFile(FHandle, Data, static_cast<uint32_t>(Count), &Written, FActiveWrite)) {
        FSendPending = false;
        return static_cast<int32_t>(Written);
    }
    const int E = FDevice->GetLastError();
    if (GetOverlapped() && E == kErrorIoPending) {
        FSendPending = true;
        return 0;
    }
    ClearLineError();
    FSendPending = false;
    return -E;
}

int32_t TVrCustomCommIo::ReadPort(void* Buffer, int32_t Count) {
    FLastError = 0;
    if (!GetOpened())
        return 0;
    if (Count < 0)
        return -SystemErrorInvalidArgument();
    uint32_t Read = 0;
    if (FDevice->ReadFile(FHandle, Buffer, static_cast<uint32_t>(Count), &Read, FActiveRead)) {
        FReceivePending = false;
        return static_cast<int32_t>(Read);
    }
    const int E = FDevice->GetLastError();
    if (GetOverlapped() && E == kErrorIoPending) {
        FReceivePending = true;
        return 0;
    }
    ClearLineError();
    FReceivePending = false;
    return -E;
}

int32_t TVrCustomCommIo::CompletePending(bool Send, bool Wait) {
    FLastError = 0;
    if (!GetOpened() || !GetOverlapped())
        return 0;
    std::atomic<bool>& Pending = Send ? FSendPending : FReceivePending;
    TCommOverlapped* Record = Send ? &FWriteRecord : &FReadRecord;
    if (!Pending)
        return 0;
    uint32_t N = 0;
    if (FDevice->GetOverlappedResult(FHandle, Record, &N, Wait)) {
        Pending = false;
        return static_cast<int32_t>(N);
    }
    const int E = FDevice->GetLastError();
    if (E == kErrorIoIncomplete)
        return 0;
    ClearLineError();
    Pending = false;
    return -E;
}

int32_t TVrCustomCommIo::GetLineStatus(uint32_t& Errors, TCommStat& Status) {
    FLastError = 0;
    Errors = 0;
    Status = {};
    if (!GetOpened())
        return 0;
    return FDevice->ClearCommError(FHandle, &Errors, &Status) ? 0 : FDevice->GetLastError();
}

int32_t TVrCustomCommIo::GetModemStatus(uint32_t& Status) {
    FLastError = 0;
    Status = 0;
    if (!GetOpened())
        return 0;
    return FDevice->GetCommModemStatus(FHandle, &Status) ? 0 : Failed();
}

int32_t TVrCustomCommIo::SetBreakState() {
    FLastError = 0;
    if (!GetOpened())
        return 0;
    return FDevice->SetCommBreak(FHandle) ? 0 : Failed();
}

int32_t TVrCustomCommIo::ClearBreakState() {
    FLastError = 0;
    if (!GetOpened())
        return 0;
    return FDevice->ClearCommBreak(FHandle) ? 0 : Failed();
}

int32_t TVrCustomCommIo::GetState(TCommDcb& Dcb) {
    FLastError = 0;
    std::memset(&Dcb, 0, sizeof Dcb);
    if (!GetOpened())
        return 0;
    return FDevice->GetCommState(FHandle, &Dcb) ? 0 : Failed();
}

int32_t TVrCustomCommIo::SetState(const TCommDcb& Dcb) {
    FLastError = 0;
    if (!GetOpened())
        return 0;
    return FDevice->SetCommState(FHandle, &Dcb) ? 0 : Failed();
}

int32_t TVrCustomCommIo::GetTimeouts(TCommTimeouts& Timeouts) {
    FLastError = 0;
    Timeouts = {};
    if (!GetOpened())
        return 0;
    return FDevice->GetCommTimeouts(FHandle, &Timeouts) ? 0 : Failed();
}

int32_t TVrCustomCommIo::SetTimeouts(const TCommTimeouts& Timeouts) {
    FLastError = 0;
    if (!GetOpened())
        return 0;
    const TCommTimeouts Copy = Timeouts;
    return FDevice->SetCommTimeouts(FHandle, &Copy) ? 0 : Failed();
}

int32_t TVrCustomCommIo::SetQueueSizes(int32_t SendSize, int32_t ReceiveSize) {
    FLastError = 0;
    if (!GetOpened())
        return 0;
    return FDevice->SetupComm(FHandle, static_cast<uint32_t>(ReceiveSize), static_cast<uint32_t>(SendSize))
               ? 0
               : Failed();
}

int32_t TVrCustomCommIo::GetProperties(TCommProp& Props) {
    FLastError = 0;
    std::memset(&Props, 0, sizeof Props);
    if (!GetOpened())
        return 0;
    return FDevice->GetCommProperties(FHandle, &Props) ? 0 : Failed();
}

int32_t TVrCustomCommIo::PurgePort(bool Send, bool Receive) {
    FLastError = 0;
    int32_t Result = 0;
    if (GetOpened()) {
        uint32_t Flags = 0;
        if (Send)
            Flags |= kPurgeTxAbort | kPurgeTxClear;
        if (Receive)
            Flags |= kPurgeRxAbort | kPurgeRxClear;
        if (!FDevice->PurgeComm(FHandle, Flags))
            Result = Failed();
    }
    if (Send)
        FSendPending = false;
    if (Receive)
        FReceivePending = false;
    return Result;
}

int32_t TVrCustomCommIo::TransmitChar(char Ch) {
    FLastError = 0;
    if (!GetOpened())
        return 0;
    return FDevice->TransmitCommChar(FHandle, Ch) ? 0 : Failed();
}
