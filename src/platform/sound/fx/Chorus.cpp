#include "platform/sound/fx/Chorus.h"

namespace platform::sound::fx {

namespace {

constexpr float kMaxDelayMs = 20.0f;

ModulationSettings SettingsOf(const ChorusParameters& p) {
    return {.mix = p.fWetDryMix * 0.01f,
            .depth = p.fDepth * 0.01f,
            .feedback = p.fFeedback * 0.01f,
            .frequency = p.fFrequency,
            .sine = p.lWaveform == 1,
            .delayMs = p.fDelay,
            .phaseDegrees = static_cast<float>(p.lPhase - 2) * 90.0f};
}

}  // namespace

Chorus::Chorus() = default;

bool Chorus::Limit(ChorusParameters& p) const noexcept {
    bool limited = false;
    limited |= LimitTo(p.fWetDryMix, 0.0f, 100.0f);
    limited |= LimitTo(p.fDepth, 0.0f, 100.0f);
    limited |= LimitTo(p.fFeedback, -99.0f, 99.0f);
    limited |= LimitTo(p.fFrequency, 0.0f, 10.0f);
    limited |= LimitTo(p.lWaveform, 0, 1);
    limited |= LimitTo(p.fDelay, 0.0f, 20.0f);
    limited |= LimitTo(p.lPhase, 0, 4);
    return limited;
}

void Chorus::Prepare(int sampleRate, int channels) {
    delay_.Prepare(sampleRate, channels, kMaxDelayMs);
    delay_.SetTargets(SettingsOf(CurrentParameters()));
    delay_.Reset();
}

void Chorus::Reset() noexcept {
    delay_.Reset();
}

void Chorus::Process(float* interleaved, int frames) noexcept {
    if (const ChorusParameters* p = TakeParameters()) delay_.SetTargets(SettingsOf(*p));
    delay_.Process(interleaved, frames);
}

}  // namespace platform::sound::fx
