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

constexpr float kMinus3dB = 0.70710678F;

std::string FfmpegError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// (left, right) gains of one input channel in the stereo mix-down: the front
// pair as it is, centre and surrounds 3 dB down (so a stereo mix keeps its
// level), LFE out (a DJ system has its own bass; mixed in it only booms).
std::array<float, 2> GainsFor(AVChannel channel) {
    switch (channel) {
        case AV_CHAN_FRONT_LEFT:
            return {1, 0};
        case AV_CHAN_FRONT_RIGHT:
            return {0, 1};
        case AV_CHAN_LOW_FREQUENCY:
        case AV_CHAN_LOW_FREQUENCY_2:
            return {0, 0};
        case AV_CHAN_FRONT_CENTER:
        case AV_CHAN_TOP_CENTER:
        case AV_CHAN_TOP_FRONT_CENTER:
        case AV_CHAN_BOTTOM_FRONT_CENTER:
            return {kMinus3dB, kMinus3dB};
        case AV_CHAN_FRONT_LEFT_OF_CENTER:
        case AV_CHAN_BACK_LEFT:
        case AV_CHAN_SIDE_LEFT:
        case AV_CHAN_TOP_FRONT_LEFT:
        case AV_CHAN_TOP_BACK_LEFT:
        case AV_CHAN_STEREO_LEFT:
        case AV_CHAN_WIDE_LEFT:
        case AV_CHAN_SURROUND_DIRECT_LEFT:
        case AV_CHAN_TOP_SIDE_LEFT:
        case AV_CHAN_BOTTOM_FRONT_LEFT:
            return {kMinus3dB, 0};
        case AV_CHAN_FRONT_RIGHT_OF_CENTER:
        case AV_CHAN_BACK_RIGHT:
        case AV_CHAN_SIDE_RIGHT:
        case AV_CHAN_TOP_FRONT_RIGHT:
        case AV_CHAN_TOP_BACK_RIGHT:
        case AV_CHAN_STEREO_RIGHT:
        case AV_CHAN_WIDE_RIGHT:
        case AV_CHAN_SURROUND_DIRECT_RIGHT:
        case AV_CHAN_TOP_SIDE_RIGHT:
        case AV_CHAN_BOTTOM_FRONT_RIGHT:
            return {0, kMinus3dB};
        default:
            return {0.5F, 0.5F};  // a back centre, or a channel without a place: both sides
    }
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
    mixing_ = false;
    limiter_.Reset();
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

    mixing_ = channels_ == 2 && input.nb_channels > 2;
    AVChannelLayout output{};
    if (mixing_) {
        av_channel_layout_copy(&output, &input);
    } else {
        av_channel_layout_default(&output, channels_);
    }
    int result =
        swr_alloc_set_opts2(&swr_, &output, mixing_ ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_S16, rate_, &input,
                            static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
    if (result >= 0) result = swr_init(swr_);
    av_channel_layout_uninit(&output);
    if (result < 0) {
        av_channel_layout_uninit(&input);
        Release();
        error = "Cannot convert the audio (" + FfmpegError(result) + ")";
        return false;
    }
    if (mixing_) {
        gains_.resize(static_cast<size_t>(input.nb_channels));
        for (int c = 0; c < input.nb_channels; ++c)
            gains_[static_cast<size_t>(c)] = GainsFor(av_channel_layout_channel_from_index(&input, c));
        limiter_.Configure(rate_);
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

void SampleConverter::MixDown(size_t frames) {
    if (stereo_.size() < frames * 2) stereo_.resize(frames * 2);
    const size_t inChannels = gains_.size();
    for (size_t n = 0; n < frames; ++n) {
        const float* in = wide_.data() + n * inChannels;
        float left = 0;
        float right = 0;
        for (size_t c = 0; c < inChannels; ++c) {
            left += in[c] * gains_[c][0];
            right += in[c] * gains_[c][1];
        }
        stereo_[2 * n] = left;
        stereo_[2 * n + 1] = right;
    }
    auto* out = reinterpret_cast<int16_t*>(Reserve(frames));
    outputUsed_ += limiter_.Process(stereo_.data(), frames, out) * 2;
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
            planes_[static_cast<size_t>(p)] = frame->extended_data[p] + static_cast<ptrdiff_t>(skip) * step;
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
    uint8_t* out = nullptr;
    if (mixing_) {
        const size_t needed = static_cast<size_t>(capacity) * gains_.size();
        if (wide_.size() < needed) wide_.resize(needed);
        out = reinterpret_cast<uint8_t*>(wide_.data());
    } else {
        out = Reserve(static_cast<size_t>(capacity));
    }
    const int converted = swr_convert(swr_, &out, capacity, const_cast<const uint8_t**>(in), count);
    if (converted <= 0) return converted;
    if (mixing_) {
        MixDown(static_cast<size_t>(converted));
    } else {
        outputUsed_ += static_cast<size_t>(converted) * static_cast<size_t>(channels_);
    }
    return converted;
}

void SampleConverter::Flush() {
    if (!swr_) return;
    while (Run(nullptr, 0) > 0) {
    }
    if (mixing_) {
        auto* out = reinterpret_cast<int16_t*>(Reserve(limiter_.Latency()));
        outputUsed_ += limiter_.Flush(out) * 2;
    }
}

void SampleConverter::Reset() {
    if (swr_ && swr_init(swr_) < 0) Release();
    limiter_.Reset();
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
