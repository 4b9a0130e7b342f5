#pragma once

#include <cstdint>

#include "platform/sound/fx/BiquadFilter.h"
#include "platform/sound/fx/ClassIds.h"
#include "platform/sound/fx/LinearRamp.h"
#include "platform/sound/fx/StandardEffect.h"

namespace platform::sound::fx {

// The parameters, their documented defaults and ranges.
struct ParamEqParameters {
    float fCenter = 8000.0f;   // 80 to 16,000 Hz
    float fBandwidth = 12.0f;  // 1 to 36 semitones
    float fGain = 0.0f;        // -15 to 15 dB
};

// The standard parametric equalizer effect: a peaking filter: a bell of gain fGain around fCenter, fBandwidth
// semitones wide. A new setting glides in over about 20 ms (the filter is redesigned every 8 frames on the
// way), so that moving an equalizer slide does not click; at 0 dB the sound passes unchanged.
class ParamEq final : public StandardEffect<ParamEqParameters> {
public:
    static constexpr const EffectClassId& kClassId = kParamEqClassId;

    ParamEq();
    const EffectClassId& ClassId() const noexcept override { return kClassId; }
    void Prepare(int sampleRate, int channels) override;
    void Reset() noexcept override;
    void Process(float* interleaved, int frames) noexcept override;

private:
    bool Limit(ParamEqParameters& parameters) const noexcept override;
    // Sets the ramps' targets: at once, or gliding from where they are.
    void Aim(const ParamEqParameters& parameters, bool glide) noexcept;
    void Design() noexcept;

    int sampleRate_ = 44'100;
    int channels_ = 2;
    BiquadFilter filter_;
    // The centre as log2(Hz), so that it glides evenly across octaves.
    LinearRamp centreOctave_;
    LinearRamp bandwidth_;
    LinearRamp gainDb_;
    int framesToUpdate_ = 0;  // until the filter is redesigned on a glide
    bool started_ = false;    // false until the first Process after Reset
};

}  // namespace platform::sound::fx
