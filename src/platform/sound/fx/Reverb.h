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
    // A fixed delay: the oldest sample is read, then replaced by the newest.
    struct Line {
        std::vector<float> samples;
        uint32_t at = 0;

        float Oldest() const noexcept { return samples[at]; }
        void Push(float value) noexcept {
            samples[at] = value;
            if (++at == samples.size()) at = 0;
        }
    };

    bool Limit(ReverbParameters& parameters) const noexcept override;
    void SetTargets(const ReverbParameters& parameters) noexcept;

    int sampleRate_ = 0;
    int channels_ = 0;
    int sides_ = 0;  // channels processed: 1 or 2
    std::array<Line, kLines> lines_;
    std::array<std::array<Line, kDiffusers>, 2> diffusers_;  // each channel's all-passes
    std::array<float, kLines> damped_{};                     // each loop low-pass's state
    std::array<Glide, kLines> gain_;                         // each line's loss per pass (low frequencies)
    std::array<Glide, kLines> pole_;                         // each loop low-pass's pole
    Glide inGain_;
    Glide reverbGain_;
};

}  // namespace platform::sound::fx
