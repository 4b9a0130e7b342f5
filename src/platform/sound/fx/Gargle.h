#pragma once

#include <cstdint>

#include "platform/sound/fx/ClassIds.h"
#include "platform/sound/fx/StandardEffect.h"

namespace platform::sound::fx {

// The parameters, their documented defaults and ranges.
struct GargleParameters {
    uint32_t dwRateHz = 20;    // 1 to 1000 Hz
    uint32_t dwWaveShape = 0;  // 0 triangle, 1 square
};

// The standard gargle effect: amplitude modulation by a low-frequency wave.
class Gargle final : public StandardEffect<GargleParameters> {
public:
    static constexpr const EffectClassId& kClassId = kGargleClassId;

    Gargle();
    const EffectClassId& ClassId() const noexcept override { return kClassId; }
    void Prepare(int sampleRate, int channels) override;
    void Reset() noexcept override;
    void Process(float* interleaved, int frames) noexcept override;

private:
    bool Limit(GargleParameters& parameters) const noexcept override;
};

}  // namespace platform::sound::fx
