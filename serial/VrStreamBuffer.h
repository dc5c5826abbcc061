// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "SerialExport.h"

/// @file
/// A first-in first-out byte queue on a growable memory block, and the small
/// stream abstraction it exchanges bytes with.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

/// A byte stream with a size and a position, which
/// TVrCustomThreadedComm::SendStream and TVrCustomThreadedComm::ReceiveStream
/// take; implement it to send from or receive into a file or a socket.
class QUADRELLE_SERIAL_EXPORT TVrStream {
public:
    virtual ~TVrStream() = default;
    /// Reads up to Count bytes at the position and advances it; the number read
    /// (0 at the end).
    virtual int64_t Read(void* Buffer, int64_t Count) = 0;
    /// Writes Count bytes at the position, growing the stream; the number written.
    virtual int64_t Write(const void* Data, int64_t Count) = 0;
    /// The position, in bytes from the start.
    virtual int64_t GetPosition() const = 0;
    /// Moves the position.
    virtual void SetPosition(int64_t Position) = 0;
    /// The size in bytes.
    virtual int64_t GetSize() const = 0;
};

/// A stream held in memory; SetSize keeps the bytes that still fit. Not
/// thread-safe.
class QUADRELLE_SERIAL_EXPORT TVrMemoryStream : public TVrStream {
public:
    /// Reads up to Count bytes at the position; a negative Count reads nothing.
    int64_t Read(void* Buffer, int64_t Count) override;
    /// Writes Count bytes at the position, growing the stream; 0 for a Count
    /// that is not positive.
    int64_t Write(const void* Data, int64_t Count) override;
    /// The position; it may lie beyond the size until the next write.
    int64_t GetPosition() const override { return FPosition; }
    /// Moves the position; a negative one becomes 0. A position beyond the
    /// size is allowed: the next write fills the gap with zeros.
    void SetPosition(int64_t Position) override;
    /// The size in bytes.
    int64_t GetSize() const override { return static_cast<int64_t>(FData.size()); }
    /// Sets the size, keeping the bytes that still fit; new bytes are zero. A
    /// position beyond the new size moves to its end.
    void SetSize(int64_t Size);
    /// The stream's bytes; valid until its size changes.
    uint8_t* Memory() { return FData.data(); }
    /// The stream's bytes; valid until its size changes.
    const uint8_t* Memory() const { return FData.data(); }

private:
    std::vector<uint8_t> FData;
    int64_t FPosition = 0; // may lie beyond the size until the next write
};

/// A first-in first-out byte queue on a growable memory block: the send and
/// receive buffers of TVrCustomThreadedComm.
///
/// The queue is also its own lock:
/// whoever shares one between threads enters it around every use (or holds it
/// with std::lock_guard); its own operations take no lock. Like a critical
/// section, the lock may be entered again by the thread that holds it.
class QUADRELLE_SERIAL_EXPORT TVrStreamBuffer : public std::recursive_mutex {
public:
    /// An empty queue with a block of 1024 bytes.
    TVrStreamBuffer();
    virtual ~TVrStreamBuffer() = default;

    /// Takes the lock (lock()); waits while another thread holds it.
    void Enter() { lock(); }
    /// Gives the lock back (unlock()).
    void Leave() { unlock(); }

    /// Moves the unread bytes to the start of the block and shrinks it, when
    /// they fill at most half of a block larger than 1024 bytes. Read and
    /// CopyTo pack by themselves.
    virtual void Pack();
    /// The memory block itself: its size is the capacity, its position the end
    /// of the written bytes. For reading the queue in place; a change made
    /// through it shows in SharedCount only after the buffer's next operation.
    virtual TVrMemoryStream& Stream();
    /// The first unread byte; valid until the buffer changes.
    virtual const uint8_t* Data() const; // valid until the buffer changes
    /// The number of unread bytes.
    virtual int32_t Count() const;
    /// Drops every byte and goes back to a block of 1024 bytes.
    virtual void Clear();
    /// Appends Count bytes from Data, growing the block as needed; the number
    /// written (0 for null Data or a Count that is not positive).
    virtual int32_t Write(const void* Data, int32_t Count);
    /// Takes up to Count bytes from the front into Buffer; a null Buffer
    /// discards them. Returns the number taken.
    virtual int32_t Read(void* Buffer, int32_t Count); // null Buffer discards
    /// Appends Count bytes read from Source at its position; with Count <= 0,
    /// all of Source from its start. Returns the number appended.
    virtual int64_t CopyFrom(TVrStream& Source, int64_t Count); // Count <= 0: all of Source
    /// Writes every unread byte to Destination and empties the queue. Returns
    /// the number Destination took.
    virtual int64_t CopyTo(TVrStream& Destination);

    /// The size of the memory block in bytes (at least 1024 unless emptied
    /// through Stream()).
    int64_t Capacity() const { return FStream.GetSize(); }
    /// Takes back the last Count bytes written, as far as they are unread.
    void Unwrite(int32_t Count);
    /// Count as the buffer's own operations left it, for any thread to read
    /// without entering the lock (a change made through Stream() shows after
    /// the next operation).
    int32_t SharedCount() const { return FSharedCount.load(std::memory_order_relaxed); }

private:
    void Publish() { FSharedCount.store(Count(), std::memory_order_relaxed); }

    int32_t FReadOffset = 0; // 0 <= read offset <= position <= capacity
    TVrMemoryStream FStream; // size = capacity (>= 1024), position = write end
    std::atomic<int32_t> FSharedCount{0};
};
