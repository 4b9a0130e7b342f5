// The deck window as a DJ works it, heard through Offline outputs running
// faster than real time.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>

#include "app/COrvo2Dlg.h"
#include "app/CZelCommandLineInfo.h"
#include "engine/EngineEvents.h"
#include "deck/CZelDeck2.h"
#include "deck/LedRing.h"
#include "deck/Tempo.h"
#include "engine/Engine.h"
#include "engine/EngineHarness.h"
#include "engine/Playback.h"
#include "output/CZelOutput.h"
#include "platform/sound/OfflineBackend.h"
#include "platform/sound/SoundSystem.h"
#include "settings/CZelSettings.h"
#include "support/AudioFixtures.h"
#include "ui/controls/CZelButton.h"
#include "ui/controls/CZelDualTextIndicator.h"
#include "ui/controls/CZelKnob.h"
#include "ui/controls/CZelLed.h"
#include "ui/controls/CZelSlide.h"
#include "ui/controls/CZelTextIndicator.h"

using namespace std::chrono_literals;
using platform::sound::OfflineBackend;
using testing_support::EngineHarness;

namespace {

constexpr double kSpeed = 4.0;  // the sound runs this many times faster than real time
constexpr int kRate = 44'100;

// Where the heard sound at frame `at` comes from in `source`, looked for
// within `range` frames of `expected`: the best normalised correlation of the
// left channel over 1,024 frames. The mix scales the sound, so samples do not
// match exactly. -1 when nothing there is alike.
long LocateInSource(const std::vector<int16_t>& source, const std::vector<int16_t>& heard, long at, long expected,
                    long range) {
    constexpr long kWindow = 1024;
    if (2 * (at + kWindow) > static_cast<long>(heard.size())) return -1;
    double heardEnergy = 0.0;
    for (long i = 0; i < kWindow; ++i) heardEnergy += double(heard[2 * (at + i)]) * heard[2 * (at + i)];
    long best = -1;
    double bestScore = 0.9;
    const long frames = static_cast<long>(source.size() / 2);
    for (long k = std::max(0L, expected - range); k <= std::min(frames - kWindow, expected + range); ++k) {
        double dot = 0.0, energy = 0.0;
        for (long i = 0; i < kWindow; ++i) {
            const double s = source[2 * (k + i)];
            dot += s * heard[2 * (at + i)];
            energy += s * s;
        }
        const double score = dot / std::sqrt(energy * heardEnergy + 1e-9);
        if (score > bestScore) {
            bestScore = score;
            best = k;
        }
    }
    return best;
}

// The start found may be late by the one mixing period of the fade-in, whose
// first samples round to silence; a block (67 ms) early or late is caught.
void ExpectStartAt(long start, long expected, const char* what) {
    EXPECT_GE(start, expected - kRate / 200) << what;
    EXPECT_LE(start, expected + kRate / 50) << what;
}

long FirstSound(const std::vector<int16_t>& heard) {
    long at = 0;
    while (2 * at < static_cast<long>(heard.size()) && heard[2 * at] == 0) ++at;
    return at;
}

class DeckWindow : public ::testing::Test {
protected:
    DeckWindow() : settings_(dir_.path() + "/settings.ini") {
        auto backend = std::make_unique<OfflineBackend>(
            std::vector<OfflineBackend::Device>{{"Desk", 2}, {"Phones", 2}}, kRate, 256);
        backend->SetPacing(kSpeed);
        backend->SetCaptureByDefault(true);
        offline_ = backend.get();
        sound_ = std::make_unique<platform::sound::SoundSystem>(std::move(backend));
        settings_.WriteShowTipOfTheDay(false);
        dialog_ = std::make_unique<COrvo2Dlg>(events_, commandLine_, *sound_, settings_);
        // Fades step at once, so where the sound starts is heard sharply
        // whatever the machine's load (a fade lasts one mixing period).
        dialog_->Playback().SetFadeStepWait([] {});
        EXPECT_TRUE(EngineHarness::WaitUntil([&] { return dialog_->MainOutput().IsOpen(); }));
    }
    ~DeckWindow() override { dialog_->done(0); }

