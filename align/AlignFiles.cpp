// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "AlignFiles.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace {

struct TDecoded {
    std::unique_ptr<TSoundPrint> Print; // none after an error
    bool NoSound = false;
    std::string Error;
    bool Cancelled = false;
};

} // namespace

void AlignFiles(const std::filesystem::path& Ref, const std::vector<std::filesystem::path>& Files,
                std::stop_token Stop, const TAlignProgress& Progress,
                const std::function<void(std::size_t Index, const TFileAlignment& Result)>& Done) {
    // Every decode stops with the caller's request, and with a REF that
    // cannot be read, which leaves the files of no use.
    std::stop_source Stopper;
    const std::stop_callback Forward(Stop, [&Stopper] { Stopper.request_stop(); });
    const size_t Count = Files.size() + 1; // REF is entry 0

    std::vector<std::atomic<double>> Fractions(Count);
    std::mutex ProgressLock;
    auto Report = [&](size_t Entry, double Fraction) {
        if (!Progress)
            return;
        Fractions[Entry].store(Fraction, std::memory_order_relaxed);
        double Sum = 0.0;
        for (const std::atomic<double>& Part : Fractions)
            Sum += Part.load(std::memory_order_relaxed);
        const std::lock_guard Lock(ProgressLock);
        Progress(Sum / static_cast<double>(Count));
    };
    auto Decode = [&](size_t Entry) {
        TDecoded Result;
        const std::filesystem::path& File = Entry == 0 ? Ref : Files[Entry - 1];
        try {
            Result.Print = std::make_unique<TSoundPrint>(DecodeSound(
                File, Stopper.get_token(), [&Report, Entry](double Fraction) { Report(Entry, Fraction); }));
        } catch (const EAlignNoSound& Error) {
            Result.NoSound = true;
            Result.Error = Error.what();
        } catch (const EAlignCancelled&) {
            Result.Cancelled = true;
        } catch (const std::exception& Error) {
            Result.Error = Error.what();
        }
        Report(Entry, 1.0);
        return Result;
    };

    // The work is decoding REF and each file, and aligning each file once it
    // and REF are decoded. Two threads take whatever is ready, aligning
    // before decoding, so that a print is let go as soon as it can be: at
    // most two files (being decoded, or decoded and not yet aligned) are held
    // beside REF. Neither thread waits on the other's next step, so both
    // cores decode for as long as there is anything left to decode.
    std::mutex Lock;
    std::condition_variable_any Changed;
    std::optional<TDecoded> Reference;
    std::vector<std::optional<TDecoded>> Waiting(Count); // decoded, not aligned
    std::vector<std::optional<TFileAlignment>> Results(Count);
    size_t NextDecode = 0; // entry
    size_t Held = 0;
    size_t Running = 2;
    size_t Changes = 0; // counts the notifications, for the workers' waits
    auto Worker = [&] {
        std::unique_lock Guard(Lock);
        const std::stop_token Stopped = Stopper.get_token();
        while (!Stopped.stop_requested()) {
            size_t Ready = 0;
            if (Reference && Reference->Print)
                for (size_t I = 1; I < Count && Ready == 0; ++I)
                    if (Waiting[I])
                        Ready = I;
            if (Ready != 0) {
                TDecoded File = std::move(*Waiting[Ready]);
                Waiting[Ready].reset();
                Guard.unlock();
                TFileAlignment Result;
                Result.Read = true;
                try {
                    Result.Found = AlignSound(*Reference->Print, *File.Print, Stopped);
                } catch (const EAlignCancelled&) {
                    Guard.lock();
                    break;
                }
                File.Print.reset();
                Guard.lock();
                Results[Ready] = std::move(Result);
                --Held;
                ++Changes;
                Changed.notify_all();
                continue;
            }
            if (NextDecode < Count && (NextDecode == 0 || Held < 2)) {
                const size_t Entry = NextDecode++;
                Held += Entry == 0 ? 0 : 1;
                Guard.unlock();
                TDecoded File = Decode(Entry);
                Guard.lock();
                if (File.Cancelled)
                    break;
                if (Entry == 0) {
                    // A REF that cannot be read leaves the files of no use.
                    if (!File.Print)
                        Stopper.request_stop();
                    Reference = std::move(File);
                } else if (File.Print) {
                    Waiting[Entry] = std::move(File);
                } else {
                    TFileAlignment Result;
                    Result.NoSound = File.NoSound;
                    Result.Error = std::move(File.Error);
                    Results[Entry] = std::move(Result);
                    --Held;
                }
                ++Changes;
                Changed.notify_all();
                continue;
            }
            if (NextDecode == Count && Held == 0)
                break;
            Changed.wait(Guard, Stopped, [&, Seen = Changes] { return Changes != Seen; });
        }
        --Running;
        ++Changes;
        Changed.notify_all();
    };
    // Leaving early, the workers are stopped before they are joined (the
    // threads are destroyed first).
    struct TStopOnExit {
        std::stop_source& Stopper;
        ~TStopOnExit() { Stopper.request_stop(); }
    };
    std::jthread First(Worker), Second(Worker);
    const TStopOnExit StopOnExit{Stopper};

    std::unique_lock Guard(Lock);
    Changed.wait(Guard, [&] { return Reference || Running == 0; });
    if (!Reference || Reference->Cancelled || Stop.stop_requested())
        throw EAlignCancelled();
    if (!Reference->Print) {
        if (Reference->NoSound)
            throw EAlignNoSound(Reference->Error);
        throw EAlignError(Reference->Error);
    }
    for (size_t I = 1; I < Count; ++I) {
        Changed.wait(Guard, [&] { return Results[I] || Running == 0; });
        if (!Results[I] || Stop.stop_requested())
            throw EAlignCancelled();
        const TFileAlignment Result = std::move(*Results[I]);
        Guard.unlock();
        Done(I - 1, Result);
        Guard.lock();
    }
}
