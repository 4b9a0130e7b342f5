#pragma once

#include <cstdint>

#include "platform/sound/fx/ClassIds.h"
#include "platform/sound/fx/SweptDelayEffect.h"

namespace platform::sound::fx {

// The parameters, their documented defaults and ranges.
struct FlangerParameters {
    float fWetDryMix = 50.0f;  // 0 to 100 % wet
    float fDepth = 100.0f;     // 0 to 100 %
    float fFeedback = -50.0f;  // -99 to 99 %
    float fFrequency = 0.25f;  // 0 to 10 Hz
    int32_t lWaveform = 1;     // 0 triangle, 1 sine
    float fDelay = 2.0f;       // 0 to 4 ms
    int32_t lPhase = 2;        // 0 to 4: -180, -90, 0, 90, 180 degrees
};

// The standard flanger effect: a very short delay swept by a low-frequency wave, with feedback, mixed with
// the dry sound.
class Flanger final : public SweptDelayEffect<FlangerParameters> {
public:
    static constexpr const EffectClassId& kClassId = kFlangerClassId;

    Flanger();
    const EffectClassId& ClassId() const noexcept override { return kClassId; }

private:
    bool Limit(FlangerParameters& parameters) const noexcept override;
};

}  // namespace platform::sound::fx
