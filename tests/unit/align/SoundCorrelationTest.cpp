// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SoundCorrelation.h"
#include "SyntheticSound.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

constexpr double kRate = 8000.0;
constexpr size_t kChunk = 12288;
constexpr size_t kSearch = 2048;

const std::vector<float>& Speech() {
    static const std::vector<float> Sound = SpeechLike(20.0, kRate, 11);
    return Sound;
}

// Sound[From, From + Size), 0 outside.
std::vector<float> Cut(const std::vector<float>& Sound, long long From, size_t Size) {
    std::vector<float> Out(Size, 0.0f);
    for (size_t I = 0; I < Size; ++I)
        if (From + static_cast<long long>(I) >= 0 &&
            From + static_cast<long long>(I) < (long long)Sound.size())
            Out[I] = Sound[static_cast<size_t>(From + static_cast<long long>(I))];
    return Out;
}

// The chunk's shift in the window, as the correlator reports it, less the
// search: 0 when the window is centred on the chunk.
double Shift(const TCorrelationPeak& Peak) {
    return Peak.Index - double(kSearch);
}

// Size values drawn from a normal distribution, the same for the same Seed.
std::vector<float> Gaussian(size_t Size, float Mean, float Sigma, uint32_t Seed) {
    std::mt19937 Random(Seed);
    std::normal_distribution<float> Noise(Mean, Sigma);
    std::vector<float> Values(Size);
    for (float& V : Values)
        V = Noise(Random);
    return Values;
}

} // namespace

TEST(RobustSpread, IgnoresAFewOutliers) {
    std::vector<float> Values = Gaussian(10000, 5.0f, 2.0f, 3);
    for (size_t I = 0; I < 100; ++I)
        Values[I * 97] = 1e6f;
    const TSpread Spread = RobustSpread(Values);
    EXPECT_NEAR(Spread.Median, 5.0, 0.1);
    EXPECT_NEAR(Spread.Sigma, 2.0, 0.1);
}

TEST(InterpolatePeak, FindsTheTopOfAParabola) {
    for (double Top : {-0.4, -0.1, 0.0, 0.25, 0.49}) {
        auto At = [&](double X) { return 3.0 - 2.0 * (X - Top) * (X - Top); };
        EXPECT_NEAR(InterpolatePeak(At(-1), At(0), At(1)), Top, 1e-12);
    }
    EXPECT_EQ(InterpolatePeak(1.0, 1.0, 1.0), 0.0); // a plateau has no top
}

TEST(FindPeaks, KeepsTheHighestMaximaApart) {
    std::vector<float> Curve = Gaussian(1000, 0.0f, 0.1f, 5);
    Curve[300] = 10.0f;
    Curve[301] = 9.0f; // the same lobe
    Curve[700] = 6.0f;
    const std::vector<TCorrelationPeak> Peaks = FindPeaks(Curve, 2, 10);
    ASSERT_EQ(Peaks.size(), 2u);
    EXPECT_GT(Peaks[0].Index, 300.0);
    EXPECT_LT(Peaks[0].Index, 301.0);
    EXPECT_NEAR(Peaks[1].Index, 700.0, 0.5);
    EXPECT_GT(Peaks[0].Score, 50.0);
    EXPECT_NEAR(Peaks[0].Ratio, 10.0 / 6.0, 1e-6);
}

TEST(EnvelopeSearch, FindsASegmentAtEveryShiftWithEnoughOverlap) {
    const std::vector<float> Long = Gaussian(5000, 0.0f, 1.0f, 9);
    constexpr size_t Segment = 600, MinOverlap = 200;
    TEnvelopeSearch Search(Long, Segment, MinOverlap);
    // Shifts across the whole range, both ends included: a segment that
    // starts 400 before Long (200 on it) and one that ends 400 after.
    for (long long Shift : {-400LL, -150LL, 0LL, 1234LL, 4400LL}) {
        std::vector<float> Part = Cut(Long, Shift, Segment);
        const std::span<const float> Curve = Search.Correlate(Part);
        const std::vector<TCorrelationPeak> Peaks = FindPeaks(Curve, 1, 5);
        ASSERT_EQ(Peaks.size(), 1u);
        EXPECT_NEAR(Peaks[0].Index + double(Search.FirstShift(Segment)), double(Shift), 0.5) << Shift;
    }
}

// Delays of whole samples, both signs, and the polarity turned over.
TEST(PhatCorrelator, FindsWholeSampleShiftsOfBothSigns) {
    TPhatCorrelator Phat(kChunk, kSearch, kRate, 150.0, 3800.0);
    const long long ChunkAt = 40000;
    const std::vector<float> Chunk = Cut(Speech(), ChunkAt, kChunk);
    for (long long Delay : {-2000LL, -37LL, -1LL, 0LL, 1LL, 500LL, 2047LL}) {
        // The window starts where the chunk would be without delay, less the
        // search; the chunk's sound lies Delay later in it.
        std::vector<float> Window = Cut(Speech(), ChunkAt - (long long)kSearch - Delay, kChunk + 2 * kSearch);
        TCorrelationPeak Peak = Phat.Correlate(Chunk, Window);
        EXPECT_NEAR(Shift(Peak), double(Delay), 0.02) << Delay;
        EXPECT_GT(Peak.Ratio, 2.0) << Delay;
        for (float& V : Window)
            V = -V;
        Peak = Phat.Correlate(Chunk, Window);
        EXPECT_NEAR(Shift(Peak), double(Delay), 0.02) << "inverted " << Delay;
    }
}

