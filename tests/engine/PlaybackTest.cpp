// Two decks really playing: the engine loop fed by the main output's
// notifications, heard through Offline outputs the test renders period by period.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>

#include "engine/DeckLink.h"
#include "engine/Engine.h"
#include "engine/EngineEvents.h"
#include "engine/EngineHarness.h"
#include "engine/Playback.h"
#include "engine/SteppedSound.h"
#include "output/CZelOutput.h"
#include "platform/MessagePort.h"
#include "platform/sound/SoundBuffer.h"
#include "support/AudioFixtures.h"

using engine::kBlockFrames;
using platform::Message;
using testing_support::FirstSound;
using testing_support::SteppedSound;

namespace {

// A deck window that does what the transport does: stop once at the end of the track.
struct PlayingDeck final : engine::DeckLink {
    PlayingDeck(platform::MessagePort& port, int deck) : port_(port), deck_(deck) {}
    bool IsPlaying() const override { return false; }
    void Pause() override {}
    void ShowNothingLoaded() override {}
    void TakeLoadedFile(const std::string&, const std::string&, double) override {}
    void ResetLeds() override {}
    void OnEndOfTrack() override {
        if (endOfTrack++ == 0) port_.Post(Message::StopForward, platform::DeckArgs{deck_});
    }
    void OnTrackChanged(const std::string& path, const std::string&, double) override {
        changedTo.push_back(path);
    }
    void AdvanceLeds() override { ++ledSteps; }
    void RetreatLeds() override { --ledSteps; }

    platform::MessagePort& port_;
    int deck_;
    int endOfTrack = 0, ledSteps = 0;
    std::vector<std::string> changedTo;
};

// The engine and its playback on a main output and headphones, with a main
// window that handles their messages as the real one does.
class PlaybackRig : public SteppedSound {
public:
    PlaybackRig()
        : SteppedSound({{"Main", 2}, {"Phones", 2}}), engine(events, port), playback(engine, events, port) {
        main.Open(platform::sound::OfflineBackend::IdOf("Main"), "Main (Can't Split)");
        phones.Open(platform::sound::OfflineBackend::IdOf("Phones"), "Phones (Can't Split)");
        playback.SetOutputs(&phones, &main);
        Serve(events, engine, playback);
        for (int d = 0; d < 2; ++d) engine.SetDeckLink(d, &decks[d]);
        engine.SetPlayListLink(&playList);
        port.SetHandler([this](Message m, const platform::Payload& payload) -> intptr_t {
            const int deck = platform::DeckOf(payload);
            if (m == Message::DeckPrimed) playback.PrimeDeck(deck);
            if (m == Message::EndOfTrack) engine.OnEndOfTrack(deck);
            if (m == Message::LengthMeasured) engine.OnLengthMeasured();
            if (m == Message::BackwardNotify) playback.OnBackwardNotify(deck);
            if (m == Message::StopForward) playback.StopForward(deck);
            if (m == Message::ForwardNotify) {
                playback.OnForwardNotify(deck);
                aheadAfterNotify.push_back(engine.Ledger(deck).CountWritten());
            }
            return 0;
        });
    }
    ~PlaybackRig() {
        playback.Shutdown();
        engine.Shutdown();
        port.Close();
    }

    engine::EngineEvents events;
    platform::MessagePort port;
    engine::Engine engine;
    engine::Playback playback;
    output::CZelOutput main{Sound()}, phones{Sound()};
    PlayingDeck decks[2]{{port, 0}, {port, 1}};
    testing_support::QueuedPlayList playList;
    std::vector<int> aheadAfterNotify;  // blocks written ahead after each notification
};

// How many samples of `frames` heard from frame `at` on are not the source's
// from frame `from` on, scaled by `gain`, to within `tolerance`.
size_t Mismatches(const std::vector<int16_t>& source, size_t from, const std::vector<int16_t>& heard,
                  size_t at, size_t frames, double gain = 1.0, double tolerance = 0.0) {
    size_t off = 0;
    for (size_t i = 0; i < 2 * frames; ++i)
        off += std::abs(heard[2 * at + i] - source[2 * from + i] * gain) > tolerance;
    return off;
}

// Where in `source` the heard frames from `at` on come from: the first place
// that matches on 32 frames (the noise never repeats).
std::optional<size_t> FindInSource(const std::vector<int16_t>& source, const std::vector<int16_t>& heard,
                                   size_t at, double gain = 1.0, double tolerance = 0.0) {
    for (size_t k = 0; k + 32 <= source.size() / 2; ++k)
        if (Mismatches(source, k, heard, at, 32, gain, tolerance) == 0) return k;
    return std::nullopt;
}

}  // namespace

