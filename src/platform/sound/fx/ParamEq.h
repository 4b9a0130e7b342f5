#pragma once

#include <cstdint>

#include "platform/sound/fx/ClassIds.h"
#include "platform/sound/fx/StandardEffect.h"

namespace platform::sound::fx {

// The parameters, their documented defaults and ranges.
struct ParamEqParameters {
    float fCenter = 8000.0f;   // 80 to 16,000 Hz
    float fBandwidth = 12.0f;  // 1 to 36 semitones
    float fGain = 0.0f;        // -15 to 15 dB
};

// The standard parametric equalizer effect: a peaking filter: a bell of gain fGain around fCenter, fBandwidth semitones wide.
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
};

}  // namespace platform::sound::fx
