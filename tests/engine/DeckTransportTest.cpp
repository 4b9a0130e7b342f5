// A deck's transport as a DJ works it, without its window: its timers fired
// by the test, its clock the test's, the sound rendered period by period on
// Offline outputs and checked for where it comes from.

#include <map>

#include "app/SteppedDesk.h"
#include "deck/LedRing.h"
#include "engine/DeckTransport.h"
#include "engine/LampRing.h"
#include "engine/Tempo.h"

using engine::DeckTransport;
using Timer = DeckTransport::Timer;
using namespace testing_support;

namespace {

constexpr int kRate = SteppedDesk::kRate;

// Runs the transport's timers when the test says, and answers its dialogs.
struct FakeView final : DeckTransport::View {
    void Changed(unsigned parts) override { lampSteps += parts == DeckTransport::kLamps ? 1 : 0; }
    void StartTimer(Timer timer, int milliseconds, bool) override { running[timer] = milliseconds; }
    void StopTimer(Timer timer) override { running.erase(timer); }
    std::vector<std::string> ChooseFiles() override { return {file}; }
    bool Running(Timer timer) const { return running.count(timer) != 0; }
    // The timer's next ticks, while it runs.
    void Fire(DeckTransport& transport, Timer timer, int ticks = 1) {
        for (int i = 0; i < ticks && Running(timer); ++i) transport.OnTimer(timer);
    }

    std::map<Timer, int> running;
    std::string file;
    int lampSteps = 0;
};

// Deck A's transport, with twenty seconds of noise to load.
class DeckTransportTest : public ::testing::Test {
protected:
    DeckTransportTest() { t.SetView(&view); }
    ~DeckTransportTest() override { t.SetView(nullptr); }

    void Load(const std::vector<int16_t>& samples) {
        view.file = desk.files.Wav("track.wav", samples);
        t.ChooseSource(DeckTransport::kBrowseEntry);
        ASSERT_EQ(t.Kind(), DeckTransport::SourceKind::File);
    }
    void SeekTo(double fraction) {
        t.SetSlide(fraction);
        t.SeekToSlide();
    }
    // Plays from where the deck rests: the sound heard, half a second in (past
    // the fade-in, at the mix's gain), is the noise from file frame `expected` on.
    void ExpectPlayFrom(long expected, const char* what) {
        desk.Heard("Desk");
        t.TogglePlay(false);
        desk.RenderSeconds(1.5);
        const auto heard = desk.Heard("Desk");
        const size_t at = FirstSound(heard) + kRate / 2;
        const double gain = Rms(heard, at, kRate / 4) / Rms(noise, 0, noise.size() / 2);
        const auto from = FindInSource(noise, heard, at, gain, 0.03 * 32768 * 0.4);
        ASSERT_TRUE(from) << what;
        EXPECT_THAT(static_cast<long>(*from) - kRate / 2,
                    testing::AllOf(testing::Ge(expected - kRate / 200), testing::Le(expected + kRate / 50)))
            << what;
    }
    double HeardFrequency() {
        const auto heard = desk.Heard("Desk");
        return fixtures::DominantFrequency(heard.data() + heard.size() - 2 * 8192, 8192, 2, 0, kRate);
    }

    FakeView view;  // outlives the desk, whose shutdown may still tell the transport
    SteppedDesk desk;
    DeckTransport& t = desk.Deck(0).Transport();
    engine::Playback& playback = desk.Window().Playback();
    const std::vector<int16_t> noise = fixtures::Noise(kRate * 20, 2, 3, 0.4);
};

}  // namespace

