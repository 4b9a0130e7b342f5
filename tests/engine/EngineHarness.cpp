#include "engine/EngineHarness.h"

namespace testing_support {

using platform::Message;

EngineHarness::EngineHarness() : engine(events, port) {
    for (int d = 0; d < 2; ++d) engine.SetDeckLink(d, &decks[d]);
    engine.SetPlayListLink(&playList);
    port.SetHandler([this](Message m, const platform::Payload& payload) -> intptr_t {
        Handle(m, platform::DeckOf(payload));
        return 0;
    });
}

void EngineHarness::Handle(Message m, int deck) {
    if (m == Message::BlockDecoded) ++blocksDecoded[deck];
    if (m == Message::DeckPrimed) {
        // As the priming handler does: the block writer starts at block 0.
        engine.Ring(deck).SetReadIndex(0);
        takenSinceWake[deck] = 0;
        ++primedCount[deck];
        blocksDecodedAtPriming[deck] = blocksDecoded[deck];
    }
    if (m == Message::EndOfTrack) {
        ++endOfTrack[deck];
        engine.OnEndOfTrack(deck);
    }
    if (m == Message::TrackLengthMeasured) engine.OnTrackLengthMeasured();
    if (m == Message::LengthMeasured) engine.OnLengthMeasured();
}

std::vector<int16_t> EngineHarness::Take(int deck, int maxBlocks) {
    std::vector<int16_t> audio;
    engine::DiscBuffer& ring = engine.Ring(deck);
    for (int n = 0; n < maxBlocks && ring.IsFilled(ring.ReadIndex()); ++n) {
        const int index = ring.ReadIndex();
        audio.insert(audio.end(), ring.Block(index).samples,
                     ring.Block(index).samples + engine::kBlockSamples);
        ring.MarkFree(index);
        ring.AdvanceReadIndex();
        if (++takenSinceWake[deck] >= engine::kReaderWakeBlocks) {
            events.deck[deck].discReadForward.Set();
            takenSinceWake[deck] = 0;
        }
    }
    return audio;
}

std::vector<int16_t> EngineHarness::TakeAll(int deck) {
    std::vector<int16_t> audio;
    // Every file loaded primes the deck once; blocks are taken only after that.
    if (!WaitUntil([&] { return primedCount[deck] >= decks[deck].loaded; })) return audio;
    WaitUntil([&] {
        // Read the flag before taking, so no block filled just before the end is missed.
        const bool readerEnded = !engine.ReaderRunning(deck);
        auto taken = Take(deck, engine::kDiscBlocks);
        audio.insert(audio.end(), taken.begin(), taken.end());
        if (readerEnded && taken.empty()) return true;
        // Wake the reader for what is free; the wait lets its messages through.
        if (taken.empty()) events.deck[deck].discReadForward.Set();
        return false;
    });
    return audio;
}

}  // namespace testing_support
