#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/sound/SoundEffect.h"

namespace platform {
class Event;
}

namespace platform::sound {

struct PositionNotify {
    uint32_t offset = 0;  // byte offset in the buffer
    Event* event = nullptr;
};

// A buffer's state as the mixer sees it. The user-interface thread writes the
// atomics; the audio thread reads them and alone owns the fields at the end.
struct BufferVoice {
    BufferVoice(uint32_t bytes, int channels, uint32_t rate, int outputChannel);

    // Fixed for the buffer's life.
    std::unique_ptr<int16_t[]> data;
    const uint32_t bytes;
    const int channels;  // 1 or 2
    const uint32_t frames;
    const uint32_t nominalRate;  // the format's rate: frequency "original"
    const int outputChannel;     // first channel of the pair it plays on

    // UI thread -> audio thread.
    std::atomic<bool> playing{false};
    std::atomic<bool> looping{false};
    std::atomic<uint32_t> playCount{0};        // each Play counts: a new start, not a continuation
    std::atomic<int64_t> pendingPosition{-1};  // frames; -1 = none
    std::atomic<long> volume{0};
    std::atomic<long> pan{0};
    std::atomic<uint32_t> frequency{0};
    std::atomic<const std::vector<PositionNotify>*> notifications{nullptr};
    std::atomic<EffectChain*> effects{nullptr};

    // Audio thread -> UI thread: the play cursor in frames (low half) under
    // the number of Stop calls so far (high half). Stop adds one to the high
    // half, so a render call that began before a Stop fails to publish its
    // cursor afterwards: the cursor of a stopped buffer stays put.
    std::atomic<uint64_t> cursor{0};
    static constexpr uint64_t kStopUnit = uint64_t{1} << 32;
    static uint32_t CursorFrames(uint64_t packed) noexcept { return static_cast<uint32_t>(packed); }
    static uint64_t WithFrames(uint64_t packed, uint32_t frames) noexcept {
        return (packed & ~uint64_t{0xFFFF'FFFF}) | frames;
    }

    // Audio thread only.
    uint64_t position = 0;  // frames, 32.32 fixed point
    float gainLeft = 0.0f;
    float gainRight = 0.0f;
    long cachedVolume = 1;  // forces the first computation
    long cachedPan = 0;
    float targetLeft = 1.0f;
    float targetRight = 1.0f;
    bool wasPlaying = false;
    uint32_t seenPlayCount = 0;
};

}  // namespace platform::sound
