// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "NotifyChannel.h"

#include <sys/eventfd.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <poll.h>
#include <unistd.h>

namespace {

struct TSendWait {
    std::mutex Lock;
    std::condition_variable Done;
    bool Finished = false;
    void Finish() {
        std::lock_guard Guard(Lock);
        Finished = true;
        Done.notify_all();
    }
};

class TPosixChannel;

struct TEntry {
    TPosixChannel* Channel;
    uint32_t Message;
    std::shared_ptr<TSendWait> Wait; // set for Send
};

// One thread's queue. Shared with the channels that post into it, so that a
// late Post after the thread ended still finds valid memory.
struct TThreadQueue {
    std::mutex Lock;
    std::deque<TEntry> Entries;
    int WakeFd = -1;
    ~TThreadQueue() {
        if (WakeFd >= 0)
            ::close(WakeFd);
    }
    void Push(TEntry E) {
        {
            std::lock_guard Guard(Lock);
            Entries.push_back(std::move(E));
        }
        Arm();
    }
    // Makes the descriptor readable (again).
    void Arm() {
        uint64_t One = 1;
        [[maybe_unused]] ssize_t N = ::write(WakeFd, &One, sizeof One);
    }
    void Disarm() {
        uint64_t Count;
        [[maybe_unused]] ssize_t N = ::read(WakeFd, &Count, sizeof Count);
    }
};

std::mutex HookLock;
std::function<void(int)> QueueHook;

std::shared_ptr<TThreadQueue> ThisThreadQueue(bool Create) {
    thread_local std::shared_ptr<TThreadQueue> Queue;
    if (!Queue && Create) {
        int Fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (Fd < 0)
            return nullptr;
        Queue = std::make_shared<TThreadQueue>();
        Queue->WakeFd = Fd;
        std::function<void(int)> Hook;
        {
            std::lock_guard Guard(HookLock);
            Hook = QueueHook;
        }
        if (Hook)
            Hook(Fd);
    }
    return Queue;
}

class TPosixChannel final : public TNotifyChannel {
public:
    TPosixChannel(std::shared_ptr<TThreadQueue> Queue, THandler Handler)
        : FQueue(std::move(Queue)), FHandler(std::move(Handler)) {}

    ~TPosixChannel() override {
        std::deque<TEntry> Dropped;
        {
            std::lock_guard Guard(FQueue->Lock);
            auto Mine = [this](const TEntry& E) { return E.Channel == this; };
            std::copy_if(FQueue->Entries.begin(), FQueue->Entries.end(), std::back_inserter(Dropped), Mine);
            FQueue->Entries.erase(std::remove_if(FQueue->Entries.begin(), FQueue->Entries.end(), Mine),
                                  FQueue->Entries.end());
        }
        for (auto& E : Dropped)
            if (E.Wait)
                E.Wait->Finish();
    }

    bool Post(uint32_t Message) override {
        FQueue->Push({this, Message, nullptr});
        return true;
    }

    void Send(uint32_t Message) override {
        auto Wait = std::make_shared<TSendWait>();
        FQueue->Push({this, Message, Wait});
        std::unique_lock Guard(Wait->Lock);
        Wait->Done.wait(Guard, [&] { return Wait->Finished; });
    }

    void Handle(uint32_t Message) { FHandler(Message); }

private:
    std::shared_ptr<TThreadQueue> FQueue;
    THandler FHandler;
};

// Takes the next entry (only sent ones when SentOnly) and runs it.
bool DeliverOne(TThreadQueue& Q, bool SentOnly) {
    TEntry E{};
    bool Others;
    {
        std::lock_guard Guard(Q.Lock);
        auto It = SentOnly ? std::find_if(Q.Entries.begin(), Q.Entries.end(),
                                          [](const TEntry& X) { return X.Wait; })
                           : Q.Entries.begin();
        if (It == Q.Entries.end())
            return false;
        E = std::move(*It);
        Q.Entries.erase(It);
        Others = !Q.Entries.empty();
    }
    // Announce what stays queued before the handler runs: if it raises, or
    // runs a loop of its own, the event loop still sees those messages, where
    // a reset descriptor would leave them until the next post.
    if (Others)
        Q.Arm();
    // The sender is released even when the handler raises.
    struct TRelease {
        std::shared_ptr<TSendWait> Wait;
        ~TRelease() {
            if (Wait)
                Wait->Finish();
        }
    } Release{E.Wait};
    E.Channel->Handle(E.Message);
    return true;
}

} // namespace

std::unique_ptr<TNotifyChannel> TNotifyChannel::Create(THandler Handler) {
    auto Queue = ThisThreadQueue(true);
    if (!Queue)
        return nullptr;
    return std::make_unique<TPosixChannel>(std::move(Queue), std::move(Handler));
}

int NotifyWakeDescriptor() {
    auto Queue = ThisThreadQueue(true);
    return Queue ? Queue->WakeFd : -1;
}

int DrainNotifications(int TimeoutMs) {
    auto Queue = ThisThreadQueue(true);
    if (!Queue)
        return 0;
    bool Empty;
    {
        std::lock_guard Guard(Queue->Lock);
        Empty = Queue->Entries.empty();
    }
    if (Empty && TimeoutMs != 0) {
        pollfd P{Queue->WakeFd, POLLIN, 0};
        ::poll(&P, 1, TimeoutMs);
    }
    Queue->Disarm();
    int Handled = 0;
    // Only what is queued now: handlers that post again wait for the next drain.
    size_t Pending;
    {
        std::lock_guard Guard(Queue->Lock);
        Pending = Queue->Entries.size();
    }
    while (Pending-- > 0 && DeliverOne(*Queue, false))
        ++Handled;
    // Readable exactly while messages wait. Checked under the lock, so that a
    // post in between keeps its own announcement.
    std::lock_guard Guard(Queue->Lock);
    if (Queue->Entries.empty())
        Queue->Disarm();
    else
        Queue->Arm();
    return Handled;
}

int DrainSentNotifications() {
    auto Queue = ThisThreadQueue(false);
    int Handled = 0;
    while (Queue && DeliverOne(*Queue, true))
        ++Handled;
    return Handled;
}

void SetNotifyQueueHook(std::function<void(int WakeDescriptor)> Hook) {
    std::lock_guard Guard(HookLock);
    QueueHook = std::move(Hook);
}
