// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "SerialExport.h"

// A first-in first-out byte queue on a growable memory block, and the small
// stream abstraction it exchanges bytes with. The queue is also its own lock:
// whoever shares one between threads enters it around every use (or holds it
// with std::lock_guard); its own operations take no lock. Like a critical
// section, the lock may be entered again by the thread that holds it.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

// A byte stream with a size and a position.
class QUADRELLE_SERIAL_EXPORT TVrStream {
public:
    virtual ~TVrStream() = default;
    // Reads up to Count bytes at the position and advances it; the number read.
    virtual int64_t Read(void* Buffer, int64_t Count) = 0;
    // Writes Count bytes at the position, growing the stream; the number written.
    virtual int64_t Write(const void* Data, int64_t Count) = 0;
    virtual int64_t GetPosition() const = 0;
    virtual void SetPosition(int64_t Position) = 0;
    virtual int64_t GetSize() const = 0;
};

// A stream held in memory; SetSize keeps the bytes that still fit.
class QUADRELLE_SERIAL_EXPORT TVrMemoryStream : public TVrStream {
public:
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Data, int64_t Count) override;
    int64_t GetPosition() const override { return FPosition; }
    void SetPosition(int64_t Position) override;
    int64_t GetSize() const override { return static_cast<int64_t>(FData.size()); }
    void SetSize(int64_t Size);
    uint8_t* Memory() { return FData.data(); }
    const uint8_t* Memory() const { return FData.data(); }

private:
    std::vector<uint8_t> FData;
    int64_t FPosition = 0; // may lie beyond the size until the next write
};

class QUADRELLE_SERIAL_EXPORT TVrStreamBuffer : public std::recursive_mutex {
public:
    TVrStreamBuffer();
    virtual ~TVrStreamBuffer() = default;

    void Enter() { lock(); }
    void Leave() { unlock(); }

    virtual void Pack();
    virtual TVrMemoryStream& Stream();
    virtual const uint8_t* Data() const; // valid until the buffer changes
    virtual int32_t Count() const;
    virtual void Clear();
    virtual int32_t Write(const void* Data, int32_t Count);
    virtual int32_t Read(void* Buffer, int32_t Count);          // null Buffer discards
    virtual int64_t CopyFrom(TVrStream& Source, int64_t Count); // Count <= 0: all of Source
    virtual int64_t CopyTo(TVrStream& Destination);

    int64_t Capacity() const { return FStream.GetSize(); }
    // Takes back the last Count bytes written, as far as they are unread.
    void Unwrite(int32_t Count);
    // Count as the buffer's own operations left it, for any thread to read
    // without entering the lock (a change made through Stream() shows after
    // the next operation).
    int32_t SharedCount() const { return FSharedCount.load(std::memory_order_relaxed); }

private:
    void Publish() { FSharedCount.store(Count(), std::memory_order_relaxed); }

    int32_t FReadOffset = 0; // 0 <= read offset <= position <= capacity
    TVrMemoryStream FStream; // size = capacity (>= 1024), position = write end
    std::atomic<int32_t> FSharedCount{0};
};
