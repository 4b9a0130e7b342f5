#pragma once

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/media/PeakLimiter.h"

struct AVFrame;
struct SwrContext;

namespace platform::media {

// Turns decoded frames (any sample format, layout and rate) into interleaved
// 16-bit samples: 1 or 2 channels at one output rate.
//
// Mono and stereo go straight through FFmpeg's converter, bit-exact for 16-bit
// input at the output rate. More channels are mixed down by our own matrix:
// the front pair at full level, centre and surrounds 3 dB down, LFE left out;
// a PeakLimiter keeps the sum from clipping.
//
// When resampling, the converter holds some input back: Flush hands it out at
// the end of the stream, Reset drops it after a seek.
//
// Not thread-safe. Allocates only when the input format changes or a frame is
// larger than any before.
class SampleConverter {
public:
    SampleConverter();
    ~SampleConverter();
    SampleConverter(const SampleConverter&) = delete;
    SampleConverter& operator=(const SampleConverter&) = delete;

    // Sets the output and forgets everything else.
    void Configure(int channels, int sampleRate);

    // Converts `frame` from its sample `skip` on and appends the result to the
    // output. False (and *error) when FFmpeg cannot convert it.
    bool Convert(const AVFrame* frame, int skip, std::string& error);
    // Appends what is still held back; for the end of the stream.
    void Flush();
    // Drops what is held back, for input that does not follow on.
    void Reset();

    const int16_t* Output() const { return output_.data(); }
    size_t OutputSamples() const { return outputUsed_; }
    void ClearOutput() { outputUsed_ = 0; }

    // Input samples to drop from a stream that starts at input sample
    // `inputIndex` so that its first sample falls on an output sample: then a
    // stream converted from there gives the very samples a conversion from the
    // start gives.
    int64_t AlignmentSkip(int64_t inputIndex, int inputRate) const;
    // The output sample at which (aligned) input sample `inputIndex` lands.
    int64_t OutputIndex(int64_t inputIndex, int inputRate) const;

private:
    bool SetUp(const AVFrame* frame, std::string& error);
    void Release();
    uint8_t* Reserve(size_t frames);
    int Run(const uint8_t* const* in, int count);
    void MixDown(size_t frames);

    SwrContext* swr_ = nullptr;
    int channels_ = 2;
    int rate_ = 44100;

    // The input the converter is set up for; a change mid-stream sets it up again.
    AVChannelLayout inLayout_{};
    int inFormat_ = -1;
    int inRate_ = 0;

    // More than two channels: FFmpeg converts to float in the input's layout,
    // MixDown applies these (left, right) gains per channel.
    bool mixing_ = false;
    std::vector<std::array<float, 2>> gains_;
    std::vector<float> wide_;    // converted, all channels
    std::vector<float> stereo_;  // mixed down
    PeakLimiter limiter_;

    std::vector<const uint8_t*> planes_;  // input planes moved past skipped samples

    std::vector<int16_t> output_;
    size_t outputUsed_ = 0;  // samples
};

}  // namespace platform::media
