// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SoundCorrelation.h"

#include <algorithm>
#include <cmath>
#include <numbers>

TSpread RobustSpread(std::span<const float> Values) {
    if (Values.empty())
        return {};
    // A long curve's median and spread are as well known from an even
    // sample of 64 Ki of its values; taking them from all of them cost a
    // tenth of aligning an hour.
    constexpr size_t kEnough = 65536;
    const size_t Stride = (Values.size() + kEnough - 1) / kEnough;
    std::vector<float> Work;
    Work.reserve(Values.size() / Stride + 1);
    for (size_t I = 0; I < Values.size(); I += Stride)
        Work.push_back(Values[I]);
    const auto Middle = Work.begin() + static_cast<std::ptrdiff_t>(Work.size() / 2);
    std::nth_element(Work.begin(), Middle, Work.end());
    const double Median = *Middle;
    for (float& V : Work)
        V = static_cast<float>(std::abs(V - Median));
    std::nth_element(Work.begin(), Middle, Work.end());
    // 1.4826: the deviation's median is that times sigma for normal noise.
    return {Median, 1.4826 * *Middle};
}

double InterpolatePeak(double Left, double Centre, double Right) {
    const double Curvature = Left - 2.0 * Centre + Right;
    if (Curvature >= 0.0)
        return 0.0; // not a maximum: a plateau or worse
    return std::clamp(0.5 * (Left - Right) / Curvature, -0.5, 0.5);
}

namespace {

// Peak and score of the sample at Index of Curve.
TCorrelationPeak PeakAt(std::span<const float> Curve, size_t Index, const TSpread& Spread, double Sign) {
    TCorrelationPeak Peak;
    const double Centre = Sign * Curve[Index];
    double Shift = 0.0;
    if (Index > 0 && Index + 1 < Curve.size())
        Shift = InterpolatePeak(Sign * Curve[Index - 1], Centre, Sign * Curve[Index + 1]);
    Peak.Index = static_cast<double>(Index) + Shift;
    Peak.Height = Centre;
    Peak.Score = Spread.Sigma > 0.0 ? (Centre - Sign * Spread.Median) / Spread.Sigma : 0.0;
    return Peak;
}

} // namespace

std::vector<TCorrelationPeak> FindPeaks(std::span<const float> Curve, size_t Count, size_t Apart) {
    std::vector<TCorrelationPeak> Peaks;
    if (Curve.empty() || Count == 0)
        return Peaks;
    const TSpread Spread = RobustSpread(Curve);
    // Two maxima are at least two apart, so each peak taken rules out fewer
    // than Apart others: the highest Count * (Apart + 1) maxima hold every
    // peak the loop below can take. They are kept in a heap as the curve is
    // read, rather than sorting a long curve's hundred thousand maxima.
    const size_t Reach = Count * (Apart + 1);
    const auto Higher = [&](size_t L, size_t R) { return Curve[L] > Curve[R]; };
    std::vector<size_t> Maxima; // a heap with the lowest on top
    Maxima.reserve(Reach + 1);
    for (size_t I = 0; I < Curve.size(); ++I) {
        const bool AboveLeft = I == 0 || Curve[I] > Curve[I - 1];
        const bool AboveRight = I + 1 == Curve.size() || Curve[I] >= Curve[I + 1];
        if (!AboveLeft || !AboveRight || (Maxima.size() == Reach && Curve[I] <= Curve[Maxima.front()]))
            continue;
        Maxima.push_back(I);
        std::push_heap(Maxima.begin(), Maxima.end(), Higher);
        if (Maxima.size() > Reach) {
            std::pop_heap(Maxima.begin(), Maxima.end(), Higher);
            Maxima.pop_back();
        }
    }
    std::sort_heap(Maxima.begin(), Maxima.end(), Higher); // highest first
    std::vector<size_t> Taken;
    for (size_t I : Maxima) {
        bool Near = false;
        for (size_t T : Taken)
            Near = Near || (I > T ? I - T : T - I) < Apart;
        if (Near)
            continue;
        Taken.push_back(I);
        Peaks.push_back(PeakAt(Curve, I, Spread, 1.0));
        if (Peaks.size() == Count)
            break;
    }
    // Ratios against the next peak kept; the last one has none to compare.
    for (size_t I = 0; I + 1 < Peaks.size(); ++I)
        Peaks[I].Ratio = Peaks[I + 1].Height > 0.0 ? Peaks[I].Height / Peaks[I + 1].Height : 1e9;
    return Peaks;
}

TEnvelopeSearch::TEnvelopeSearch(std::span<const float> Long, size_t MaxSegment, size_t MinOverlap)
    : FLongSize(Long.size()), FMinOverlap(MinOverlap),
      FFft(TRealFft::GoodSize(Long.size() + MaxSegment + 1)) {
    float* Real = FFft.Real();
    std::fill(Real, Real + FFft.Size(), 0.0f);
    std::copy(Long.begin(), Long.end(), Real);
    FFft.Forward();
    FLongSpectrum.assign(FFft.Spectrum(), FFft.Spectrum() + FFft.Bins());
}

