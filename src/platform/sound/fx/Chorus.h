#pragma once

#include <cstdint>

#include "platform/sound/fx/ClassIds.h"
#include "platform/sound/fx/SweptDelayEffect.h"

namespace platform::sound::fx {

// The parameters, their documented defaults and ranges.
struct ChorusParameters {
    float fWetDryMix = 50.0f;  // 0 to 100 % wet
    float fDepth = 10.0f;      // 0 to 100 % of the delay swept
    float fFeedback = 25.0f;   // -99 to 99 %
    float fFrequency = 1.1f;   // 0 to 10 Hz
    int32_t lWaveform = 1;     // 0 triangle, 1 sine
    float fDelay = 16.0f;      // 0 to 20 ms
    int32_t lPhase = 3;        // 0 to 4: -180, -90, 0, 90, 180 degrees between left and right
};

// The standard chorus effect: a short delay swept by a low-frequency wave, with feedback, mixed with the dry
// sound.
class Chorus final : public SweptDelayEffect<ChorusParameters> {
public:
    static constexpr const EffectClassId& kClassId = kChorusClassId;

    Chorus();
    const EffectClassId& ClassId() const noexcept override { return kClassId; }

private:
    bool Limit(ChorusParameters& parameters) const noexcept override;
};

}  // namespace platform::sound::fx
