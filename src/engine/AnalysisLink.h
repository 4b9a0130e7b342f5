#pragma once

#include <cstdint>

#include "engine/SampleBlock.h"

namespace engine {

// What the block feeder and the play notifications tell the analyzer and the
// decks' level meters. Everything is called on the user-interface thread.
class AnalysisLink {
public:
    virtual ~AnalysisLink() = default;
    // A decoded block was written to the deck's buffers at `bytePosition` of
    // its forward buffer (silence written for want of a block is not passed).
    virtual void StoreBlock(int deck, const SampleBlock& block, uint32_t bytePosition) = 0;
    // Play, forwards or backwards, reached the forward buffer's block `slot`.
    virtual void BlockReached(int deck, int slot) = 0;
    // The deck stopped playing, or its track ended: its meter goes dark.
    virtual void LevelMeterOff(int deck) = 0;
};

}  // namespace engine
