// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

// DecodeSound: FFmpeg's demuxer and decoder for the best sound track, every
// other stream discarded before it is decoded, and libswresample for the
// downmix to mono at the print's rate.

#include "SoundAlign.h"

#include "SoundPrint.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <chrono>
#include <memory>

namespace {

std::string AvError(int Code) {
    char Text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(Code, Text, sizeof Text);
    return Text;
}

struct TFormatClose {
    void operator()(AVFormatContext* Context) const { avformat_close_input(&Context); }
};
struct TCodecFree {
    void operator()(AVCodecContext* Context) const { avcodec_free_context(&Context); }
};
struct TResamplerFree {
    void operator()(SwrContext* Context) const { swr_free(&Context); }
};
struct TPacketFree {
    void operator()(AVPacket* Packet) const { av_packet_free(&Packet); }
};
struct TFrameFree {
    void operator()(AVFrame* Frame) const { av_frame_free(&Frame); }
};

// FFmpeg asks this while it waits on the file, so that a stop request ends a
// blocked read too.
int Interrupted(void* Stop) {
    return static_cast<std::stop_token*>(Stop)->stop_requested() ? 1 : 0;
}

class TDecoder {
public:
    TDecoder(const std::filesystem::path& File, std::stop_token Stop, const TAlignProgress& Progress)
        : FName(File.native()), FStop(std::move(Stop)), FProgress(Progress) {}
    ~TDecoder() { av_channel_layout_uninit(&FInLayout); }
    TDecoder(const TDecoder&) = delete;
    TDecoder& operator=(const TDecoder&) = delete;
    TSoundPrint Run();

private:
    [[noreturn]] void Fail(const std::string& Why) const { throw EAlignError(FName + ": " + Why); }
    [[noreturn]] void FailNoSound(const std::string& Why) const { throw EAlignNoSound(FName + ": " + Why); }
    void CheckStop() const {
        if (FStop.stop_requested())
            throw EAlignCancelled();
    }
    void Open();
    void OpenResampler(const AVFrame* Frame);
    void Take(AVFrame* Frame);
    void Report(int64_t Pts);

