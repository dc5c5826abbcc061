// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

// quadalign REF FILE...: where each FILE lies against REF, found from their
// sound, one line a FILE on standard output, in the order given.
//
// REF is decoded once, and the FILEs two at a time (see AlignFiles). A FILE that cannot be read is reported
// on standard error and the others still get their lines; the status is then 2.

#include "AlignFiles.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
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

} // namespace

int Run(int argc, char** argv) {
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

    std::vector<std::filesystem::path> Others(Files.begin() + 1, Files.end());
    int Status = kAllMatched;
    try {
        AlignFiles(Files[0], Others, {}, {}, [&](size_t I, const TFileAlignment& Result) {
            const char* Name = Files[I + 1];
            if (!Result.Read) {
                std::fprintf(stderr, "quadalign: %s\n", Result.Error.c_str());
                Status = kError;
                return;
            }
            const TSoundAlignment& Found = Result.Found;
            if (Found.Matched)
                std::printf("%s: offset=%s drift=%sppm confidence=%s\n", Name,
                            Signed(Found.Offset, 4).c_str(), Signed(Found.DriftPpm, 1).c_str(),
                            Unsigned(Found.Confidence).c_str());
            else
                std::printf("%s: no match (confidence %s)\n", Name, Unsigned(Found.Confidence).c_str());
            std::fflush(stdout);
            if (!Found.Matched && Status == kAllMatched)
                Status = kSomeUnmatched;
        });
    } catch (const EAlignError& Error) {
        std::fprintf(stderr, "quadalign: %s\n", Error.what());
        return kError;
    }
    return Status;
}

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& Error) {
        std::fprintf(stderr, "quadalign: %s\n", Error.what());
        return kError;
    }
}
