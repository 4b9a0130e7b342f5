#include "platform/sound/fx/Gargle.h"

#include <algorithm>
#include <cmath>

namespace platform::sound::fx {

namespace {

constexpr double kFadeSeconds = 0.020;

}  // namespace

Gargle::Gargle() = default;

bool Gargle::Limit(GargleParameters& p) const noexcept {
    bool limited = false;
    limited |= LimitTo(p.dwRateHz, 1u, 1000u);
    limited |= LimitTo(p.dwWaveShape, 0u, 1u);
    return limited;
}

void Gargle::Prepare(int sampleRate, int channels) {
    sampleRate_ = std::max(sampleRate, 1);
    channels_ = std::max(channels, 1);
    Apply(CurrentParameters(), false);
}

void Gargle::Reset() noexcept {
    phase_ = 0.0;
    Apply(CurrentParameters(), false);
    started_ = false;
}

void Gargle::Apply(const GargleParameters& p, bool glide) noexcept {
    step_ = static_cast<double>(p.dwRateHz) / sampleRate_;
    const float share = p.dwWaveShape == 1 ? 1.0f : 0.0f;
    if (glide) {
        squareShare_.GlideTo(share, static_cast<int>(std::ceil(kFadeSeconds * sampleRate_)));
    } else {
        squareShare_.Jump(share);
    }
}

void Gargle::Process(float* interleaved, int frames) noexcept {
    if (const GargleParameters* p = TakeParameters()) Apply(*p, started_);
    started_ = true;
    for (int i = 0; i < frames; ++i) {
        const auto phase = static_cast<float>(phase_);
        const float triangle = 1.0f - std::fabs(2.0f * phase - 1.0f);
        const float square = phase < 0.5f ? 1.0f : 0.0f;
        const float share = squareShare_.Advance();
        const float gain = triangle + (square - triangle) * share;
        float* frame = interleaved + static_cast<long>(i) * channels_;
        for (int c = 0; c < channels_; ++c) frame[c] *= gain;
        phase_ += step_;
        if (phase_ >= 1.0) phase_ -= 1.0;
    }
}

}  // namespace platform::sound::fx
