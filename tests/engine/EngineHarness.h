#pragma once

#include <gmock/gmock.h>

#include <QTemporaryDir>

#include <deque>
#include <tuple>

#include "engine/DeckLink.h"
#include "engine/SteppedSound.h"
#include "platform/MessagePort.h"
#include "support/AudioFixtures.h"

// What the engine tests share, and with SteppedSound what they include.
namespace testing_support {

// A folder of the tests' own files that lives as long as the object.
struct TrackFolder {
    std::string Path(const std::string& name) const {
        return dir.filePath(QString::fromStdString(name)).toStdString();
    }
    // A 16-bit PCM WAV file of the samples.
    std::string Wav(const std::string& name, const std::vector<int16_t>& samples, int channels = 2,
                    int rate = 44'100) const {
        EXPECT_TRUE(fixtures::WriteWav(Path(name), samples, channels, rate));
        return Path(name);
    }

    QTemporaryDir dir;
};

// Records what the engine and the desk tell a deck window.
struct RecordingDeck final : engine::DeckLink {
    bool IsPlaying() const override { return playing; }
    void Pause() override {}
    void ShowNothingLoaded() override { ++nothingLoaded; }
    void TakeLoadedFile(const std::string& p, const std::string&, double seconds) override {
        path = p;
        lengthSeconds = seconds;
        ++loaded;
    }
    void ResetLeds() override { ++ledResets; }
    void OnEndOfTrack() override { onEndOfTrack(); }
    void OnTrackChanged(const std::string& p, const std::string&, double) override { changedTo.push_back(p); }
    void OnCdTrackChanged(int track, double) override {
        cdTracks.push_back(track);
        onCdTrackChanged();
    }
    void OnLengthKnown(double seconds) override { knownLengths.push_back(seconds); }
    void OnPrimed(uint32_t rate) override { primedRates.push_back(rate); }
    bool IsCueOn() const override { return cueOn; }
    void TogglePlay() override { ++toggles; }
    bool LoadPath(const std::string& p) override { return !loads.emplace_back(p).empty(); }
    void OnTrackChangePending() override { ++trackChangesPending; }
    void ShowQueuedTime(int bytes) override { queuedTimes.push_back(bytes); }

    bool playing = false, cueOn = false;
    int nothingLoaded = 0, loaded = 0, ledResets = 0, toggles = 0, trackChangesPending = 0;
    std::string path;
    double lengthSeconds = 0.0;
    std::vector<double> knownLengths;
    std::vector<uint32_t> primedRates;
    std::vector<std::string> loads, changedTo;
    std::vector<int> queuedTimes;
    std::function<void()> onEndOfTrack = [] {};
    std::vector<int> cdTracks;
    std::function<void()> onCdTrackChanged = [] {};
};

// A play list that hands out queued paths, and records the lengths measured.
struct QueuedPlayList final : engine::PlayListLink {
    std::optional<std::string> NextPathFor(int deck) override {
        if (onAsked) onAsked();
        if (next[deck].empty()) return std::nullopt;
        std::string path = next[deck].front();
        next[deck].pop_front();
        return path;
    }
    void TrackLengthMeasured(const std::string& path, const std::string& title, double seconds) override {
        measured.emplace_back(path, title, seconds);
    }

    std::deque<std::string> next[2];
    std::function<void()> onAsked;  // runs inside the end-of-track handling
    std::vector<std::tuple<std::string, std::string, double>> measured;  // path, title, seconds
};

// The engine with a main window that handles its messages the way the real
// one does for the parts built so far, and records them.
class EngineHarness {
public:
    EngineHarness() : engine(events, port) {
        for (int d = 0; d < 2; ++d) engine.SetDeckLink(d, &decks[d]);
        engine.SetPlayListLink(&playList);
        port.SetHandler([this](platform::Message m, const platform::Payload& payload) -> intptr_t {
            Handle(m, platform::DeckOf(payload));
            return 0;
        });
    }
    virtual ~EngineHarness() { engine.Shutdown(); }
    // Handles a message from the engine, as the main window does.
    virtual void Handle(platform::Message m, int deck) {
        using platform::Message;
        if (m == Message::BlockDecoded) ++blocksDecoded[deck];
        if (m == Message::DeckPrimed) {
            // As the priming handler does: the block writer starts at block 0.
            engine.Ring(deck).SetReadIndex(0);
            takenSinceWake[deck] = 0;
            ++primedCount[deck];
            primedLoad[deck] = decks[deck].loaded;
            blocksDecodedAtPriming[deck] = blocksDecoded[deck];
        }
        if (m == Message::EndOfTrack) {
            ++endOfTrack[deck];
            engine.OnEndOfTrack(deck);
        }
        if (m == Message::TrackLengthMeasured) engine.OnTrackLengthMeasured();
        if (m == Message::LengthMeasured) engine.OnLengthMeasured();
    }

    // Dispatches messages until the condition holds; false only on a hang.
    static bool WaitUntil(const std::function<bool()>& condition,
                          std::chrono::milliseconds giveUp = kGiveUp) {
        return testing_support::WaitUntil(condition, giveUp);
    }

    // Takes up to maxBlocks filled blocks from the ring in order, as the block
    // writer does, waking the reader after every 27 taken.
    std::vector<int16_t> Take(int deck, int maxBlocks) {
        std::vector<int16_t> audio;
        engine::DiscBuffer& ring = engine.Ring(deck);
        for (int n = 0; n < maxBlocks && ring.IsFilled(ring.ReadIndex()); ++n) {
            const int index = ring.ReadIndex();
            audio.insert(audio.end(), ring.Block(index).samples,
                         ring.Block(index).samples + engine::kBlockSamples);
            ring.MarkFree(index);
            ring.AdvanceReadIndex();
            if (++takenSinceWake[deck] % engine::kReaderWakeBlocks == 0)
                events.deck[deck].discReadForward.Set();
        }
        return audio;
    }
    // Waits for the deck to be primed, then takes every block until the reader
    // has ended and the ring is empty (what was taken so far on a hang).
    std::vector<int16_t> TakeAll(int deck) {
        std::vector<int16_t> audio;
        // Blocks are taken once the file loaded last has primed the deck. A file
        // replaced while its reader was still filling the ring may never report
        // its priming, so counting primings against loads would wait forever.
        if (!WaitUntil([&] { return primedLoad[deck] == decks[deck].loaded; })) return audio;
        WaitUntil([&] {
            // Read the flag before taking, so no block filled just before the end is missed.
            const bool readerEnded = !engine.ReaderRunning(deck);
            const auto taken = Take(deck, engine::kDiscBlocks);
            audio.insert(audio.end(), taken.begin(), taken.end());
            // Wake the reader for what is free; the wait lets its messages through.
            if (taken.empty()) events.deck[deck].discReadForward.Set();
            return readerEnded && taken.empty();
        });
        return audio;
    }

    engine::EngineEvents events;
    platform::MessagePort port;
    engine::Engine engine;
    RecordingDeck decks[2];
    QueuedPlayList playList;
    int blocksDecoded[2] = {}, primedCount[2] = {}, endOfTrack[2] = {}, takenSinceWake[2] = {};
    int blocksDecodedAtPriming[2] = {-1, -1};
    int primedLoad[2] = {-1, -1};  // the deck's load count when it was last primed
};

}  // namespace testing_support