    CZelDeck2& DeckA() { return dialog_->Deck(0); }
    template <typename Control>
    Control* Find(const char* name) {
        auto* control = DeckA().findChild<Control*>(name);
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    std::string Track(const char* name, std::vector<int16_t> samples) {
        const std::string path = QDir(dir_.path()).filePath(name).toStdString();
        EXPECT_TRUE(fixtures::WriteWav(path, samples, 2, kRate));
        return path;
    }
    // Chooses "Browse..." and picks the files in the file dialog.
    void Browse(const QStringList& files) {
        DeckA().SetFileChooser([files](QWidget*, const QString&) { return files; });
        DeckA().ChooseSource(CZelDeck2::kBrowseEntry);
    }
    void Load(const std::string& path) {
        Browse({QString::fromStdString(path)});
        ASSERT_EQ(DeckA().Kind(), CZelDeck2::SourceKind::File);
    }
    void Click(CZelButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    // Lets the given seconds of sound play, the window's messages served.
    static void Listen(double audioSeconds) {
        QElapsedTimer clock;
        clock.start();
        const auto wait = static_cast<qint64>(audioSeconds / kSpeed * 1000.0);
        while (clock.elapsed() < wait) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    std::vector<int16_t> Heard() { return offline_->StreamOf("Desk")->TakeCapture(); }
    void SeekTo(double fraction) {
        auto* slide = Find<CZelSlide>("positionSlide");
        slide->SetValue(fraction);
        DeckA().SeekToSlide();
    }
    // The file position where the sound heard since the last listen began.
    long StartOfHeardSound(const std::vector<int16_t>& source, long expected) {
        const auto heard = Heard();
        // Past the fade-in, the sound is the file's; step back to where it began.
        const long first = FirstSound(heard);
        const long probe = first + kRate / 2;
        const long from = LocateInSource(source, heard, probe, expected + kRate / 2, kRate / 2);
        return from < 0 ? -1 : from - (probe - first);
    }

    QTemporaryDir dir_;
    engine::EngineEvents events_;
    app::CZelCommandLineInfo commandLine_;
    OfflineBackend* offline_ = nullptr;
    std::unique_ptr<platform::sound::SoundSystem> sound_;
    CZelSettings settings_;
    std::unique_ptr<COrvo2Dlg> dialog_;
};

}  // namespace

TEST(Tempo, FrequencyAndPercentShown) {
    EXPECT_EQ(deck::TempoFrequency(0.0, 44'100), 44'100u);
    EXPECT_EQ(deck::TempoFrequency(5.0, 44'100), 46'305u);
    EXPECT_EQ(deck::TempoFrequency(-2.34, 48'000), 46'876u);
    EXPECT_EQ(deck::TempoFrequency(60.0, 44'100), 70'560u) << "the frequency is not limited";
    EXPECT_EQ(deck::TempoPercentText(0.0), "0.0%");
    EXPECT_EQ(deck::TempoPercentText(5.0), "5.0%");
    EXPECT_EQ(deck::TempoPercentText(-2.34), "-2.3%");
    EXPECT_EQ(deck::TempoPercentText(0.35), "0.3%");
    EXPECT_EQ(deck::TempoPercentText(-0.06), "0.0%");
    EXPECT_EQ(deck::TempoPercentText(-0.15), "-0.1%") << "a hundredth away from zero, then down to the tenth";
    EXPECT_EQ(deck::TempoPercentText(12.0), "12.0%");
    EXPECT_EQ(deck::TempoPercentText(60.0), "50.0%");
    EXPECT_EQ(deck::TempoPercentText(-75.0), "-50.0%");
}

TEST(LedRing, LampsSitOnACircleRoundTheDialAndCountRound) {
    const QRect dial(100, 50, 200, 160);  // h = 80, radius 88
    const auto places = deck::LedRingPlaces(dial, 10);
    const QPointF centre = QRectF(dial).center();
    for (int k = 0; k < deck::kLedCount; ++k) {
        const QPointF d = QRectF(places[k]).center() - centre;
        EXPECT_NEAR(std::hypot(d.x(), d.y()), 88.0, 0.8) << k;
        EXPECT_EQ(places[k].size(), QSize(10, 10));
    }
    EXPECT_NEAR(QRectF(places[0]).center().x(), centre.x() + 88, 0.6) << "lamp 0 is on the right";
    EXPECT_GT(QRectF(places[1]).center().y(), centre.y()) << "and the ring turns clockwise";
    EXPECT_EQ(deck::NextLed(26), 0);
    EXPECT_EQ(deck::PreviousLed(0), 26);
}

TEST_F(DeckWindow, TheChooserHoldsOneFileAndABadFileLeavesNothingLoaded) {
    EXPECT_EQ(DeckA().windowTitle(), "Deck A");
    EXPECT_EQ(dialog_->Deck(1).windowTitle(), "Deck B");
    EXPECT_EQ(CZelDeck2::FileFilter(), "Files (*.mp3 *.wav *.wma);;All Files (*)");
    auto* chooser = Find<QComboBox>("sourceChooser");
    EXPECT_EQ(chooser->count(), 2);
    EXPECT_EQ(chooser->currentText(), "Nothing Loaded");
    Click(Find<CZelButton>("playPause"));
    EXPECT_FALSE(DeckA().Playing()) << "play with nothing loaded does nothing";
    EXPECT_FALSE(Find<CZelButton>("playPause")->Value());

    const std::string a = Track("a.wav", fixtures::Noise(kRate * 3, 2, 1));
    const std::string b = Track("b.wav", fixtures::Noise(kRate * 4, 2, 2));
    Browse({QString::fromStdString(a), QString::fromStdString(b)});
    EXPECT_EQ(chooser->currentText().toStdString(), a) << "the first chosen file is loaded";
    EXPECT_NEAR(DeckA().Length(), 3.0, 0.01);
    Load(b);
    EXPECT_EQ(chooser->count(), 3) << "the new path replaces the old one";
    EXPECT_EQ(chooser->currentText().toStdString(), b);

    // A file that is not audio: the user is told, and the deck holds nothing.
    const QString bad = dir_.path() + "/notes.mp3";
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(50'000, 'x'));
    file.close();
    QString told;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            told = box->text();
            box->accept();
        }
    });
    answer.start(10);
    Browse({bad});
    answer.stop();
    EXPECT_EQ(told, "File Not Recognized");
    EXPECT_EQ(chooser->currentText(), "Nothing Loaded");
    EXPECT_EQ(chooser->count(), 2);
    EXPECT_EQ(DeckA().Kind(), CZelDeck2::SourceKind::None);
    EXPECT_EQ(dialog_->Engine().Kind(0), engine::SourceKind::None);

    // Closing the window unloads the deck.
    Load(a);
    DeckA().close();
    EXPECT_EQ(chooser->currentText(), "Nothing Loaded");
    EXPECT_EQ(dialog_->Engine().Kind(0), engine::SourceKind::None);
}

TEST_F(DeckWindow, PausingWithTheCueOnGoesBackToTheCuePoint) {
    const auto source = fixtures::Noise(kRate * 20, 2, 3, 0.4);
    Load(Track("noise.wav", source));
    SeekTo(0.5);
    auto* cue = Find<CZelButton>("cue");
    auto* play = Find<CZelButton>("playPause");
    Click(cue);
    ASSERT_TRUE(DeckA().IsCueOn());
    EXPECT_DOUBLE_EQ(DeckA().CuePoint(), 10.0);
    EXPECT_EQ(Find<CZelDualTextIndicator>("time")->SecondText(), "00:00:10");

    Click(play);
    EXPECT_TRUE(DeckA().Playing());
    EXPECT_TRUE(play->Value());
    Listen(2.0);
    Click(play);
    EXPECT_FALSE(DeckA().Playing());
    EXPECT_DOUBLE_EQ(Find<CZelSlide>("positionSlide")->Value(), 0.5) << "back at the cue point";
    EXPECT_EQ(Find<CZelDualTextIndicator>("time")->Shown(), 1) << "showing the cue time";

    Heard();
    Click(play);
    Listen(1.5);
    const long start = StartOfHeardSound(source, 10 * kRate);
    ExpectStartAt(start, 10 * kRate, "play goes on from the cue point");

    // With the cue off, pausing stays where it is.
    Click(cue);
    EXPECT_FALSE(DeckA().IsCueOn());
    Listen(1.0);
    Click(play);
    EXPECT_GT(Find<CZelSlide>("positionSlide")->Value(), 0.55);
}

TEST_F(DeckWindow, FastForwardMovesTheSlideWhileHeldAndTheSoundFollowsOnRelease) {
    const auto source = fixtures::Noise(kRate * 30, 2, 4, 0.4);
    Load(Track("long.wav", source));
    auto* slide = Find<CZelSlide>("positionSlide");
    auto* forward = Find<CZelButton>("fastForward");
    QTest::mousePress(forward, Qt::LeftButton);
    QElapsedTimer held;
    held.start();
    while (held.elapsed() < 1000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double moved = slide->Value() * 30.0;
    EXPECT_NEAR(moved, 5.0, 1.01) << "one second per 200 ms";
    QTest::mouseRelease(forward, Qt::LeftButton);
    const double landed = slide->Value() * 30.0;

    Click(Find<CZelButton>("playPause"));
    Listen(1.5);
    const long start = StartOfHeardSound(source, static_cast<long>(landed * kRate));
    ExpectStartAt(start, static_cast<long>(landed * kRate), "the sound follows the slide after the release");

    // Rewind while playing: the deck plays on from the earlier place.
    auto* rewind = Find<CZelButton>("rewind");
    QTest::mousePress(rewind, Qt::LeftButton);
    held.restart();
    while (held.elapsed() < 600) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QTest::mouseRelease(rewind, Qt::LeftButton);
    EXPECT_TRUE(DeckA().Playing()) << "winding does not stop a playing deck";
    EXPECT_LT(slide->Value() * 30.0, landed);
}

TEST_F(DeckWindow, TempoRetunesForwardPlayButBackwardPlayKeepsTheSourceRate) {
    Load(Track("tone.wav", fixtures::Sine(1000.0, 20.0, kRate, 2)));
    auto* tempo = Find<CZelSlide>("tempoSlide");
    tempo->SetValue(5.0);
    EXPECT_EQ(Find<CZelTextIndicator>("tempoPercent")->Text(), "5.0%");
    EXPECT_EQ(dialog_->MainOutput().Device()->Frequency(0), 46'305u) << "set at once, also while paused";

    Click(Find<CZelButton>("playPause"));
    Listen(1.0);
    Heard();
    Listen(1.0);
    auto heard = Heard();
    ASSERT_GT(heard.size(), 2u * 8192);
    EXPECT_NEAR(fixtures::DominantFrequency(heard.data() + heard.size() - 2 * 8192, 8192, 2, 0, kRate), 1050.0,
                3.0);

    auto* reverse = Find<CZelButton>("reversePlay");
    ASSERT_TRUE(reverse->isEnabled());
    QTest::mousePress(reverse, Qt::LeftButton);
    EXPECT_TRUE(DeckA().Reversing());
    EXPECT_TRUE(dialog_->Playback().PlayingBackward(0));
    Heard();
    Listen(1.0);
    heard = Heard();
    ASSERT_GT(heard.size(), 2u * 8192);
    EXPECT_NEAR(fixtures::DominantFrequency(heard.data() + heard.size() - 2 * 8192, 8192, 2, 0, kRate), 1000.0,
                3.0)
        << "the backward buffers are never retuned";
    QTest::mouseRelease(reverse, Qt::LeftButton);
    EXPECT_FALSE(DeckA().Reversing());
    EXPECT_TRUE(dialog_->Playback().PlayingForward(0));
    EXPECT_FALSE(dialog_->Playback().PlayingBackward(0));
}

TEST_F(DeckWindow, TheJogDialMovesTheCueAcrossItsEndAndReversesAPlayingDeck) {
    Load(Track("jog.wav", fixtures::Noise(kRate * 20, 2, 5)));
    SeekTo(0.5);
    Click(Find<CZelButton>("cue"));
    auto* jog = Find<CZelKnob>("jogDial");
    jog->SetValue(0.1);
    EXPECT_NEAR(DeckA().CuePoint(), 10.1, 1e-9);
    jog->SetValue(1.9);  // backwards across the dial's end
    EXPECT_NEAR(DeckA().CuePoint(), 9.9, 1e-9) << "a small step, not a whole turn";
    for (int i = 0; i < 15; ++i) jog->SetValue(std::fmod(1.9 - 0.9 * (i + 1) + 20.0, 2.0));
    EXPECT_DOUBLE_EQ(DeckA().CuePoint(), 0.0) << "never before the start";
    QTest::mousePress(jog, Qt::LeftButton, {}, jog->rect().center());
    QTest::mouseRelease(jog, Qt::LeftButton, {}, jog->rect().center());
    EXPECT_DOUBLE_EQ(Find<CZelSlide>("positionSlide")->Value(), 0.0) << "the moved cue point is the play position";

    // Playing: turning backwards for more than 0.3 s plays backwards.
    Click(Find<CZelButton>("playPause"));
    Listen(2.0);
    auto turn = [&](double step) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 500) {
            jog->SetValue(std::fmod(jog->Value() + step + 2.0, 2.0));
            QCoreApplication::processEvents(QEventLoop::AllEvents, 40);
        }
    };
    turn(-0.02);
    EXPECT_TRUE(DeckA().Reversing());
    EXPECT_TRUE(dialog_->Playback().PlayingBackward(0));
    turn(+0.02);
    EXPECT_FALSE(DeckA().Reversing()) << "turning forwards again ends it";
    EXPECT_TRUE(dialog_->Playback().PlayingForward(0));
}

TEST_F(DeckWindow, TheLampsTurnOnceEvery27BlocksAndTheTrackEndStopsTheDeck) {
    // Six seconds are 90 blocks of 2,940 frames: at normal tempo 15 blocks a
    // second, so 27 lamps turn once every 1.8 s, 100 turns in 180 s.
    Load(Track("short.wav", fixtures::Noise(kRate * 6, 2, 6)));
    int steps = 0;
    for (int k = 0; k < deck::kLedCount; ++k) {
        QObject::connect(Find<CZelLed>(QString("turntableLed%1").arg(k).toUtf8().constData()), &CZelLed::ValueChanged,
                         [&](bool on) { steps += on ? 1 : 0; });
    }
    Click(Find<CZelButton>("playPause"));
    ASSERT_TRUE(EngineHarness::WaitUntil([&] { return DeckA().AtEnd(); }, 20s));
    EXPECT_FALSE(DeckA().Playing());
    EXPECT_FALSE(Find<CZelButton>("playPause")->Value());
    EXPECT_FALSE(Find<CZelButton>("reversePlay")->isEnabled());
    EXPECT_NEAR(steps, 90, 2) << "one lamp step per block played";
    ASSERT_TRUE(EngineHarness::WaitUntil([&] { return !dialog_->Playback().PlayingForward(0); }));

    // Back to the start after the end: the file plays again.
    SeekTo(0.0);
    Heard();
    Click(Find<CZelButton>("playPause"));
    Listen(1.0);
    const auto heard = Heard();
    EXPECT_LT(FirstSound(heard), static_cast<long>(heard.size() / 2)) << "sound after seeking back from the end";
    EXPECT_TRUE(DeckA().Playing());
}
