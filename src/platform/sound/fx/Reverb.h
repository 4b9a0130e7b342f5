#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/sound/fx/ClassIds.h"
#include "platform/sound/fx/Glide.h"
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
// Each channel passes a chain of all-pass diffusers into a feedback network of
// eight delay lines of mutually prime lengths, mixed by a Hadamard matrix. Each
// line loses 60 dB in fReverbTime through its gain, and its one-pole low-pass
// makes the high frequencies decay in fReverbTime * fHighFreqRTRatio (the
// low-pass stops at a lowest cut-off, which the smallest ratios reach). The
// output is the dry sound plus the reverb at fReverbMix.
class Reverb final : public StandardEffect<ReverbParameters> {
public:
    static constexpr const EffectClassId& kClassId = kReverbClassId;
    static constexpr int kLines = 8;
    static constexpr int kDiffusers = 4;

    Reverb();
    const EffectClassId& ClassId() const noexcept override { return kClassId; }
    void Prepare(int sampleRate, int channels) override;
    void Reset() noexcept override;
    void Process(float* interleaved, int frames) noexcept override;

private:
    static constexpr int kMaxBlock = 64;

    // A fixed delay: at `at` is the oldest sample, which the newest replaces.
    struct Line {
        std::vector<float> samples;
        uint32_t at = 0;
    };

    // A Schroeder all-pass over a block no longer than its line, in place.
    static void Diffuse(Line& line, float* block, int count) noexcept;

    bool Limit(ReverbParameters& parameters) const noexcept override;
    void SetTargets(const ReverbParameters& parameters) noexcept;

    int sampleRate_ = 0;
    int channels_ = 0;
    int sides_ = 0;  // channels processed: 1 or 2
    int block_ = 1;  // frames diffused at a time
    std::array<Line, kLines> lines_;
    std::array<std::array<Line, kDiffusers>, 2> diffusers_;  // each channel's all-passes
    using PerLine = std::array<float, kLines>;
    PerLine damped_{};      // each loop low-pass's state
    PerLine gain_{};        // each line's loss per pass (low frequencies)
    PerLine gainTarget_{};  // what it glides to
    PerLine pole_{};        // each loop low-pass's pole
    PerLine poleTarget_{};  // what it glides to
    float glide_ = 1.0f;    // the part of the way to the targets moved each sample
    int glideFrames_ = 0;   // left until the gains and poles are at their targets
    int glideLength_ = 0;
    Glide inGain_;
    Glide reverbGain_;
};

}  // namespace platform::sound::fx
