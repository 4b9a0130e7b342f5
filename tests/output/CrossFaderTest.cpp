// The cross faders: curves, the gains they set on the decks' buffers, the cue
// mark that starts a cued deck, and the levels and curve kept in the settings.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cmath>
#include <vector>

#include "output/CZelCrossFader.h"
#include "output/CZelMixerControls.h"
#include "output/CZelOutput.h"
#include "settings/CZelSettings.h"
#include "support/SoundRig.h"

using namespace output;
using namespace platform::sound;

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
        main_ = std::make_unique<CZelOutput>(*rig_.system);
        headphones_ = std::make_unique<CZelOutput>(*rig_.system);
        main_->Open(OfflineBackend::IdOf("Desk"), "Desk");
        headphones_->Open(OfflineBackend::IdOf("Phones"), "Phones");
        for (CZelOutput* output : {main_.get(), headphones_.get()}) {
            for (int deck : {kA, kB})
                EXPECT_EQ(output->Device()->CreateDeckBuffers(deck, 44'100, nullptr, nullptr), kOk);
        }
        settings_ = std::make_unique<CZelSettings>(dir_.filePath("Orvo 2.ini"));
        mixer_ = std::make_unique<CZelMixerControls>(*main_, *headphones_, *settings_);
        mixer_->SetDecks(&decks_);
    }

    // The deck's volume on an output; both of its buffers must agree.
    static long Volume(const CZelOutput& output, int deck) {
        long forward = 1, backward = 2;
        output.Device()->ForwardBuffer(deck)->GetVolume(&forward);
        output.Device()->BackwardBuffer(deck)->GetVolume(&backward);
        EXPECT_EQ(forward, backward);
        return forward;
    }
    void SetLevels(double a, double b) {
        mixer_->OnLevelChanged(kA, a);
        mixer_->OnLevelChanged(kB, b);
    }

    QTemporaryDir dir_;
    sound_tests::SoundRig rig_{{{"Desk", 2}, {"Phones", 2}}};
    std::unique_ptr<CZelOutput> main_, headphones_;
    std::unique_ptr<CZelSettings> settings_;
    std::unique_ptr<CZelMixerControls> mixer_;
    FakeDecks decks_;
};

}  // namespace

TEST_F(CrossFaderTest, StraightCurveGivesEachDeckItsShareOfTheFader) {
    EXPECT_EQ(CZelCrossFader::StepOf(-1.0), 0);
    EXPECT_EQ(CZelCrossFader::StepOf(0.0), 49);
    EXPECT_EQ(CZelCrossFader::StepOf(1.0), 98);
    EXPECT_EQ(mixer_->MainCrossFader().DeckGain(kA), 1.0) << "before any apply";

    SetLevels(1.0, 1.0);
    mixer_->OnCurveChanged(0.0);
    mixer_->OnMainCrossFaderChanged(-1.0);
    EXPECT_DOUBLE_EQ(mixer_->MainCrossFader().DeckGain(kA), 98.0 / 99.0);
    EXPECT_EQ(mixer_->MainCrossFader().DeckGain(kB), 0.0);
    EXPECT_EQ(Volume(*main_, kA), -57) << "5600 * 98/99 = 5543.4";
    EXPECT_EQ(Volume(*main_, kB), kSilence);
    // The headphones fader starts at the other end.
    EXPECT_EQ(Volume(*headphones_, kA), kSilence);
    EXPECT_EQ(Volume(*headphones_, kB), -57);

    mixer_->OnMainCrossFaderChanged(0.0);
    EXPECT_DOUBLE_EQ(mixer_->MainCrossFader().DeckGain(kA), 49.0 / 99.0);
    EXPECT_DOUBLE_EQ(mixer_->MainCrossFader().DeckGain(kB), 49.0 / 99.0);
    EXPECT_EQ(Volume(*main_, kA), -2829) << "5600 * 49/99 = 2771.7";
    EXPECT_EQ(Volume(*main_, kB), -2829);
    EXPECT_EQ(Volume(*headphones_, kA), kSilence) << "the other output keeps its fader";
}

TEST_F(CrossFaderTest, CurveShapes) {
    mixer_->OnCurveChanged(1.0);
    const CZelCrossFader& fader = mixer_->MainCrossFader();
    for (int i = 0; i < CZelCrossFader::kSteps; ++i) {
        SCOPED_TRACE(i);
        // Full gain up to the centre, then a straight fall of 1/49.5 a step.
        EXPECT_NEAR(fader.CurveA()[i], i <= 49 ? 1.0 : (98 - i) / 49.5, 1e-12);
        EXPECT_NEAR(fader.CurveB()[i], i >= 49 ? 1.0 : i / 49.5, 1e-12);
        EXPECT_EQ(mixer_->HeadphonesCrossFader().CurveB()[i], fader.CurveB()[i])
            << "one curve for both outputs";
    }
    mixer_->OnCurveChanged(-1.0);
    for (int i = 0; i < CZelCrossFader::kSteps; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(fader.CurveB()[i], std::cbrt(i / 99.0), 1e-12);
        EXPECT_NEAR(fader.CurveA()[i], std::cbrt((98 - i) / 99.0), 1e-12);
    }
    // Half way to a fast cut: the rise spans 74.25 steps.
    mixer_->OnCurveChanged(0.5);
    EXPECT_NEAR(fader.CurveB()[73], 73 / 74.25, 1e-12);
    EXPECT_EQ(fader.CurveB()[74], 1.0);
    // The graph's x runs from -1 in steps of 2/99, in single precision.
    const auto& x = CZelCrossFader::GraphX();
    EXPECT_EQ(x[0], -1.0);
    EXPECT_NEAR(x[98], 97.0 / 99.0, 1e-6);
    EXPECT_EQ(static_cast<double>(static_cast<float>(x[50])), x[50]);
}

