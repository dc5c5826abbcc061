// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

// quadalign REF FILE...: where each FILE lies against REF, found from their
// sound, one line a FILE on standard output, in the order given.
//
// Two threads decode, since decoding is nearly all of the time: REF and the
// first FILE start together, and each FILE is aligned as soon as it is
// decoded. At most two decoded FILEs wait beside REF, which bounds memory.
// A FILE that cannot be read is reported on standard error and the others
// still get their lines; the status is then 2.

#include "SoundAlign.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kAllMatched = 0;
constexpr int kSomeUnmatched = 1;
constexpr int kError = 2;

const char kUsage[] = "usage: quadalign [--help] [--version] [--] REF FILE...\n";

const char kHelp[] = "usage: quadalign [--help] [--version] [--] REF FILE...\n"
                     "\n"
                     "Finds where each FILE lies against REF from their sound tracks and prints\n"
                     "one line for each FILE:\n"
                     "  FILE: offset=+3.2170 drift=+12.3ppm confidence=14.2\n"
                     "  FILE: no match (confidence 2.1)\n"
                     "What REF plays at time t, FILE plays at t + offset (seconds); a positive\n"
                     "offset means FILE started earlier. drift is FILE's clock against REF's in\n"
                     "parts per million.\n"
                     "\n"
                     "Exit status: 0 when every FILE matched, 1 when one did not, 2 on an error\n"
                     "(bad arguments, a file that cannot be read or has no sound); the other\n"
                     "FILEs still get their lines.\n";

// printf's +0.0000 for what rounds to zero, never -0.0000.
std::string Signed(double Value, int Decimals) {
    const double Scale = std::pow(10.0, Decimals);
    if (std::round(Value * Scale) == 0.0)
        Value = 0.0;
    char Text[64];
    std::snprintf(Text, sizeof Text, "%+.*f", Decimals, Value);
    return Text;
}

std::string Unsigned(double Value) {
    char Text[64];
    std::snprintf(Text, sizeof Text, "%.1f", std::max(0.0, Value));
    return Text;
}

struct TDecoded {
    std::unique_ptr<TSoundPrint> Print; // none after an error
    std::string Error;
};

TDecoded Decode(const char* File) {
    TDecoded Result;
    try {
        Result.Print = std::make_unique<TSoundPrint>(DecodeSound(File, {}));
    } catch (const std::exception& Error) {
        Result.Error = Error.what();
    }
    return Result;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<const char*> Files;
    bool Options = true;
    for (int I = 1; I < argc; ++I) {
        const char* Arg = argv[I];
        if (Options && std::strcmp(Arg, "--") == 0) {
            Options = false;
        } else if (Options && std::strcmp(Arg, "--help") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (Options && std::strcmp(Arg, "--version") == 0) {
            std::printf("quadalign %s\n", QUADALIGN_VERSION);
            return 0;
        } else if (Options && Arg[0] == '-' && Arg[1] != '\0') {
            std::fprintf(stderr, "quadalign: unknown option %s\n%s", Arg, kUsage);
            return kError;
        } else {
            Files.push_back(Arg);
        }
    }
    if (Files.size() < 2) {
        std::fprintf(stderr, "quadalign: a reference and at least one file are needed\n%s", kUsage);
        return kError;
    }

    // Slots for decoded FILEs not yet aligned; REF takes none.
    std::counting_semaphore<2> Slots(2);
    std::vector<std::future<TDecoded>> Decoded(Files.size());
    std::vector<std::promise<TDecoded>> Promises(Files.size());
    for (size_t I = 0; I < Files.size(); ++I)
        Decoded[I] = Promises[I].get_future();
    // Worker W decodes REF (W = 0) or the FILEs W, W + 2, ..., so that two
    // files are decoded at any time.
    auto Worker = [&](size_t W) {
        if (W == 0) {
            Promises[0].set_value(Decode(Files[0]));
        }
        for (size_t I = W == 0 ? 2 : 1; I < Files.size(); I += 2) {
            Slots.acquire();
            Promises[I].set_value(Decode(Files[I]));
        }
    };
    std::jthread First(Worker, 0), Second(Worker, 1);

    int Status = kAllMatched;
    TDecoded Ref = Decoded[0].get();
    if (!Ref.Print) {
        std::fprintf(stderr, "quadalign: %s\n", Ref.Error.c_str());
        // The workers still finish the FILEs they took; their results wait.
        for (size_t I = 1; I < Files.size(); ++I) {
            Decoded[I].get();
            Slots.release();
        }
        return kError;
    }
    for (size_t I = 1; I < Files.size(); ++I) {
        TDecoded File = Decoded[I].get();
        if (!File.Print) {
            std::fprintf(stderr, "quadalign: %s\n", File.Error.c_str());
            Status = kError;
        } else {
            const TSoundAlignment Found = AlignSound(*Ref.Print, *File.Print, {});
            if (Found.Matched)
                std::printf("%s: offset=%s drift=%sppm confidence=%s\n", Files[I],
                            Signed(Found.Offset, 4).c_str(), Signed(Found.DriftPpm, 1).c_str(),
                            Unsigned(Found.Confidence).c_str());
            else
                std::printf("%s: no match (confidence %s)\n", Files[I], Unsigned(Found.Confidence).c_str());
            std::fflush(stdout);
            if (!Found.Matched && Status == kAllMatched)
                Status = kSomeUnmatched;
        }
        File.Print.reset();
        Slots.release();
    }
    return Status;
}
