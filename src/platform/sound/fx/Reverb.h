#pragma once

#include <cstdint>

#include "platform/sound/fx/ClassIds.h"
#include "platform/sound/fx/StandardEffect.h"

namespace platform::sound::fx {

// The parameters, their documented defaults and ranges.
struct ReverbParameters {
    float fInGain = 0.0f;             // -96 to 0 dB
    float fReverbMix = 0.0f;          // -96 to 0 dB
    float fReverbTime = 1000.0f;      // 0.001 to 3000 ms
    float fHighFreqRTRatio = 0.001f;  // 0.001 to 0.999: the high frequencies' decay time to the whole
};

// The standard reverb effect: a smooth, dense stereo reverb.
class Reverb final : public StandardEffect<ReverbParameters> {
public:
    static constexpr const EffectClassId& kClassId = kReverbClassId;

    Reverb();
    const EffectClassId& ClassId() const noexcept override { return kClassId; }
    void Prepare(int sampleRate, int channels) override;
    void Reset() noexcept override;
    void Process(float* interleaved, int frames) noexcept override;

private:
    bool Limit(ReverbParameters& parameters) const noexcept override;
};

}  // namespace platform::sound::fx
