#pragma once

#include <cstdint>

#include "platform/sound/fx/BiquadFilter.h"
#include "platform/sound/fx/ClassIds.h"
#include "platform/sound/fx/LinearRamp.h"
#include "platform/sound/fx/StandardEffect.h"

namespace platform::sound::fx {

// The parameters, their documented defaults and ranges.
struct DistortionParameters {
    float fGain = -18.0f;                    // -60 to 0 dB
    float fEdge = 15.0f;                     // 0 to 100 %
    float fPostEQCenterFrequency = 2400.0f;  // 100 to 8000 Hz
    float fPostEQBandwidth = 2400.0f;        // 100 to 8000 Hz
    float fPreLowpassCutoff = 8000.0f;       // 100 to 8000 Hz
};

// The standard distortion effect: waveshaping after a low-pass, followed by a band-pass.
// The sound is low-passed at fPreLowpassCutoff, driven into a smooth
// saturating curve by fEdge (0 % = unity drive to 100 % = +40 dB), band-passed
// around fPostEQCenterFrequency, fPostEQBandwidth Hz wide, and scaled by fGain.
// New settings glide in over about 20 ms.
class Distortion final : public StandardEffect<DistortionParameters> {
public:
    static constexpr const EffectClassId& kClassId = kDistortionClassId;

    Distortion();
    const EffectClassId& ClassId() const noexcept override { return kClassId; }
    void Prepare(int sampleRate, int channels) override;
    void Reset() noexcept override;
    void Process(float* interleaved, int frames) noexcept override;

private:
    bool Limit(DistortionParameters& parameters) const noexcept override;
    void Aim(const DistortionParameters& parameters, bool glide) noexcept;
    void Design() noexcept;
    bool FiltersGliding() const noexcept {
        return preCutoffOctave_.Moving() || postCentreOctave_.Moving() || postBandwidth_.Moving();
    }

    int sampleRate_ = 44'100;
    int channels_ = 2;
    BiquadFilter preLowpass_;
    BiquadFilter postBandpass_;
    // Frequencies as log2(Hz), so that they glide evenly across octaves.
    LinearRamp preCutoffOctave_;
    LinearRamp postCentreOctave_;
    LinearRamp postBandwidth_;
    LinearRamp drive_;     // linear, per sample
    LinearRamp outputDb_;  // per sample
    int framesToUpdate_ = 0;
    bool started_ = false;
};

}  // namespace platform::sound::fx
