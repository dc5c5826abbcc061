// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SoundAlign.h"
#include "SyntheticSound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iostream>
#include <thread>

namespace {

constexpr double kRate = TSoundPrint::kSampleRate;

// The made-up sound that reference and file are cut from; each test makes
// only as much as it needs, since each runs in a process of its own.
std::vector<float> Source(double Seconds) {
    return SpeechLike(Seconds, kRate, 7);
}

std::vector<float> Head(const std::vector<float>& Sound, double Seconds) {
    return {Sound.begin(), Sound.begin() + static_cast<std::ptrdiff_t>(Seconds * kRate)};
}

enum class TCopy { Same, OtherMicrophone };

struct TAlignCase {
    const char* Name;
    double RefSeconds;
    double FileSeconds;
    double Offset; // what the reference plays at t, the file plays at Offset + (1 + drift) t
    double DriftPpm;
    TCopy Copy;
    double ToleranceMs;
};

std::ostream& operator<<(std::ostream& Out, const TAlignCase& Case) {
    return Out << Case.Name;
}

class SoundAlignCases : public testing::TestWithParam<TAlignCase> {};

} // namespace

TEST_P(SoundAlignCases, FindsOffsetAndDrift) {
    const TAlignCase& Case = GetParam();
    // The file's last sample comes from Source's (FileSeconds - Offset) / speed.
    const std::vector<float> Sound =
        Source(std::max(Case.RefSeconds, (Case.FileSeconds - Case.Offset) * (1.0 + 1e-3)) + 1.0);
    const std::vector<float> Ref = Head(Sound, Case.RefSeconds);
    std::vector<float> File = Recorded(Sound, kRate, Case.Offset, Case.DriftPpm, Case.FileSeconds);
    if (Case.Copy == TCopy::OtherMicrophone)
        File = OtherMicrophone(File, kRate, 0.4, 10.0, 21);
    const TSoundAlignment Found =
        AlignSound(TSoundPrint::FromSamples(Ref), TSoundPrint::FromSamples(File), std::stop_token());
    ASSERT_TRUE(Found.Matched) << "confidence " << Found.Confidence;
    EXPECT_NEAR(Found.Offset, Case.Offset, Case.ToleranceMs * 1e-3);
    // Within 5 ppm over four minutes already (ten are asked for); the cases
    // without drift must not invent one.
    EXPECT_NEAR(Found.DriftPpm, Case.DriftPpm, 5.0);
    EXPECT_GE(Found.Confidence, 10.0);
}

// Sample delays are given as samples / kRate so that they are exact.
INSTANTIATE_TEST_SUITE_P(
    Synthetic, SoundAlignCases,
    testing::Values(TAlignCase{"WholeSamplesLater", 90, 90, 1234 / kRate, 0, TCopy::Same, 0.05},
                    TAlignCase{"WholeSamplesEarlier", 90, 90, -777 / kRate, 0, TCopy::Same, 0.05},
                    TAlignCase{"SubSample", 90, 90, (16000 + 0.3) / kRate, 0, TCopy::Same, 0.05},
                    TAlignCase{"FarLater", 90, 90, 70.0, 0, TCopy::Same, 0.05},
                    TAlignCase{"FarEarlier", 90, 90, -75.0, 0, TCopy::Same, 0.05},
                    TAlignCase{"FileIsAPartOfRef", 300, 30, -200.0, 0, TCopy::Same, 0.05},
                    TAlignCase{"RefIsAPartOfFile", 30, 300, 150.0, 0, TCopy::OtherMicrophone, 5.0},
                    TAlignCase{"OtherMicrophone", 90, 90, 2.5, 0, TCopy::OtherMicrophone, 5.0},
                    TAlignCase{"OtherMicrophoneEarlier", 90, 60, -13.1, 0, TCopy::OtherMicrophone, 5.0},
                    TAlignCase{"Drift300", 600, 600, 1.5, 300, TCopy::Same, 1.0},
                    TAlignCase{"DriftMinus300", 600, 600, -2.0, -300, TCopy::OtherMicrophone, 5.0},
                    TAlignCase{"Drift100", 240, 240, 0.5, 100, TCopy::OtherMicrophone, 5.0},
                    TAlignCase{"DriftMinus100", 240, 240, -0.5, -100, TCopy::Same, 1.0},
                    TAlignCase{"Drift20", 240, 240, 3.0, 20, TCopy::OtherMicrophone, 5.0},
                    TAlignCase{"DriftMinus20", 240, 240, -3.0, -20, TCopy::Same, 1.0}),
    [](const testing::TestParamInfo<TAlignCase>& Info) { return std::string(Info.param.Name); });

namespace {

void ExpectNoMatch(const std::vector<float>& Ref, const std::vector<float>& File) {
    const TSoundAlignment Found =
        AlignSound(TSoundPrint::FromSamples(Ref), TSoundPrint::FromSamples(File), std::stop_token());
    EXPECT_FALSE(Found.Matched) << "offset " << Found.Offset << " confidence " << Found.Confidence;
    EXPECT_LT(Found.Confidence, kMatchConfidence / 2);
}

} // namespace

TEST(SoundAlign, UnrelatedSoundIsNoMatch) {
    ExpectNoMatch(Source(90), SpeechLike(90.0, kRate, 99));
    ExpectNoMatch(Source(20), OtherMicrophone(SpeechLike(240.0, kRate, 5), kRate, 1.0, 10.0, 1));
}

