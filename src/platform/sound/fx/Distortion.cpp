#include "platform/sound/fx/Distortion.h"

#include <algorithm>
#include <cmath>

namespace platform::sound::fx {

namespace {

constexpr int kUpdateFrames = 8;
constexpr double kGlideSeconds = 0.020;
constexpr float kDbPerLog = 8.685889638f;  // 20 / ln 10
constexpr float kButterworthQ = 0.70710678f;

// A tanh-like curve: odd, unity slope at zero, reaching +/-1 with zero slope
// at +/-3 and flat beyond, so it saturates without a corner. Cheaper than tanh.
float Saturate(float x) noexcept {
    if (x >= 3.0f) return 1.0f;
    if (x <= -3.0f) return -1.0f;
    const float x2 = x * x;
    return x * (27.0f + x2) / (27.0f + 9.0f * x2);
}

// fEdge in % to the gain before the curve: 0.4 dB per %.
float DriveOf(float edge) noexcept {
    return std::pow(10.0f, edge * 0.4f / 20.0f);
}

}  // namespace

Distortion::Distortion() = default;

bool Distortion::Limit(DistortionParameters& p) const noexcept {
    bool limited = false;
    limited |= LimitTo(p.fGain, -60.0f, 0.0f);
    limited |= LimitTo(p.fEdge, 0.0f, 100.0f);
    limited |= LimitTo(p.fPostEQCenterFrequency, 100.0f, 8000.0f);
    limited |= LimitTo(p.fPostEQBandwidth, 100.0f, 8000.0f);
    limited |= LimitTo(p.fPreLowpassCutoff, 100.0f, 8000.0f);
    return limited;
}

void Distortion::Prepare(int sampleRate, int channels) {
    sampleRate_ = std::max(sampleRate, 1);
    channels_ = std::max(channels, 1);
    Aim(CurrentParameters(), false);
}

void Distortion::Reset() noexcept {
    preLowpass_.Reset();
    postBandpass_.Reset();
    Aim(CurrentParameters(), false);
    started_ = false;
}

void Distortion::Aim(const DistortionParameters& p, bool glide) noexcept {
    if (!glide) {
        preCutoffOctave_.Jump(std::log2(p.fPreLowpassCutoff));
        postCentreOctave_.Jump(std::log2(p.fPostEQCenterFrequency));
        postBandwidth_.Jump(p.fPostEQBandwidth);
        drive_.Jump(DriveOf(p.fEdge));
        outputDb_.Jump(p.fGain);
        framesToUpdate_ = 0;
        Design();
        return;
    }
    const int blocks = static_cast<int>(std::ceil(kGlideSeconds * sampleRate_ / kUpdateFrames));
    preCutoffOctave_.GlideTo(std::log2(p.fPreLowpassCutoff), blocks);
    postCentreOctave_.GlideTo(std::log2(p.fPostEQCenterFrequency), blocks);
    postBandwidth_.GlideTo(p.fPostEQBandwidth, blocks);
    const int samples = static_cast<int>(std::ceil(kGlideSeconds * sampleRate_));
    drive_.GlideTo(DriveOf(p.fEdge), samples);
    outputDb_.GlideTo(p.fGain, samples);
}

void Distortion::Design() noexcept {
    preLowpass_.SetCoefficients(
        BiquadFilter::LowPass(sampleRate_, std::exp2(preCutoffOctave_.Current()), kButterworthQ));
    postBandpass_.SetCoefficients(BiquadFilter::BandPass(sampleRate_, std::exp2(postCentreOctave_.Current()),
                                                         postBandwidth_.Current()));
}

void Distortion::Process(float* interleaved, int frames) noexcept {
    if (const DistortionParameters* p = TakeParameters()) Aim(*p, started_);
    started_ = true;
    float outputDb = outputDb_.Current();
    float output = std::exp(outputDb / kDbPerLog);
    // Channels beyond what the filters hold pass unchanged.
    const int shaped = std::min(channels_, BiquadFilter::kMaxChannels);
    int done = 0;
    while (done < frames) {
        const bool gliding = FiltersGliding();
        if (gliding && framesToUpdate_ == 0) {
            preCutoffOctave_.Advance();
            postCentreOctave_.Advance();
            postBandwidth_.Advance();
            Design();
            framesToUpdate_ = kUpdateFrames;
        }
        const int run = gliding ? std::min(frames - done, framesToUpdate_) : frames - done;
        for (int i = done; i < done + run; ++i) {
            const float drive = drive_.Advance();
            if (outputDb_.Moving()) {
                outputDb = outputDb_.Advance();
                output = std::exp(outputDb / kDbPerLog);
            }
            float* frame = interleaved + static_cast<long>(i) * channels_;
            for (int c = 0; c < shaped; ++c) {
                const float curved = Saturate(drive * preLowpass_.Process(c, frame[c]));
                frame[c] = postBandpass_.Process(c, curved) * output;
            }
        }
        if (gliding) framesToUpdate_ -= run;
        done += run;
    }
}

}  // namespace platform::sound::fx