    std::string FName;
    std::stop_token FStop;
    const TAlignProgress& FProgress;
    std::unique_ptr<AVFormatContext, TFormatClose> FFormat;
    std::unique_ptr<AVCodecContext, TCodecFree> FCodec;
    std::unique_ptr<SwrContext, TResamplerFree> FResampler;
    AVChannelLayout FInLayout{};
    int FInRate = 0;
    int FInFormat = -1;
    const AVStream* FStream = nullptr;
    int FIndex = -1;
    double FZero = 0.0;     // the file's time 0 in the stream's seconds
    double FDuration = 0.0; // for progress; 0 when unknown
    bool FStarted = false;  // the first frame's place is settled
    int64_t FSkip = 0;      // samples (at the print's rate) to drop: sound before time 0
    std::vector<float> FOut;
    TSoundPrintBuilder FBuilder;
    std::chrono::steady_clock::time_point FLastReport{};
};

void TDecoder::Open() {
    AVFormatContext* Format = avformat_alloc_context();
    if (!Format)
        throw std::bad_alloc();
    Format->interrupt_callback = {Interrupted, &FStop};
    // "file:" keeps a name with a colon from being taken for a protocol; the
    // name goes to open(2) byte for byte, whatever its encoding.
    const std::string Url = "file:" + FName;
    const int Opened = avformat_open_input(&Format, Url.c_str(), nullptr, nullptr);
    if (Opened < 0) { // Format is freed
        CheckStop();
        if (Opened == AVERROR(ENOENT) || Opened == AVERROR(EACCES) || Opened == AVERROR(EISDIR) ||
            Opened == AVERROR(ENOTDIR) || Opened == AVERROR(ELOOP))
            Fail("the file cannot be opened (" + AvError(Opened) + ")");
        Fail("the file cannot be read as media (" + AvError(Opened) + ")");
    }
    FFormat.reset(Format);
    if (const int Found = avformat_find_stream_info(Format, nullptr); Found < 0) {
        CheckStop();
        Fail("the file cannot be read as media (" + AvError(Found) + ")");
    }
    const AVCodec* Codec = nullptr;
    FIndex = av_find_best_stream(Format, AVMEDIA_TYPE_AUDIO, -1, -1, &Codec, 0);
    if (FIndex == AVERROR_STREAM_NOT_FOUND)
        FailNoSound("the file has no sound track");
    if (FIndex == AVERROR_DECODER_NOT_FOUND || !Codec)
        Fail("the sound track's codec cannot be decoded (no decoder for it)");
    if (FIndex < 0)
        Fail("the sound track cannot be found (" + AvError(FIndex) + ")");
    // Discarded streams are dropped by the demuxer: the video is never decoded.
    for (unsigned I = 0; I < Format->nb_streams; ++I)
        Format->streams[I]->discard = static_cast<int>(I) == FIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    FStream = Format->streams[FIndex];

    FCodec.reset(avcodec_alloc_context3(Codec));
    if (!FCodec)
        throw std::bad_alloc();
    if (const int Copied = avcodec_parameters_to_context(FCodec.get(), FStream->codecpar); Copied < 0)
        Fail("the sound track cannot be decoded (" + AvError(Copied) + ")");
    FCodec->pkt_timebase = FStream->time_base;
    if (const int Ready = avcodec_open2(FCodec.get(), Codec, nullptr); Ready < 0)
        Fail("the sound track cannot be decoded (" + AvError(Ready) + ")");

    // A player counts time from the earliest stream's start; the sound may
    // start later, and its place is then silence. A start before 0 is a
    // codec's priming that the decoder drops (Opus in Matroska starts at
    // -7 ms): players, mpv among them, show the first sample kept at 0.
    if (Format->start_time != AV_NOPTS_VALUE && Format->start_time > 0)
        FZero = double(Format->start_time) / AV_TIME_BASE;
    if (FStream->duration != AV_NOPTS_VALUE && FStream->duration > 0)
        FDuration = double(FStream->duration) * av_q2d(FStream->time_base);
    else if (Format->duration != AV_NOPTS_VALUE && Format->duration > 0)
        FDuration = double(Format->duration) / AV_TIME_BASE;
    if (FDuration > 0.0)
        FBuilder.Reserve(static_cast<size_t>(FDuration * TSoundPrint::kSampleRate) +
                         TSoundPrint::kSampleRate);
}

void TDecoder::OpenResampler(const AVFrame* Frame) {
    SwrContext* Resampler = nullptr;
    AVChannelLayout Mono = AV_CHANNEL_LAYOUT_MONO;
    AVChannelLayout In{};
    // A stream that does not say where its channels go gets the usual order.
    if (Frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&In, Frame->ch_layout.nb_channels);
    else if (av_channel_layout_copy(&In, &Frame->ch_layout) < 0)
        throw std::bad_alloc();
    const int Made =
        swr_alloc_set_opts2(&Resampler, &Mono, AV_SAMPLE_FMT_FLT, TSoundPrint::kSampleRate, &In,
                            static_cast<AVSampleFormat>(Frame->format), Frame->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&In);
    if (Made < 0 || !Resampler)
        Fail("the sound track cannot be decoded (" + AvError(Made) + ")");
    FResampler.reset(Resampler);
    // A quarter of FFmpeg's default filter length: the resampler took a
    // third of the decoding's time with it, and the offsets found on the
    // test cases (44.1 and 48 kHz, every codec) stayed the same to 0.01 ms.
    av_opt_set_int(Resampler, "filter_size", 8, 0);
    if (const int Ready = swr_init(Resampler); Ready < 0)
        Fail("the sound track cannot be converted (" + AvError(Ready) + ")");
    av_channel_layout_uninit(&FInLayout);
    if (av_channel_layout_copy(&FInLayout, &Frame->ch_layout) < 0)
        throw std::bad_alloc();
    FInRate = Frame->sample_rate;
    FInFormat = Frame->format;
}

void TDecoder::Take(AVFrame* Frame) {
    if (!FResampler || Frame->sample_rate != FInRate || Frame->format != FInFormat ||
        av_channel_layout_compare(&Frame->ch_layout, &FInLayout) != 0) {
        // A change of format mid-stream: what the old resampler holds back
        // is left, a few milliseconds.
        OpenResampler(Frame);
    }
    if (!FStarted) {
        FStarted = true;
        const int64_t Pts = Frame->best_effort_timestamp;
        if (Pts != AV_NOPTS_VALUE) {
            const double Lead = double(Pts) * av_q2d(FStream->time_base) - FZero;
            const auto Samples = static_cast<int64_t>(std::llround(Lead * TSoundPrint::kSampleRate));
            if (Samples > 0)
                FBuilder.AddSilence(static_cast<size_t>(Samples));
            else
                FSkip = -Samples;
        }
    }
    const int Room = swr_get_out_samples(FResampler.get(), Frame->nb_samples);
    if (Room < 0)
        Fail("the sound track cannot be converted (" + AvError(Room) + ")");
    FOut.resize(static_cast<size_t>(Room));
    uint8_t* Out = reinterpret_cast<uint8_t*>(FOut.data());
    const int Made = swr_convert(FResampler.get(), &Out, Room,
                                 const_cast<const uint8_t**>(Frame->extended_data), Frame->nb_samples);
    if (Made < 0)
        Fail("the sound track cannot be converted (" + AvError(Made) + ")");
    std::span<const float> Samples(FOut.data(), static_cast<size_t>(Made));
    const size_t Drop = static_cast<size_t>(std::min<int64_t>(FSkip, Made));
    FSkip -= static_cast<int64_t>(Drop);
    FBuilder.Add(Samples.subspan(Drop));
    Report(Frame->best_effort_timestamp);
}

void TDecoder::Report(int64_t Pts) {
    if (!FProgress || FDuration <= 0.0 || Pts == AV_NOPTS_VALUE)
        return;
    const auto Now = std::chrono::steady_clock::now();
    if (Now - FLastReport < std::chrono::milliseconds(50))
        return;
    FLastReport = Now;
    const double At = double(Pts) * av_q2d(FStream->time_base) - FZero;
    FProgress(std::clamp(At / FDuration, 0.0, 1.0));
}

TSoundPrint TDecoder::Run() {
    Open();
    std::unique_ptr<AVPacket, TPacketFree> Packet(av_packet_alloc());
    std::unique_ptr<AVFrame, TFrameFree> Frame(av_frame_alloc());
    if (!Packet || !Frame)
        throw std::bad_alloc();
    int Decoded = 0, Failed = 0, LastError = 0;
    auto Drain = [&] {
        for (;;) {
            const int Received = avcodec_receive_frame(FCodec.get(), Frame.get());
            if (Received == AVERROR(EAGAIN) || Received == AVERROR_EOF)
                return;
            if (Received < 0) {
                ++Failed;
                LastError = Received;
                return;
            }
            ++Decoded;
            Take(Frame.get());
            av_frame_unref(Frame.get());
        }
    };
    for (;;) {
        CheckStop();
        const int Read = av_read_frame(FFormat.get(), Packet.get());
        if (Read == AVERROR_EOF)
            break;
        if (Read < 0) {
            CheckStop();
            // A damaged tail: what was read so far is kept.
            if (Decoded > 0)
                break;
            Fail("the file cannot be read as media (" + AvError(Read) + ")");
        }
        if (Packet->stream_index == FIndex) {
            const int Sent = avcodec_send_packet(FCodec.get(), Packet.get());
            if (Sent < 0 && Sent != AVERROR(EAGAIN)) {
                ++Failed;
                LastError = Sent;
            }
            Drain();
        }
        av_packet_unref(Packet.get());
    }
    avcodec_send_packet(FCodec.get(), nullptr);
    Drain();
    CheckStop();
    if (Decoded == 0) {
        if (Failed > 0)
            Fail("the sound track cannot be decoded (" + AvError(LastError) + ")");
        FailNoSound("the sound track holds no sound");
    }
    // What the resampler holds back: its filter's delay.
    if (FResampler) {
        FOut.resize(static_cast<size_t>(std::max(0, swr_get_out_samples(FResampler.get(), 0))));
        uint8_t* Out = reinterpret_cast<uint8_t*>(FOut.data());
        const int Made = swr_convert(FResampler.get(), &Out, static_cast<int>(FOut.size()), nullptr, 0);
        if (Made > 0)
            FBuilder.Add(std::span<const float>(FOut.data(), static_cast<size_t>(Made)));
    }
    TSoundPrint Print = FBuilder.Finish(FStop);
    if (FProgress)
        FProgress(1.0);
    return Print;
}

} // namespace

TSoundPrint DecodeSound(const std::filesystem::path& File, std::stop_token Stop,
                        const TAlignProgress& Progress) {
    if (Stop.stop_requested())
        throw EAlignCancelled();
    TDecoder Decoder(File, std::move(Stop), Progress);
    return Decoder.Run();
}