TEST(SoundAlign, SilenceIsNoMatch) {
    ExpectNoMatch(Source(60), std::vector<float>(60 * 8000, 0.0f));
    ExpectNoMatch(std::vector<float>(60 * 8000, 0.0f), std::vector<float>(60 * 8000, 0.0f));
}

TEST(SoundAlign, SteadyToneIsNoMatch) {
    const std::vector<float> Sine = Tone(60.0, kRate, 440.0, 0.2);
    ExpectNoMatch(Source(60), Sine);
    // Against itself a tone fits every period: no place is the right one.
    ExpectNoMatch(Sine, Recorded(Sine, kRate, 0.5, 0.0, 60.0));
}

// Sound that repeats (a loop) fits each repeat as well as the right one.
TEST(SoundAlign, RepeatedSoundIsNoMatch) {
    std::vector<float> Loop = Source(20);
    const std::vector<float> Once = Loop;
    for (int I = 0; I < 3; ++I)
        Loop.insert(Loop.end(), Once.begin(), Once.end());
    ExpectNoMatch(Loop, Recorded(Loop, kRate, 7.0, 0.0, 80.0));
}

TEST(SoundAlign, ShortOverlapAtEitherEndIsFound) {
    const std::vector<float> Sound = Source(120);
    const std::vector<float> Ref = Head(Sound, 60);
    for (double Offset : {52.0, -52.0}) {
        const std::vector<float> File = Recorded(Sound, kRate, Offset, 0.0, 60.0);
        const TSoundAlignment Found =
            AlignSound(TSoundPrint::FromSamples(Ref), TSoundPrint::FromSamples(File), std::stop_token());
        ASSERT_TRUE(Found.Matched) << Offset;
        EXPECT_NEAR(Found.Offset, Offset, 0.001);
    }
}

TEST(SoundAlign, StopRequestedThrowsCancelled) {
    std::stop_source Stop;
    const std::vector<float> Sound = Source(30);
    const TSoundPrint Print = TSoundPrint::FromSamples(Sound);
    Stop.request_stop();
    EXPECT_THROW(AlignSound(Print, Print, Stop.get_token()), EAlignCancelled);
    EXPECT_THROW(TSoundPrint::FromSamples(Sound, Stop.get_token()), EAlignCancelled);
}

// Ten-minute sounds on both sides, stopped at moments spread over the
// work. The goal is 200 ms; the bound is generous for a loaded machine or a
// sanitizer's build, and the longest wait is printed.
TEST(SoundAlign, StopEndsAnAlignmentQuickly) {
    const std::vector<float> Sound = Source(600);
    const TSoundPrint Ref = TSoundPrint::FromSamples(Sound);
    const TSoundPrint File = TSoundPrint::FromSamples(Recorded(Sound, kRate, 1.0, 50.0, 600.0));
    // Timed the second time: the first makes the transforms' plans.
    AlignSound(Ref, File, std::stop_token());
    const auto Start = std::chrono::steady_clock::now();
    AlignSound(Ref, File, std::stop_token());
    const double Whole = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    double Longest = 0.0;
    int Stopped = 0;
    for (int Step = 0; Step < 12; ++Step) {
        std::stop_source Stop;
        std::chrono::steady_clock::time_point Asked;
        std::jthread Asker([&] {
            std::this_thread::sleep_for(std::chrono::duration<double>(0.75 * Whole * Step / 12.0));
            Asked = std::chrono::steady_clock::now();
            Stop.request_stop();
        });
        try {
            AlignSound(Ref, File, Stop.get_token());
            continue; // done before the request
        } catch (const EAlignCancelled&) {
        }
        const auto Ended = std::chrono::steady_clock::now();
        Asker.join();
        ++Stopped;
        Longest = std::max(Longest, std::chrono::duration<double>(Ended - Asked).count());
    }
    std::cout << "alignment of " << Whole * 1e3 << " ms, " << Stopped << " stops, longest " << Longest * 1e3
              << " ms\n";
    EXPECT_GE(Stopped, 6);
    EXPECT_LT(Longest, 1.0);
}

TEST(SoundPrint, HoldsTheSoundAtItsRate) {
    const std::vector<float> Sound = Source(12.5);
    const TSoundPrint Print = TSoundPrint::FromSamples(Sound);
    EXPECT_DOUBLE_EQ(Print.Duration(), 12.5);
    EXPECT_NEAR(Print.Level(), 0.1, 0.01); // SpeechLike's level
    EXPECT_NEAR(double(Print.Envelope().size()), 12.5 * TSoundPrint::kFrameRate, 4.0);
    EXPECT_EQ(Print.Samples()[1000], static_cast<int16_t>(std::lround(Sound[1000] * 32767.0f)));
    // Silence and a steady tone start nothing.
    for (const std::vector<float>& Still : {std::vector<float>(80000, 0.0f), Tone(10.0, kRate, 300.0, 0.5)}) {
        const TSoundPrint Quiet = TSoundPrint::FromSamples(Still);
        double Sum = 0.0;
        for (float V : Quiet.Envelope())
            Sum += std::abs(V);
        EXPECT_LT(Sum / double(Quiet.Envelope().size()), 0.05);
    }
}
