#include "platform/sound/fx/ParamEq.h"

#include <algorithm>
#include <cmath>

namespace platform::sound::fx {

namespace {

constexpr int kUpdateFrames = 8;
constexpr double kGlideSeconds = 0.020;

}  // namespace

ParamEq::ParamEq() = default;

bool ParamEq::Limit(ParamEqParameters& p) const noexcept {
    bool limited = false;
    limited |= LimitTo(p.fCenter, 80.0f, 16000.0f);
    limited |= LimitTo(p.fBandwidth, 1.0f, 36.0f);
    limited |= LimitTo(p.fGain, -15.0f, 15.0f);
    return limited;
}

void ParamEq::Prepare(int sampleRate, int channels) {
    sampleRate_ = std::max(sampleRate, 1);
    channels_ = std::max(channels, 1);
    Aim(CurrentParameters(), false);
}

void ParamEq::Reset() noexcept {
    filter_.Reset();
    Aim(CurrentParameters(), false);
    started_ = false;
}

void ParamEq::Aim(const ParamEqParameters& p, bool glide) noexcept {
    const float octave = std::log2(p.fCenter);
    if (!glide) {
        centreOctave_.Jump(octave);
        bandwidth_.Jump(p.fBandwidth);
        gainDb_.Jump(p.fGain);
        framesToUpdate_ = 0;
        Design();
        return;
    }
    const int steps = static_cast<int>(std::ceil(kGlideSeconds * sampleRate_ / kUpdateFrames));
    centreOctave_.GlideTo(octave, steps);
    bandwidth_.GlideTo(p.fBandwidth, steps);
    gainDb_.GlideTo(p.fGain, steps);
}

void ParamEq::Design() noexcept {
    filter_.SetCoefficients(BiquadFilter::Peaking(sampleRate_, std::exp2(centreOctave_.Current()),
                                                  bandwidth_.Current() / 12.0, gainDb_.Current()));
}

void ParamEq::Process(float* interleaved, int frames) noexcept {
    // Before the first block nothing has been heard, so a setting made since
    // Reset applies at once.
    if (const ParamEqParameters* p = TakeParameters()) Aim(*p, started_);
    started_ = true;
    int done = 0;
    while (done < frames) {
        const bool gliding = centreOctave_.Moving() || bandwidth_.Moving() || gainDb_.Moving();
        if (gliding && framesToUpdate_ == 0) {
            centreOctave_.Advance();
            bandwidth_.Advance();
            gainDb_.Advance();
            Design();
            framesToUpdate_ = kUpdateFrames;
        }
        const int run = gliding ? std::min(frames - done, framesToUpdate_) : frames - done;
        filter_.Process(interleaved + static_cast<long>(done) * channels_, run, channels_);
        if (gliding) framesToUpdate_ -= run;
        done += run;
    }
}

}  // namespace platform::sound::fx
