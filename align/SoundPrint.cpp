// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SoundPrint.h"

#include <algorithm>
#include <cmath>
#include <numbers>

// The envelope is the onset strength (spectral flux) of the sound: per frame,
// how much the log power of each of a dozen bands rose since the frame before,
// summed. Logarithms make gain and equalisation drop out of the rises;
// taking rises alone follows where sounds start, which two microphones agree
// on even when their noise, colour and room differ. Normalising by the
// spread around each frame then weighs quiet passages like loud ones.

namespace {

constexpr double kLowHz = 125.0;   // below: hum and rumble that microphones disagree on
constexpr double kHighHz = 3800.0; // just under half the sample rate
// A band's power floor, -90 dB against a full-scale sine's: quieter than
// that counts as silence, so that digital silence and a steady tone give
// no onsets at all.
constexpr float kPowerFloor = 1e-9f;
constexpr size_t kMeanFrames = 50;    // +-0.5 s: the mean that is taken off
constexpr size_t kSpreadFrames = 250; // +-2.5 s: the spread that is divided by
// The spread of noise's flux is about 1; below this a passage holds no
// onsets worth the name and stays near 0 instead of being blown up.
constexpr double kSpreadFloor = 0.25;
constexpr float kClip = 4.0f; // one crash does not outweigh the rest

} // namespace

TSoundPrintBuilder::TSoundPrintBuilder() {
    for (size_t I = 0; I < kWindow; ++I)
        FWindow[I] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (I + 0.5) / kWindow));
    const double BinHz = static_cast<double>(TSoundPrint::kSampleRate) / kWindow;
    const double Low = kLowHz / BinHz, High = kHighHz / BinHz;
    for (size_t B = 0; B <= kBands; ++B)
        FBandEdges[B] = static_cast<size_t>(std::lround(Low * std::pow(High / Low, double(B) / kBands)));
    FLastBands.fill(std::log(kPowerFloor));
}

void TSoundPrintBuilder::Reserve(size_t Samples) {
    FPrint.FSamples.reserve(Samples);
    FFlux.reserve(Samples / TSoundPrint::kHop + 1);
}

void TSoundPrintBuilder::Add(std::span<const float> Samples) {
    std::vector<int16_t>& Out = FPrint.FSamples;
    const size_t At = Out.size();
    Out.resize(At + Samples.size()); // grows as push_back would, and leaves the loop free of checks
    int16_t* To = Out.data() + At;
    for (size_t I = 0; I < Samples.size(); ++I) {
        const float C = std::clamp(Samples[I], -1.0f, 1.0f);
        FSumSquares += double(C) * C;
        // Rounded half away from zero, as lround does, without a call per sample.
        To[I] = static_cast<int16_t>(C * 32767.0f + (C < 0.0f ? -0.5f : 0.5f));
    }
    MakeFrames();
}

void TSoundPrintBuilder::AddSilence(size_t Count) {
    FPrint.FSamples.insert(FPrint.FSamples.end(), Count, 0);
    MakeFrames();
}

void TSoundPrintBuilder::MakeFrames() {
    const std::vector<int16_t>& Samples = FPrint.FSamples;
    float* Real = FFft.Real();
    const std::complex<float>* Spectrum = FFft.Spectrum();
    // Power against a full-scale sine's peak bin, so that the floor is a level.
    constexpr float Scale = 1.0f / (32768.0f * 32768.0f * (kWindow / 4.0f) * (kWindow / 4.0f));
    for (size_t Start = FFlux.size() * TSoundPrint::kHop; Start + kWindow <= Samples.size();
         Start += TSoundPrint::kHop) {
        for (size_t I = 0; I < kWindow; ++I)
            Real[I] = FWindow[I] * Samples[Start + I];
        FFft.Forward();
        float Flux = 0.0f;
        for (size_t B = 0; B < kBands; ++B) {
            float Power = 0.0f;
            for (size_t K = FBandEdges[B]; K < FBandEdges[B + 1]; ++K)
                Power += std::norm(Spectrum[K]);
            Power *= Scale / static_cast<float>(FBandEdges[B + 1] - FBandEdges[B]);
            const float Level = std::log(Power + kPowerFloor);
            Flux += std::max(0.0f, Level - FLastBands[B]);
            FLastBands[B] = Level;
        }
        FFlux.push_back(Flux);
    }
}

TSoundPrint TSoundPrintBuilder::Finish(std::stop_token Stop) {
    const size_t N = FFlux.size();
    std::vector<float>& Envelope = FPrint.FEnvelope;
    Envelope.assign(N, 0.0f);
    // Running sums over windows clipped at the ends.
    std::vector<double> Sum(N + 1, 0.0);
    for (size_t I = 0; I < N; ++I)
        Sum[I + 1] = Sum[I] + FFlux[I];
    for (size_t I = 0; I < N; ++I) {
        const size_t Lo = I >= kMeanFrames ? I - kMeanFrames : 0, Hi = std::min(N, I + kMeanFrames + 1);
        Envelope[I] = static_cast<float>(FFlux[I] - (Sum[Hi] - Sum[Lo]) / double(Hi - Lo));
        if ((I & 0xffff) == 0 && Stop.stop_requested())
            throw EAlignCancelled();
    }
    for (size_t I = 0; I < N; ++I)
        Sum[I + 1] = Sum[I] + double(Envelope[I]) * Envelope[I];
    std::vector<float> Spread(N);
    for (size_t I = 0; I < N; ++I) {
        const size_t Lo = I >= kSpreadFrames ? I - kSpreadFrames : 0, Hi = std::min(N, I + kSpreadFrames + 1);
        Spread[I] =
            static_cast<float>(std::max(kSpreadFloor, std::sqrt((Sum[Hi] - Sum[Lo]) / double(Hi - Lo))));
    }
    for (size_t I = 0; I < N; ++I)
        Envelope[I] = std::clamp(Envelope[I] / Spread[I], -kClip, kClip);
    if (Stop.stop_requested())
        throw EAlignCancelled();
    const size_t Count = FPrint.FSamples.size();
    FPrint.FLevel = Count ? std::sqrt(FSumSquares / double(Count)) : 0.0;
    // Shrinking copies the whole: only worth it when the vector grew past
    // its size by doubling, not when it was reserved from the duration.
    if (FPrint.FSamples.capacity() > Count + Count / 8)
        FPrint.FSamples.shrink_to_fit();
    FFlux.clear();
    TSoundPrint Print = std::move(FPrint);
    FPrint = TSoundPrint();
    return Print;
}

TSoundPrint TSoundPrint::FromSamples(std::span<const float> Samples, std::stop_token Stop) {
    TSoundPrintBuilder Builder;
    Builder.Reserve(Samples.size());
    constexpr size_t Block = 1 << 16;
    for (size_t At = 0; At < Samples.size(); At += Block) {
        if (Stop.stop_requested())
            throw EAlignCancelled();
        Builder.Add(Samples.subspan(At, std::min(Block, Samples.size() - At)));
    }
    return Builder.Finish(Stop);
}
