// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "AlignFiles.h"
#include "SoundAlign.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <thread>

namespace {

namespace fs = std::filesystem;

// The folder make-align-clips filled (the AlignClips fixture).
class SoundDecode : public testing::Test {
protected:
    void SetUp() override {
        const char* Dir = std::getenv("QUADV_ALIGN_CLIPS");
        if (!Dir || !fs::exists(fs::path(Dir) / "long.m4a"))
            GTEST_SKIP() << "no clips: QUADV_ALIGN_CLIPS must name make-align-clips' folder";
        FDir = Dir;
    }
    fs::path Clip(const std::string& Name) const { return FDir / Name; }
    // The message DecodeSound throws for File.
    std::string ErrorOf(const fs::path& File) const {
        try {
            DecodeSound(File, {});
        } catch (const EAlignError& Error) {
            return Error.what();
        }
        return "no error";
    }

    fs::path FDir;
};

// Runs Run with a stop asked 400 ms in, expects it to end cancelled, and
// returns the seconds from the request to its end (printed as What).
double StopMidway(const char* What, const std::function<void(std::stop_token)>& Run) {
    std::stop_source Stop;
    std::chrono::steady_clock::time_point Asked;
    std::jthread Asker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        Asked = std::chrono::steady_clock::now();
        Stop.request_stop();
    });
    EXPECT_THROW(Run(Stop.get_token()), EAlignCancelled);
    const auto Ended = std::chrono::steady_clock::now();
    Asker.join();
    const double Seconds = std::chrono::duration<double>(Ended - Asked).count();
    std::cout << "stop to end of " << What << ": " << Seconds * 1e3 << " ms\n";
    return Seconds;
}

} // namespace

TEST_F(SoundDecode, ReadsEachContainerAndCodec) {
    struct TRow {
        const char* Name;
        double Seconds;
    };
    for (const TRow& Row : {TRow{"ref.mp4", 40.0}, TRow{"cut.mkv", 38.5}, TRow{"late.mp3", 40.75}}) {
        const TSoundPrint Print = DecodeSound(Clip(Row.Name), {});
        EXPECT_NEAR(Print.Duration(), Row.Seconds, 0.06) << Row.Name;
        EXPECT_GT(Print.Level(), 0.03) << Row.Name;
        EXPECT_EQ(Print.Envelope().size(), (Print.Samples().size() - 256) / TSoundPrint::kHop + 1)
            << Row.Name;
    }
}

// One source through AAC in MP4, Opus in Matroska and MP3 at 44.1 kHz.
TEST_F(SoundDecode, AlignsOneSourceAcrossCodecsWithinAMillisecond) {
    const TSoundPrint Ref = DecodeSound(Clip("ref.mp4"), {});
    const TSoundPrint Cut = DecodeSound(Clip("cut.mkv"), {});
    const TSoundPrint Late = DecodeSound(Clip("late.mp3"), {});
    struct TRow {
        const TSoundPrint* Ref;
        const TSoundPrint* File;
        double Offset;
        const char* Name;
    };
    for (const TRow& Row : {TRow{&Ref, &Cut, -1.5, "ref/cut"}, TRow{&Ref, &Late, 0.75, "ref/late"},
                            TRow{&Cut, &Late, 2.25, "cut/late"}, TRow{&Late, &Ref, -0.75, "late/ref"}}) {
        const TSoundAlignment Found = AlignSound(*Row.Ref, *Row.File, {});
        ASSERT_TRUE(Found.Matched) << Row.Name << " confidence " << Found.Confidence;
        EXPECT_NEAR(Found.Offset, Row.Offset, 0.001) << Row.Name;
        EXPECT_NEAR(Found.DriftPpm, 0.0, 5.0) << Row.Name;
        std::cout << Row.Name << ": offset error " << (Found.Offset - Row.Offset) * 1e3 << " ms, drift "
                  << Found.DriftPpm << " ppm, confidence " << Found.Confidence << "\n";
    }
    EXPECT_FALSE(AlignSound(Ref, DecodeSound(Clip("other.mka"), {}), {}).Matched);
}

TEST_F(SoundDecode, ErrorsNameTheFileAndSayWhy) {
    const std::string Silent = Clip("silent.mp4").string();
    EXPECT_EQ(ErrorOf(Silent), Silent + ": the file has no sound track");
    const std::string Notes = Clip("notes.txt").string();
    EXPECT_EQ(ErrorOf(Notes).rfind(Notes + ": the file cannot be read as media (", 0), 0u) << ErrorOf(Notes);
    const std::string Missing = Clip("missing.mp4").string();
    EXPECT_EQ(ErrorOf(Missing), Missing + ": the file cannot be opened (No such file or directory)");
    EXPECT_EQ(ErrorOf(FDir).rfind(FDir.string() + ": ", 0), 0u) << ErrorOf(FDir);
}

