// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

// make-align-clips DIR: the files the aligner's integration tests decode,
// made once per build tree with the ffmpeg command line from made-up speech
// (tests/support/SyntheticSound.h), so that their offsets are known exactly.
//
//   source.wav    40 s, 48 kHz stereo, 16 bit
//   ref.mp4       a test picture and source.wav as AAC
//   cut.mkv       source.wav from 1.5 s on, as Opus: offset -1.5 against ref.mp4
//   late.mp3      0.75 s of silence, then source.wav, at 44.1 kHz: offset +0.75
//   other.mka     unrelated made-up speech, as Opus
//   silent.mp4    a test picture without sound
//   notes.txt     text
//   "odd\nname\xff.mkv"  a copy of cut.mkv under a name with a newline and
//                 a byte that is not UTF-8
//   long.m4a      an hour of AAC (source.wav's AAC, repeated by stream copy)

#include "SyntheticSound.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr int kRate = 48000;

void WriteWav(const std::filesystem::path& File, const std::vector<float>& Left,
              const std::vector<float>& Right) {
    std::ofstream Out(File, std::ios::binary);
    auto U32 = [&](uint32_t V) { Out.write(reinterpret_cast<const char*>(&V), 4); };
    auto U16 = [&](uint16_t V) { Out.write(reinterpret_cast<const char*>(&V), 2); };
    const uint32_t Bytes = static_cast<uint32_t>(Left.size() * 4);
    Out.write("RIFF", 4);
    U32(36 + Bytes);
    Out.write("WAVEfmt ", 8);
    U32(16);
    U16(1); // PCM
    U16(2);
    U32(kRate);
    U32(kRate * 4);
    U16(4);
    U16(16);
    Out.write("data", 4);
    U32(Bytes);
    for (size_t I = 0; I < Left.size(); ++I) {
        U16(static_cast<uint16_t>(static_cast<int16_t>(Left[I] * 32767.0f)));
        U16(static_cast<uint16_t>(static_cast<int16_t>(Right[I] * 32767.0f)));
    }
}

bool Run(const std::string& Command) {
    std::printf("%s\n", Command.c_str());
    std::fflush(stdout);
    return std::system(Command.c_str()) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-align-clips DIR\n");
        return 2;
    }
    const std::filesystem::path Dir = argv[1];
    std::filesystem::create_directories(Dir);
    const std::vector<float> Speech = SpeechLike(40.0, kRate, 17);
    std::vector<float> Right = Speech;
    for (float& S : Right)
        S *= 0.8f;
    WriteWav(Dir / "source.wav", Speech, Right);
    const std::vector<float> Other = SpeechLike(40.0, kRate, 18);
    WriteWav(Dir / "other.wav", Other, Other);

    const std::string D = "'" + Dir.string() + "/";
    const std::string Ffmpeg = "ffmpeg -nostdin -v error -y ";
    const bool Made =
        Run(Ffmpeg + "-f lavfi -i testsrc=size=160x120:rate=10 -i " + D + "source.wav' -shortest " +
            "-c:v mpeg4 -c:a aac -b:a 96k " + D + "ref.mp4'") &&
        Run(Ffmpeg + "-i " + D + "source.wav' -af atrim=start_sample=72000,asetpts=N/SR/TB " +
            "-c:a libopus -b:a 64k " + D + "cut.mkv'") &&
        Run(Ffmpeg + "-i " + D + "source.wav' -af adelay=750:all=1 -ar 44100 -c:a libmp3lame -b:a 128k " + D +
            "late.mp3'") &&
        Run(Ffmpeg + "-i " + D + "other.wav' -c:a libopus -b:a 48k " + D + "other.mka'") &&
        Run(Ffmpeg + "-f lavfi -i testsrc=size=160x120:rate=10 -t 2 -c:v mpeg4 " + D + "silent.mp4'") &&
        Run(Ffmpeg + "-i " + D + "source.wav' -c:a aac -b:a 64k " + D + "segment.m4a'") &&
        Run(Ffmpeg + "-stream_loop 89 -i " + D + "segment.m4a' -c copy " + D + "long.m4a'");
    if (!Made)
        return 1;
    std::ofstream(Dir / "notes.txt") << "not a movie\n";
    std::filesystem::copy_file(Dir / "cut.mkv", Dir / "odd\nname\xff.mkv",
                               std::filesystem::copy_options::overwrite_existing);
    return 0;
}
