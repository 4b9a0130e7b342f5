#include "platform/media/SampleConverter.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/mathematics.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <numeric>

namespace platform::media {
namespace {

std::string FfmpegError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace

SampleConverter::SampleConverter() = default;

SampleConverter::~SampleConverter() {
    Release();
}

void SampleConverter::Release() {
    swr_free(&swr_);
    av_channel_layout_uninit(&inLayout_);
    inFormat_ = -1;
    inRate_ = 0;
}

void SampleConverter::Configure(int channels, int sampleRate) {
    Release();
    channels_ = channels;
    rate_ = sampleRate;
    outputUsed_ = 0;
}

bool SampleConverter::SetUp(const AVFrame* frame, std::string& error) {
    AVChannelLayout input{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&input, frame->ch_layout.nb_channels);
    } else if (av_channel_layout_copy(&input, &frame->ch_layout) < 0) {
        error = "Out of memory";
        return false;
    }
    if (swr_ && frame->format == inFormat_ && frame->sample_rate == inRate_ &&
        av_channel_layout_compare(&input, &inLayout_) == 0) {
        av_channel_layout_uninit(&input);
        return true;
    }
    // The format changed mid-stream: what the old set-up holds comes first.
    Flush();
    Release();

    AVChannelLayout output{};
    av_channel_layout_default(&output, channels_);
    int result =
        swr_alloc_set_opts2(&swr_, &output, AV_SAMPLE_FMT_S16, rate_, &input,
                            static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
    if (result >= 0) result = swr_init(swr_);
    av_channel_layout_uninit(&output);
    if (result < 0) {
        av_channel_layout_uninit(&input);
        Release();
        error = "Cannot convert the audio (" + FfmpegError(result) + ")";
        return false;
    }
    inLayout_ = input;  // takes over what input owns
    inFormat_ = frame->format;
    inRate_ = frame->sample_rate;
    return true;
}

uint8_t* SampleConverter::Reserve(size_t frames) {
    const size_t needed = outputUsed_ + frames * static_cast<size_t>(channels_);
    if (output_.size() < needed) output_.resize(needed);
    return reinterpret_cast<uint8_t*>(output_.data() + outputUsed_);
}

bool SampleConverter::Convert(const AVFrame* frame, int skip, std::string& error) {
    if (!SetUp(frame, error)) return false;
    const int count = frame->nb_samples - skip;
    if (count <= 0) return true;

    const uint8_t* const* in = frame->extended_data;
    if (skip > 0) {
        const auto format = static_cast<AVSampleFormat>(frame->format);
        const int planes = av_sample_fmt_is_planar(format) ? frame->ch_layout.nb_channels : 1;
        const int step = av_get_bytes_per_sample(format) * (planes == 1 ? frame->ch_layout.nb_channels : 1);
        planes_.resize(static_cast<size_t>(planes));
        for (int p = 0; p < planes; ++p)
            planes_[static_cast<size_t>(p)] = frame->extended_data[p] + skip * step;
        in = planes_.data();
    }

    const int converted = Run(in, count);
    if (converted < 0) {
        error = "Cannot convert the audio (" + FfmpegError(converted) + ")";
        return false;
    }
    return true;
}

// Converts `count` input frames (none: drains what the converter holds) onto
// the output; returns the frames converted or an FFmpeg error.
int SampleConverter::Run(const uint8_t* const* in, int count) {
    const int capacity = std::max(swr_get_out_samples(swr_, count), 1);
    uint8_t* out = Reserve(static_cast<size_t>(capacity));
    const int converted = swr_convert(swr_, &out, capacity, const_cast<const uint8_t**>(in), count);
    if (converted <= 0) return converted;
    outputUsed_ += static_cast<size_t>(converted) * static_cast<size_t>(channels_);
    return converted;
}

void SampleConverter::Flush() {
    if (!swr_) return;
    while (Run(nullptr, 0) > 0) {
    }
}

void SampleConverter::Reset() {
    if (swr_ && swr_init(swr_) < 0) Release();
}

int64_t SampleConverter::AlignmentSkip(int64_t inputIndex, int inputRate) const {
    if (inputRate == rate_ || inputRate <= 0) return 0;
    const int64_t step = inputRate / std::gcd(inputRate, rate_);
    const int64_t past = ((inputIndex % step) + step) % step;
    return past == 0 ? 0 : step - past;
}

int64_t SampleConverter::OutputIndex(int64_t inputIndex, int inputRate) const {
    if (inputRate == rate_ || inputRate <= 0) return inputIndex;
    return av_rescale_rnd(inputIndex, rate_, inputRate, AV_ROUND_NEAR_INF);
}

}  // namespace platform::media
