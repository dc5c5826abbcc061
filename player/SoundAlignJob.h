// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

// How one file's sound compares with the reference's.
struct TSoundMatch {
    enum class TKind { Matched, NoMatch, NoSound, Failed };
    TKind Kind = TKind::Failed;
    double Offset = 0.0; // what the reference plays at t, the file plays at Offset + (1 + Drift) * t
    double Drift = 0.0;  // a fraction: 100 ppm is 1e-4
    double Confidence = 0.0;
    std::string Error; // why, when Failed
};

// Finds each of Files against Reference from their sound, calling Progress
// with the fraction done (0..1) on its own thread. Throws std::exception
// naming the reason when the reference itself cannot be used. Returns soon
// after Stop is asked, with results that are then not used.
using TSoundAligner = std::function<std::vector<TSoundMatch>(
    const std::filesystem::path& Reference, const std::vector<std::filesystem::path>& Files,
    std::stop_token Stop, const std::function<void(double)>& Progress)>;

// The aligner of the player: the sound decoded with FFmpeg.
TSoundAligner DefaultSoundAligner();

// Runs an aligner on a thread of its own. The window polls it: nothing in it
// calls back into the GUI thread.
class TSoundAlignJob {
public:
    TSoundAlignJob(TSoundAligner Aligner, std::filesystem::path Reference,
                   std::vector<std::filesystem::path> Files);
    // Asks the aligner to stop and waits for it.
    ~TSoundAlignJob();
    TSoundAlignJob(const TSoundAlignJob&) = delete;
    TSoundAlignJob& operator=(const TSoundAlignJob&) = delete;

    bool Done() const { return FDone.load(std::memory_order_acquire); }
    double Progress() const { return FProgress.load(std::memory_order_relaxed); }
    // Once Done: one result per file, or, when the reference could not be
    // used, none and the reason.
    const std::vector<TSoundMatch>& Results() const { return FResults; }
    const std::string& Error() const { return FError; }

private:
    std::vector<TSoundMatch> FResults;
    std::string FError;
    std::atomic<double> FProgress{0.0};
    std::atomic<bool> FDone{false};
    std::jthread FThread; // last: it starts once the rest is ready and stops before it goes
};
