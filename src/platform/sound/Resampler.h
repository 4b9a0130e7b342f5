#pragma once

#include <cstdint>

namespace platform::sound {

// Reads a buffer of 16-bit frames (mono or stereo, interleaved) at any rate
// and produces stereo floats: 4-point, 3rd-order Hermite interpolation
// between frames, and the frames themselves where the read position falls on
// one, so that a buffer played at its own rate comes out bit-exact. Mono is
// read into both channels. Positions are frames in 32.32 fixed point.
// Audio thread: no allocation, lock or log.
class Resampler {
public:
    Resampler(const int16_t* data, uint32_t frames, int channels) noexcept
        : data_(data), frames_(frames), channels_(channels) {}

    // The position step per output frame for a source read at `sourceRate`
    // into a stream at `streamRate`.
    static uint64_t StepFor(uint64_t sourceRate, int streamRate) noexcept {
        return (sourceRate << 32) / static_cast<uint64_t>(streamRate);
    }
    static float Hermite(float xm1, float x0, float x1, float x2, float t) noexcept;

    struct Result {
        int produced = 0;         // stereo frames written
        bool reachedEnd = false;  // a buffer that does not loop played to its end
    };
    // Writes up to `frames` stereo frames to `stereo` from `position` on,
    // advancing it by `step` a frame. A looping buffer wraps around, reading
    // across its end; one that does not loop stops at its end.
    Result Read(uint64_t& position, uint64_t step, bool looping, float* stereo, int frames) const noexcept;

private:
    // A channel's sample, wrapped or silent outside the buffer.
    float SampleAt(int64_t frame, int channel, bool looping) const noexcept;

    const int16_t* data_;
    uint32_t frames_;
    int channels_;
};

}  // namespace platform::sound
