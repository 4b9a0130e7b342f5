#include "platform/sound/Resampler.h"

#include <algorithm>

namespace platform::sound {
namespace {

constexpr float kSampleScale = 1.0f / 32768.0f;
constexpr float kFractionScale = 1.0f / 4294967296.0f;

}  // namespace

float Resampler::Hermite(float xm1, float x0, float x1, float x2, float t) noexcept {
    // Exact at t = 0; the tangents at x0 and x1 are the central differences.
    const float c1 = 0.5f * (x1 - xm1);
    const float c2 = xm1 - 2.5f * x0 + 2.0f * x1 - 0.5f * x2;
    const float c3 = 0.5f * (x2 - xm1) + 1.5f * (x0 - x1);
    return ((c3 * t + c2) * t + c1) * t + x0;
}

float Resampler::SampleAt(int64_t frame, int channel, bool looping) const noexcept {
    const int64_t frames = frames_;
    if (frame < 0 || frame >= frames) {
        if (!looping) return 0.0f;
        frame = (frame % frames + frames) % frames;
    }
    return data_[frame * channels_ + std::min(channel, channels_ - 1)] * kSampleScale;
}

Resampler::Result Resampler::Read(uint64_t& position, uint64_t step, bool looping, float* stereo,
                                  int frames) const noexcept {
    Result result;
    if (frames_ == 0) return result;
    const uint64_t end = static_cast<uint64_t>(frames_) << 32;
    const int stride = channels_;
    const int lastChannel = channels_ - 1;
    int& produced = result.produced;
    for (; produced < frames; ++produced) {
        if (position >= end) {
            if (!looping) {
                result.reachedEnd = true;
                break;
            }
            position %= end;
        }
        const auto i = static_cast<int64_t>(position >> 32);
        const auto fraction = static_cast<uint32_t>(position);
        float* out = stereo + 2 * produced;
        if (fraction == 0) {
            // On a frame: no interpolation, so unity frequency is bit-exact.
            const int16_t* frame = data_ + i * stride;
            out[0] = frame[0] * kSampleScale;
            out[1] = frame[lastChannel] * kSampleScale;
        } else if (i >= 1 && i + 2 < frames_) {
            // All four neighbours inside the buffer: read them directly.
            const float t = static_cast<float>(fraction) * kFractionScale;
            const int16_t* p = data_ + (i - 1) * stride;
            for (int c = 0; c < 2; ++c) {
                const int k = std::min(c, lastChannel);
                out[c] = Hermite(p[k] * kSampleScale, p[stride + k] * kSampleScale,
                                 p[2 * stride + k] * kSampleScale, p[3 * stride + k] * kSampleScale, t);
            }
        } else {
            const float t = static_cast<float>(fraction) * kFractionScale;
            for (int c = 0; c < 2; ++c)
                out[c] = Hermite(SampleAt(i - 1, c, looping), SampleAt(i, c, looping),
                                 SampleAt(i + 1, c, looping), SampleAt(i + 2, c, looping), t);
        }
        position += step;
    }
    if (position >= end) {
        if (looping)
            position %= end;
        else
            result.reachedEnd = true;  // played to its last frame
    }
    return result;
}

}  // namespace platform::sound
