#include "platform/sound/fx/ModulatedDelay.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

namespace platform::sound::fx {

namespace {

constexpr double kGlideSeconds = 0.015;
// The shortest delay the interpolation can read: it needs one written sample
// on the near side of the read position.
constexpr float kMinDelay = 2.0f;

// sin(2 pi cycles) to within a few millionths, without the library call: the
// wave is needed every sample.
float SineOfCycles(double cycles) noexcept {
    float u = static_cast<float>(cycles - std::floor(cycles)) - 0.5f;  // -0.5 to 0.5
    if (u > 0.25f) u = 0.5f - u;
    if (u < -0.25f) u = -0.5f - u;
    const float x = u * 2.0f * std::numbers::pi_v<float>;  // -pi/2 to pi/2
    const float x2 = x * x;
    const float sine =
        x * (1.0f + x2 * (-1.0f / 6 + x2 * (1.0f / 120 + x2 * (-1.0f / 5040 + x2 * (1.0f / 362880)))));
    return -sine;  // half a cycle on
}

// A triangle in step with the sine: 0 at the start, 1 a quarter cycle on.
float TriangleOfCycles(double cycles) noexcept {
    const double shifted = cycles + 0.25;
    const auto u = static_cast<float>(shifted - std::floor(shifted));
    return 1.0f - 4.0f * std::abs(u - 0.5f);
}

}  // namespace

void ModulatedDelay::Prepare(int sampleRate, int channels, float maxDelayMs) {
    sampleRate_ = std::max(sampleRate, 1);
    channels_ = std::max(channels, 1);
    sides_ = std::min(channels_, 2);
    // The swing can reach twice the middle delay; the interpolation reads two
    // samples beyond it.
    const auto longest = static_cast<uint32_t>(std::ceil(2.0 * maxDelayMs * 0.001 * sampleRate_)) + 4;
    const uint32_t length = std::bit_ceil(longest);
    mask_ = length - 1;
    maxDelay_ = static_cast<float>(length - 3);
    for (int side = 0; side < 2; ++side) lines_[side].assign(side < sides_ ? length : 0, 0.0f);
    for (Glide* glide : {&mix_, &feedback_, &centre_, &swing_, &shape_, &offset_})
        glide->SetTime(kGlideSeconds, sampleRate_);
}

void ModulatedDelay::Reset() noexcept {
    for (auto& line : lines_) std::fill(line.begin(), line.end(), 0.0f);
    write_ = 0;
    phase_ = 0;
    for (Glide* glide : {&mix_, &feedback_, &centre_, &swing_, &shape_, &offset_}) glide->Snap();
}

void ModulatedDelay::SetTargets(const ModulationSettings& s) noexcept {
    const float centre = s.delayMs * 0.001f * static_cast<float>(sampleRate_);
    mix_.SetTarget(s.mix);
    feedback_.SetTarget(s.feedback);
    centre_.SetTarget(centre);
    swing_.SetTarget(centre * s.depth);
    shape_.SetTarget(s.sine ? 1.0f : 0.0f);
    offset_.SetTarget(s.phaseDegrees / 360.0f);
    step_ = sampleRate_ > 0 ? s.frequency / sampleRate_ : 0.0;
}

void ModulatedDelay::Process(float* interleaved, int frames) noexcept {
    if (sides_ == 0) return;  // not prepared
    float* frame = interleaved;
    for (int n = 0; n < frames; ++n, frame += channels_) {
        const float mix = mix_.Next();
        const float feedback = feedback_.Next();
        const float centre = centre_.Next();
        const float swing = swing_.Next();
        const float shape = shape_.Next();
        const float offset = offset_.Next();
        for (int side = 0; side < sides_; ++side) {
            const double phase = side == 0 ? phase_ : phase_ + offset;
            const float triangle = TriangleOfCycles(phase);
            const float wave = triangle + shape * (SineOfCycles(phase) - triangle);
            const float delay = std::clamp(centre + swing * wave, kMinDelay, maxDelay_);

            // Catmull-Rom cubic through the samples around the read position.
            const auto whole = static_cast<uint32_t>(delay);
            const float t = delay - static_cast<float>(whole);
            float* line = lines_[side].data();
            const uint32_t at = write_ - whole;
            const float before = line[(at + 1) & mask_];
            const float y0 = line[at & mask_];
            const float y1 = line[(at - 1) & mask_];
            const float after = line[(at - 2) & mask_];
            const float c1 = 0.5f * (y1 - before);
            const float c2 = before - 2.5f * y0 + 2.0f * y1 - 0.5f * after;
            const float c3 = 0.5f * (after - before) + 1.5f * (y0 - y1);
            const float wet = ((c3 * t + c2) * t + c1) * t + y0;

            const float dry = frame[side];
            line[write_] = dry + feedback * wet;
            frame[side] = dry + mix * (wet - dry);
        }
        write_ = (write_ + 1) & mask_;
        phase_ += step_;
        if (phase_ >= 1.0) phase_ -= 1.0;
    }
}

}  // namespace platform::sound::fx
