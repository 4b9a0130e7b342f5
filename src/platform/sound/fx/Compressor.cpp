#include "platform/sound/fx/Compressor.h"

#include <algorithm>
#include <cmath>

namespace platform::sound::fx {

namespace {

constexpr double kGlideSeconds = 0.020;
constexpr float kMaxPredelayMs = 4.0f;
constexpr float kDbPerLog = 8.685889638f;  // 20 / ln 10

// The per-sample factor of a one-pole smoother with this time constant.
float Coefficient(float milliseconds, int sampleRate) {
    return static_cast<float>(std::exp(-1000.0 / (static_cast<double>(milliseconds) * sampleRate)));
}

}  // namespace

Compressor::Compressor() = default;

bool Compressor::Limit(CompressorParameters& p) const noexcept {
    bool limited = false;
    limited |= LimitTo(p.fGain, -60.0f, 60.0f);
    limited |= LimitTo(p.fAttack, 0.01f, 500.0f);
    limited |= LimitTo(p.fRelease, 50.0f, 3000.0f);
    limited |= LimitTo(p.fThreshold, -60.0f, 0.0f);
    limited |= LimitTo(p.fRatio, 1.0f, 100.0f);
    limited |= LimitTo(p.fPredelay, 0.0f, 4.0f);
    return limited;
}

void Compressor::Prepare(int sampleRate, int channels) {
    sampleRate_ = std::max(sampleRate, 1);
    channels_ = std::max(channels, 1);
    // Room for the longest look-ahead, plus the frame read past for interpolation.
    const auto longest = static_cast<uint32_t>(std::ceil(kMaxPredelayMs / 1000.0f * sampleRate_)) + 2;
    uint32_t frames = 1;
    while (frames < longest) frames <<= 1;
    delay_.assign(static_cast<size_t>(frames) * channels_, 0.0f);
    delayMask_ = frames - 1;
    Apply(CurrentParameters(), false);
}

void Compressor::Reset() noexcept {
    std::fill(delay_.begin(), delay_.end(), 0.0f);
    writeFrame_ = 0;
    heldReductionDb_ = 0.0f;
    reductionDb_ = 0.0f;
    Apply(CurrentParameters(), false);
    started_ = false;
}

void Compressor::Apply(const CompressorParameters& p, bool glide) noexcept {
    thresholdDb_ = p.fThreshold;
    threshold_ = std::pow(10.0f, p.fThreshold / 20.0f);
    slope_ = 1.0f - 1.0f / p.fRatio;
    attackCoefficient_ = Coefficient(p.fAttack, sampleRate_);
    releaseCoefficient_ = Coefficient(p.fRelease, sampleRate_);
    const float delay = p.fPredelay / 1000.0f * static_cast<float>(sampleRate_);
    if (glide) {
        const int steps = static_cast<int>(std::ceil(kGlideSeconds * sampleRate_));
        makeUpDb_.GlideTo(p.fGain, steps);
        delayFrames_.GlideTo(delay, steps);
    } else {
        makeUpDb_.Jump(p.fGain);
        delayFrames_.Jump(delay);
    }
}

float Compressor::Delayed(int channel, float delay) const noexcept {
    const auto whole = static_cast<uint32_t>(delay);
    const float fraction = delay - static_cast<float>(whole);
    const uint32_t newer = (writeFrame_ - whole) & delayMask_;
    const uint32_t older = (newer - 1) & delayMask_;
    const float a = delay_[static_cast<size_t>(newer) * channels_ + channel];
    const float b = delay_[static_cast<size_t>(older) * channels_ + channel];
    return a + (b - a) * fraction;
}

void Compressor::Process(float* interleaved, int frames) noexcept {
    if (delay_.empty()) return;  // not prepared
    if (const CompressorParameters* p = TakeParameters()) Apply(*p, started_);
    started_ = true;
    float gainDb = makeUpDb_.Current() - reductionDb_;
    float gain = std::exp(gainDb / kDbPerLog);
    for (int i = 0; i < frames; ++i) {
        float* frame = interleaved + static_cast<long>(i) * channels_;
        float peak = 0.0f;
        for (int c = 0; c < channels_; ++c) {
            peak = std::max(peak, std::fabs(frame[c]));
            delay_[static_cast<size_t>(writeFrame_) * channels_ + c] = frame[c];
        }

        // Reduction in dB wanted by this sample's level (none at or below
        // the threshold, where the logarithm is not needed).
        const float wanted = peak > threshold_ ? (std::log(peak) * kDbPerLog - thresholdDb_) * slope_ : 0.0f;
        heldReductionDb_ = std::max(wanted, wanted + releaseCoefficient_ * (heldReductionDb_ - wanted));
        reductionDb_ = heldReductionDb_ + attackCoefficient_ * (reductionDb_ - heldReductionDb_);
        // Done releasing: stop there rather than decay into denormals.
        if (heldReductionDb_ < 1e-6f) heldReductionDb_ = 0.0f;
        if (reductionDb_ < 1e-6f) reductionDb_ = 0.0f;

        const float newGainDb = makeUpDb_.Advance() - reductionDb_;
        if (newGainDb != gainDb) {
            gainDb = newGainDb;
            gain = std::exp(gainDb / kDbPerLog);
        }
        const float delay = delayFrames_.Advance();
        for (int c = 0; c < channels_; ++c) frame[c] = Delayed(c, delay) * gain;
        writeFrame_ = (writeFrame_ + 1) & delayMask_;
    }
}

}  // namespace platform::sound::fx
