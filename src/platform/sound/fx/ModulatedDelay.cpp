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

// The part after the point of x > -1 (cheaper than floor, which is a library
// call on the baseline instruction set).
float Fraction(float x) noexcept {
    const float positive = x + 1.0f;
    return positive - static_cast<float>(static_cast<int>(positive));
}

// sin(2 pi cycles) to within a few millionths, without the library call: the
// wave is needed every sample.
float SineOfCycles(float cycles) noexcept {
    float u = Fraction(cycles) - 0.5f;  // -0.5 to 0.5
    if (u > 0.25f) u = 0.5f - u;
    if (u < -0.25f) u = -0.5f - u;
    const float x = u * 2.0f * std::numbers::pi_v<float>;  // -pi/2 to pi/2
    const float x2 = x * x;
    const float sine =
        x * (1.0f + x2 * (-1.0f / 6 + x2 * (1.0f / 120 + x2 * (-1.0f / 5040 + x2 * (1.0f / 362880)))));
    return -sine;  // half a cycle on
}

// A triangle in step with the sine: 0 at the start, 1 a quarter cycle on.
float TriangleOfCycles(float cycles) noexcept {
    const float u = Fraction(cycles + 0.25f);
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
    // Working copies, which the compiler can keep in registers: stores into
    // the sound might otherwise alias the members.
    Glide mix = mix_, feedback = feedback_, centre = centre_, swing = swing_, shape = shape_,
          offset = offset_;
    const std::array<float*, 2> lines{lines_[0].data(), lines_[1].data()};
    const uint32_t mask = mask_;
    const float maxDelay = maxDelay_;
    const double step = step_;
    uint32_t write = write_;
    double phase = phase_;

    float* frame = interleaved;
    for (int n = 0; n < frames; ++n, frame += channels_) {
        const float wet = mix.Next();
        const float back = feedback.Next();
        const float middle = centre.Next();
        const float reach = swing.Next();
        const float sine = shape.Next();
        const float lead = offset.Next();
        for (int side = 0; side < sides_; ++side) {
            const float cycles = static_cast<float>(phase) + (side == 0 ? 0.0f : lead);
            const float triangle = TriangleOfCycles(cycles);
            const float wave = triangle + sine * (SineOfCycles(cycles) - triangle);
            const float delay = std::clamp(middle + reach * wave, kMinDelay, maxDelay);

            // Catmull-Rom cubic through the samples around the read position.
            const auto whole = static_cast<uint32_t>(delay);
            const float t = delay - static_cast<float>(whole);
            float* line = lines[side];
            const uint32_t at = write - whole;
            const float before = line[(at + 1) & mask];
            const float y0 = line[at & mask];
            const float y1 = line[(at - 1) & mask];
            const float after = line[(at - 2) & mask];
            const float c1 = 0.5f * (y1 - before);
            const float c2 = before - 2.5f * y0 + 2.0f * y1 - 0.5f * after;
            const float c3 = 0.5f * (after - before) + 1.5f * (y0 - y1);
            const float delayed = ((c3 * t + c2) * t + c1) * t + y0;

            const float dry = frame[side];
            line[write] = dry + back * delayed;
            frame[side] = dry + wet * (delayed - dry);
        }
        write = (write + 1) & mask;
        phase += step;
        if (phase >= 1.0) phase -= 1.0;
    }

    mix_ = mix;
    feedback_ = feedback;
    centre_ = centre;
    swing_ = swing;
    shape_ = shape;
    offset_ = offset;
    write_ = write;
    phase_ = phase;
}

}  // namespace platform::sound::fx
