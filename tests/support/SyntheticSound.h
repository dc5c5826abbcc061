// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <vector>

// Made-up sound for the aligner's tests: reproducible from a seed, with no
// file behind it.

// Speech-like sound: syllables of voiced pulses and noise through moving
// formants, with gaps and pauses, over a quiet chord that changes now and
// then. Never periodic over more than a syllable, as speech over music is
// not. Full scale is +-1; the level is about -20 dB.
std::vector<float> SpeechLike(double Seconds, double Rate, uint32_t Seed);

// Source as a recording that starts Offset seconds before it (negative: after)
// and whose clock runs (1 + DriftPpm * 1e-6) times as fast: what Source
// plays at t, the result plays at Offset + (1 + DriftPpm * 1e-6) * t. Both
// are at Rate; Seconds long; silence where Source has nothing.
// Band-limited (windowed sinc) interpolation, so sub-sample offsets are exact.
std::vector<float> Recorded(const std::vector<float>& Source, double Rate, double Offset, double DriftPpm,
                            double Seconds);

// What another microphone in the room hears: Gain, a tilt of the colour
// (a one-pole low-pass mixed in), two echoes, and white noise at SnrDb
// below the sound's level.
std::vector<float> OtherMicrophone(const std::vector<float>& Sound, double Rate, double Gain, double SnrDb,
                                   uint32_t Seed);

// A steady sine.
std::vector<float> Tone(double Seconds, double Rate, double Hz, double Level);
