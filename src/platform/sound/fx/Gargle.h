#pragma once

#include <cstdint>

#include "platform/sound/fx/ClassIds.h"
#include "platform/sound/fx/LinearRamp.h"
#include "platform/sound/fx/StandardEffect.h"

namespace platform::sound::fx {

// The parameters, their documented defaults and ranges.
struct GargleParameters {
    uint32_t dwRateHz = 20;    // 1 to 1000 Hz
    uint32_t dwWaveShape = 0;  // 0 triangle, 1 square
};

// The standard gargle effect: amplitude modulation by a low-frequency wave.
// The gain runs from 0 to 1 and back dwRateHz times a second, as a triangle
// or as a square (1 for the first half of each period, 0 for the second). A
// new rate keeps the wave's phase, so it bends without a jump, and a new shape
// is cross-faded in over about 20 ms.
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
    void Apply(const GargleParameters& parameters, bool glide) noexcept;

    int sampleRate_ = 44'100;
    int channels_ = 2;
    double phase_ = 0.0;      // 0 to 1 through a period
    double step_ = 0.0;       // phase per frame
    LinearRamp squareShare_;  // 0 triangle, 1 square, in between while fading
    bool started_ = false;
};

}  // namespace platform::sound::fx
