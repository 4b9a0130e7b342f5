// Two decks really playing: the engine loop fed by the main output's
// notifications, heard through Offline outputs rendered faster than real time.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>

#include "engine/DeckLink.h"
#include "engine/Engine.h"
#include "engine/EngineEvents.h"
#include "engine/EngineHarness.h"
#include "engine/Playback.h"
#include "output/CZelOutput.h"
#include "platform/MessagePort.h"
#include "platform/sound/OfflineBackend.h"
#include "platform/sound/SoundBuffer.h"
#include "platform/sound/SoundSystem.h"
#include "support/AudioFixtures.h"

using namespace std::chrono_literals;
using engine::kBlockFrames;
using platform::Message;
using platform::sound::OfflineBackend;
using platform::sound::OfflineStream;
using testing_support::EngineHarness;
using testing_support::QueuedPlayList;

namespace {

constexpr int kPeriodFrames = 256;

// A deck window that does what the transport will: stop on the end of the track.
struct PlayingDeck final : engine::DeckLink {
    explicit PlayingDeck(platform::MessagePort& port, int deck) : port_(port), deck_(deck) {}
    bool IsPlaying() const override { return false; }
    void Pause() override {}
    void ShowNothingLoaded() override {}
    void TakeLoadedFile(const std::string&, const std::string&, double) override {}
    void ResetLeds() override {}
    void OnEndOfTrack() override {
        // Like the deck: stop once, and be no longer playing.
        if (endOfTrack++ == 0) port_.Post(Message::StopForward, platform::DeckArgs{deck_});
    }
    void OnTrackChanged(const std::string& path, const std::string&, double) override {
        changedTo.push_back(path);
    }
    void AdvanceLeds() override { ++ledSteps; }
    void RetreatLeds() override { --ledSteps; }

