#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace platform::sound {

// The class identifier an effect is installed and found by (a GUID).
struct EffectClassId {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};
    bool operator==(const EffectClassId&) const = default;
};

// One effect on a buffer's sound. Configured off the audio thread; Process runs
// on the audio thread and must not block, allocate or log. Parameters that the
// user changes while the buffer plays are the effect's own business (atomics).
class SoundEffect {
public:
    virtual ~SoundEffect() = default;
    // The class it was made as; a test effect may keep the default (none).
    virtual const EffectClassId& ClassId() const noexcept {
        static constexpr EffectClassId kNone{};
        return kNone;
    }
    // Off the audio thread, before the effect is handed to it: sizes its
    // state (delay lines) for the rate. Called again when the stream's rate changes.
    virtual void Prepare(int sampleRate, int channels) = 0;
    // Off the audio thread: silence in every delay line and filter.
    virtual void Reset() noexcept = 0;
    // In place, interleaved floats.
    virtual void Process(float* interleaved, int frames) noexcept = 0;
};

using EffectChain = std::vector<std::unique_ptr<SoundEffect>>;

// The effect as its own class, if it is one: for its parameters.
template <typename Effect>
Effect* EffectCast(SoundEffect* effect) noexcept {
    return effect && effect->ClassId() == Effect::kClassId ? static_cast<Effect*>(effect) : nullptr;
}

}  // namespace platform::sound