TEST_F(CrossFaderTest, LevelsScaleTheCurveGainAndNewBuffersGetTheGains) {
    mixer_->OnCurveChanged(1.0);
    mixer_->OnMainCrossFaderChanged(0.0);
    SetLevels(0.7, 0.25);
    EXPECT_EQ(Volume(*main_, kA), -1681) << "5600 * 0.7 falls just short of 3920";
    EXPECT_EQ(Volume(*main_, kB), -4200);
    mixer_->OnMainCrossFaderChanged(0.5);  // step 73: Deck A at 25/49.5
    EXPECT_EQ(Volume(*main_, kA), 1979 - 5600);

    // New buffers play at full volume until the engine has the gains applied again.
    main_->Device()->ReleaseDeckBuffers(kA);
    ASSERT_EQ(main_->Device()->CreateDeckBuffers(kA, 44'100, nullptr, nullptr), kOk);
    EXPECT_EQ(Volume(*main_, kA), 0);
    static_cast<output::MixLink&>(*mixer_).ApplyBothCrossFaders();
    EXPECT_EQ(Volume(*main_, kA), 1979 - 5600);

    // Without a device only the deck gains change.
    main_->Close();
    mixer_->OnMainCrossFaderChanged(-1.0);
    EXPECT_EQ(mixer_->MainCrossFader().DeckGain(kA), 1.0);
    EXPECT_EQ(mixer_->MainCrossFader().DeckGain(kB), 0.0);
}

TEST_F(CrossFaderTest, CrossingTheCueMarkStartsTheCuedStoppedDeck) {
    mixer_->OnCueOnChanged(true);
    mixer_->OnMainCrossFaderChanged(-0.5);
    EXPECT_TRUE(decks_.started.empty());
    mixer_->OnMainCrossFaderChanged(0.5);
    EXPECT_EQ(decks_.started, std::vector<int>{kB});
    mixer_->OnMainCrossFaderChanged(-0.5);
    EXPECT_EQ(decks_.started, (std::vector<int>{kB, kA}));

    // Arriving on the mark counts; leaving it to the same side does not.
    decks_.started.clear();
    mixer_->OnMainCrossFaderChanged(0.0);
    mixer_->OnMainCrossFaderChanged(0.5);
    EXPECT_EQ(decks_.started, std::vector<int>{kB});

    // A playing deck, or one whose Cue is off, is left alone.
    decks_.started.clear();
    decks_.playing[kA] = true;
    mixer_->OnMainCrossFaderChanged(-0.5);
    decks_.cue[kB] = false;
    mixer_->OnMainCrossFaderChanged(0.5);
    EXPECT_TRUE(decks_.started.empty());

    // A moved mark; then the headphones fader (the main one rests right of the
    // mark), and the cue off.
    decks_.cue[kB] = true;
    mixer_->OnCueMarkMoved(0.75);
    mixer_->OnMainCrossFaderChanged(0.8);
    EXPECT_EQ(decks_.started, std::vector<int>{kB});
    mixer_->ResetCueMark();
    EXPECT_EQ(mixer_->CueMark(), 0.0);
    decks_.started.clear();
    decks_.playing[kA] = false;
    mixer_->OnHeadphonesCrossFaderChanged(-1.0);
    mixer_->OnHeadphonesCrossFaderChanged(1.0);
    mixer_->OnCueOnChanged(false);
    mixer_->OnMainCrossFaderChanged(-0.5);
    mixer_->OnMainCrossFaderChanged(0.5);
    EXPECT_TRUE(decks_.started.empty());
}

TEST_F(CrossFaderTest, LevelsAndCurveAreSavedAndRestored) {
    mixer_->OnLevelChanged(kB, 0.25);
    EXPECT_EQ(settings_->Level(kB).value, 0.25f);
    EXPECT_FALSE(settings_->ValueExists("levelDeckA"));

    mixer_->OnCurveChanged(-0.5);
    EXPECT_EQ(settings_->CrossFaderCurvePosition().value, -0.5f);
    mixer_->ResetCurve();
    EXPECT_EQ(settings_->CrossFaderCurvePosition().value, 0.0f);
    EXPECT_DOUBLE_EQ(mixer_->MainCrossFader().CurveB()[98], 98.0 / 99.0) << "straight line again";

    // A fresh start takes the saved values and sets both outputs by them.
    settings_->WriteLevel(kA, 0.5f);
    settings_->WriteCrossFaderCurvePosition(1.0f);
    CZelMixerControls restarted(*main_, *headphones_, *settings_);
    restarted.RestoreFromSettings();
    EXPECT_EQ(restarted.Level(kA), 0.5);
    EXPECT_EQ(restarted.Level(kB), 0.25);
    EXPECT_EQ(restarted.CurvePosition(), 1.0);
    EXPECT_EQ(restarted.MainCrossFader().CurveA()[49], 1.0);
    EXPECT_EQ(Volume(*main_, kA), -2800) << "main fader at -1: full curve gain times 0.5";
    EXPECT_EQ(Volume(*main_, kB), kSilence);
    EXPECT_EQ(Volume(*headphones_, kB), -4200);
}
