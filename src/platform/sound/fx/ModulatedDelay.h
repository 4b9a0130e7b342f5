#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/sound/fx/Glide.h"

namespace platform::sound::fx {

// What the chorus and the flanger share: their settings in plain units.
struct ModulationSettings {
    float mix = 0.5f;        // 0 dry to 1 wet
    float depth = 0.1f;      // 0 to 1: the delay swings by this part of itself either way
    float feedback = 0.0f;   // -0.99 to 0.99
    float frequency = 1.0f;  // of the low-frequency wave, Hz
    bool sine = true;        // else triangle
    float delayMs = 10.0f;   // the delay at the middle of the swing
    float phaseDegrees = 0;  // how far the right channel's wave runs ahead of the left's
};

// A delay swept by a low-frequency wave, with feedback, mixed with the dry
// sound: the delay is delayMs * (1 + depth * wave), read between samples by
// cubic interpolation. Every setting glides (the wave's shape and phase too)
// and a new frequency carries on from the wave's phase, so a slide that moves
// while the sound plays does not click.
class ModulatedDelay {
public:
    // Off the audio thread: sizes the lines for the longest delay.
    void Prepare(int sampleRate, int channels, float maxDelayMs);
    // Off the audio thread: silence in the lines, the wave at its start and
    // every setting at its target.
    void Reset() noexcept;
    // Audio thread (or before Reset).
    void SetTargets(const ModulationSettings& settings) noexcept;
    // Audio thread: in place, interleaved.
    void Process(float* interleaved, int frames) noexcept;

private:
    int sampleRate_ = 0;
    int channels_ = 0;
    int sides_ = 0;       // channels processed: 1 or 2
    uint32_t mask_ = 0;   // the lines' length (a power of two) less one
    uint32_t write_ = 0;  // where the next sample goes
    float maxDelay_ = 0;  // samples
    double phase_ = 0;    // of the left channel's wave, in cycles
    double step_ = 0;     // cycles per sample
    std::array<std::vector<float>, 2> lines_;
    Glide mix_;
    Glide feedback_;
    Glide centre_;  // samples
    Glide swing_;   // samples either way of the centre
    Glide shape_;   // 0 triangle to 1 sine
    Glide offset_;  // the right channel's phase lead, in cycles
};

}  // namespace platform::sound::fx
