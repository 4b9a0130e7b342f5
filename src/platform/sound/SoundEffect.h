#pragma once

#include <memory>
#include <vector>

namespace platform::sound {

// One effect on a buffer's sound. Configured off the audio thread; Process runs
// on the audio thread and must not block, allocate or log. Parameters that the
// user changes while the buffer plays are the effect's own business (atomics).
class SoundEffect {
public:
    virtual ~SoundEffect() = default;
    // Off the audio thread, before the effect is handed to it.
    virtual void Prepare(int sampleRate, int channels) = 0;
    virtual void Reset() noexcept = 0;
    // In place, interleaved floats.
    virtual void Process(float* interleaved, int frames) noexcept = 0;
};

using EffectChain = std::vector<std::unique_ptr<SoundEffect>>;

}  // namespace platform::sound
