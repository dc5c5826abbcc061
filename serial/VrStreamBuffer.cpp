// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "VrStreamBuffer.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr int64_t kMinCapacity = 1024;
}

int64_t TVrMemoryStream::Read(void* Buffer, int64_t Count) {
    const int64_t N = std::clamp<int64_t>(GetSize() - FPosition, 0, std::max<int64_t>(Count, 0));
    if (N > 0)
        std::memcpy(Buffer, FData.data() + FPosition, static_cast<size_t>(N));
    FPosition += N;
    return N;
}

int64_t TVrMemoryStream::Write(const void* Data, int64_t Count) {
    if (Count <= 0)
        return 0;
    if (FPosition + Count > GetSize())
        FData.resize(static_cast<size_t>(FPosition + Count));
    std::memcpy(FData.data() + FPosition, Data, static_cast<size_t>(Count));
    FPosition += Count;
    return Count;
}

void TVrMemoryStream::SetPosition(int64_t Position) {
    FPosition = std::max<int64_t>(Position, 0);
}

void TVrMemoryStream::SetSize(int64_t Size) {
    FData.resize(static_cast<size_t>(std::max<int64_t>(Size, 0)));
    if (Size <= 0)
        FData.shrink_to_fit();
    FPosition = std::min(FPosition, GetSize());
}

TVrStreamBuffer::TVrStreamBuffer() {
    Clear();
}

TVrMemoryStream& TVrStreamBuffer::Stream() {
    return FStream;
}
const uint8_t* TVrStreamBuffer::Data() const {
    return FStream.Memory() + FReadOffset;
}
int32_t TVrStreamBuffer::Count() const {
    return static_cast<int32_t>(FStream.GetPosition()) - FReadOffset;
}

void TVrStreamBuffer::Clear() {
    FStream.SetSize(0);
    FStream.SetSize(kMinCapacity);
    FStream.SetPosition(0);
    FReadOffset = 0;
    Publish();
}

int32_t TVrStreamBuffer::Write(const void* Data, int32_t Count) {
    if (!Data || Count <= 0)
        return 0;
    const int64_t Needed = FStream.GetPosition() + Count;
    if (Capacity() < Needed) {
        // From the least capacity at the lowest: a block emptied through
        // Stream() has none, and 0 would never double.
        int64_t NewCapacity = std::max(Capacity(), kMinCapacity);
        while (NewCapacity < Needed)
            NewCapacity *= 2;
        const int64_t Position = FStream.GetPosition();
        FStream.SetSize(NewCapacity);
        FStream.SetPosition(Position);
    }
    std::memcpy(FStream.Memory() + FStream.GetPosition(), Data, static_cast<size_t>(Count));
    FStream.SetPosition(FStream.GetPosition() + Count);
    Publish();
    return Count;
}

void TVrStreamBuffer::Unwrite(int32_t Count) {
    FStream.SetPosition(FStream.GetPosition() - std::clamp(Count, 0, this->Count()));
    Publish();
}

int32_t TVrStreamBuffer::Read(void* Buffer, int32_t Count) {
    if (Count <= 0 || FStream.GetPosition() == 0)
        return 0;
    const int32_t Available = this->Count();
    const int32_t Rest = Available - Count;
    int32_t Result;
    if (Buffer) {
        if (Rest < 0) {
            std::memcpy(Buffer, Data(), static_cast<size_t>(Available));
            FReadOffset = 0;
            FStream.SetPosition(0);
            Result = Available;
        } else {
            std::memcpy(Buffer, Data(), static_cast<size_t>(Count));
            FReadOffset += Count;
            Result = Count;
        }
    } else if (Rest > 0) {
        FReadOffset += Count;
        Result = Count;
    } else {
        FReadOffset = 0;
        FStream.SetPosition(0);
        Result = Available;
    }
    Pack();
    Publish();
    return Result;
}

void TVrStreamBuffer::Pack() {
    if (Capacity() <= kMinCapacity)
        return;
    const int32_t Unread = Count();
    if (Unread > Capacity() / 2)
        return;
    std::memmove(FStream.Memory(), Data(), static_cast<size_t>(Unread));
    FReadOffset = 0;
    int64_t NewCapacity = kMinCapacity;
    while (NewCapacity < Unread)
        NewCapacity *= 2;
    FStream.SetSize(NewCapacity);
    FStream.SetPosition(Unread);
}

int64_t TVrStreamBuffer::CopyFrom(TVrStream& Source, int64_t Count) {
    if (Count <= 0) {
        Source.SetPosition(0);
        Count = Source.GetSize();
    }
    // Grows only as far as needed: the memory stream extends itself on writing.
    std::vector<uint8_t> Chunk(static_cast<size_t>(std::min<int64_t>(Count, 65536)));
    int64_t Copied = 0;
    while (Copied < Count) {
        const int64_t N = Source.Read(Chunk.data(), std::min<int64_t>(Count - Copied, 65536));
        if (N <= 0)
            break;
        FStream.Write(Chunk.data(), N);
        Copied += N;
    }
    Publish();
    return Copied;
}

int64_t TVrStreamBuffer::CopyTo(TVrStream& Destination) {
    const int32_t N = Count();
    int64_t Written = N > 0 ? Destination.Write(Data(), N) : 0;
    FStream.SetPosition(0);
    FReadOffset = 0;
    Pack();
    Publish();
    return Written;
}
