#include "engine/EngineHarness.h"

#include <gtest/gtest.h>

#include <QDir>

#include "support/AudioFixtures.h"

namespace testing_support {

using platform::Message;

std::string TrackFolder::Path(const std::string& name) const {
    return QDir(dir.path()).filePath(QString::fromStdString(name)).toStdString();
}

std::string TrackFolder::Wav(const std::string& name, const std::vector<int16_t>& samples, int channels,
                             int rate) const {
    const std::string path = Path(name);
    EXPECT_TRUE(fixtures::WriteWav(path, samples, channels, rate));
    return path;
}

EngineHarness::EngineHarness() : engine(events, port) {
    for (int d = 0; d < 2; ++d) engine.SetDeckLink(d, &decks[d]);
    engine.SetPlayListLink(&playList);
    port.SetHandler([this](Message m, const platform::Payload& payload) -> intptr_t {
        const int deck = platform::DeckOf(payload);
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
        return 0;
    });
}

std::vector<int16_t> EngineHarness::Take(int deck, int maxBlocks, std::vector<std::string>* names) {
    std::vector<int16_t> audio;
    engine::DiscBuffer& ring = engine.Ring(deck);
    for (int n = 0; n < maxBlocks && ring.IsFilled(ring.ReadIndex()); ++n) {
        const int index = ring.ReadIndex();
        const auto& block = ring.Block(index);
        audio.insert(audio.end(), block.samples, block.samples + engine::kBlockSamples);
        if (names) names->push_back(ring.Name(index) ? *ring.Name(index) : std::string());
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
