#pragma once

#include "platform/sound/fx/ModulatedDelay.h"
#include "platform/sound/fx/StandardEffect.h"

namespace platform::sound::fx {

// What the chorus and the flanger share: a delay swept by a slow wave, set
// from parameter structures with the same fields. They differ in their
// ranges and defaults, and in the longest delay they need.
template <typename Parameters>
class SweptDelayEffect : public StandardEffect<Parameters> {
public:
    void Prepare(int sampleRate, int channels) override {
        delay_.Prepare(sampleRate, channels, maxDelayMs_);
        delay_.SetTargets(SettingsOf(this->CurrentParameters()));
        delay_.Reset();
    }
    void Reset() noexcept override { delay_.Reset(); }
    void Process(float* interleaved, int frames) noexcept override {
        if (const Parameters* p = this->TakeParameters()) delay_.SetTargets(SettingsOf(*p));
        delay_.Process(interleaved, frames);
    }

protected:
    explicit SweptDelayEffect(float maxDelayMs) : maxDelayMs_(maxDelayMs) {}

private:
    static ModulationSettings SettingsOf(const Parameters& p) {
        return {.mix = p.fWetDryMix * 0.01f,
                .depth = p.fDepth * 0.01f,
                .feedback = p.fFeedback * 0.01f,
                .frequency = p.fFrequency,
                .sine = p.lWaveform == 1,
                .delayMs = p.fDelay,
                .phaseDegrees = static_cast<float>(p.lPhase - 2) * 90.0f};
    }

    float maxDelayMs_;
    ModulatedDelay delay_;
};

}  // namespace platform::sound::fx
