#pragma once

#include <cstdint>

#include "platform/sound/fx/ClassIds.h"
#include "platform/sound/fx/StandardEffect.h"

namespace platform::sound::fx {

// The parameters, their documented defaults and ranges.
struct CompressorParameters {
    float fGain = 0.0f;         // -60 to 60 dB after compression
    float fAttack = 10.0f;      // 0.01 to 500 ms
    float fRelease = 200.0f;    // 50 to 3000 ms
    float fThreshold = -20.0f;  // -60 to 0 dB
    float fRatio = 3.0f;        // 1 to 100
    float fPredelay = 4.0f;     // 0 to 4 ms look-ahead
};

// The standard compressor effect: a feed-forward compressor with look-ahead.
class Compressor final : public StandardEffect<CompressorParameters> {
public:
    static constexpr const EffectClassId& kClassId = kCompressorClassId;

    Compressor();
    const EffectClassId& ClassId() const noexcept override { return kClassId; }
    void Prepare(int sampleRate, int channels) override;
    void Reset() noexcept override;
    void Process(float* interleaved, int frames) noexcept override;

private:
    bool Limit(CompressorParameters& parameters) const noexcept override;
};

}  // namespace platform::sound::fx
