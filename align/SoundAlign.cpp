// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SoundAlign.h"

#include "SoundCorrelation.h"

#include <algorithm>
#include <array>
#include <cmath>

// Two stages. The coarse one cuts the shorter sound's envelope into segments
// and correlates each with the whole of the longer one's: every segment
// names a few places it could be, and the line (offset and drift) that the
// most of them agree on, and its runners-up, are the candidates. A segment
// is short enough that 400 ppm of drift moves it by less than a frame.
//
// The fine stage takes chunks of a few seconds of samples spread over the
// overlap, resamples the other sound to where each should lie under the
// candidate's drift, and finds each chunk's shift by GCC-PHAT to a fraction
// of a sample. A robust line through the chunks' places gives offset and
// drift; chunks that disagree, or whose correlation has a rival peak (a
// tone's repeats, an echo as strong as the sound), are left out.
//
// Each candidate is scored by how far its agreeing chunks' peaks stand above
// their next best places (in sigmas of their correlation), summed and divided
// by all chunks tried, so that a lucky chunk of unrelated sound scores
// little; fewer than three agreeing chunks score 0. The confidence is the
// best candidate's score less its best rival's: sound that fits several
// places equally (a steady tone, a loop) is no match.
//
// Measured on the tests' made-up speech: unrelated sound never had three
// chunks agree (confidence 0); copies through noise down to -6 dB SNR with
// echoes and colour scored 19 and more, clean copies about 100.

