#pragma once

#include <array>
#include <memory>

#include "dsp/CZelEffectParameters.h"
#include "dsp/CZelFilterBank.h"

namespace dsp {

// What shapes each deck's sound, shared by the deck's equalizer and effects
// windows (which write it) and both output devices (which read it): the
// deck's equalizer filter bank (band layout and gains) and the effect
// parameter table. User-interface thread only.
class DeckShaping {
public:
    // Both equalizers start with 3 bands at unity.
    DeckShaping();
    ~DeckShaping();
    DeckShaping(const DeckShaping&) = delete;
    DeckShaping& operator=(const DeckShaping&) = delete;

    CZelFilterBank& Equalizer(int deck) { return *equalizers_[deck == 1 ? 1 : 0]; }
    const CZelFilterBank& Equalizer(int deck) const { return *equalizers_[deck == 1 ? 1 : 0]; }
    CZelEffectParameters& EffectParameters() { return effectParameters_; }
    const CZelEffectParameters& EffectParameters() const { return effectParameters_; }

private:
    std::array<std::unique_ptr<CZelFilterBank>, kEffectDecks> equalizers_;
    CZelEffectParameters effectParameters_;
};

}  // namespace dsp
