#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/sound/fx/ClassIds.h"
#include "platform/sound/fx/Glide.h"
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
// A new delay time is reached by a short crossfade from the old read position
// to the new one, so that moving the delay slide does not click; mix,
// feedback and the pan routing glide.
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
    void SetTargets(const EchoParameters& parameters) noexcept;
    int ToSamples(float milliseconds) const noexcept;

    int sampleRate_ = 0;
    int channels_ = 0;
    int sides_ = 0;       // channels with a delay line: 1 or 2
    uint32_t mask_ = 0;   // the lines' length (a power of two) less one
    uint32_t write_ = 0;  // where the next sample goes
    int maxDelay_ = 1;    // samples
    int fadeFrames_ = 1;  // length of the crossfade to a new delay
    int fade_ = 0;        // frames into the crossfade; 0 when none runs
    std::array<std::vector<float>, 2> lines_;
    std::array<int, 2> delay_{1, 1};   // samples, heard now
    std::array<int, 2> next_{1, 1};    // samples, faded to
    std::array<int, 2> target_{1, 1};  // samples, asked for
    Glide mix_;
    Glide feedback_;
    Glide pan_;
};

}  // namespace platform::sound::fx
