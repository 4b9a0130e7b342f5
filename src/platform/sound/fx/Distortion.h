#pragma once

#include <cstdint>

#include "platform/sound/fx/ClassIds.h"
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
};

}  // namespace platform::sound::fx