std::span<const float> TEnvelopeSearch::Correlate(std::span<const float> Segment) {
    const size_t N = FFft.Size();
    float* Real = FFft.Real();
    std::fill(Real, Real + N, 0.0f);
    std::copy(Segment.begin(), Segment.end(), Real);
    FFft.Forward();
    std::complex<float>* Spectrum = FFft.Spectrum();
    for (size_t K = 0; K < FFft.Bins(); ++K)
        Spectrum[K] = std::conj(Spectrum[K]) * FLongSpectrum[K];
    FFft.Inverse();
    // Circular correlation: shift S >= 0 sits at S, a negative one at N + S;
    // the transform is long enough that neither wraps onto the other.
    const size_t Overlap = std::min(FMinOverlap, Segment.size());
    const size_t Before = Segment.size() - Overlap; // negative shifts
    FCurve.resize(Before + FLongSize - std::min(FLongSize, Overlap) + 1);
    const float Scale = 1.0f / static_cast<float>(N);
    for (size_t K = 0; K < FCurve.size(); ++K) {
        const size_t At = K >= Before ? K - Before : N - (Before - K);
        FCurve[K] = Real[At] * Scale;
    }
    return FCurve;
}

long long TEnvelopeSearch::FirstShift(size_t Segment) const {
    return -static_cast<long long>(Segment - std::min(FMinOverlap, Segment));
}

TPhatCorrelator::TPhatCorrelator(size_t Chunk, size_t Search, double SampleRate, double LowHz, double HighHz)
    : FChunk(Chunk), FSearch(Search), FChunkFft(Chunk + 2 * Search), FWindowFft(Chunk + 2 * Search) {
    const double BinHz = SampleRate / static_cast<double>(FChunkFft.Size());
    FLowBin = static_cast<size_t>(std::ceil(LowHz / BinHz));
    FHighBin = std::min(FChunkFft.Bins() - 1, static_cast<size_t>(HighHz / BinHz));
    FTaper.resize(std::min<size_t>(Chunk / 8, 512));
    for (size_t I = 0; I < FTaper.size(); ++I)
        FTaper[I] = static_cast<float>(
            0.5 - 0.5 * std::cos(std::numbers::pi * (double(I) + 0.5) / double(FTaper.size())));
}

TCorrelationPeak TPhatCorrelator::Correlate(std::span<const float> Chunk, std::span<const float> Window) {
    const size_t N = FChunkFft.Size();
    float* A = FChunkFft.Real();
    std::fill(A, A + N, 0.0f);
    std::copy_n(Chunk.begin(), std::min(Chunk.size(), FChunk), A);
    float* B = FWindowFft.Real();
    std::fill(B, B + N, 0.0f);
    std::copy_n(Window.begin(), std::min(Window.size(), N), B);
    // Whitening turns any cut into a click as loud as the whole band: the
    // chunk's ends would match the window's ends (where the transform wraps)
    // better than the sound matches itself. Both fade in and out.
    for (size_t I = 0; I < FTaper.size(); ++I) {
        A[I] *= FTaper[I];
        A[FChunk - 1 - I] *= FTaper[I];
        B[I] *= FTaper[I];
        B[N - 1 - I] *= FTaper[I];
    }
    FChunkFft.Forward();
    FWindowFft.Forward();
    const std::complex<float>* SA = FChunkFft.Spectrum();
    std::complex<float>* SB = FWindowFft.Spectrum();
    // Each bin of the band counts the same, whatever its power: only the
    // phase is kept. Bins without sound in either (digital silence) would
    // divide nothing by nothing, hence the floor relative to the mean.
    double Mean = 0.0;
    for (size_t K = FLowBin; K <= FHighBin; ++K)
        Mean += std::abs(SA[K]) * std::abs(SB[K]);
    Mean /= static_cast<double>(FHighBin - FLowBin + 1);
    const float Floor = static_cast<float>(1e-6 * Mean + 1e-30);
    for (size_t K = 0; K < FWindowFft.Bins(); ++K) {
        if (K < FLowBin || K > FHighBin) {
            SB[K] = 0.0f;
            continue;
        }
        const std::complex<float> Cross = std::conj(SA[K]) * SB[K];
        SB[K] = Cross / (std::abs(Cross) + Floor);
    }
    FWindowFft.Inverse();
    FCurve.assign(B, B + 2 * FSearch + 1);

    size_t Best = 0;
    for (size_t I = 1; I < FCurve.size(); ++I)
        if (std::abs(FCurve[I]) > std::abs(FCurve[Best]))
            Best = I;
    const double Sign = FCurve[Best] < 0.0f ? -1.0 : 1.0;
    std::vector<float> Magnitudes(FCurve.size());
    for (size_t I = 0; I < FCurve.size(); ++I)
        Magnitudes[I] = std::abs(FCurve[I]);
    const TSpread Spread = RobustSpread(Magnitudes);
    TCorrelationPeak Peak = PeakAt(FCurve, Best, Spread, Sign);
    // The whitened peak is a couple of samples wide; anything as high
    // beyond that is another place the chunk fits as well.
    constexpr size_t Lobe = 3;
    double Second = 0.0;
    for (size_t I = 0; I < FCurve.size(); ++I)
        if ((I > Best ? I - Best : Best - I) > Lobe)
            Second = std::max(Second, static_cast<double>(Magnitudes[I]));
    Peak.Ratio = Second > 0.0 ? Peak.Height / Second : 1e9;
    Peak.Margin = Spread.Sigma > 0.0 ? (Peak.Height - Second) / Spread.Sigma : 0.0;
    return Peak;
}

