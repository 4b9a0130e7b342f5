#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/sound/BufferVoice.h"
#include "platform/sound/SoundEffect.h"
#include "platform/sound/SoundTypes.h"

namespace platform::sound {

class MixStream;

// A secondary buffer: a fixed ring of 16-bit PCM in its own format that the
// mixer plays, looping or once, at its own frequency, volume and pan, with
// position notifications and an effect chain.
// User-interface thread only; the mixer reads its voice on the audio thread.
class SoundBuffer {
public:
    SoundBuffer(std::shared_ptr<MixStream> stream, const BufferDescription& description, int outputChannel);
    ~SoundBuffer();
    SoundBuffer(const SoundBuffer&) = delete;
    SoundBuffer& operator=(const SoundBuffer&) = delete;

    const WaveFormat& Format() const { return format_; }
    uint32_t Flags() const { return flags_; }
    uint32_t Size() const { return voice_->bytes; }
    int OutputChannel() const { return voice_->outputChannel; }

    HResult Play(bool looping);
    HResult Stop();
    bool IsPlaying() const;

    // The byte the mixer plays next, and the first byte that is safe to write.
    HResult GetCurrentPosition(uint32_t* play, uint32_t* write) const;
    HResult SetCurrentPosition(uint32_t bytes);

    HResult SetVolume(long volume);  // hundredths of a decibel, -10,000 to 0
    HResult GetVolume(long* volume) const;
    HResult SetPan(long pan);  // -10,000 (left only) to 10,000 (right only)
    HResult GetPan(long* pan) const;
    HResult SetFrequency(uint32_t hz);  // 0 = the format's own rate
    HResult GetFrequency(uint32_t* hz) const;

    // Copies bytes into the ring at offset, wrapping at its end.
    HResult Write(uint32_t offset, const void* data, uint32_t bytes);
    // Direct access to up to two regions (the second after a wrap), then Unlock.
    HResult Lock(uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes, void** second,
                 uint32_t* secondBytes);
    HResult Unlock(void* first, uint32_t firstBytes, void* second, uint32_t secondBytes);

    // Only while stopped; needs the position-notify capability.
    HResult SetNotificationPositions(std::span<const PositionNotify> positions);

    // Installs the effects in order (an empty chain removes them). Refused
    // while the buffer plays, as the effect of a playing buffer cannot change.
    HResult SetFX(EffectChain effects);
    // The effect at an index of the chain, for its parameters.
    HResult GetObjectInPath(size_t index, SoundEffect** effect) const;
    // The index-th effect of that class in the chain (0 for the first).
    HResult GetObjectInPath(const EffectClassId& classId, size_t index, SoundEffect** effect) const;

private:
    std::shared_ptr<MixStream> stream_;
    WaveFormat format_;
    uint32_t flags_;
    std::unique_ptr<BufferVoice> voice_;
    std::unique_ptr<std::vector<PositionNotify>> notifications_;
    std::unique_ptr<EffectChain> effects_;
    bool registered_ = false;
};

}  // namespace platform::sound