namespace {

// Lines are lag(t) = Intercept + Slope * t: the longer sound plays at t + lag
// what the shorter one plays at t.
struct TLine {
    double Intercept = 0.0;
    double Slope = 0.0;
    double At(double T) const { return Intercept + Slope * T; }
};

constexpr double kRate = TSoundPrint::kSampleRate;
constexpr double kFrameRate = TSoundPrint::kFrameRate;
constexpr double kMaxDrift = 400e-6;
// Below this root mean square (-60 dB against full scale) a sound is silence.
constexpr double kSilentLevel = 1e-3;

// Coarse stage.
constexpr size_t kSegmentFrames = 30 * TSoundPrint::kFrameRate; // 400 ppm moves it 12 ms
constexpr size_t kMaxSegments = 40;
constexpr size_t kSegmentPeaks = 4;
constexpr double kSegmentMinScore = 4.0;    // a segment's peak below this is noise
constexpr double kSegmentTolerance = 0.025; // s: a frame each way and a bit
constexpr size_t kCandidates = 3;
constexpr size_t kMinOverlapFrames = 3 * TSoundPrint::kFrameRate; // a segment's end on the other's

// Fine stage.
constexpr size_t kSearch = 2048; // samples each way: +-0.256 s around a candidate
constexpr std::array<size_t, 3> kChunks = {28672, 12288, 4096}; // 3.6, 1.5 and 0.5 s
constexpr size_t kMinChunks = 3;
constexpr size_t kWantChunks = 8; // the longest chunk of which this many fit is taken
constexpr size_t kMaxChunks = 24;
constexpr double kPhatLowHz = 150.0;
constexpr double kPhatHighHz = 3800.0;
constexpr double kMinActivity = 0.2;      // envelope RMS: below it a chunk holds no onsets
constexpr double kMinRatio = 1.3;         // a chunk's peak over its rival's, or it is ambiguous
constexpr double kMaxScore = 100.0;       // a chunk's margin counts up to this
constexpr double kChunkTolerance = 0.002; // s: a chunk within this of the line agrees
constexpr double kSameLine = 0.005;       // s: candidates this close over the overlap are one

void CheckStop(const std::stop_token& Stop) {
    if (Stop.stop_requested())
        throw EAlignCancelled();
}

// The part of the shorter sound, in its time, that lies on the longer one
// under Line.
std::pair<double, double> Overlap(const TLine& Line, double ShortDuration, double LongDuration) {
    // t + lag(t) = Intercept + (1 + Slope) t within [0, LongDuration].
    const double Rate = 1.0 + Line.Slope;
    const double From = std::max(0.0, -Line.Intercept / Rate);
    const double To = std::min(ShortDuration, (LongDuration - Line.Intercept) / Rate);
    return {From, To};
}

std::vector<TLine> CoarseCandidates(const TSoundPrint& Short, const TSoundPrint& Long,
                                    const std::stop_token& Stop) {
    const std::vector<float>& A = Short.Envelope();
    const std::vector<float>& B = Long.Envelope();
    if (A.size() < kFrameRate || B.size() < kFrameRate)
        return {};
    const size_t Length = std::min(kSegmentFrames, A.size());
    // Segments cover the whole when they can, overlapping a little; the
    // first and the last always lie at the ends, where a short overlap is.
    const size_t Count = std::clamp<size_t>((A.size() + Length - 1) / Length, 1, kMaxSegments);
    TEnvelopeSearch Search(B, Length, kMinOverlapFrames);
    std::vector<TTimePoint> Points;
    for (size_t S = 0; S < Count; ++S) {
        CheckStop(Stop);
        const size_t Start = Count == 1 ? 0 : S * (A.size() - Length) / (Count - 1);
        const std::span<const float> Segment(A.data() + Start, Length);
        double Energy = 0.0;
        for (float V : Segment)
            Energy += double(V) * V;
        // A segment without onsets (silence, a steady tone) names no place.
        if (Energy < 0.05 * double(Length))
            continue;
        const std::span<const float> Curve = Search.Correlate(Segment);
        for (const TCorrelationPeak& Peak : FindPeaks(Curve, kSegmentPeaks, 10)) {
            if (Peak.Score < kSegmentMinScore)
                break;
            const double Shift = Peak.Index + double(Search.FirstShift(Length));
            const double At = (double(Start) + 0.5 * double(Length)) / kFrameRate;
            Points.push_back({At, (Shift - double(Start)) / kFrameRate, Peak.Score});
        }
    }
    std::vector<TLine> Lines;
    for (const TLineFit& Fit : FitLines(Points, kSegmentTolerance, kMaxDrift, 0.0, kCandidates))
        Lines.push_back({Fit.Intercept, std::clamp(Fit.Slope, -kMaxDrift, kMaxDrift)});
    return Lines;
}

// Long's samples at Start, Start + Step, ... as floats; 0 outside the sound.
// Cubic (Catmull-Rom) between samples: the steps differ from 1 by the drift
// alone, so the error it leaves is far below the chunks' precision.
void Resample(const std::vector<int16_t>& Long, double Start, double Step, std::span<float> Out) {
    const auto At = [&](long long I) -> float {
        return I >= 0 && I < static_cast<long long>(Long.size()) ? Long[static_cast<size_t>(I)] / 32768.0f
                                                                 : 0.0f;
    };
    for (size_t J = 0; J < Out.size(); ++J) {
        const double X = Start + Step * double(J);
        const double Floor = std::floor(X);
        const long long I = static_cast<long long>(Floor);
        const float F = static_cast<float>(X - Floor);
        if (F == 0.0f) {
            Out[J] = At(I);
            continue;
        }
        const float P0 = At(I - 1), P1 = At(I), P2 = At(I + 1), P3 = At(I + 2);
        Out[J] = P1 + 0.5f * F *
                          (P2 - P0 +
                           F * (2.0f * P0 - 5.0f * P1 + 4.0f * P2 - P3 + F * (3.0f * (P1 - P2) + P3 - P0)));
    }
}

double Rms(std::span<const float> Values) {
    double Sum = 0.0;
    for (float V : Values)
        Sum += double(V) * V;
    return Values.empty() ? 0.0 : std::sqrt(Sum / double(Values.size()));
}

// The root mean square of Print's envelope over Seconds from From: about 1
// where sounds start and stop, near 0 where nothing changes.
double Activity(const TSoundPrint& Print, double From, double Seconds) {
    const std::vector<float>& E = Print.Envelope();
    const double Lo = std::max(0.0, From * kFrameRate);
    const double Hi = std::min(double(E.size()), (From + Seconds) * kFrameRate);
    if (Hi <= Lo)
        return 0.0;
    return Rms(std::span<const float>(E).subspan(static_cast<size_t>(Lo), static_cast<size_t>(Hi - Lo)));
}

struct TFine {
    TLine Line;
    double Score = 0.0;
    double From = 0.0, To = 0.0; // the overlap in the shorter sound's time
};

// Where to put the chunks: one a slot of the overlap, each where the shorter
// sound's onsets are strongest, since those pin a correlation down.
std::vector<size_t> PlaceChunks(const TSoundPrint& Short, double From, double To, size_t Chunk) {
    const size_t First = static_cast<size_t>(std::ceil(From * kRate));
    const size_t Last = std::min(Short.Samples().size(), static_cast<size_t>(To * kRate));
    if (Last <= First || Last - First < kMinChunks * Chunk)
        return {};
    const size_t Count = std::min(kMaxChunks, (Last - First) / Chunk);
    const std::vector<float>& E = Short.Envelope();
    std::vector<double> Sum(E.size() + 1, 0.0);
    for (size_t I = 0; I < E.size(); ++I)
        Sum[I + 1] = Sum[I] + std::max(0.0f, E[I]);
    const size_t Hop = TSoundPrint::kHop;
    const size_t ChunkFrames = Chunk / Hop;
    std::vector<size_t> Starts;
    const double Slot = double(Last - First) / double(Count);
    for (size_t C = 0; C < Count; ++C) {
        const size_t Lo = First + static_cast<size_t>(Slot * double(C));
        const size_t Hi = First + static_cast<size_t>(Slot * double(C + 1)) - Chunk; // last start
        size_t Best = Lo;
        double BestSum = -1.0;
        for (size_t F = (Lo + Hop - 1) / Hop; F * Hop <= Hi; ++F) {
            const size_t End = std::min(E.size(), F + ChunkFrames);
            const double Onsets = F < End ? Sum[End] - Sum[F] : 0.0;
            if (Onsets > BestSum) {
                BestSum = Onsets;
                Best = F * Hop;
            }
        }
        Starts.push_back(Best);
    }
    return Starts;
}

// One pass of the fine stage around Line, with the chunks at Starts.
TFine FinePass(const TSoundPrint& Short, const TSoundPrint& Long, const TLine& Line, TPhatCorrelator& Phat,
               const std::vector<size_t>& Starts, const std::stop_token& Stop) {
    const size_t Chunk = Phat.Chunk(), Search = Phat.Search();
    const double Rate = 1.0 + Line.Slope;
    std::vector<float> A(Chunk), B(Chunk + 2 * Search);
    std::vector<TTimePoint> Points;
    size_t Tried = 0;
    for (size_t Start : Starts) {
        CheckStop(Stop);
        for (size_t I = 0; I < Chunk; ++I)
            A[I] = Short.Samples()[Start + I] / 32768.0f;
        // Long's sample for Short's sample n is Intercept * rate + (1 + Slope) n;
        // the window starts Search of those before the chunk's first, on a
        // whole sample so that without drift no sample is interpolated.
        const double First = std::round(Line.Intercept * kRate + Rate * (double(Start) - double(Search)));
        Resample(Long.Samples(), First, Rate, B);
        if (Rms(A) < kSilentLevel || Rms(std::span<const float>(B).subspan(Search, Chunk)) < kSilentLevel)
            continue;
        // Without onsets on either side (a steady tone, hiss) a chunk can
        // only fit by chance.
        if (Activity(Short, double(Start) / kRate, double(Chunk) / kRate) < kMinActivity ||
            Activity(Long, First / kRate, double(Chunk + 2 * Search) / kRate) < kMinActivity)
            continue;
        ++Tried;
        const TCorrelationPeak Peak = Phat.Correlate(A, B);
        if (Peak.Ratio < kMinRatio)
            continue;
        // The chunk's middle sample lies at First + (Index + Chunk / 2) * rate in Long.
        const double Middle = double(Start) + 0.5 * double(Chunk);
        const double LongAt = First + (Peak.Index + 0.5 * double(Chunk)) * Rate;
        Points.push_back({Middle / kRate, (LongAt - Middle) / kRate, std::min(Peak.Margin, kMaxScore)});
    }
    TFine Fine;
    Fine.Line = Line;
    if (Tried < kMinChunks)
        return Fine;
    const TLineFit Fit = FitLine(Points, kChunkTolerance, kMaxDrift, Line.Slope);
    if (Fit.InlierCount < kMinChunks)
        return Fine;
    Fine.Line = {Fit.Intercept, Fit.Slope};
    Fine.Score = Fit.Score / double(Tried);
    return Fine;
}

// The fine stage for one candidate: a pass around it, and a second around
// the line the first found, whose drift is now known well enough that no
// chunk is smeared by it.
TFine Fine(const TSoundPrint& Short, const TSoundPrint& Long, const TLine& Candidate,
           const std::stop_token& Stop) {
    TFine Result;
    const auto [From, To] = Overlap(Candidate, Short.Duration(), Long.Duration());
    Result.From = From;
    Result.To = To;
    if (To <= From)
        return Result;
    const double Samples = (To - From) * kRate;
    size_t Chunk = kChunks.back();
    for (size_t C : kChunks)
        if (Samples >= double(kWantChunks * C)) {
            Chunk = C;
            break;
        }
    // Margin: the chunks must lie on Long under any line near the candidate.
    const double Margin = double(kSearch) / kRate;
    const std::vector<size_t> Starts = PlaceChunks(Short, From + Margin, To - Margin, Chunk);
    if (Starts.empty())
        return Result;
    TPhatCorrelator Phat(Chunk, kSearch, kRate, kPhatLowHz, kPhatHighHz);
    TFine First = FinePass(Short, Long, Candidate, Phat, Starts, Stop);
    if (First.Score <= 0.0)
        return Result;
    TFine Second = FinePass(Short, Long, First.Line, Phat, Starts, Stop);
    Second.From = From;
    Second.To = To;
    return Second.Score > 0.0 ? Second : First;
}

bool SameLine(const TFine& L, const TFine& R) {
    const double From = std::max(L.From, R.From), To = std::min(L.To, R.To);
    if (To <= From)
        return false;
    return std::abs(L.Line.At(From) - R.Line.At(From)) < kSameLine &&
           std::abs(L.Line.At(To) - R.Line.At(To)) < kSameLine;
}

} // namespace

