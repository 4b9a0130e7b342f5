#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/DeckLink.h"
#include "engine/Engine.h"
#include "engine/EngineEvents.h"
#include "platform/MessagePort.h"
#include "support/Waits.h"

namespace testing_support {

// Records what the engine tells a deck window.
struct RecordingDeck final : engine::DeckLink {
    bool IsPlaying() const override { return false; }
    void Pause() override {}
    void ShowNothingLoaded() override { ++nothingLoaded; }
    void TakeLoadedFile(const std::string& p, const std::string& t, double seconds) override {
        path = p;
        title = t;
        lengthSeconds = seconds;
        ++loaded;
    }
    void ResetLeds() override { ++ledResets; }
    void OnLengthKnown(double seconds) override { knownLengths.push_back(seconds); }

    int nothingLoaded = 0;
    int loaded = 0;
    int ledResets = 0;
    std::string path;
    std::string title;
    double lengthSeconds = 0.0;
    std::vector<double> knownLengths;
};

// A play list that hands out queued paths.
struct QueuedPlayList final : engine::PlayListLink {
    std::optional<std::string> NextPathFor(int deck) override {
        if (onAsked) onAsked();
        if (next[deck].empty()) return std::nullopt;
        std::string path = next[deck].front();
        next[deck].pop_front();
        return path;
    }
    void TrackLengthMeasured(const std::string& path, const std::string& title, double seconds) override {
        measured.push_back({path, title, seconds});
    }

    struct Measurement {
        std::string path;
        std::string title;
        double seconds;
    };
    std::deque<std::string> next[2];
    std::function<void()> onAsked;  // runs inside the end-of-track handling
    std::vector<Measurement> measured;
};

// The engine with a main window that handles its messages the way the real
// one does for the parts built so far, and records them.
class EngineHarness {
public:
    EngineHarness() : engine(events, port) {
        for (int d = 0; d < 2; ++d) engine.SetDeckLink(d, &decks[d]);
        engine.SetPlayListLink(&playList);
        port.SetHandler([this](platform::Message m, const platform::Payload& payload) -> intptr_t {
            const int deck = platform::DeckOf(payload);
            switch (m) {
                case platform::Message::BlockDecoded:
                    ++blocksDecoded[deck];
                    break;
                case platform::Message::DeckPrimed:
                    // As the priming handler does: the block writer starts at block 0.
                    engine.Ring(deck).SetReadIndex(0);
                    takenSinceWake[deck] = 0;
                    ++primedCount[deck];
                    blocksDecodedAtPriming[deck] = blocksDecoded[deck];
                    break;
                case platform::Message::EndOfTrack:
                    ++endOfTrack[deck];
                    engine.OnEndOfTrack(deck);
                    break;
                case platform::Message::TrackLengthMeasured:
                    engine.OnTrackLengthMeasured();
                    break;
                case platform::Message::LengthMeasured:
                    engine.OnLengthMeasured();
                    break;
                default:
                    break;
            }
            return 0;
        });
    }
    ~EngineHarness() { engine.Shutdown(); }

    // Dispatches messages until the condition holds; false only on a hang.
    static bool WaitUntil(const std::function<bool()>& condition,
                          std::chrono::milliseconds giveUp = kGiveUp) {
        return testing_support::WaitUntil(condition, giveUp);
    }

    // Takes up to maxBlocks filled blocks from the ring in order, as the block
    // writer does, waking the reader after every 27 taken.
    std::vector<int16_t> Take(int deck, int maxBlocks, std::vector<std::string>* names = nullptr);
    // Waits for the deck to be primed, then takes every block until the reader
    // has ended and the ring is empty (what was taken so far on a hang).
    std::vector<int16_t> TakeAll(int deck, std::vector<std::string>* names = nullptr);

    engine::EngineEvents events;
    platform::MessagePort port;
    engine::Engine engine;
    RecordingDeck decks[2];
    QueuedPlayList playList;
    int blocksDecoded[2] = {0, 0};
    int primedCount[2] = {0, 0};
    int blocksDecodedAtPriming[2] = {-1, -1};
    int endOfTrack[2] = {0, 0};
    int takenSinceWake[2] = {0, 0};
};

}  // namespace testing_support
