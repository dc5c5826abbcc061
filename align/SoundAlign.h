// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <vector>

// Finds, from their sound tracks, where two recordings of one event lie
// against each other: the offset of a file against a reference and the drift
// of its clock. Pure C++ on FFmpeg's libraries and FFTW; no Qt.
//
// Threads: every function may be called from any thread, and calls on
// different threads run in parallel. A TSoundPrint is read-only once made and
// may be shared between threads.

// Where a file lies against the reference.
struct TSoundAlignment {
    bool Matched = false;
    // Seconds: what the reference plays at time t, the file plays at
    // t + Offset (t = 0 here); positive: the file started earlier.
    double Offset = 0.0;
    // The file's clock against the reference's:
    // file time = Offset + (1 + DriftPpm * 1e-6) * reference time.
    double DriftPpm = 0.0;
    // How far the match stands above the best other explanation; Matched is
    // Confidence >= kMatchConfidence. 0 when nothing in the sound agrees.
    double Confidence = 0.0;
};

// Below this a result is no match. Unrelated sound scores 0 on the tests'
// signals, copies through heavy noise and echo 19 and more, clean copies
// about 100.
inline constexpr double kMatchConfidence = 4.0;

// A file cannot be read, has no sound track, or its sound cannot be decoded.
// what() names the file and says why, in English.
class EAlignError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A call's stop token was asked to stop; thrown within 200 ms of the request.
class EAlignCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "the sound alignment was cancelled"; }
};

// A file's sound, reduced to what alignment needs: mono 16-bit samples at
// kSampleRate (57.6 MB an hour) and an onset envelope at kFrameRate.
class TSoundPrint {
public:
    static constexpr int kSampleRate = 8000;
    static constexpr int kHop = 80; // samples a frame of the envelope
    static constexpr int kFrameRate = kSampleRate / kHop;

    TSoundPrint() = default;
    // The print of mono samples at kSampleRate, full scale at +-1. Throws
    // EAlignCancelled when Stop is asked.
    static TSoundPrint FromSamples(std::span<const float> Samples, std::stop_token Stop = {});

    double Duration() const { return static_cast<double>(FSamples.size()) / kSampleRate; }
    const std::vector<int16_t>& Samples() const { return FSamples; }
    // One value a frame: how much new sound starts there, against the sound
    // around it. Frame k's window starts at sample k * kHop.
    const std::vector<float>& Envelope() const { return FEnvelope; }
    // Root mean square of the whole sound against full scale.
    double Level() const { return FLevel; }

private:
    friend class TSoundPrintBuilder;
    std::vector<int16_t> FSamples;
    std::vector<float> FEnvelope;
    double FLevel = 0.0;
};

// Progress: fraction 0..1 of this call's work, called from the calling
// thread, at most about 20 times a second.
using TAlignProgress = std::function<void(double Fraction)>;

// Decodes the first sound track (FFmpeg's best) of any file FFmpeg reads,
// downmixed to mono and resampled. Its time 0 is the file's own start, as a
// player shows it. Throws EAlignError or EAlignCancelled.
TSoundPrint DecodeSound(const std::filesystem::path& File, std::stop_token Stop,
                        const TAlignProgress& Progress = {});

// Where File lies against Ref. Sound that does not match (unrelated,
// silence, a steady tone, an overlap under about two seconds) gives
// Matched = false; offsets of either sign up to either file's length and
// drifts up to +-400 ppm are found. Throws EAlignCancelled only.
TSoundAlignment AlignSound(const TSoundPrint& Ref, const TSoundPrint& File, std::stop_token Stop);
