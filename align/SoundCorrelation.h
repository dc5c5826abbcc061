// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "SoundFft.h"

#include <cstddef>
#include <span>
#include <vector>

// The aligner's arithmetic: correlation curves, their peaks and how far those
// stand out, and the robust fit of a line through measured offsets. Free of
// files and of FFmpeg, so that it is tested on made-up signals.

// The middle and the spread of values, robust to the few that stand out:
// the median, and the median absolute deviation scaled to a standard
// deviation.
struct TSpread {
    double Median = 0.0;
    double Sigma = 0.0;
};
TSpread RobustSpread(std::span<const float> Values);

// Where the top of a sampled peak lies between the samples: the parabola
// through the peak sample and its neighbours; -0.5..0.5 from the centre.
double InterpolatePeak(double Left, double Centre, double Right);

// A peak of a correlation curve.
struct TCorrelationPeak {
    double Index = 0.0;  // where in the curve, between samples
    double Height = 0.0; // the curve's value there (its magnitude, for PHAT)
    // How far it stands out: (Height - median) / sigma of the whole curve.
    double Score = 0.0;
    // Height over the highest value farther than the peak's own lobe: near
    // 1 when the curve repeats itself, as a steady tone's does.
    double Ratio = 0.0;
    // (Height - that highest value) / sigma: how much better this place fits
    // than any other. Set by TPhatCorrelator alone.
    double Margin = 0.0;
};

// The Count highest local maxima of Curve, at least Apart samples from each
// other, highest first, scored against the curve's spread.
std::vector<TCorrelationPeak> FindPeaks(std::span<const float> Curve, size_t Count, size_t Apart);

// Correlates short segments of one envelope with the whole of another. The
// long one is transformed once.
class TEnvelopeSearch {
public:
    // Shifts are taken while at least MinOverlap values of a segment lie on
    // Long.
    TEnvelopeSearch(std::span<const float> Long, size_t MaxSegment, size_t MinOverlap);
    // The correlation sum of Segment against Long for each shift S from
    // -(Segment.size() - m) to Long.size() - m, m being the smaller of
    // MinOverlap and Segment.size(): entry k is shift k - (Segment.size() - m),
    // Segment[i] against Long[i + S].
    std::span<const float> Correlate(std::span<const float> Segment);
    // The shift of entry 0 for Segment: -(Segment.size() - m).
    long long FirstShift(size_t Segment) const;

private:
    size_t FLongSize;
    size_t FMinOverlap;
    TRealFft FFft;
    std::vector<std::complex<float>> FLongSpectrum;
    std::vector<float> FCurve;
};

// The generalised cross-correlation with phase transform (GCC-PHAT) of a
// chunk against a window around where it should lie. Whitening makes the
// peak as narrow as the band allows, whatever the microphones' colour, so
// that it is found to a fraction of a sample; gain and equalisation drop out.
class TPhatCorrelator {
public:
    // Chunk samples against windows of Chunk + 2 * Search; the band is
    // LowHz..HighHz at SampleRate.
    TPhatCorrelator(size_t Chunk, size_t Search, double SampleRate, double LowHz, double HighHz);
    size_t Chunk() const { return FChunk; }
    size_t Search() const { return FSearch; }
    // Chunk[i] against Window[i + Index], Index 0..2 * Search: the peak's
    // Index says where the chunk lies in the window. A polarity turned over
    // counts as a match.
    TCorrelationPeak Correlate(std::span<const float> Chunk, std::span<const float> Window);

private:
    size_t FChunk;
    size_t FSearch;
    size_t FLowBin;
    size_t FHighBin;
    TRealFft FChunkFft;
    TRealFft FWindowFft;
    std::vector<float> FTaper; // the rise of the fade at both ends of chunk and window
    std::vector<float> FCurve;
};

// A measured offset: at time At, Value; trusted by Weight (> 0).
struct TTimePoint {
    double At = 0.0;
    double Value = 0.0;
    double Weight = 1.0;
};

// A line Value = Intercept + Slope * At through the points that agree.
struct TLineFit {
    double Intercept = 0.0;
    double Slope = 0.0;
    std::vector<bool> Inliers; // one a point: within the tolerance of the line
    size_t InlierCount = 0;
    double Score = 0.0; // the inliers' weights summed
};

// The line through the most weight of Points within Tolerance of it, with a
// slope within MaxSlope of 0 (a single point gives PriorSlope), refined by
// weighted least squares over its inliers. Lines through any two points are
// tried, so outliers of any size and number below the inliers' are left out.
// InlierCount 0 when Points is empty.
TLineFit FitLine(std::span<const TTimePoint> Points, double Tolerance, double MaxSlope, double PriorSlope);

// Up to Count lines, each through points that the lines before it left:
// the best fit first, then its rivals.
std::vector<TLineFit> FitLines(std::span<const TTimePoint> Points, double Tolerance, double MaxSlope,
                               double PriorSlope, size_t Count);