// Names are bytes: a newline, a byte that is no UTF-8, a colon that is no
// protocol.
TEST_F(SoundDecode, OpensAnyFileName) {
    const TSoundPrint Odd = DecodeSound(Clip("odd\nname\xff.mkv"), {});
    EXPECT_EQ(Odd.Samples(), DecodeSound(Clip("cut.mkv"), {}).Samples());
    const fs::path Colon = FDir / "http:colon.mkv";
    fs::copy_file(Clip("cut.mkv"), Colon, fs::copy_options::overwrite_existing);
    EXPECT_EQ(DecodeSound(Colon, {}).Samples().size(), Odd.Samples().size());
    fs::remove(Colon);
    const std::string Missing = Clip("gone\n\xfe.mkv").string();
    EXPECT_EQ(ErrorOf(Missing), Missing + ": the file cannot be opened (No such file or directory)");
}

TEST_F(SoundDecode, ReportsProgressOnTheCallingThreadUpToOne) {
    const std::thread::id Caller = std::this_thread::get_id();
    std::vector<double> Fractions;
    std::vector<std::chrono::steady_clock::time_point> Times;
    bool OnCaller = true;
    DecodeSound(Clip("ref.mp4"), {}, [&](double Fraction) {
        OnCaller = OnCaller && std::this_thread::get_id() == Caller;
        Fractions.push_back(Fraction);
        Times.push_back(std::chrono::steady_clock::now());
    });
    EXPECT_TRUE(OnCaller);
    ASSERT_FALSE(Fractions.empty());
    EXPECT_EQ(Fractions.back(), 1.0);
    for (size_t I = 1; I < Fractions.size(); ++I) {
        EXPECT_GE(Fractions[I], Fractions[I - 1]);
        // At most about 20 a second; the last one (1.0) may follow at once.
        if (I + 1 < Fractions.size()) {
            EXPECT_GE(Times[I] - Times[I - 1], std::chrono::milliseconds(45));
        }
    }
}

// The stop comes while an hour of sound is decoded; the bound here is
// generous for a loaded machine, the time itself is printed.
TEST_F(SoundDecode, StopEndsALongDecodeQuickly) {
    std::vector<double> Fractions;
    const double Seconds = StopMidway("decode", [&](std::stop_token Stop) {
        DecodeSound(Clip("long.m4a"), Stop, [&](double F) { Fractions.push_back(F); });
    });
    EXPECT_LT(Seconds, 1.0);
    // The decode was under way, well short of the end.
    ASSERT_FALSE(Fractions.empty());
    EXPECT_LT(Fractions.back(), 0.9);
}

TEST_F(SoundDecode, StopAskedBeforehandThrowsCancelled) {
    std::stop_source Stop;
    Stop.request_stop();
    EXPECT_THROW(DecodeSound(Clip("ref.mp4"), Stop.get_token()), EAlignCancelled);
}

// AlignFiles: two threads decode and align, the caller hears of each file.
class FileAlignment : public SoundDecode {};

TEST_F(FileAlignment, ReportsEachFileInOrderOnTheCallingThread) {
    const std::thread::id Caller = std::this_thread::get_id();
    std::vector<size_t> Order;
    std::vector<TFileAlignment> Results;
    bool OnCaller = true;
    AlignFiles(Clip("ref.mp4"), {Clip("notes.txt"), Clip("cut.mkv"), Clip("silent.mp4"), Clip("late.mp3")},
               {}, {}, [&](size_t I, const TFileAlignment& Result) {
                   OnCaller = OnCaller && std::this_thread::get_id() == Caller;
                   Order.push_back(I);
                   Results.push_back(Result);
               });
    EXPECT_TRUE(OnCaller);
    ASSERT_EQ(Order, (std::vector<size_t>{0, 1, 2, 3}));
    EXPECT_FALSE(Results[0].Read);
    EXPECT_NE(Results[0].Error.find("notes.txt: the file cannot be read as media"), std::string::npos);
    EXPECT_TRUE(Results[1].Read && Results[1].Found.Matched);
    EXPECT_NEAR(Results[1].Found.Offset, -1.5, 0.001);
    EXPECT_TRUE(Results[2].NoSound);
    EXPECT_TRUE(Results[3].Read && Results[3].Found.Matched);
    EXPECT_NEAR(Results[3].Found.Offset, 0.75, 0.001);
}

TEST_F(FileAlignment, AnUnreadableReferenceIsTheError) {
    size_t Calls = 0;
    EXPECT_THROW(AlignFiles(Clip("missing.mp4"), {Clip("long.m4a"), Clip("long.m4a"), Clip("cut.mkv")}, {},
                            {}, [&](size_t, const TFileAlignment&) { ++Calls; }),
                 EAlignError);
    EXPECT_THROW(AlignFiles(Clip("silent.mp4"), {Clip("cut.mkv")}, {}, {},
                            [&](size_t, const TFileAlignment&) { ++Calls; }),
                 EAlignNoSound);
    EXPECT_EQ(Calls, 0u);
}

// An hour of sound as the reference: the stop comes while it is decoded and
// the short files wait for it, decoded.
TEST_F(FileAlignment, StopEndsTheWholeRunQuickly) {
    size_t Calls = 0;
    const double Seconds = StopMidway("the run", [&](std::stop_token Stop) {
        AlignFiles(Clip("long.m4a"), {Clip("cut.mkv"), Clip("late.mp3"), Clip("long.m4a")}, Stop, {},
                   [&](size_t, const TFileAlignment&) { ++Calls; });
    });
    EXPECT_LT(Seconds, 1.0);
    EXPECT_EQ(Calls, 0u);
}
