#pragma once

#include <cstdint>
#include <vector>

#include "platform/sound/fx/ClassIds.h"
#include "platform/sound/fx/LinearRamp.h"
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
// The level it compares with fThreshold (dB re full scale 1.0) is the peak:
// the larger absolute sample of all channels, so that both channels get the
// same gain. Above the threshold the level is reduced to threshold + excess /
// fRatio. The reduction follows a rise at once and falls with fRelease as its
// time constant, and that is smoothed with fAttack as the time constant, so a
// steady tone settles at its peak's reduction. The detector hears the sound
// fPredelay ms before the delayed output does, so the gain is down before an
// onset is heard. fGain is added after compression.
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
    void Apply(const CompressorParameters& parameters, bool glide) noexcept;
    // The current output frame's sample of a channel, `delay` frames back.
    float Delayed(int channel, float delay) const noexcept;

    int sampleRate_ = 44'100;
    int channels_ = 2;

    // Detector and gain computer.
    float threshold_ = 0.0f;  // linear
    float thresholdDb_ = 0.0f;
    float slope_ = 0.0f;  // 1 - 1 / ratio
    float attackCoefficient_ = 0.0f;
    float releaseCoefficient_ = 0.0f;
    float heldReductionDb_ = 0.0f;  // rises at once, falls with the release
    float reductionDb_ = 0.0f;      // the held reduction, smoothed with the attack

    LinearRamp makeUpDb_;
    LinearRamp delayFrames_;  // look-ahead, glided so that a change does not jump

    // Look-ahead delay line, interleaved, a power of two frames long.
    std::vector<float> delay_;
    uint32_t delayMask_ = 0;
    uint32_t writeFrame_ = 0;
    bool started_ = false;
};

}  // namespace platform::sound::fx
