#pragma once

#include <cstdint>

#include "platform/sound/fx/ClassIds.h"
#include "platform/sound/fx/StandardEffect.h"

namespace platform::sound::fx {

// The parameters, their documented defaults and ranges.
struct EchoParameters {
    float fWetDryMix = 50.0f;    // 0 to 100 % wet
    float fFeedback = 50.0f;     // 0 to 100 %
    float fLeftDelay = 500.0f;   // 1 to 2000 ms
    float fRightDelay = 500.0f;  // 1 to 2000 ms
    int32_t lPanDelay = 0;       // 0 or 1
};

// The standard echo effect: a stereo feedback delay; pan delay swaps the channels of each repeat.
class Echo final : public StandardEffect<EchoParameters> {
public:
    static constexpr const EffectClassId& kClassId = kEchoClassId;

    Echo();
    const EffectClassId& ClassId() const noexcept override { return kClassId; }
    void Prepare(int sampleRate, int channels) override;
    void Reset() noexcept override;
    void Process(float* interleaved, int frames) noexcept override;

private:
    bool Limit(EchoParameters& parameters) const noexcept override;
};

}  // namespace platform::sound::fx