TEST(Playback, AQueuedNextFilePlaysOnBothOutputsSampleForSampleUntilItsEnd) {
    testing_support::TrackFolder files;
    const auto first = fixtures::Noise(static_cast<int>(9.3 * 44'100), 2, 4, 0.4);
    const auto second = fixtures::Noise(4 * 44'100, 2, 5, 0.4);
    PlaybackRig rig;
    rig.playList.next[0].push_back(files.Wav("second.wav", second));
    ASSERT_TRUE(rig.engine.LoadFile(0, files.Wav("first.wav", first)));
    rig.playback.StartForward(0);  // waits for the priming
    ASSERT_EQ(rig.phones.Device()->SetDeckGain(0, 0.5), platform::sound::kOk);
    ASSERT_TRUE(
        rig.RenderUntil([&] { return rig.decks[0].endOfTrack >= 1 && !rig.playback.PlayingForward(0); }));
    EXPECT_EQ(rig.decks[0].changedTo, std::vector<std::string>{files.Path("second.wav")})
        << "the deck follows the next file";
    EXPECT_EQ(rig.playback.Underruns(0), 0);

    // Past the fade-in, every frame to the end is the files', the second
    // straight after the first: no gap, no repeated block, nothing changed.
    auto both = first;
    both.insert(both.end(), second.begin(), second.end());
    const auto heard = rig.Heard("Main");
    const size_t at = FirstSound(heard) + 3 * 44'100;
    const auto from = FindInSource(both, heard, at);
    ASSERT_TRUE(from) << "the heard sound is not the files'";
    const size_t rest = both.size() / 2 - *from;
    ASSERT_GE(heard.size() / 2 - at, rest) << "the end of the track is missing";
    EXPECT_EQ(Mismatches(both, *from, heard, at, rest), 0u);
    EXPECT_EQ(testing_support::Rms(heard, at + rest, heard.size()), 0.0) << "after the end, silence";

    // The headphones carry the same sound at their own gain: 0.5 is volume -2800.
    const double gain = std::pow(10.0, -2800 / 2000.0);
    const auto phones = rig.Heard("Phones");
    const size_t q = FirstSound(phones) + 3 * 44'100;
    ASSERT_GT(phones.size() / 2, q + 5 * 44'100);
    const auto phonesFrom = FindInSource(both, phones, q, gain, 1.0);
    ASSERT_TRUE(phonesFrom) << "the headphones do not play the track";
    EXPECT_EQ(Mismatches(both, *phonesFrom, phones, q, 5 * 44'100, gain, 1.0), 0u);

    // Twenty or twenty-one blocks written ahead after a notification, until
    // the ring runs dry at the end.
    auto ahead = rig.aheadAfterNotify;
    while (!ahead.empty() && ahead.back() < 20) ahead.pop_back();
    ASSERT_GT(ahead.size(), 100u);
    EXPECT_TRUE(std::all_of(ahead.begin() + 5, ahead.end(), [](int n) { return n == 20 || n == 21; }));
    EXPECT_GT(rig.decks[0].ledSteps, 150) << "the lamps turn one step a block";
}

TEST(Playback, BackwardPlayAfterSteadyForwardPlayPlaysWhatWasHeardReversedAndStopsByItself) {
    testing_support::TrackFolder files;
    const auto source = fixtures::Noise(30 * 44'100, 2, 2, 0.4);
    PlaybackRig rig;
    ASSERT_TRUE(rig.engine.LoadFile(0, files.Wav("long.wav", source)));
    rig.playback.StartForward(0);
    // More than a buffer's worth of steady play, so the backward buffer is full.
    ASSERT_TRUE(rig.RenderUntil([&] { return rig.aheadAfterNotify.size() > 140; }));
    rig.playback.StopForward(0);
    rig.Heard("Main");  // forget what was heard so far

    uint32_t forwardCursor = 0;
    rig.main.Device()->ForwardBuffer(0)->GetCurrentPosition(&forwardCursor, nullptr);
    const int startBlock = static_cast<int>(forwardCursor / engine::kBlockBytes);
    rig.playback.StartBackward(0);
    ASSERT_TRUE(rig.playback.PlayingBackward(0));
    ASSERT_TRUE(rig.RenderUntil([&] { return !rig.playback.PlayingBackward(0); })) << "it stops by itself";
    EXPECT_TRUE(rig.playback.BackwardAtHistoryStart(0));
    // Back over every block heard: all but the 20 or 21 written ahead and the
    // one playing, which the forward buffer holds no longer.
    const int lastBlock = rig.engine.Ledger(0).lastBlock;
    EXPECT_NEAR((startBlock - lastBlock + engine::kOutputBlocks) % engine::kOutputBlocks, 98, 3);

    // What was heard is the file played backwards: find a run of it reversed.
    const auto heard = rig.Heard("Main");
    const size_t at = FirstSound(heard) + 5 * 44'100 / 2;  // well past the fade-in
    ASSERT_LT(at + 64, heard.size() / 2);
    std::vector<int16_t> reversed;
    for (size_t f = at + 64; f-- > at;) reversed.insert(reversed.end(), {heard[2 * f], heard[2 * f + 1]});
    EXPECT_NE(std::search(source.begin(), source.end(), reversed.begin(), reversed.end()), source.end())
        << "backward play is the track reversed, channels kept apart";

    rig.playback.ResumeForward(0);
    EXPECT_TRUE(rig.playback.PlayingForward(0)) << "forward play resumes where backward play left the deck";
}

TEST(Playback, AnUnderrunStopsCatchesUpAndRestarts) {
    testing_support::TrackFolder files;
    PlaybackRig rig;
    ASSERT_TRUE(rig.engine.LoadFile(0, files.Wav("stall.wav", fixtures::Noise(30 * 44'100, 2, 3, 0.4))));
    rig.playback.StartForward(0);
    ASSERT_TRUE(rig.RenderUntil([&] { return rig.aheadAfterNotify.size() > 30; }));
    // The window is busy, handling nothing, while the outputs play on well
    // past the 20 blocks written ahead.
    for (int period = 0; period < 45 * kBlockFrames / SteppedSound::kPeriodFrames; ++period) rig.Step();
    const size_t handled = rig.aheadAfterNotify.size();
    ASSERT_TRUE(rig.RenderUntil([&] { return rig.aheadAfterNotify.size() > handled + 40; }));
    EXPECT_EQ(rig.playback.Underruns(0), 1);
    EXPECT_TRUE(rig.playback.PlayingForward(0)) << "play goes on after the underrun";
    EXPECT_THAT(rig.aheadAfterNotify.back(), testing::AnyOf(20, 21)) << "back to the usual lead";
}
