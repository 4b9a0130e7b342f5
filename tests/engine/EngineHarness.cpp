#include "engine/EngineHarness.h"

namespace testing_support {

std::vector<int16_t> EngineHarness::Take(int deck, int maxBlocks, std::vector<std::string>* names) {
    std::vector<int16_t> audio;
    engine::DiscBuffer& ring = engine.Ring(deck);
    for (int n = 0; n < maxBlocks && ring.IsFilled(ring.ReadIndex()); ++n) {
        const int index = ring.ReadIndex();
        const auto& block = ring.Block(index);
        audio.insert(audio.end(), block.samples, block.samples + engine::kBlockSamples);
        if (names) {
            const engine::TrackName name = ring.Name(index);
            names->push_back(name ? *name : std::string());
        }
        ring.MarkFree(index);
        ring.AdvanceReadIndex();
        if (++takenSinceWake[deck] >= engine::kReaderWakeBlocks) {
            events.deck[deck].discReadForward.Set();
            takenSinceWake[deck] = 0;
        }
    }
    return audio;
}

std::vector<int16_t> EngineHarness::TakeAll(int deck, std::vector<std::string>* names) {
    std::vector<int16_t> audio;
    // Every file loaded primes the deck once; blocks are taken only after that.
    if (!WaitUntil([&] { return primedCount[deck] >= decks[deck].loaded; })) return audio;
    WaitUntil([&] {
        // Read the flag before taking, so no block filled just before the end is missed.
        const bool readerEnded = !engine.ReaderRunning(deck);
        auto taken = Take(deck, engine::kDiscBlocks, names);
        audio.insert(audio.end(), taken.begin(), taken.end());
        if (readerEnded && taken.empty()) return true;
        // Wake the reader for what is free; the wait lets its messages through.
        if (taken.empty()) events.deck[deck].discReadForward.Set();
        return false;
    });
    return audio;
}

}  // namespace testing_support
