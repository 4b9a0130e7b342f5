// The cross faders: curves, the gains they set on the decks' buffers, the cue
// mark that starts a cued deck, and the levels and curve kept in the settings.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cmath>
#include <tuple>
#include <vector>

#include "output/CZelCrossFader.h"
#include "output/CZelMixerControls.h"
#include "output/CZelOutput.h"
#include "settings/CZelSettings.h"
#include "support/SoundRig.h"

using namespace output;
using namespace platform::sound;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

constexpr int kA = 0;
constexpr int kB = 1;
constexpr long kSilence = -10'000;

struct FakeDecks final : CZelMixerControls::Decks {
    bool IsCueOn(int deck) const override { return cue[deck]; }
    bool IsPlaying(int deck) const override { return playing[deck]; }
    void Start(int deck) override { started.push_back(deck); }

    bool cue[2] = {true, true};
    bool playing[2] = {false, false};
    std::vector<int> started;
};

class CrossFaderTest : public ::testing::Test {
protected:
    CrossFaderTest() {
        main_.Open(OfflineBackend::IdOf("Desk"), "Desk");
        headphones_.Open(OfflineBackend::IdOf("Phones"), "Phones");
        for (CZelOutput* output : {&main_, &headphones_}) {
            for (int deck : {kA, kB})
                EXPECT_EQ(output->Device()->CreateDeckBuffers(deck, 44'100, nullptr, nullptr), kOk);
        }
        mixer_.SetDecks(&decks_);
    }

    // The deck's volume on an output; both of its buffers must agree.
    static long Volume(const CZelOutput& output, int deck) {
        long forward = 1, backward = 2;
        output.Device()->ForwardBuffer(deck)->GetVolume(&forward);
        output.Device()->BackwardBuffer(deck)->GetVolume(&backward);
        EXPECT_EQ(forward, backward);
        return forward;
    }

    QTemporaryDir dir_;
    sound_tests::SoundRig rig_{{{"Desk", 2}, {"Phones", 2}}};
    CZelOutput main_{*rig_.system}, headphones_{*rig_.system};
    CZelSettings settings_{dir_.filePath("Orvo 2.ini")};
    CZelMixerControls mixer_{main_, headphones_, settings_};
    FakeDecks decks_;
};

}  // namespace

TEST_F(CrossFaderTest, TheCurveTheFadersAndTheLevelsSetEachDecksVolume) {
    // (curve, main fader, levels, Deck A's and Deck B's volume on the main output)
    for (const auto& [curve, fader, levelA, levelB, volumeA, volumeB] :
         std::vector<std::tuple<double, double, double, double, long, long>>{
             {0.0, -1.0, 1.0, 1.0, -57, kSilence},          // 5600 * 98/99 = 5543.4
             {0.0, 0.0, 1.0, 1.0, -2829, -2829},            // 5600 * 49/99 = 2771.7
             {1.0, 0.0, 0.7, 0.25, -1681, -4200},           // 5600 * 0.7 falls just short of 3920
             {1.0, 0.5, 0.7, 0.25, 1979 - 5600, -4200}}) {  // step 73: Deck A at 25/49.5
        mixer_.OnCurveChanged(curve);
        mixer_.OnLevelChanged(kA, levelA);
        mixer_.OnLevelChanged(kB, levelB);
        mixer_.OnMainCrossFaderChanged(fader);
        EXPECT_EQ(Volume(main_, kA), volumeA) << curve << " " << fader;
        EXPECT_EQ(Volume(main_, kB), volumeB) << curve << " " << fader;
    }
    // The headphones fader stays at its start, the other end.
    EXPECT_EQ(Volume(headphones_, kA), kSilence);
    EXPECT_EQ(Volume(headphones_, kB), -4200);

    // New buffers get the gains when the engine has them applied again.
    main_.Device()->ReleaseDeckBuffers(kA);
    ASSERT_EQ(main_.Device()->CreateDeckBuffers(kA, 44'100, nullptr, nullptr), kOk);
    static_cast<output::MixLink&>(mixer_).ApplyBothCrossFaders();
    EXPECT_EQ(Volume(main_, kA), 1979 - 5600);

    // Without a device only the deck gains change.
    main_.Close();
    mixer_.OnMainCrossFaderChanged(-1.0);
    EXPECT_EQ(mixer_.MainCrossFader().DeckGain(kA), 1.0);
    EXPECT_EQ(mixer_.MainCrossFader().DeckGain(kB), 0.0);
}

TEST_F(CrossFaderTest, CurveShapes) {
    // (curve, step, Deck B's gain there, which Deck A's mirrors): the straight
    // line, the fast cut at full gain from the centre on, and half way to it.
    const CZelCrossFader& fader = mixer_.MainCrossFader();
    for (const auto& [curve, step, gain] : std::vector<std::tuple<double, int, double>>{{0.0, 98, 98 / 99.0},
                                                                                        {0.0, 30, 30 / 99.0},
                                                                                        {1.0, 10, 10 / 49.5},
                                                                                        {1.0, 49, 1.0},
                                                                                        {1.0, 90, 1.0},
                                                                                        {0.5, 73, 73 / 74.25},
                                                                                        {0.5, 74, 1.0}}) {
        mixer_.OnCurveChanged(curve);
        EXPECT_NEAR(fader.CurveB()[step], gain, 1e-12) << curve << " " << step;
        EXPECT_NEAR(fader.CurveA()[98 - step], gain, 1e-12) << curve << " " << step;
        EXPECT_EQ(mixer_.HeadphonesCrossFader().CurveB()[step], fader.CurveB()[step]) << "one curve for both";
    }
    // The slow cut: a cube root.
    mixer_.OnCurveChanged(-1.0);
    EXPECT_NEAR(fader.CurveB()[30], std::cbrt(30 / 99.0), 1e-12);
    EXPECT_NEAR(fader.CurveA()[1], std::cbrt(97 / 99.0), 1e-12);
}

TEST_F(CrossFaderTest, CrossingTheCueMarkStartsTheCuedStoppedDeck) {
    // The decks the main fader's moves to `positions` start.
    const auto moves = [this](std::initializer_list<double> positions) {
        decks_.started.clear();
        for (const double x : positions) mixer_.OnMainCrossFaderChanged(x);
        return decks_.started;
    };
    mixer_.OnCueOnChanged(true);
    EXPECT_THAT(moves({-0.5}), IsEmpty());
    EXPECT_THAT(moves({0.5, -0.5}), ElementsAre(kB, kA));
    EXPECT_THAT(moves({0.0, 0.5}), ElementsAre(kB))
        << "arriving on the mark counts, leaving it to that side not";

    // A playing deck, or one whose Cue is off, is left alone.
    decks_.playing[kA] = true;
    EXPECT_THAT(moves({-0.5}), IsEmpty());
    decks_.cue[kB] = false;
    EXPECT_THAT(moves({0.5}), IsEmpty());

    decks_.cue[kB] = true;
    mixer_.OnCueMarkMoved(0.75);
    EXPECT_THAT(moves({0.8}), ElementsAre(kB));
    mixer_.ResetCueMark();
    EXPECT_EQ(mixer_.CueMark(), 0.0);

    // Only the main fader starts decks, and only while the cue is on.
    decks_.playing[kA] = false;
    decks_.started.clear();
    mixer_.OnHeadphonesCrossFaderChanged(-1.0);
    mixer_.OnHeadphonesCrossFaderChanged(1.0);
    EXPECT_THAT(decks_.started, IsEmpty());
    mixer_.OnCueOnChanged(false);
    EXPECT_THAT(moves({-0.5, 0.5}), IsEmpty());
}

TEST_F(CrossFaderTest, LevelsAndCurveAreSavedAndRestored) {
    mixer_.OnLevelChanged(kB, 0.25);
    EXPECT_EQ(settings_.Level(kB).value, 0.25f);
    EXPECT_FALSE(settings_.ValueExists("levelDeckA"));
    mixer_.OnCurveChanged(-0.5);
    EXPECT_EQ(settings_.CrossFaderCurvePosition().value, -0.5f);

    // A fresh start takes the saved values and sets both outputs by them.
    settings_.WriteLevel(kA, 0.5f);
    settings_.WriteCrossFaderCurvePosition(1.0f);
    CZelMixerControls restarted(main_, headphones_, settings_);
    restarted.RestoreFromSettings();
    EXPECT_EQ(restarted.Level(kA), 0.5);
    EXPECT_EQ(restarted.Level(kB), 0.25);
    EXPECT_EQ(restarted.CurvePosition(), 1.0);
    EXPECT_EQ(Volume(main_, kA), -2800) << "main fader at -1: full curve gain times 0.5";
    EXPECT_EQ(Volume(main_, kB), kSilence);
    EXPECT_EQ(Volume(headphones_, kB), -4200);
}
