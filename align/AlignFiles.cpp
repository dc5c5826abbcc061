// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "AlignFiles.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
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

    // File I may be decoded once the files before I - 2 have been aligned: at
    // most two decoded files wait beside REF. Handing out places in the
    // files' order matters: a later file holding a place could leave the one
    // that is waited for without any.
    std::mutex AlignedLock;
    std::condition_variable AlignedChanged;
    size_t Aligned = 0; // the files aligned so far
    std::vector<std::promise<TDecoded>> Promises(Count);
    std::vector<std::future<TDecoded>> Decoded(Count);
    for (size_t I = 0; I < Count; ++I)
        Decoded[I] = Promises[I].get_future();
    // Worker 0 decodes REF and then the entries 2, 4, ...; worker 1 the
    // entries 1, 3, ...: two decodes at any time.
    auto Worker = [&](size_t W) {
        if (W == 0)
            Promises[0].set_value(Decode(0));
        for (size_t I = W == 0 ? 2 : 1; I < Count; I += 2) {
            {
                // Stopped, the decode ends at once and needs no place.
                std::unique_lock Lock(AlignedLock);
                while (I > Aligned + 2 && !Stopper.stop_requested())
                    AlignedChanged.wait_for(Lock, std::chrono::milliseconds(50));
            }
            Promises[I].set_value(Decode(I));
        }
    };
    // Leaving early, the workers are stopped before they are joined (the
    // threads are destroyed first).
    struct TStopOnExit {
        std::stop_source& Stopper;
        ~TStopOnExit() { Stopper.request_stop(); }
    };
    std::jthread First(Worker, 0), Second(Worker, 1);
    const TStopOnExit StopOnExit{Stopper};

    TDecoded Reference = Decoded[0].get();
    if (Reference.Cancelled)
        throw EAlignCancelled();
    if (!Reference.Print) {
        Stopper.request_stop();
        if (Reference.NoSound)
            throw EAlignNoSound(Reference.Error);
        throw EAlignError(Reference.Error);
    }
    for (size_t I = 1; I < Count; ++I) {
        TDecoded File = Decoded[I].get();
        if (File.Cancelled || Stop.stop_requested())
            throw EAlignCancelled();
        TFileAlignment Result;
        if (File.Print) {
            Result.Read = true;
            Result.Found = AlignSound(*Reference.Print, *File.Print, Stop);
        } else {
            Result.NoSound = File.NoSound;
            Result.Error = File.Error;
        }
        File.Print.reset();
        {
            const std::lock_guard Lock(AlignedLock);
            Aligned = I;
        }
        AlignedChanged.notify_all();
        Done(I - 1, Result);
    }
}
