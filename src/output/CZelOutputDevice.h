#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include <QString>
#include <vector>

#include "output/BlockFormat.h"
#include "platform/sound/AudioBackend.h"
#include "platform/sound/SoundTypes.h"

namespace dsp {
class DeckShaping;
}
namespace platform {
class Event;
}
namespace platform::sound {
class DirectSound;
class SoundBuffer;
class SoundSystem;
}  // namespace platform::sound

namespace output {

using platform::sound::HResult;

// Linear gain to buffer volume in hundredths of a decibel: 1.0 is 0, at most
// 0.0001 is silence (-10,000), and in between gains map linearly onto
// -56.00 dB to 0 dB.
long GainToVolume(double gain);

// The wait between two steps of a fade: at least 0.1 ms while the window's
// messages are dispatched. Tests pass their own to step the sound in time.
using FadeStepWait = std::function<void()>;
void DefaultFadeStepWait();

// A buffer as a fade holds it: the wait between steps dispatches messages, and
// a device change or the end of the program may release the buffer meanwhile.
// The fade then carries on with the buffers that are left.
using BufferRef = std::weak_ptr<platform::sound::SoundBuffer>;

// Fades a buffer in from silence to its volume, starting it looping, or out to
// silence and stops it: 500 steps on an exponential curve, the buffer's volume
// restored afterwards. A playing buffer is not restarted, a stopped one not faded.
// These two are for a buffer the caller keeps alive throughout.
void SoftStart(platform::sound::SoundBuffer& buffer, const FadeStepWait& wait = DefaultFadeStepWait);
void SoftStop(platform::sound::SoundBuffer& buffer, const FadeStepWait& wait = DefaultFadeStepWait);
// The same for several buffers at once, step by step together, so that the
// two outputs of a deck start and stop in step.
void SoftStartAll(const std::vector<BufferRef>& buffers, const FadeStepWait& wait = DefaultFadeStepWait);
void SoftStopAll(const std::vector<BufferRef>& buffers, const FadeStepWait& wait = DefaultFadeStepWait);
// The volume a fade sets at step i (0 to 499) for a buffer whose own volume is `volume`.
long FadeInVolume(long volume, int step);
long FadeOutVolume(long volume, int step);

// The device of one output: a device object on a whole device or on one
// speaker pair of a split device, and each deck's forward and backward buffers
// on it with their write cursors. User-interface thread only.
class DeckEffectChain;

class CZelOutputDevice {
public:
    // `shaping` (the decks' equalizers and effect parameters) may be null: the
    // decks then carry no equalizer and no effect parameters.
    explicit CZelOutputDevice(platform::sound::SoundSystem& system,
                              const dsp::DeckShaping* shaping = nullptr);
    ~CZelOutputDevice();

    // Makes the device object and sets its mixing format: two channels for a
    // whole output, four for a half of a split device (two where the device
    // refuses four). Returns the failing step's error; the object then has no
    // device and no buffers can be made on it.
    HResult Create(const std::optional<platform::sound::DeviceId>& id, bool split, bool rear);
    bool HasDirectSound() const { return directSound_ != nullptr; }
    platform::sound::DirectSound* DirectSoundObject() const { return directSound_.get(); }
    bool IsSplit() const { return split_; }
    bool IsRear() const { return rear_; }
    // The device stopped playing: its output should be left idle.
    bool Failed() const;

    // A deck's forward and backward buffers, 120 blocks each, at the deck's
    // sample rate, filled with silence, cursors at 0. With events, the buffers
    // signal them at the last byte of every block.
    HResult CreateDeckBuffers(int deck, uint32_t sampleRate, platform::Event* forwardNotify,
                              platform::Event* backwardNotify);
    void ReleaseDeckBuffers(int deck);
    platform::sound::SoundBuffer* ForwardBuffer(int deck) const { return decks_[deck].forward.get(); }
    platform::sound::SoundBuffer* BackwardBuffer(int deck) const { return decks_[deck].backward.get(); }
    // The same, for holders that may outlive them (a fade).
    BufferRef ForwardBufferRef(int deck) const { return decks_[deck].forward; }
    BufferRef BackwardBufferRef(int deck) const { return decks_[deck].backward; }
    uint32_t DeckSampleRate(int deck) const { return decks_[deck].sampleRate; }

    // Block writes: forwards at the forward cursor, which then advances one
    // block; backwards (the block given already reversed) at the backward
    // cursor, which then moves back one block.
    HResult WriteForward(int deck, BlockBytes block);
    HResult WriteBackward(int deck, BlockBytes reversed);
    uint32_t ForwardWriteCursor(int deck) const { return decks_[deck].forwardCursor; }
    uint32_t BackwardWriteCursor(int deck) const { return decks_[deck].backwardCursor; }

    // The deck's volume from a linear gain; CO_E_NOTINITIALIZED without buffers.
    HResult SetDeckGain(int deck, double gain);
    // The deck's tempo: the playback frequency of its forward buffer. The
    // backward buffer keeps the source's own rate. Remembered for the deck.
    HResult SetFrequency(int deck, uint32_t hz);
    uint32_t Frequency(int deck) const { return decks_[deck].frequency; }

    // Each deck's equalizer and effect, carried by the effect chain of both its
    // buffers. Without buffers the choice is kept for the next ones and the
    // result is CO_E_NOTINITIALIZED; a split device refuses them with
    // E_UNEXPECTED. Changing the chain of a playing deck fades it out and in.
    HResult EqualizerOn(int deck, const FadeStepWait& wait = DefaultFadeStepWait);
    HResult EqualizerOff(int deck, const FadeStepWait& wait = DefaultFadeStepWait);
    // The band's gain as the deck's equalizer has it now; E_UNEXPECTED for a
    // band it does not have, CO_E_NOTINITIALIZED while the equalizer is off.
    HResult SetEqualizerBandGain(int deck, int band);
    HResult SetEffect(int deck, const QString& name, const FadeStepWait& wait = DefaultFadeStepWait);
    // One of the effect's two parameters (0 or 1) from the deck's slide values.
    HResult SetEffectParameter(int deck, int index);
    bool IsEqualizerOn(int deck) const;
    QString EffectName(int deck) const;

private:
    struct Deck {
        std::shared_ptr<platform::sound::SoundBuffer> forward;
        std::shared_ptr<platform::sound::SoundBuffer> backward;
        uint32_t sampleRate = 0;
        uint32_t frequency = 44'100;
        uint32_t forwardCursor = 0;
        uint32_t backwardCursor = 0;
    };

    platform::sound::SoundSystem& system_;
    std::unique_ptr<platform::sound::DirectSound> directSound_;
    bool split_ = false;
    bool rear_ = false;
    std::array<Deck, kDeckCount> decks_;
    std::array<std::unique_ptr<DeckEffectChain>, kDeckCount> chains_;
};

}  // namespace output
