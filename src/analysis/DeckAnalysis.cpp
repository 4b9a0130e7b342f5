#include "analysis/DeckAnalysis.h"

namespace analysis {

void DeckAnalysis::StoreBlock(int deck, const engine::SampleBlock& block, uint32_t bytePosition) {
    analyzer_.StoreBlock(deck, block.samples, bytePosition);
}

void DeckAnalysis::BlockReached(int deck, int slot) {
    if (deck != 0 && deck != 1) return;
    if (analyzer_.IsOn()) analyzer_.Update(deck, slot);
    meters_[deck].Show(analyzer_.BlockLevel(deck, slot));
}

void DeckAnalysis::LevelMeterOff(int deck) {
    if (deck == 0 || deck == 1) meters_[deck].Clear();
}

}  // namespace analysis