namespace {

// Weighted least squares over the inliers; keeps Slope when the inliers
// give none (one point, or all at one time).
void Refine(std::span<const TTimePoint> Points, TLineFit& Fit) {
    double W = 0.0, T = 0.0, V = 0.0;
    for (size_t I = 0; I < Points.size(); ++I)
        if (Fit.Inliers[I]) {
            W += Points[I].Weight;
            T += Points[I].Weight * Points[I].At;
            V += Points[I].Weight * Points[I].Value;
        }
    if (W <= 0.0)
        return;
    T /= W;
    V /= W;
    double TT = 0.0, TV = 0.0;
    for (size_t I = 0; I < Points.size(); ++I)
        if (Fit.Inliers[I]) {
            TT += Points[I].Weight * (Points[I].At - T) * (Points[I].At - T);
            TV += Points[I].Weight * (Points[I].At - T) * (Points[I].Value - V);
        }
    // Points less than a second apart say nothing of the slope.
    if (TT > 1.0 * W)
        Fit.Slope = TV / TT;
    Fit.Intercept = V - Fit.Slope * T;
}

void Classify(std::span<const TTimePoint> Points, double Tolerance, TLineFit& Fit) {
    Fit.Inliers.assign(Points.size(), false);
    Fit.InlierCount = 0;
    Fit.Score = 0.0;
    for (size_t I = 0; I < Points.size(); ++I)
        if (std::abs(Points[I].Value - Fit.Intercept - Fit.Slope * Points[I].At) <= Tolerance) {
            Fit.Inliers[I] = true;
            ++Fit.InlierCount;
            Fit.Score += Points[I].Weight;
        }
}

} // namespace

TLineFit FitLine(std::span<const TTimePoint> Points, double Tolerance, double MaxSlope, double PriorSlope) {
    TLineFit Best;
    Best.Slope = PriorSlope;
    Best.Inliers.assign(Points.size(), false);
    auto Try = [&](double Intercept, double Slope) {
        TLineFit Fit;
        Fit.Intercept = Intercept;
        Fit.Slope = Slope;
        Classify(Points, Tolerance, Fit);
        if (Fit.Score > Best.Score)
            Best = std::move(Fit);
    };
    for (size_t I = 0; I < Points.size(); ++I) {
        Try(Points[I].Value - PriorSlope * Points[I].At, PriorSlope);
        for (size_t J = I + 1; J < Points.size(); ++J) {
            const double Dt = Points[J].At - Points[I].At;
            if (std::abs(Dt) < 1.0)
                continue;
            const double Slope = (Points[J].Value - Points[I].Value) / Dt;
            if (std::abs(Slope) <= MaxSlope)
                Try(Points[I].Value - Slope * Points[I].At, Slope);
        }
    }
    if (Best.InlierCount == 0)
        return Best;
    // Twice: the refined line may take in a point or drop one.
    for (int Pass = 0; Pass < 2; ++Pass) {
        Refine(Points, Best);
        Classify(Points, Tolerance, Best);
    }
    return Best;
}

std::vector<TLineFit> FitLines(std::span<const TTimePoint> Points, double Tolerance, double MaxSlope,
                               double PriorSlope, size_t Count) {
    std::vector<TLineFit> Lines;
    std::vector<TTimePoint> Left(Points.begin(), Points.end());
    while (Lines.size() < Count && !Left.empty()) {
        TLineFit Fit = FitLine(Left, Tolerance, MaxSlope, PriorSlope);
        if (Fit.InlierCount == 0)
            break;
        std::vector<TTimePoint> Rest;
        for (size_t I = 0; I < Left.size(); ++I)
            if (!Fit.Inliers[I])
                Rest.push_back(Left[I]);
        // The inliers are told against the points given, not those left.
        Classify(Points, Tolerance, Fit);
        Lines.push_back(std::move(Fit));
        Left = std::move(Rest);
    }
    return Lines;
}
