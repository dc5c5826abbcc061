// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SyntheticSound.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace {

constexpr double kPi = std::numbers::pi;

// A two-pole resonance at Hz with bandwidth Width, run over one sample.
struct TResonator {
    double A1 = 0.0, A2 = 0.0, Gain = 0.0, Y1 = 0.0, Y2 = 0.0;
    void Set(double Hz, double Width, double Rate) {
        const double R = std::exp(-kPi * Width / Rate);
        A1 = 2.0 * R * std::cos(2.0 * kPi * Hz / Rate);
        A2 = -R * R;
        Gain = 1.0 - R;
    }
    double Run(double X) {
        const double Y = Gain * X + A1 * Y1 + A2 * Y2;
        Y2 = Y1;
        Y1 = Y;
        return Y;
    }
};

double Rms(const std::vector<float>& Sound) {
    double Sum = 0.0;
    for (float S : Sound)
        Sum += double(S) * S;
    return Sound.empty() ? 0.0 : std::sqrt(Sum / double(Sound.size()));
}

} // namespace

std::vector<float> SpeechLike(double Seconds, double Rate, uint32_t Seed) {
    std::mt19937 Random(Seed);
    std::uniform_real_distribution<double> U(0.0, 1.0);
    std::normal_distribution<double> Noise(0.0, 1.0);
    const size_t Count = static_cast<size_t>(Seconds * Rate);
    std::vector<float> Out(Count, 0.0f);

    // The chord: three sines that change every few seconds, quiet.
    size_t At = 0;
    while (At < Count) {
        const size_t Length = static_cast<size_t>((2.0 + 3.0 * U(Random)) * Rate);
        const double Root = 110.0 * std::pow(2.0, std::floor(U(Random) * 12.0) / 12.0);
        for (size_t I = At; I < std::min(Count, At + Length); ++I) {
            const double T = double(I - At) / Rate;
            const double Fade = std::min({1.0, T / 0.05, double(At + Length - I) / Rate / 0.05});
            Out[I] += static_cast<float>(0.01 * Fade *
                                         (std::sin(2 * kPi * Root * T) + std::sin(2 * kPi * Root * 1.26 * T) +
                                          std::sin(2 * kPi * Root * 1.5 * T)));
        }
        At += Length;
    }

    // Syllables.
    TResonator F1, F2, F3;
    At = static_cast<size_t>(0.1 * Rate * U(Random));
    double Phase = 0.0;
    while (At < Count) {
        const double Length = 0.08 + 0.25 * U(Random);
        const double Pitch0 = 90.0 + 130.0 * U(Random), Pitch1 = Pitch0 * (0.8 + 0.4 * U(Random));
        const double Formant1 = 300.0 + 600.0 * U(Random), Formant2 = 900.0 + 1600.0 * U(Random);
        const double Voiced = U(Random) < 0.8 ? 1.0 : 0.0;
        const double Level = 0.3 + 0.7 * U(Random);
        F1.Set(Formant1, 80.0, Rate);
        F2.Set(Formant2, 120.0, Rate);
        F3.Set(2500.0 + 800.0 * U(Random), 200.0, Rate);
        const size_t N = static_cast<size_t>(Length * Rate);
        for (size_t I = 0; I < N && At + I < Count; ++I) {
            const double T = double(I) / double(N);
            const double Pitch = Pitch0 + (Pitch1 - Pitch0) * T;
            Phase += Pitch / Rate;
            double Excite = 0.3 * Noise(Random);
            if (Voiced > 0.0 && Phase >= 1.0) {
                Phase -= 1.0;
                Excite += 12.0;
            }
            const double Shape =
                std::sin(kPi * std::min(1.0, T * 4.0)) * (T < 0.25 ? 1.0 : 1.0 - 0.6 * (T - 0.25));
            const double V = F1.Run(Excite) * 3.0 + F2.Run(Excite) * 2.0 + F3.Run(Excite);
            Out[At + I] += static_cast<float>(0.08 * Level * Shape * V);
        }
        At += N + static_cast<size_t>(
                      (0.02 + 0.18 * U(Random) + (U(Random) < 0.1 ? 0.3 + 0.7 * U(Random) : 0.0)) * Rate);
    }
    const double Scale = 0.1 / std::max(1e-9, Rms(Out));
    for (float& S : Out)
        S = static_cast<float>(std::clamp(S * Scale, -1.0, 1.0));
    return Out;
}

