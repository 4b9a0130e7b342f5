#pragma once

#include <QString>

#include <array>
#include <optional>
#include <vector>

#include "output/CZelOutputDevice.h"
#include "platform/sound/SoundEffect.h"

namespace dsp {
class DeckShaping;
}

namespace output {

// One deck's effect chain on one output: its equalizer bands (one peaking
// filter per band of the deck's equalizer) followed by its effect, installed
// on both of the deck's buffers, forward and backward, so that the deck
// sounds the same either way. A buffer refuses a new chain while it plays: it
// is faded out, given the chain and faded in again. The deck's wishes (on,
// the effect's name) are kept even while it has no buffers, and the next
// buffers it gets carry them. User-interface thread only.
class DeckEffectChain {
public:
    using Buffers = std::array<BufferRef, 2>;  // forward, backward; either may be empty

    DeckEffectChain(int deck, const dsp::DeckShaping* shaping) : deck_(deck), shaping_(shaping) {}

    bool IsEqualizerOn() const { return equalizerOn_; }
    const QString& EffectName() const { return effectName_; }

    // The results are those of the device's operations of the same names;
    // `split` refuses what a split device cannot carry.
    HResult EqualizerOn(const Buffers& buffers, bool split, const FadeStepWait& wait);
    HResult EqualizerOff(const Buffers& buffers, const FadeStepWait& wait);
    HResult SetEqualizerBandGain(const Buffers& buffers, int band);
    HResult SetEffect(const Buffers& buffers, bool split, const QString& name, const FadeStepWait& wait);
    HResult SetEffectParameter(const Buffers& buffers, bool split, int index);
    // Fresh, stopped buffers take the chain the deck has now.
    void Reinstall(const Buffers& buffers);

private:
    // Installs the deck's chain (bands if on, then the effect) on every buffer
    // and sets its parameters; a playing buffer is faded out first and in after.
    HResult Install(const Buffers& buffers, const FadeStepWait* wait);
    std::vector<platform::sound::EffectClassId> ChainClasses() const;
    void SetBandParameters(const Buffers& buffers, int band) const;
    void ApplyEffectParameter(const Buffers& buffers, int index) const;
    int Bands() const;

    int deck_;
    const dsp::DeckShaping* shaping_;
    bool equalizerOn_ = false;
    QString effectName_ = QStringLiteral("No Effect");
};

}  // namespace output
