// The keyboard plays the mixer: held keys move their slides a step per poll,
// single keys seek, cue, play and throw the cross fader, from the main window
// or a tool window, and nothing acts while the play list is active or the
// program is in the background. The poll is made by the test, one at a time.

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include "app/MainWindowKeys.h"
#include "app/SteppedDesk.h"
#include "dsp/CZelEqualizer2.h"
#include "platform/keyboard/KeyboardEnabled.h"
#include "playlist/CZelPlayList2.h"

using platform::keyboard::KeyState;
using testing_support::Find;
using testing_support::SteppedDesk;

namespace {

class Keyboard : public ::testing::Test {
protected:
    Keyboard() {
        // The test polls; the program's own poll thread would race it.
        window.Keys().Poller().Stop();
    }
    void Poll(int times = 1) {
        Active();
        for (int i = 0; i < times; ++i) window.Keys().Poller().PollOnce();
    }
    // A key pressed and let go in a window of the program, delivered at once
    // (QTest would first deliver whatever activations Qt still has queued).
    void Click(QWidget& widget, Qt::Key key) {
        Active();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(&widget, &press);
        QApplication::sendEvent(&widget, &release);
    }
    // The program is the active application and the play list not the active
    // window. Offscreen, Qt activates and deactivates windows as they come
    // and go, at times of its own; that is not under test here.
    static void Active() {
        platform::keyboard::SetApplicationActive(true);
        platform::keyboard::SetPlayListActive(false);
    }
    CZelSlide* MainSlide(app::MainWindowControls::Id id) { return window.Controls().Slide(id); }

    SteppedDesk desk;
    COrvo2Dlg& window = desk.Window();
    KeyState& keys = window.Keys().Keys();
};

}  // namespace

TEST_F(Keyboard, HeldKeysMoveTheirSlidesStepByStepWithinTheirRange) {
    using Id = app::MainWindowControls::Id;
    CZelSlide* fader = MainSlide(Id::kMainCrossFader);

    // N with Shift: -1 to +1 in 20 polls; without, in 400. The sound follows.
    fader->SetValue(-1.0);
    keys.Press(platform::keyboard::kScanN);
    keys.Press(platform::keyboard::kScanLeftShift);
    Poll(19);
    EXPECT_LT(fader->Value(), 0.95);
    Poll(1);
    EXPECT_NEAR(fader->Value(), 1.0, 1e-9);
    EXPECT_NEAR(window.Mixer().MainPosition(), 1.0, 1e-9);
    keys.Release(platform::keyboard::kScanLeftShift);
    fader->SetValue(-1.0);
    Poll(399);
    EXPECT_LT(fader->Value(), 1.0 - 1e-6);
    Poll(1);
    EXPECT_NEAR(fader->Value(), 1.0, 1e-9);
    Poll(5);
    EXPECT_EQ(fader->Value(), 1.0) << "held on at the end, it stays there";
    // With Ctrl it is the headphones cross fader.
    keys.Press(platform::keyboard::kScanRightControl);
    const double phones = MainSlide(Id::kHeadphonesCrossFader)->Value();
    keys.Release(platform::keyboard::kScanN);
    keys.Press(platform::keyboard::kScanB);
    Poll(2);
    EXPECT_NEAR(MainSlide(Id::kHeadphonesCrossFader)->Value(), phones - 0.01, 1e-9);
    EXPECT_EQ(fader->Value(), 1.0);
    keys.ReleaseAll();

    // Page Up at the top leaves the master volume at 1; Ctrl+End does nothing.
    MainSlide(Id::kMasterVolume)->SetValue(1.0);
    keys.Press(platform::keyboard::kScanPageUp);
    Poll(3);
    EXPECT_EQ(MainSlide(Id::kMasterVolume)->Value(), 1.0);
    keys.ReleaseAll();
    const double curve = MainSlide(Id::kCurve)->Value();
    keys.Press(platform::keyboard::kScanLeftControl);
    keys.Press(platform::keyboard::kScanEnd);
    Poll(3);
    EXPECT_EQ(MainSlide(Id::kCurve)->Value(), curve);
    keys.ReleaseAll();

    // Several keys held at once each take their step in one poll, in the
    // poll's order: T (a letter of the top row) before N, with deck B's first
    // band under Ctrl+A.
    std::vector<std::string> order;
    QObject::connect(MainSlide(Id::kLevelA), &CZelSlide::ValueChanged, [&] { order.push_back("T"); });
    QObject::connect(fader, &CZelSlide::ValueChanged, [&] { order.push_back("N"); });
    fader->SetValue(0.0);
    order.clear();
    MainSlide(Id::kLevelA)->SetValue(0.5);
    order.clear();
    for (int scan : {platform::keyboard::kScanN, platform::keyboard::kScanT}) keys.Press(scan);
    Poll(1);
    EXPECT_EQ(order, (std::vector<std::string>{"T", "N"}));
    EXPECT_NEAR(window.Mixer().Level(0), 0.502, 1e-9);
    EXPECT_NEAR(fader->Value(), 0.005, 1e-9);
    keys.ReleaseAll();
    CZelSlide* bandB = Find<CZelSlide>(window.Equalizer(1), "eqBandSlide1");
    CZelSlide* bandA = Find<CZelSlide>(window.Equalizer(0), "eqBandSlide1");
    const double a = bandA->Value(), b = bandB->Value();
    keys.Press(platform::keyboard::kScanLeftControl);
    keys.Press(platform::keyboard::kScanA);
    Poll(2);
    EXPECT_NEAR(bandB->Value(), b + 0.01, 1e-9);
    EXPECT_EQ(bandA->Value(), a);

    // Losing the keyboard lets every key go: the band stands still.
    QEvent deactivate(QEvent::ApplicationDeactivate);
    QApplication::sendEvent(qApp, &deactivate);
    Poll(3);
    EXPECT_NEAR(bandB->Value(), b + 0.01, 1e-9);

    // While the play list is active nothing moves.
    keys.Press(platform::keyboard::kScanA);
    platform::keyboard::SetPlayListActive(true);
    for (int i = 0; i < 3; ++i) window.Keys().Poller().PollOnce();
    EXPECT_EQ(bandA->Value(), a);
    platform::keyboard::SetPlayListActive(false);
    Poll(1);
    EXPECT_NEAR(bandA->Value(), a + 0.005, 1e-9);
}

