// Whatever a DJ clicks, in whatever order: a deck that shows it plays is
// heard, and the program keeps running. Heard through Offline devices that
// the tests render period by period.

#include <QApplication>
#include <QContextMenuEvent>
#include <QWheelEvent>

#include <random>
#include <sstream>

#include "app/SteppedDesk.h"
#include "platform/sound/SoundBuffer.h"

using testing_support::Find;
using testing_support::Rms;
using testing_support::SteppedDesk;

namespace {

constexpr int kRate = SteppedDesk::kRate;
constexpr int kPeriod = SteppedDesk::kPeriodFrames;

void SeekTo(CZelDeck2& deck, double fraction) {
    Find<CZelSlide>(deck, "positionSlide")->SetValue(fraction);
    deck.Transport().SeekToSlide();
}

// The play cursor of the deck's buffer on the output that paces it.
uint32_t ClockCursor(COrvo2Dlg& window, int deck, bool backward = false) {
    for (output::CZelOutput* out : {&window.MainOutput(), &window.HeadphonesOutput()}) {
        if (!out->IsOpen() || !out->Device()->ForwardBuffer(deck)) continue;
        uint32_t play = 0;
        auto* buffer = backward ? out->Device()->BackwardBuffer(deck) : out->Device()->ForwardBuffer(deck);
        buffer->GetCurrentPosition(&play, nullptr);
        return play;
    }
    return 0;
}

void Turn(CZelKnob* knob, int notches) {
    const QPointF centre = knob->rect().center();
    QWheelEvent wheel(centre, knob->mapToGlobal(centre), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(knob, &wheel);
}

// Deck A of a stepped desk, and a 220 Hz tone to load into it.
class Transport : public ::testing::Test {
protected:
    void LoadTone(double seconds) {
        desk.Load(0, desk.files.Wav("tone.wav", fixtures::Sine(220.0, seconds, kRate, 2)));
    }

    SteppedDesk desk;
    COrvo2Dlg& window = desk.Window();
    CZelDeck2& deck = desk.Deck(0);
    engine::DeckTransport& t = deck.Transport();
    engine::Playback& playback = window.Playback();
};

}  // namespace

TEST_F(Transport, ReverseRightAfterASeekGoesBackOverWhatWasHeardAndNoFurther) {
    constexpr size_t kFade = SteppedDesk::kFadePeriods * kPeriod;
    LoadTone(40.0);
    SeekTo(deck, 0.5);
    desk.Heard("Desk");
    t.TogglePlay(false);
    desk.Render(40);  // with the fade-in, a little over four blocks
    std::vector<int16_t> heard;
    auto listen = [&] {  // adds what was heard since to the whole; its length
        const auto more = desk.Heard("Desk");
        heard.insert(heard.end(), more.begin(), more.end());
        return more.size() / 2;
    };
    const size_t forwardFrames = listen();

    auto* reverse = Find<CZelButton>(deck, "reversePlay");
    QTest::mousePress(reverse, Qt::LeftButton);
    ASSERT_TRUE(playback.PlayingBackward(0));
    EXPECT_TRUE(desk.RenderUntil([&] { return !playback.PlayingBackward(0); }))
        << "backward play stops by itself";
    EXPECT_TRUE(playback.BackwardAtHistoryStart(0) && t.Playing()) << "the reverse button is still held";
    // Back over what it had played (the forward fade-out included), down to
    // the first block, which its own fade covers: not a second further.
    const size_t backwardFrames = listen() - kFade;
    EXPECT_GE(backwardFrames + engine::kBlockFrames + kFade, forwardFrames + kFade);
    EXPECT_LE(backwardFrames, forwardFrames + kFade + kPeriod);

    QTest::mouseRelease(reverse, Qt::LeftButton);
    EXPECT_TRUE(playback.PlayingForward(0));
    desk.RenderSeconds(1.0);
    listen();

    // Heard as a whole: no silence but inside the fades, and no click.
    const double amplitude = std::sqrt(2.0) * Rms(heard, heard.size() / 2 - kRate / 2, kRate / 4);
    ASSERT_GT(amplitude, 0.01) << "forward play goes on after the release";
    const size_t firstSound = testing_support::FirstSound(heard);
    EXPECT_LE(testing_support::LongestSilence(heard, firstSound), 2 * kFade);
    const double sineStep = 2.0 * M_PI * 220.0 / kRate * amplitude * 32768.0;
    EXPECT_LE(testing_support::LargestStep(heard), 1.5 * sineStep + 2);
}

TEST_F(Transport, PlayRightAfterALoadAndTheWheelOnTheJogDialNeverLeaveADeckSilent) {
    // A short file: its reader has read it all and ended, the deck ready.
    desk.Load(0, desk.files.Wav("short.wav", fixtures::Sine(440.0, 2.0, kRate, 2)));
    desk.Settle();
    LoadTone(40.0);
    t.TogglePlay(false);  // before the new file has primed the deck
    EXPECT_TRUE(t.Playing());
    desk.RenderSeconds(12.0);
    const auto heard = desk.Heard("Desk");
    EXPECT_NEAR(fixtures::DominantFrequency(heard.data() + heard.size() - 2 * 8192, 8192, 2, 0, kRate), 220.0,
                5.0)
        << "the new file plays";

    for (int step = 0; step < 30; ++step) {  // three notches back, half a second apart
        if (step % 10 == 0) Turn(Find<CZelKnob>(deck, "jogDial"), -1);
        desk.Clock() += 0.05;
        desk.RenderSeconds(0.05);
    }
    // Once the wheel has stopped, the gesture is over, as a release would end it.
    for (int i = 0; i < 200 && t.Reversing(); ++i) {
        desk.Clock() += static_cast<double>(kPeriod) / kRate;
        desk.Render(1);
    }
    EXPECT_TRUE(!t.Reversing() && t.Playing() && playback.PlayingForward(0));
    desk.Heard("Desk");
    const uint32_t before = ClockCursor(window, 0);
    desk.RenderSeconds(0.5);
    EXPECT_NE(ClockCursor(window, 0), before) << "its time moves";
    EXPECT_GT(Rms(desk.Heard("Desk"), 0, kRate / 2), 0.01) << "and it is heard";
}

TEST_F(Transport, BuffersReleasedOrTheProgramClosedDuringAFade) {
    LoadTone(20.0);
    // The main output goes away halfway through the fade-in, as a device
    // change or the end of the program would take it.
    int steps = 0;
    playback.SetFadeStepWait([&] {
        if (++steps == 250) window.MainOutput().Close();
    });
    t.TogglePlay(false);
    EXPECT_GE(steps, 250);
    desk.RenderSeconds(0.2);

    // The program is told to end halfway through a fade (the signal is
    // served while the fade waits between its steps): it ends once the fade
    // has returned, cleanly.
    window.show();
    steps = 0;
    playback.SetFadeStepWait([&] {
        if (++steps == 250) QTimer::singleShot(0, &window, [&] { window.Terminate(); });
        platform::SleepDispatching(std::chrono::microseconds(1));
    });
    t.TogglePlay(false);
    EXPECT_TRUE(window.isVisible()) << "not closed under the fade's feet";
    EXPECT_TRUE(testing_support::WaitUntil([&] { return !window.isVisible(); }));
    EXPECT_FALSE(playback.PlayingForward(0));
}

TEST_F(Transport, EscapeKeepsTheWindowAndClosingWhilePlayingAsksFirst) {
    SteppedDesk quiet;
    window.show();
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(window.isVisible()) << "Escape does not end the program";
    LoadTone(20.0);
    t.TogglePlay(false);
    int asked = 0;
    window.SetQuitQuestion([&](QWidget*) { return ++asked > 1; });  // no, then yes
    window.close();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(window.isVisible() && t.Playing()) << "the music goes on";
    window.close();
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(window.isVisible());

    // A stopped deck closes without a question.
    quiet.Window().show();
    quiet.Window().SetQuitQuestion([&](QWidget*) { return ++asked, false; });
    quiet.Window().close();
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(quiet.Window().isVisible());
}

TEST_F(Transport, TerminationClosesAnOpenContextMenuAndEndsTheProgram) {
    window.show();
    QPoint background;
    for (int y = 1; y < window.height() && background.isNull(); y += 3)
        for (int x = 1; x < window.width() && background.isNull(); x += 3)
            if (!window.childAt(x, y)) background = QPoint(x, y);
    ASSERT_FALSE(background.isNull());

    // The signal arrives while the menu runs its own loop.
    QTimer::singleShot(0, &window, [&] { window.Terminate(); });
    QContextMenuEvent menu(QContextMenuEvent::Mouse, background, window.mapToGlobal(background));
    QApplication::sendEvent(&window, &menu);
    EXPECT_TRUE(testing_support::WaitUntil([&] { return !window.isVisible(); }));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

// Random sequences of what a DJ does, with device changes and actions that
// land inside another's fade; after each, every deck that shows it plays is
// playing and heard, and its time moves.
class TransportFuzz : public Transport, public ::testing::WithParamInterface<unsigned> {};

TEST_P(TransportFuzz, ADeckShownPlayingIsHeard) {
    const std::string tracks[] = {desk.files.Wav("a.wav", fixtures::Sine(220.0, 30.0, kRate, 2)),
                                  desk.files.Wav("b.wav", fixtures::Sine(3000.0, 30.0, 48'000, 2), 2, 48'000),
                                  desk.files.Wav("short.wav", fixtures::Sine(330.0, 3.0, kRate, 2))};
    // Deck A is heard on the main output, deck B on the headphones (the cross
    // faders' start positions).
    const char* outputOf[2] = {"Desk", "Phones"};

    std::mt19937 random(GetParam());
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    // What a DJ does most: play and pause, seek, reverse, jog; a new device
    // choice (which unloads both decks) now and then.
    const std::function<void(int)> actions[] = {
        [&](int d) { desk.Deck(d).Transport().TogglePlay(false); },
        [&](int d) { desk.Load(d, tracks[pick(3)]); },
        [&](int d) { SeekTo(desk.Deck(d), pick(100) / 100.0); },
        [&](int d) { QTest::mousePress(Find<CZelButton>(desk.Deck(d), "reversePlay"), Qt::LeftButton); },
        [&](int d) { QTest::mouseRelease(Find<CZelButton>(desk.Deck(d), "reversePlay"), Qt::LeftButton); },
        [&](int d) { Turn(Find<CZelKnob>(desk.Deck(d), "jogDial"), pick(2) ? 1 : -1); },
        [&](int d) { QTest::mouseClick(Find<CZelButton>(desk.Deck(d), "cue"), Qt::LeftButton); },
        [&](int d) { Find<CZelSlide>(desk.Deck(d), "tempoSlide")->SetValue(pick(33) - 16.0); },
        [&](int) { window.OnNewDeviceChoice(); },
    };
    std::discrete_distribution<int> action({28, 10, 14, 8, 8, 10, 8, 8, 2});
    std::ostringstream story;
    auto act = [&](int what, int d, const char* where = "") {
        story << " [" << where << d << ":" << what << "]";
        actions[what](d);
    };
    // Now and then something else happens in the middle of a fade, as a
    // timer or a message would: served while the fade waits between steps.
    bool nested = false;
    QObject scope;  // what is still queued at the end is dropped with the locals it uses
    desk.SetFadeHook([&] {
        if (nested || pick(400) != 0) return;
        nested = true;
        const int what = action(random), d = pick(2);
        QTimer::singleShot(0, &scope, [&, what, d] { act(what, d, "inside a fade: "); });
        platform::SleepDispatching(std::chrono::microseconds(1));
        nested = false;
    });

    for (int d = 0; d < 2; ++d) desk.Load(d, tracks[d]);
    int checked = 0;
    for (int step = 0; step < 300; ++step) {
        act(action(random), pick(2));
        // Often the next click comes before any sound has played: a burst.
        if (pick(3) == 0) continue;
        const int periods = pick(2) ? 40 : 1 + pick(10);
        uint32_t cursors[2];
        for (int d = 0; d < 2; ++d) cursors[d] = ClockCursor(window, d, desk.Deck(d).Transport().Reversing());
        desk.Render(periods);
        desk.Clock() += static_cast<double>(periods) * kPeriod / kRate;
        for (int d = 0; d < 2; ++d) {
            const engine::DeckTransport& shown = desk.Deck(d).Transport();
            const auto heard = desk.Heard(outputOf[d]);
            if (!shown.Playing()) continue;
            SCOPED_TRACE("deck " + std::to_string(d) + " after" + story.str());
            if (shown.Reversing() && playback.BackwardAtHistoryStart(d)) {
                EXPECT_FALSE(playback.PlayingForward(d)) << "held at the start of what it played";
                continue;
            }
            ASSERT_TRUE(shown.Reversing() ? playback.PlayingBackward(d) : playback.PlayingForward(d));
            ASSERT_TRUE(playback.Sounding(d));
            if (periods < 40) continue;  // long enough to hear a block go by
            ++checked;
            EXPECT_NE(ClockCursor(window, d, shown.Reversing()), cursors[d]) << "its time moves";
            EXPECT_GT(Rms(heard, heard.size() / 2 - 4 * kPeriod, 4 * kPeriod), 0.003) << "it is heard";
        }
    }
    EXPECT_GT(checked, 20) << "the decks played long enough to be heard";
}

INSTANTIATE_TEST_SUITE_P(Seeds, TransportFuzz, ::testing::Values(1u, 2u, 3u));