TEST(Tempo, FrequencyPercentShownAndTheLampRing) {
    // The frequency is not limited.
    for (auto [percent, rate, frequency] :
         {std::tuple{0.0, 44'100, 44'100u}, std::tuple{5.0, 44'100, 46'305u},
          std::tuple{-2.34, 48'000, 46'876u}, std::tuple{60.0, 44'100, 70'560u}})
        EXPECT_EQ(engine::TempoFrequency(percent, rate), frequency) << percent;
    const std::pair<double, const char*> shown[] = {{0.0, "0.0%"},   {5.0, "5.0%"},   {-2.34, "-2.3%"},
                                                    {0.35, "0.3%"},  {-0.06, "0.0%"}, {-0.15, "-0.1%"},
                                                    {12.0, "12.0%"}, {60.0, "50.0%"}, {-75.0, "-50.0%"}};
    for (const auto& [percent, text] : shown) EXPECT_EQ(engine::TempoPercentText(percent), text) << percent;
    EXPECT_EQ(engine::PreviousLamp(0), 26);
    // The lamps sit on a circle of h + h / 10 about the dial (h = 80), lamp 0
    // on the right, the ring turning clockwise.
    const QRectF dial(100, 50, 200, 160);
    const auto places = deck::LedRingPlaces(dial.toRect(), 10);
    for (const QRect& place : places)
        EXPECT_NEAR(QLineF(QRectF(place).center(), dial.center()).length(), 88.0, 0.8);
    EXPECT_EQ(places[0].size(), QSize(10, 10));
    EXPECT_NEAR(QRectF(places[0]).center().x(), dial.center().x() + 88, 0.6);
    EXPECT_GT(QRectF(places[1]).center().y(), dial.center().y());
}

TEST_F(DeckTransportTest, PausingWithTheCueOnGoesBackToTheCuePointAndWindingMovesTheSound) {
    Load(noise);
    SeekTo(0.5);
    t.SetCue(true);
    ASSERT_TRUE(t.IsCueOn());
    EXPECT_DOUBLE_EQ(t.CuePoint(), 10.0);
    EXPECT_DOUBLE_EQ(t.CueMark(), 0.5);
    // The time display alternates ten times, then rests on the cue time.
    for (int tick = 1; tick <= DeckTransport::kCueBlinkTicks + 1; ++tick) {
        view.Fire(t, Timer::CueBlink);
        EXPECT_EQ(t.TimeShown(), tick % 2) << tick;
    }
    EXPECT_FALSE(view.Running(Timer::CueBlink));

    t.TogglePlay(false);
    EXPECT_EQ(t.TimeShown(), 0);
    desk.RenderSeconds(2.0);
    t.TogglePlay(false);
    EXPECT_FALSE(t.Playing());
    EXPECT_DOUBLE_EQ(t.Slide(), 0.5) << "back at the cue point";
    EXPECT_EQ(t.TimeShown(), 1) << "showing the cue time";
    ExpectPlayFrom(10 * kRate, "play goes on from the cue point");
    // With the cue off, pausing stays where it is.
    t.SetCue(false);
    t.TogglePlay(false);
    EXPECT_GT(t.Slide(), 0.55);

    // Winding moves the slide a second a tick while held; the sound follows on release.
    const double before = t.Slide() * 20.0;
    t.Wind(+1);
    ASSERT_EQ(view.running[Timer::Wind], DeckTransport::kWindMs);
    view.Fire(t, Timer::Wind, 5);
    EXPECT_NEAR(t.Slide() * 20.0, before + 5.0, 1e-9);
    t.Wind(0);
    EXPECT_FALSE(view.Running(Timer::Wind));
    ExpectPlayFrom(std::lround((before + 5.0) * kRate), "the sound follows the slide");
    // Rewinding while playing: the deck plays on from the earlier place.
    t.Wind(-1);
    view.Fire(t, Timer::Wind, 3);
    t.Wind(0);
    EXPECT_TRUE(t.Playing()) << "winding does not stop a playing deck";
    const double landed = t.Slide() * 20.0;
    EXPECT_LT(landed, before + 5.0);
    desk.RenderSeconds(1.5);
    EXPECT_NEAR(t.Position(), landed + 1.5, 0.3) << "and it plays on from there";
}