    platform::MessagePort& port_;
    int deck_;
    int endOfTrack = 0;
    int ledSteps = 0;
    std::vector<std::string> changedTo;
};

class PlaybackRig {
public:
    PlaybackRig() : engine(events, port), playback(engine, events, port) {
        auto backend = std::make_unique<OfflineBackend>(
            std::vector<OfflineBackend::Device>{{"Main", 2}, {"Phones", 2}}, 44'100, kPeriodFrames);
        offline = backend.get();
        sound = std::make_unique<platform::sound::SoundSystem>(std::move(backend));
        main = std::make_unique<output::CZelOutput>(*sound);
        phones = std::make_unique<output::CZelOutput>(*sound);
        main->Open(OfflineBackend::IdOf("Main"), "Main (Can't Split)");
        phones->Open(OfflineBackend::IdOf("Phones"), "Phones (Can't Split)");
        playback.SetOutputs(phones.get(), main.get());
        // The devices do not run by themselves: the test renders one period at
        // a time and lets the engine handle what it caused before the next, so
        // the run hears the same on a busy machine as on an idle one. A fade
        // renders one period every 50 of its 500 steps.
        playback.SetFadeStepWait([this] {
            if (++fadeSteps % 50 == 0) Step();
        });
        for (int d = 0; d < 2; ++d) {
            decks[d] = std::make_unique<PlayingDeck>(port, d);
            engine.SetDeckLink(d, decks[d].get());
        }
        engine.SetPlayListLink(&playList);
        port.SetHandler([this](Message m, const platform::Payload& payload) -> intptr_t {
            const int deck = platform::DeckOf(payload);
            switch (m) {
                case Message::DeckPrimed:
                    playback.PrimeDeck(deck);
                    break;
                case Message::EndOfTrack:
                    engine.OnEndOfTrack(deck);
                    break;
                case Message::LengthMeasured:
                    engine.OnLengthMeasured();
                    break;
                case Message::ForwardNotify:
                    playback.OnForwardNotify(deck);
                    aheadAfterNotify.push_back(engine.Ledger(deck).CountWritten());
                    break;
                case Message::BackwardNotify:
                    playback.OnBackwardNotify(deck);
                    break;
                case Message::StopForward:
                    playback.StopForward(deck);
                    break;
                default:
                    break;
            }
            return 0;
        });
    }
    ~PlaybackRig() {
        playback.Shutdown();
        engine.Shutdown();
        port.Close();
    }

    void Step() {
        for (const char* device : {"Main", "Phones"})
            if (auto* stream = offline->StreamOf(device)) stream->Step(kPeriodFrames);
    }
    // Whether the notify threads and readers have handled all they were woken for.
    bool Idle() const {
        for (int deck = 0; deck < 2; ++deck) {
            const engine::DeckEvents& ev = events.deck[deck];
            if (playback.PlayingForward(deck) && ev.playForwardNotify.IsSet()) return false;
            if (playback.PlayingBackward(deck) && ev.playBackwardNotify.IsSet()) return false;
            if (engine.ReaderRunning(deck) && !(engine.ReaderWaiting(deck) && !ev.discReadForward.IsSet()))
                return false;
        }
        return true;
    }
    void Settle() {
        EXPECT_TRUE(EngineHarness::WaitUntil([&] { return Idle(); })) << "the engine did not rest";
    }
    // Renders period after period, serving the engine after each, until `done`
    // holds; false if a minute of sound did not bring it.
    bool RenderUntil(const std::function<bool()>& done) {
        Settle();
        for (int period = 0; !done(); ++period) {
            if (period > 60 * 44'100 / kPeriodFrames) return false;
            Step();
            Settle();
        }
        return true;
    }

    // The sound each output has played so far (16-bit stereo).
    std::vector<int16_t> Heard(const char* output) { return offline->StreamOf(output)->TakeCapture(); }

    engine::EngineEvents events;
    platform::MessagePort port;
    engine::Engine engine;
    engine::Playback playback;
    OfflineBackend* offline = nullptr;
    std::unique_ptr<platform::sound::SoundSystem> sound;
    std::unique_ptr<output::CZelOutput> main, phones;
    std::unique_ptr<PlayingDeck> decks[2];
    QueuedPlayList playList;
    std::vector<int> aheadAfterNotify;
    int fadeSteps = 0;
};

// Where in `source` the sound heard from frame `at` on comes from: matched
// exactly on 16 frames (the noise never repeats).
long FindInSource(const std::vector<int16_t>& source, const std::vector<int16_t>& heard, size_t at) {
    auto it = std::search(source.begin(), source.end(), heard.begin() + static_cast<long>(2 * at),
                          heard.begin() + static_cast<long>(2 * at + 32));
    return it == source.end() ? -1 : static_cast<long>(it - source.begin()) / 2;
}

class Playback : public ::testing::Test {
protected:
    static void SetUpTestSuite() { dir_ = new QTemporaryDir(); }
    static void TearDownTestSuite() { delete dir_; }
    static std::string Track(const char* name, double seconds, uint32_t seed, std::vector<int16_t>* samples) {
        *samples = fixtures::Noise(static_cast<int>(seconds * 44'100), 2, seed, 0.4);
        const std::string path = QDir(dir_->path()).filePath(name).toStdString();
        EXPECT_TRUE(fixtures::WriteWav(path, *samples, 2, 44'100));
        return path;
    }
    static QTemporaryDir* dir_;
};
QTemporaryDir* Playback::dir_ = nullptr;

}  // namespace

TEST_F(Playback, ATrackPlaysOnBothOutputsSampleForSampleUntilItsEnd) {
    std::vector<int16_t> source;
    const std::string path = Track("song.wav", 12.0, 1, &source);
    PlaybackRig rig;
    ASSERT_TRUE(rig.engine.LoadFile(0, path));
    rig.playback.StartForward(0);  // waits for the priming
    ASSERT_TRUE(rig.phones->Device()->ForwardBuffer(0) != nullptr);
    rig.phones->Device()->SetDeckGain(0, 0.5);
    ASSERT_TRUE(
        rig.RenderUntil([&] { return rig.decks[0]->endOfTrack >= 1 && !rig.playback.PlayingForward(0); }));

    const auto heard = rig.Heard("Main");
    // Skip the fade-in, find the place, then every frame to the end is the file's.
    size_t at = 0;
    while (at < heard.size() / 2 && heard[2 * at] == 0) ++at;
    at += 3 * 44'100;
    const long from = FindInSource(source, heard, at);
    ASSERT_GE(from, 0) << "the heard sound is not the file's";
    const size_t rest = source.size() / 2 - static_cast<size_t>(from);
    ASSERT_GE(heard.size() / 2 - at, rest) << "the end of the track is missing";
    EXPECT_TRUE(
        std::equal(source.begin() + 2 * from, source.end(), heard.begin() + static_cast<long>(2 * at)))
        << "no gap, no repeated block, nothing changed";
    EXPECT_EQ(rig.playback.Underruns(0), 0);
    // After the end, silence.
    EXPECT_TRUE(std::all_of(heard.begin() + static_cast<long>(2 * (at + rest)), heard.end(),
                            [](int16_t v) { return v == 0; }));

    // The headphones carry the same sound at their own gain: 0.5 is volume -2800.
    const auto phones = rig.Heard("Phones");
    const double gain = std::pow(10.0, -2800 / 2000.0);
    const size_t window = 5 * 44'100;
    size_t q = 0;
    while (q < phones.size() / 2 && phones[2 * q] == 0) ++q;
    q += 3 * 44'100;
    ASSERT_GT(phones.size() / 2, q + window);
    long phonesFrom = -1;
    for (size_t k = 0; k + 32 < source.size() / 2 && phonesFrom < 0; ++k) {
        bool same = true;
        for (size_t i = 0; i < 64 && same; ++i)
            same = std::abs(phones[2 * q + i] - source[2 * k + i] * gain) <= 1.0;
        if (same) phonesFrom = static_cast<long>(k);
    }
    ASSERT_GE(phonesFrom, 0) << "the headphones do not play the track";
    int off = 0;
    for (size_t i = 0; i < 2 * window; ++i)
        off += std::abs(phones[2 * q + i] - source[2 * static_cast<size_t>(phonesFrom) + i] * gain) > 1.0;
    EXPECT_EQ(off, 0);

    // Twenty or twenty-one blocks written ahead after a notification, until
    // the ring runs dry at the end.
    const auto& ahead = rig.aheadAfterNotify;
    ASSERT_GT(ahead.size(), 100u);
    auto end = ahead.end();
    while (end != ahead.begin() && *(end - 1) < 20) --end;  // the ring ran dry at the end of the file
    ASSERT_GT(end - ahead.begin(), 100);
    const std::vector<int> middle(ahead.begin() + 5, end);
    const auto steady = std::count_if(middle.begin(), middle.end(), [](int n) { return n == 20 || n == 21; });
    EXPECT_EQ(steady, static_cast<long>(middle.size()));
    EXPECT_GT(rig.decks[0]->ledSteps, 150) << "the lamps turn one step a block";
}

TEST_F(Playback, BackwardPlayAfterSteadyForwardPlayPlaysWhatWasHeardReversedAndStopsByItself) {
    std::vector<int16_t> source;
    const std::string path = Track("long.wav", 30.0, 2, &source);
    PlaybackRig rig;
    ASSERT_TRUE(rig.engine.LoadFile(0, path));
    rig.playback.StartForward(0);
    // More than a buffer's worth of steady play, so the backward buffer is full.
    ASSERT_TRUE(rig.RenderUntil([&] { return rig.aheadAfterNotify.size() > 140; }));
    rig.playback.StopForward(0);
    rig.Heard("Main");  // forget what was heard so far

    uint32_t forwardCursor = 0;
    rig.main->Device()->ForwardBuffer(0)->GetCurrentPosition(&forwardCursor, nullptr);
    const int startBlock = static_cast<int>(forwardCursor / engine::kBlockBytes);
    rig.playback.StartBackward(0);
    ASSERT_TRUE(rig.playback.PlayingBackward(0));
    ASSERT_TRUE(rig.RenderUntil([&] { return !rig.playback.PlayingBackward(0); }))
        << "backward play stops by itself";
    EXPECT_TRUE(rig.playback.BackwardAtHistoryStart(0));
    const int backward =
        (startBlock - rig.engine.Ledger(0).lastBlock + engine::kOutputBlocks) % engine::kOutputBlocks;
    // Back over every block heard: all but the 20 or 21 written ahead and the
    // one playing, which the forward buffer holds no longer.
    EXPECT_NEAR(backward, 98, 3);

    // What was heard is the file played backwards: find a run of it reversed.
    const auto heard = rig.Heard("Main");
    size_t at = 0;
    while (at < heard.size() / 2 && heard[2 * at] == 0) ++at;
    at += 5 * 44'100 / 2;  // well past the fade-in
    ASSERT_LT(at + 64, heard.size() / 2);
    std::vector<int16_t> reversed;
    for (size_t f = at + 63; f + 1 > at; --f) {
        reversed.push_back(heard[2 * f]);
        reversed.push_back(heard[2 * f + 1]);
    }
    EXPECT_NE(std::search(source.begin(), source.end(), reversed.begin(), reversed.end()), source.end())
        << "backward play is the track reversed, channels kept apart";

    // Forward play resumes where backward play left the deck.
    rig.playback.ResumeForward(0);
    EXPECT_TRUE(rig.playback.PlayingForward(0));
}

TEST_F(Playback, AnUnderrunStopsCatchesUpAndRestarts) {
    std::vector<int16_t> source;
    const std::string path = Track("stall.wav", 30.0, 3, &source);
    PlaybackRig rig;
    ASSERT_TRUE(rig.engine.LoadFile(0, path));
    rig.playback.StartForward(0);
    ASSERT_TRUE(rig.RenderUntil([&] { return rig.aheadAfterNotify.size() > 30; }));
    // The window is busy, handling nothing, while the outputs play on well
    // past the 20 blocks written ahead.
    for (int period = 0; period < 45 * kBlockFrames / kPeriodFrames; ++period) rig.Step();
    const size_t handled = rig.aheadAfterNotify.size();
    ASSERT_TRUE(rig.RenderUntil([&] { return rig.aheadAfterNotify.size() > handled + 40; }));
    EXPECT_EQ(rig.playback.Underruns(0), 1);
    EXPECT_TRUE(rig.playback.PlayingForward(0)) << "play goes on after the underrun";
    // Back to the usual lead.
    const int last = rig.aheadAfterNotify.back();
    EXPECT_TRUE(last == 20 || last == 21) << last;
}

TEST_F(Playback, AQueuedNextFilePlaysOnWithoutSilenceAtTheJoin) {
    std::vector<int16_t> first, second;
    const std::string a = Track("first.wav", 9.3, 4, &first);
    const std::string b = Track("second.wav", 4.0, 5, &second);
    PlaybackRig rig;
    rig.playList.next[0].push_back(b);
    ASSERT_TRUE(rig.engine.LoadFile(0, a));
    rig.playback.StartForward(0);
    ASSERT_TRUE(
        rig.RenderUntil([&] { return rig.decks[0]->endOfTrack >= 1 && !rig.playback.PlayingForward(0); }));
    EXPECT_EQ(rig.decks[0]->changedTo, std::vector<std::string>{b}) << "the deck follows the next file";

    std::vector<int16_t> both = first;
    both.insert(both.end(), second.begin(), second.end());
    const auto heard = rig.Heard("Main");
    size_t at = 0;
    while (at < heard.size() / 2 && heard[2 * at] == 0) ++at;
    at += 3 * 44'100;
    const long from = FindInSource(both, heard, at);
    ASSERT_GE(from, 0);
    EXPECT_TRUE(std::equal(both.begin() + 2 * from, both.end(), heard.begin() + static_cast<long>(2 * at)))
        << "the second file follows the first sample for sample";
}