TSoundAlignment AlignSound(const TSoundPrint& Ref, const TSoundPrint& File, std::stop_token Stop) {
    CheckStop(Stop);
    TSoundAlignment Result;
    if (Ref.Level() < kSilentLevel || File.Level() < kSilentLevel)
        return Result;
    // The shorter sound is cut into pieces and looked for in the longer.
    const bool Swapped = File.Duration() < Ref.Duration();
    const TSoundPrint& Short = Swapped ? File : Ref;
    const TSoundPrint& Long = Swapped ? Ref : File;

    std::vector<TFine> Fits;
    for (const TLine& Candidate : CoarseCandidates(Short, Long, Stop))
        Fits.push_back(Fine(Short, Long, Candidate, Stop));
    if (Fits.empty())
        return Result;
    std::sort(Fits.begin(), Fits.end(), [](const TFine& L, const TFine& R) { return L.Score > R.Score; });
    const TFine& Best = Fits.front();
    if (Best.Score <= 0.0)
        return Result;
    double Rival = 0.0;
    for (size_t I = 1; I < Fits.size(); ++I)
        if (!SameLine(Best, Fits[I]))
            Rival = std::max(Rival, Fits[I].Score);

    // Long = Intercept + (1 + Slope) Short; the result is File against Ref.
    const double Rate = 1.0 + Best.Line.Slope;
    if (Swapped) {
        Result.Offset = -Best.Line.Intercept / Rate;
        Result.DriftPpm = (1.0 / Rate - 1.0) * 1e6;
    } else {
        Result.Offset = Best.Line.Intercept;
        Result.DriftPpm = Best.Line.Slope * 1e6;
    }
    Result.Confidence = Best.Score - Rival;
    Result.Matched = Result.Confidence >= kMatchConfidence;
    return Result;
}