namespace {

constexpr int kTaps = 16;     // each side of the interpolation kernel
constexpr int kPhases = 1024; // steps of the kernel between two samples

// The Hann-windowed sinc at kPhases + 1 fractional positions, kTaps * 2 values
// each: entry [P][K] is the weight of sample Base + K - kTaps + 1 for a
// position P / kPhases past Base.
const std::vector<float>& Kernel() {
    static const std::vector<float> Table = [] {
        std::vector<float> T((kPhases + 1) * 2 * kTaps);
        for (int P = 0; P <= kPhases; ++P)
            for (int K = -kTaps + 1; K <= kTaps; ++K) {
                const double D = double(K) - double(P) / kPhases;
                const double Sinc = std::abs(D) < 1e-12 ? 1.0 : std::sin(kPi * D) / (kPi * D);
                const double Window = std::abs(D) >= kTaps ? 0.0 : 0.5 + 0.5 * std::cos(kPi * D / kTaps);
                T[P * 2 * kTaps + (K + kTaps - 1)] = static_cast<float>(Sinc * Window);
            }
        return T;
    }();
    return Table;
}

} // namespace

std::vector<float> Recorded(const std::vector<float>& Source, double Rate, double Offset, double DriftPpm,
                            double Seconds) {
    const std::vector<float>& Table = Kernel();
    const double Speed = 1.0 + DriftPpm * 1e-6;
    const long long Size = static_cast<long long>(Source.size());
    std::vector<float> Out(static_cast<size_t>(Seconds * Rate), 0.0f);
    for (size_t N = 0; N < Out.size(); ++N) {
        // This sample is at Offset + Speed * t: Source's t.
        const double X = (double(N) / Rate - Offset) / Speed * Rate;
        const double Floor = std::floor(X);
        const long long Base = static_cast<long long>(Floor);
        if (Base + kTaps < 0 || Base - kTaps >= Size)
            continue;
        // Between two of the table's phases, linearly: far below the
        // precision the tests ask for.
        const double Phase = (X - Floor) * kPhases;
        const int P = std::min(kPhases - 1, static_cast<int>(Phase));
        const float W = static_cast<float>(Phase - P);
        const float* Lo = &Table[P * 2 * kTaps];
        const float* Hi = Lo + 2 * kTaps;
        double Sum = 0.0;
        for (int K = 0; K < 2 * kTaps; ++K) {
            const long long I = Base + K - kTaps + 1;
            if (I >= 0 && I < Size)
                Sum += Source[static_cast<size_t>(I)] * (Lo[K] + W * (Hi[K] - Lo[K]));
        }
        Out[N] = static_cast<float>(Sum);
    }
    return Out;
}

std::vector<float> OtherMicrophone(const std::vector<float>& Sound, double Rate, double Gain, double SnrDb,
                                   uint32_t Seed) {
    std::vector<float> Out(Sound.size());
    // Echoes of a small room: 23 ms at half and 61 ms at a quarter.
    const size_t Echo1 = static_cast<size_t>(0.023 * Rate), Echo2 = static_cast<size_t>(0.061 * Rate);
    double Low = 0.0;
    const double Pole = std::exp(-2.0 * kPi * 800.0 / Rate);
    for (size_t I = 0; I < Sound.size(); ++I) {
        double S = Sound[I];
        if (I >= Echo1)
            S += 0.5 * Sound[I - Echo1];
        if (I >= Echo2)
            S += 0.25 * Sound[I - Echo2];
        Low = (1.0 - Pole) * S + Pole * Low;
        Out[I] = static_cast<float>(Gain * (0.4 * S + 0.6 * Low));
    }
    std::mt19937 Random(Seed);
    std::normal_distribution<double> Noise(0.0, Rms(Out) * std::pow(10.0, -SnrDb / 20.0));
    for (float& S : Out)
        S = static_cast<float>(std::clamp(S + Noise(Random), -1.0, 1.0));
    return Out;
}

std::vector<float> Tone(double Seconds, double Rate, double Hz, double Level) {
    std::vector<float> Out(static_cast<size_t>(Seconds * Rate));
    for (size_t I = 0; I < Out.size(); ++I)
        Out[I] = static_cast<float>(Level * std::sin(2.0 * kPi * Hz * double(I) / Rate));
    return Out;
}