TEST_F(Keyboard, KeyEventsFeedTheStateByKeyButNotFromATextField) {
    QTest::keyPress(&window, Qt::Key_N);
    EXPECT_TRUE(keys.IsDown(platform::keyboard::kScanN));
    QTest::keyRelease(&window, Qt::Key_N);
    EXPECT_FALSE(keys.IsDown(platform::keyboard::kScanN));

    // Typing in the play list's find box is typing, not playing.
    CZelPlayList2& list = window.PlayList();
    auto* find = Find<QLineEdit>(list, "findBox");
    QTest::keyPress(find, Qt::Key_N);
    EXPECT_FALSE(keys.IsDown(platform::keyboard::kScanN));
    QTest::keyRelease(find, Qt::Key_N);
}

TEST_F(Keyboard, SingleKeysSeekCueAndPlayFromAnyWindowButThePlayList) {
    using Id = app::MainWindowControls::Id;
    const auto noise = fixtures::Noise(10 * SteppedDesk::kRate, 2, 17, 0.4);
    const std::string path = desk.files.Wav("noise.wav", noise);
    desk.Load(0, path);
    desk.Load(1, path);
    engine::DeckTransport& a = desk.Deck(0).Transport();
    engine::DeckTransport& b = desk.Deck(1).Transport();

    // 3 puts deck A at 0.4 of its track, 0 deck B at 0.8: played, each is
    // heard from there.
    Click(window, Qt::Key_3);
    Click(window, Qt::Key_0);
    EXPECT_NEAR(Find<CZelSlide>(desk.Deck(0), "positionSlide")->Value(), 0.4, 1e-9);
    EXPECT_NEAR(Find<CZelSlide>(desk.Deck(1), "positionSlide")->Value(), 0.8, 1e-9);
    EXPECT_NEAR(a.Position(), 4.0, 1e-6);
    EXPECT_NEAR(b.Position(), 8.0, 1e-6);
    MainSlide(Id::kMainCrossFader)->SetValue(-1.0);  // deck A alone on the main output
    desk.Heard("Desk");
    Click(window, Qt::Key_W);
    EXPECT_TRUE(a.Playing());
    desk.RenderSeconds(1.0);
    auto heard = desk.Heard("Desk");
    const size_t at = testing_support::FirstSound(heard) + SteppedDesk::kRate / 2;
    const double gain = testing_support::Rms(heard, at, 2048) / testing_support::Rms(noise, 0, 44'100);
    const auto from = testing_support::FindInSource(noise, heard, at, gain, 0.03 * 32768 * 0.4);
    ASSERT_TRUE(from);
    EXPECT_NEAR(static_cast<double>(*from) - SteppedDesk::kRate / 2, 4.0 * SteppedDesk::kRate,
                SteppedDesk::kRate / 50.0);
    Click(window, Qt::Key_W);
    EXPECT_FALSE(a.Playing());

    // Q and O toggle the cue buttons; P plays deck B.
    Click(window, Qt::Key_Q);
    EXPECT_TRUE(a.IsCueOn());
    Click(window, Qt::Key_Q);
    EXPECT_FALSE(a.IsCueOn());
    Click(window, Qt::Key_O);
    EXPECT_TRUE(b.IsCueOn());
    Click(window, Qt::Key_P);
    EXPECT_TRUE(b.Playing());
    Click(window, Qt::Key_P);
    EXPECT_FALSE(b.Playing());

    // V and M throw the main cross fader, also from a deck's window and the
    // equalizer's.
    Click(desk.Deck(1), Qt::Key_M);
    EXPECT_EQ(MainSlide(Id::kMainCrossFader)->Value(), 1.0);
    EXPECT_EQ(window.Mixer().MainPosition(), 1.0);
    Click(window.Equalizer(0), Qt::Key_V);
    EXPECT_EQ(MainSlide(Id::kMainCrossFader)->Value(), -1.0);

    // Not while the play list is the active window.
    const double position = a.Position();
    platform::keyboard::SetPlayListActive(true);
    for (Qt::Key key : {Qt::Key_M, Qt::Key_1}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&window, &press);
    }
    EXPECT_EQ(MainSlide(Id::kMainCrossFader)->Value(), -1.0);
    EXPECT_EQ(a.Position(), position);
    platform::keyboard::SetPlayListActive(false);
}