TEST(PhatCorrelator, FindsSubSampleShifts) {
    TPhatCorrelator Phat(kChunk, kSearch, kRate, 150.0, 3800.0);
    const std::vector<float>& Sound = Speech();
    const long long ChunkAt = 60000;
    const std::vector<float> Chunk = Cut(Sound, ChunkAt, kChunk);
    for (double Delay : {-3.5, -0.25, 0.3, 0.5, 7.75}) {
        // Sound played Delay samples later, by band-limited interpolation.
        const std::vector<float> Later =
            Recorded(Sound, kRate, Delay / kRate, 0.0, double(Sound.size()) / kRate);
        const std::vector<float> Window = Cut(Later, ChunkAt - (long long)kSearch, kChunk + 2 * kSearch);
        EXPECT_NEAR(Shift(Phat.Correlate(Chunk, Window)), Delay, 0.1) << Delay;
    }
}

TEST(PhatCorrelator, FindsTheShiftThroughNoiseEchoAndColour) {
    TPhatCorrelator Phat(kChunk, kSearch, kRate, 150.0, 3800.0);
    const std::vector<float> Other = OtherMicrophone(Speech(), kRate, 0.3, 10.0, 4);
    int Found = 0, Tried = 0;
    for (long long ChunkAt = 8000; ChunkAt + (long long)(kChunk + 2 * kSearch) < (long long)Other.size();
         ChunkAt += 20000) {
        const std::vector<float> Chunk = Cut(Speech(), ChunkAt, kChunk);
        const std::vector<float> Window =
            Cut(Other, ChunkAt - (long long)kSearch - 123, kChunk + 2 * kSearch);
        const TCorrelationPeak Peak = Phat.Correlate(Chunk, Window);
        ++Tried;
        // 5 ms is 40 samples; the direct sound is found well within one.
        if (std::abs(Shift(Peak) - 123.0) < 1.0 && Peak.Margin > 5.0)
            ++Found;
    }
    EXPECT_GE(Found, Tried - 1);
}

// A tone fits every period of itself: its peak must not look unique.
TEST(PhatCorrelator, SeesATonesRepeatsAsRivals) {
    TPhatCorrelator Phat(kChunk, kSearch, kRate, 150.0, 3800.0);
    const std::vector<float> Sine = Tone(4.0, kRate, 440.0, 0.3);
    const TCorrelationPeak Peak =
        Phat.Correlate(Cut(Sine, 3000, kChunk), Cut(Sine, 3000 - 2048 - 700, kChunk + 2 * kSearch));
    EXPECT_LT(Peak.Ratio, 1.3);
    EXPECT_LT(Peak.Margin, 3.0);
}

TEST(FitLine, FindsOffsetAndDriftDespiteOutliers) {
    std::vector<TTimePoint> Points;
    std::mt19937 Random(1);
    std::uniform_real_distribution<double> Wild(-0.25, 0.25);
    std::normal_distribution<double> Jitter(0.0, 0.0002);
    for (int I = 0; I < 24; ++I) {
        const double At = 30.0 + 25.0 * I;
        // A third of the chunks fit somewhere else entirely.
        const double Value = I % 3 == 1 ? Wild(Random) : 1.25 + 150e-6 * At + Jitter(Random);
        Points.push_back({At, Value, 10.0});
    }
    const TLineFit Fit = FitLine(Points, 0.002, 400e-6, 0.0);
    EXPECT_NEAR(Fit.Intercept, 1.25, 0.0005);
    EXPECT_NEAR(Fit.Slope * 1e6, 150.0, 1.0);
    EXPECT_EQ(Fit.InlierCount, 16u);
    for (int I = 0; I < 24; ++I)
        EXPECT_EQ(Fit.Inliers[I], I % 3 != 1) << I;
    EXPECT_DOUBLE_EQ(Fit.Score, 160.0);
}

TEST(FitLine, KeepsSlopesWithinTheLimit) {
    // A line of 1000 ppm through every point is not a drift; the best fit
    // within 400 ppm holds one point, with the prior slope.
    std::vector<TTimePoint> Points;
    for (int I = 0; I < 10; ++I)
        Points.push_back({10.0 * I, 1e-3 * 10.0 * I, 1.0});
    const TLineFit Fit = FitLine(Points, 0.001, 400e-6, 50e-6);
    EXPECT_LE(Fit.InlierCount, 2u);
    EXPECT_LE(std::abs(Fit.Slope), 400e-6);
}

TEST(FitLine, GivesThePriorSlopeToPointsAtOneTime) {
    const std::vector<TTimePoint> Points = {{5.0, 2.0, 1.0}, {5.2, 2.0001, 1.0}};
    const TLineFit Fit = FitLine(Points, 0.001, 400e-6, 100e-6);
    EXPECT_EQ(Fit.InlierCount, 2u);
    EXPECT_DOUBLE_EQ(Fit.Slope, 100e-6);
    EXPECT_NEAR(Fit.Intercept + Fit.Slope * 5.1, 2.00005, 1e-9);
}

TEST(FitLines, ListsRivalsAfterTheBest) {
    std::vector<TTimePoint> Points;
    for (int I = 0; I < 12; ++I)
        Points.push_back({10.0 * I, 3.0, 5.0});
    for (int I = 0; I < 6; ++I)
        Points.push_back({10.0 * I + 5.0, -7.0, 5.0});
    const std::vector<TLineFit> Lines = FitLines(Points, 0.01, 400e-6, 0.0, 3);
    ASSERT_EQ(Lines.size(), 2u);
    EXPECT_NEAR(Lines[0].Intercept, 3.0, 1e-9);
    EXPECT_EQ(Lines[0].InlierCount, 12u);
    EXPECT_NEAR(Lines[1].Intercept, -7.0, 1e-9);
    EXPECT_EQ(Lines[1].InlierCount, 6u);
}