TEST_F(DeckTransportTest, TempoRetunesForwardPlayButBackwardPlayKeepsTheSourceRate) {
    Load(fixtures::Sine(1000.0, 20.0, kRate, 2));
    t.SetTempo(5.0);  // +5 % retunes 44,100 Hz to 46,305 Hz
    EXPECT_EQ(desk.Window().MainOutput().Device()->Frequency(0), 46'305u) << "set at once, also while paused";
    t.TogglePlay(false);
    desk.RenderSeconds(1.0);
    EXPECT_NEAR(HeardFrequency(), 1050.0, 3.0);
    t.SetReverse(true);
    EXPECT_TRUE(playback.PlayingBackward(0));
    desk.RenderSeconds(0.5);
    EXPECT_NEAR(HeardFrequency(), 1000.0, 3.0) << "the backward buffers are never retuned";
    t.SetReverse(false);
    EXPECT_TRUE(playback.PlayingForward(0) && !playback.PlayingBackward(0));
}

TEST_F(DeckTransportTest, TheJogDialMovesTheCueAcrossItsEndAndReversesAPlayingDeck) {
    Load(noise);
    SeekTo(0.5);
    t.SetCue(true);
    t.JogPressed();
    t.Jog(0.1);
    EXPECT_NEAR(t.CuePoint(), 10.1, 1e-9);
    t.Jog(1.9);  // backwards across the dial's end
    EXPECT_NEAR(t.CuePoint(), 9.9, 1e-9) << "a small step, not a whole turn";
    for (int i = 0; i < 15; ++i) t.Jog(std::fmod(1.9 - 0.9 * (i + 1) + 20.0, 2.0));
    EXPECT_DOUBLE_EQ(t.CuePoint(), 0.0) << "never before the start";
    t.JogReleased();
    EXPECT_DOUBLE_EQ(t.Slide(), 0.0) << "the moved cue point is the play position";

    // Playing: turning for more than 0.3 s decides the direction, by a held
    // dial or by the wheel, which lets go once it has rested.
    t.TogglePlay(false);
    desk.RenderSeconds(2.0);
    double angle = 0.0;
    for (const bool held : {true, false}) {
        SCOPED_TRACE(held ? "held" : "wheel");
        if (held) t.JogPressed();
        for (int i = 0; i < 10; ++i) {
            desk.Clock() += 0.04;
            t.Jog(angle = std::fmod(angle - 0.02 + 2.0, 2.0));
            // A wheel's gesture is timed from its first notch, a held dial's from the press.
            EXPECT_EQ(t.Reversing(), i >= (held ? 7 : 8)) << "decided after 0.3 s, step " << i;
            desk.RenderSeconds(0.04);
        }
        EXPECT_TRUE(playback.PlayingBackward(0));
        if (held) {
            t.JogReleased();
        } else {
            desk.Clock() += engine::JogGesture::kIdleSeconds + 0.1;
            t.AdvanceLeds();  // as a block plays, inside the engine's handling
            EXPECT_TRUE(t.Reversing()) << "released once that handling has returned";
            view.Fire(t, Timer::JogRelease);
        }
        EXPECT_TRUE(!t.Reversing() && playback.PlayingForward(0));
    }
}

TEST_F(DeckTransportTest, TheLampsStepOncePerBlockAndTheTrackEndStopsTheDeck) {
    Load(noise);
    SeekTo(0.7);  // six seconds before the end: 90 blocks of 2,940 frames
    t.TogglePlay(false);
    ASSERT_TRUE(desk.RenderUntil([&] { return t.AtEnd(); }));
    EXPECT_FALSE(t.Playing());
    EXPECT_NEAR(view.lampSteps, 90, 2) << "one lamp step per block played";
    EXPECT_EQ(t.LitLamp(), view.lampSteps % engine::kLampCount);
    desk.Render(20);
    EXPECT_FALSE(playback.PlayingForward(0));
    // Back to the start after the end: the file plays again.
    SeekTo(0.0);
    ExpectPlayFrom(0, "sound after seeking back from the end");
    EXPECT_TRUE(t.Playing());
}
