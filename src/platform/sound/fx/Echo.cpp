#include "platform/sound/fx/Echo.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace platform::sound::fx {

namespace {

constexpr float kMaxDelayMs = 2000.0f;
constexpr double kFadeSeconds = 0.02;
constexpr double kGlideSeconds = 0.01;

}  // namespace

Echo::Echo() = default;

bool Echo::Limit(EchoParameters& p) const noexcept {
    bool limited = false;
    limited |= LimitTo(p.fWetDryMix, 0.0f, 100.0f);
    limited |= LimitTo(p.fFeedback, 0.0f, 100.0f);
    limited |= LimitTo(p.fLeftDelay, 1.0f, 2000.0f);
    limited |= LimitTo(p.fRightDelay, 1.0f, 2000.0f);
    limited |= LimitTo(p.lPanDelay, 0, 1);
    return limited;
}

void Echo::Prepare(int sampleRate, int channels) {
    sampleRate_ = std::max(sampleRate, 1);
    channels_ = std::max(channels, 1);
    sides_ = std::min(channels_, 2);
    maxDelay_ = static_cast<int>(std::ceil(kMaxDelayMs * 0.001 * sampleRate_));
    const uint32_t length = std::bit_ceil(static_cast<uint32_t>(maxDelay_) + 1);
    mask_ = length - 1;
    for (int side = 0; side < 2; ++side) lines_[side].assign(side < sides_ ? length : 0, 0.0f);
    fadeFrames_ = std::max(1, static_cast<int>(kFadeSeconds * sampleRate_));
    mix_.SetTime(kGlideSeconds, sampleRate_);
    feedback_.SetTime(kGlideSeconds, sampleRate_);
    pan_.SetTime(kGlideSeconds, sampleRate_);
    SetTargets(CurrentParameters());
    Reset();
}

void Echo::Reset() noexcept {
    for (auto& line : lines_) std::fill(line.begin(), line.end(), 0.0f);
    write_ = 0;
    fade_ = 0;
    delay_ = target_;
    next_ = target_;
    mix_.Snap();
    feedback_.Snap();
    pan_.Snap();
}

int Echo::ToSamples(float milliseconds) const noexcept {
    const auto samples = static_cast<int>(std::lround(milliseconds * 0.001 * sampleRate_));
    return std::clamp(samples, 1, maxDelay_);
}

void Echo::SetTargets(const EchoParameters& p) noexcept {
    mix_.SetTarget(p.fWetDryMix * 0.01f);
    feedback_.SetTarget(p.fFeedback * 0.01f);
    pan_.SetTarget(p.lPanDelay != 0 ? 1.0f : 0.0f);
    target_ = {ToSamples(p.fLeftDelay), ToSamples(p.fRightDelay)};
}

void Echo::Process(float* interleaved, int frames) noexcept {
    if (sides_ == 0) return;  // not prepared
    if (const EchoParameters* p = TakeParameters()) SetTargets(*p);
    const float fadeStep = 1.0f / static_cast<float>(fadeFrames_);
    float* frame = interleaved;
    for (int n = 0; n < frames; ++n, frame += channels_) {
        if (fade_ == 0 && target_ != delay_) {
            next_ = target_;
            fade_ = 1;
        }
        // While a crossfade runs the old and the new read position are both
        // heard; otherwise both reads are the same sample.
        const float along = static_cast<float>(fade_) * fadeStep;
        std::array<float, 2> tap{};
        for (int side = 0; side < sides_; ++side) {
            const float* line = lines_[side].data();
            const float old = line[(write_ - static_cast<uint32_t>(delay_[side])) & mask_];
            const float fresh = line[(write_ - static_cast<uint32_t>(next_[side])) & mask_];
            tap[side] = old + along * (fresh - old);
        }
        if (fade_ != 0 && ++fade_ > fadeFrames_) {
            delay_ = next_;
            fade_ = 0;
        }

        const float mix = mix_.Next();
        const float feedback = feedback_.Next();
        const float pan = pan_.Next();
        if (sides_ == 2) {
            // Pan delay feeds each side's line from the other side, so that
            // every repeat changes sides.
            const float left = frame[0] + feedback * tap[0];
            const float right = frame[1] + feedback * tap[1];
            lines_[0][write_] = left + pan * (right - left);
            lines_[1][write_] = right + pan * (left - right);
            frame[0] += mix * (tap[0] - frame[0]);
            frame[1] += mix * (tap[1] - frame[1]);
        } else {
            lines_[0][write_] = frame[0] + feedback * tap[0];
            frame[0] += mix * (tap[0] - frame[0]);
        }
        write_ = (write_ + 1) & mask_;
    }
}

}  // namespace platform::sound::fx
