// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "SoundAlign.h"
#include "SoundFft.h"

#include <array>
#include <span>
#include <stop_token>
#include <vector>

// Makes a TSoundPrint from mono samples at TSoundPrint::kSampleRate as they
// are decoded, a block at a time, so that the whole sound is never held in
// floating point.
class TSoundPrintBuilder {
public:
    static constexpr size_t kWindow = 256; // samples a frame's spectrum is taken over
    static constexpr size_t kBands = 12;

    TSoundPrintBuilder();
    void Reserve(size_t Samples);
    // Full scale is +-1; beyond it the samples are clipped.
    void Add(std::span<const float> Samples);
    void AddSilence(size_t Count);
    size_t Size() const { return FPrint.FSamples.size(); }
    // The print; the builder is empty afterwards. Throws EAlignCancelled.
    TSoundPrint Finish(std::stop_token Stop);

private:
    void MakeFrames();

    TSoundPrint FPrint;
    std::vector<float> FFlux; // raw onset strength, one a frame
    std::array<float, kBands> FLastBands{};
    std::array<float, kWindow> FWindow;
    std::array<size_t, kBands + 1> FBandEdges; // bins
    TRealFft FFft{kWindow};
    double FSumSquares = 0.0;
};
