#include "platform/media/PeakLimiter.h"

#include <algorithm>
#include <cmath>

namespace platform::media {
namespace {

// The gain is down before a peak arrives: this long ahead it starts coming
// down, and over the second half it stays at what the peak needs.
constexpr double kLookaheadSeconds = 0.0015;
constexpr size_t kMinLookaheadFrames = 16;
// After the last frame that needed it, the gain stays down this long, so the
// falling side of a slow, loud wave is not pushed back up to full scale...
constexpr double kHoldSeconds = 0.005;
// ...then it goes back to 1 with this time constant.
constexpr double kReleaseSeconds = 0.05;
constexpr float kScale = 32768.0F;
// The loudest float sample that still converts without clipping.
constexpr float kCeiling = 32767.0F / kScale;
// A gain this close to 1 is 1: the limiter is out of the way again.
constexpr float kUnity = 1.0F - 1e-6F;

int16_t ToSixteenBits(float value) {
    return static_cast<int16_t>(std::clamp(std::lrintf(value * kScale), -32768L, 32767L));
}

}  // namespace

void PeakLimiter::Configure(int sampleRate) {
    lookahead_ =
        std::max(kMinLookaheadFrames, static_cast<size_t>(std::lround(kLookaheadSeconds * sampleRate)));
    hold_ = lookahead_ / 2;
    holdAfter_ = static_cast<size_t>(std::lround(kHoldSeconds * sampleRate));
    ring_.assign(lookahead_ + 1, Held{});
    release_ = static_cast<float>(-std::expm1(-1.0 / (kReleaseSeconds * std::max(sampleRate, 1))));
    Reset();
}

void PeakLimiter::Reset() {
    first_ = count_ = loud_ = holdLeft_ = 0;
    gain_ = 1;
}

size_t PeakLimiter::Process(const float* in, size_t frames, int16_t* out) {
    size_t written = 0;
    for (size_t i = 0; i < frames; ++i) {
        Held& held = ring_[(first_ + count_) % ring_.size()];
        held.left = in[2 * i];
        held.right = in[2 * i + 1];
        const float peak = std::max(std::fabs(held.left), std::fabs(held.right));
        held.needed = peak > kCeiling ? kCeiling / peak : 1.0F;
        if (held.needed < 1.0F) ++loud_;
        if (++count_ == ring_.size()) Emit(out + 2 * written++);
    }
    return written;
}

size_t PeakLimiter::Flush(int16_t* out) {
    size_t written = 0;
    while (count_ > 0) Emit(out + 2 * written++);
    return written;
}

// The lowest gain any held frame asks of the oldest one: its own need, the
// need of every frame up to hold_ ahead, and beyond that a need that eases
// linearly to 1 at the end of the lookahead.
float PeakLimiter::WindowGain() const {
    float gain = 1.0F;
    const auto ramp = static_cast<float>(lookahead_ - hold_ + 1);
    for (size_t d = 0; d < count_; ++d) {
        const float needed = ring_[(first_ + d) % ring_.size()].needed;
        if (needed >= 1.0F) continue;
        const float eased =
            d <= hold_ ? needed : needed + (1.0F - needed) * static_cast<float>(d - hold_) / ramp;
        gain = std::min(gain, eased);
    }
    return gain;
}

// Writes the oldest held frame with the gain it gets, and lets it go.
void PeakLimiter::Emit(int16_t* out) {
    float released = gain_;
    if (holdLeft_ > 0) {
        --holdLeft_;
    } else if (gain_ < 1.0F) {
        released += (1.0F - gain_) * release_;
        if (released > kUnity) released = 1.0F;
    }
    const float wanted = loud_ > 0 ? WindowGain() : 1.0F;
    if (wanted <= released) {
        gain_ = wanted;
        if (wanted < 1.0F) holdLeft_ = holdAfter_;
    } else {
        gain_ = released;
    }
    const Held& held = ring_[first_];
    out[0] = ToSixteenBits(held.left * gain_);
    out[1] = ToSixteenBits(held.right * gain_);
    if (held.needed < 1.0F) --loud_;
    first_ = (first_ + 1) % ring_.size();
    --count_;
}

}  // namespace platform::media
