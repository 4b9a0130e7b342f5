// Each deck's equalizer and effect as the output devices carry them: the chain
// on both of the deck's buffers, the parameters taken from the equalizer's
// bands and the effect slides, a playing deck faded around a change, a split
// device that refuses, and what a listener hears.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "dsp/DeckShaping.h"
#include "engine/SampleBlock.h"
#include "output/CZelOutput.h"
#include "output/CZelOutputDevice.h"
#include "platform/sound/SoundBuffer.h"
#include "platform/sound/fx/ClassIds.h"
#include "platform/sound/fx/Echo.h"
#include "platform/sound/fx/Gargle.h"
#include "platform/sound/fx/ParamEq.h"
#include "support/SoundRig.h"

using namespace output;
using namespace platform::sound;
using engine::kBlockFrames;

namespace {

constexpr int kA = 0;
constexpr int kB = 1;

// The classes of a buffer's chain, in order.
std::vector<EffectClassId> ChainOf(const SoundBuffer& buffer) {
    std::vector<EffectClassId> classes;
    SoundEffect* effect = nullptr;
    for (size_t i = 0; buffer.GetObjectInPath(i, &effect) == kOk; ++i) classes.push_back(effect->ClassId());
    return classes;
}

std::vector<EffectClassId> Repeat(const EffectClassId& id, size_t count,
                                  std::vector<EffectClassId> tail = {}) {
    std::vector<EffectClassId> classes(count, id);
    classes.insert(classes.end(), tail.begin(), tail.end());
    return classes;
}

template <typename Effect>
typename Effect::ParametersType ParametersOf(const SoundBuffer& buffer, size_t index = 0) {
    SoundEffect* effect = nullptr;
    typename Effect::ParametersType parameters{};
    EXPECT_EQ(buffer.GetObjectInPath(Effect::kClassId, index, &effect), kOk);
    if (Effect* typed = EffectCast<Effect>(effect)) typed->GetAllParameters(&parameters);
    return parameters;
}

// Both outputs on their own devices, each with both decks' buffers, sharing
// the decks' equalizers and effect slides.
class DeckChains : public ::testing::Test {
protected:
    DeckChains() {
        main_.Open(OfflineBackend::IdOf("Desk"), "Desk");
        headphones_.Open(OfflineBackend::IdOf("Phones"), "Phones");
        for (CZelOutput* out : {&main_, &headphones_})
            for (int deck : {kA, kB})
                EXPECT_EQ(out->Device()->CreateDeckBuffers(deck, 44'100, nullptr, nullptr), kOk);
    }

    CZelOutputDevice& Main() { return *main_.Device(); }
    // Every buffer of the deck on both outputs must carry the same chain.
    std::vector<EffectClassId> Chain(int deck) {
        const auto chain = ChainOf(*Main().ForwardBuffer(deck));
        for (CZelOutput* out : {&main_, &headphones_}) {
            EXPECT_EQ(ChainOf(*out->Device()->ForwardBuffer(deck)), chain);
            EXPECT_EQ(ChainOf(*out->Device()->BackwardBuffer(deck)), chain);
        }
        return chain;
    }
    template <typename Operation>
    void OnBoth(Operation operation) {
        for (CZelOutput* out : {&headphones_, &main_}) operation(*out->Device());
    }

    sound_tests::SoundRig rig_{{{"Desk", 2}, {"Phones", 2}}};
    dsp::DeckShaping shaping_;
    CZelOutput main_{*rig_.system, &shaping_}, headphones_{*rig_.system, &shaping_};
};

}  // namespace

TEST_F(DeckChains, TheEqualizerBandsComeFirstAndTheEffectLast) {
    CZelFilterBank& eq = shaping_.Equalizer(kA);
    eq.Design(5);
    eq.SetBandGain(2, 1.1f);
    OnBoth([](CZelOutputDevice& d) { EXPECT_EQ(d.SetEffect(kA, "Echo"), kOk); });
    EXPECT_EQ(Chain(kA), Repeat(fx::kEchoClassId, 1));
    OnBoth([](CZelOutputDevice& d) { EXPECT_EQ(d.EqualizerOn(kA), kOk); });
    EXPECT_EQ(Chain(kA), Repeat(fx::kParamEqClassId, 5, {fx::kEchoClassId}));
    EXPECT_TRUE(ChainOf(*Main().ForwardBuffer(kB)).empty()) << "the other deck keeps its own chain";

    // Each band a peaking filter at its centre (raised to 80 Hz), 120 / 5 semitones wide.
    const auto low = ParametersOf<fx::ParamEq>(*Main().BackwardBuffer(kA), 0);
    EXPECT_FLOAT_EQ(low.fCenter, 80.0f) << "46.875 Hz is raised to 80 Hz";
    EXPECT_FLOAT_EQ(low.fBandwidth, 24.0f);
    EXPECT_FLOAT_EQ(low.fGain, 0.0f);
    EXPECT_NEAR(ParametersOf<fx::ParamEq>(*Main().ForwardBuffer(kA), 2).fGain, 10.0f, 1e-4) << "gain 1.1";
    EXPECT_FLOAT_EQ(ParametersOf<fx::ParamEq>(*Main().ForwardBuffer(kA), 4).fCenter, 12'000.0f);

    // A band's gain reaches the chain without rebuilding it, limited to -15 dB.
    SoundEffect* before = nullptr;
    Main().ForwardBuffer(kA)->GetObjectInPath(0, &before);
    eq.SetBandGain(3, 0.8f);
    EXPECT_EQ(Main().SetEqualizerBandGain(kA, 3), kOk);
    EXPECT_FLOAT_EQ(ParametersOf<fx::ParamEq>(*Main().ForwardBuffer(kA), 3).fGain, -15.0f);
    SoundEffect* after = nullptr;
    Main().ForwardBuffer(kA)->GetObjectInPath(0, &after);
    EXPECT_EQ(before, after);
    EXPECT_EQ(Main().SetEqualizerBandGain(kA, 5), kUnexpected) << "five bands: 0 to 4";

    // Off leaves the effect alone; then a band's gain has nothing to reach.
    OnBoth([](CZelOutputDevice& d) { EXPECT_EQ(d.EqualizerOff(kA), kOk); });
    EXPECT_EQ(Chain(kA), Repeat(fx::kEchoClassId, 1));
    EXPECT_EQ(Main().SetEqualizerBandGain(kA, 1), kNotInitialized);
    OnBoth([](CZelOutputDevice& d) { EXPECT_EQ(d.SetEffect(kA, "No Effect"), kOk); });
    EXPECT_TRUE(Chain(kA).empty());

    // Three bands are 40 semitones wide, which the filter limits to 36.
    eq.Design(3);
    OnBoth([](CZelOutputDevice& d) { EXPECT_EQ(d.EqualizerOn(kA), kOk); });
    EXPECT_EQ(Chain(kA), Repeat(fx::kParamEqClassId, 3));
    EXPECT_FLOAT_EQ(ParametersOf<fx::ParamEq>(*Main().ForwardBuffer(kA), 1).fBandwidth, 36.0f);
}

TEST_F(DeckChains, TheEffectTakesTheDeckSlidesIntoItsOwnFields) {
    dsp::CZelEffectParameters& slides = shaping_.EffectParameters();
    slides.SetValue(kB, 0, 30.0);
    slides.SetValue(kB, 1, 250.0);
    ASSERT_EQ(Main().SetEffect(kB, "Echo"), kOk);
    auto echo = ParametersOf<fx::Echo>(*Main().ForwardBuffer(kB));
    EXPECT_FLOAT_EQ(echo.fFeedback, 30.0f);
    EXPECT_FLOAT_EQ(echo.fLeftDelay, 250.0f);
    EXPECT_FLOAT_EQ(echo.fRightDelay, 250.0f);
    EXPECT_FLOAT_EQ(echo.fWetDryMix, 50.0f) << "the fields no slide feeds keep their defaults";
    slides.SetValue(kB, 1, 1200.0);
    EXPECT_EQ(Main().SetEffectParameter(kB, 1), kOk);
    EXPECT_FLOAT_EQ(ParametersOf<fx::Echo>(*Main().BackwardBuffer(kB)).fLeftDelay, 1200.0f);
    EXPECT_EQ(Main().SetEffectParameter(kB, 2), kUnexpected);

    // Gargle's rate is whole hertz; its wave slide picks the square below 1.
    slides.SetValue(kB, 0, 55.7);
    slides.SetValue(kB, 1, 0.99);
    ASSERT_EQ(Main().SetEffect(kB, "Gargle"), kOk);
    auto gargle = ParametersOf<fx::Gargle>(*Main().ForwardBuffer(kB));
    EXPECT_EQ(gargle.dwRateHz, 55u);
    EXPECT_EQ(gargle.dwWaveShape, 1u);
    slides.SetValue(kB, 1, 1.0);
    Main().SetEffectParameter(kB, 1);
    EXPECT_EQ(ParametersOf<fx::Gargle>(*Main().ForwardBuffer(kB)).dwWaveShape, 0u);
}

TEST_F(DeckChains, ASplitDeviceRefusesAndADeckWithoutBuffersGetsItsChainWithItsNextOnes) {
    sound_tests::SoundRig rig({{"Quad", 4}});
    CZelOutput front(*rig.system, &shaping_);
    front.Open(OfflineBackend::IdOf("Quad"), "Quad (Front)");
    CZelOutputDevice& split = *front.Device();
    ASSERT_EQ(split.CreateDeckBuffers(kA, 44'100, nullptr, nullptr), kOk);
    EXPECT_EQ(split.EqualizerOn(kA), kUnexpected);
    EXPECT_EQ(split.SetEffect(kA, "Reverb"), kUnexpected);
    EXPECT_EQ(split.SetEffectParameter(kA, 0), kUnexpected);
    EXPECT_TRUE(ChainOf(*split.ForwardBuffer(kA)).empty());

    // Turned on before a track is loaded: nothing to carry it yet, but the
    // deck's next buffers (the next track) do.
    Main().ReleaseDeckBuffers(kA);
    EXPECT_EQ(Main().EqualizerOn(kA), kNotInitialized);
    EXPECT_EQ(Main().SetEffect(kA, "Flanger"), kNotInitialized);
    ASSERT_EQ(Main().CreateDeckBuffers(kA, 48'000, nullptr, nullptr), kOk);
    EXPECT_EQ(ChainOf(*Main().ForwardBuffer(kA)), Repeat(fx::kParamEqClassId, 3, {fx::kFlangerClassId}));
    EXPECT_EQ(ChainOf(*Main().BackwardBuffer(kA)), ChainOf(*Main().ForwardBuffer(kA)));
}

TEST_F(DeckChains, APlayingDeckFadesOutTakesTheChainAndFadesBackIn) {
    // A 750 Hz tone at a tenth of full scale: the centre of the middle band of five.
    constexpr double kTone = 750.0;
    std::vector<int16_t> tone(static_cast<size_t>(kOutputBufferBytes / 2));
    for (size_t f = 0; f < tone.size() / 2; ++f) {
        const double s = 3276.8 * std::sin(2 * std::numbers::pi * kTone * static_cast<double>(f) / 44'100.0);
        tone[2 * f] = tone[2 * f + 1] = static_cast<int16_t>(std::lround(s));
    }
    SoundBuffer& forward = *Main().ForwardBuffer(kA);
    ASSERT_EQ(forward.Write(0, tone.data(), kOutputBufferBytes), kOk);
    ASSERT_EQ(forward.Play(true), kOk);
    const auto level = [&] {
        const auto heard = rig_.Render("Desk", 8192);
        double sum = 0;
        for (size_t i = heard.size() / 2; i < heard.size(); ++i) sum += double(heard[i]) * heard[i];
        return 10 * std::log10(sum / static_cast<double>(heard.size() / 2));
    };
    const double flat = level();

    CZelFilterBank& eq = shaping_.Equalizer(kA);
    eq.Design(5);
    eq.SetBandGain(2, 1.15f);
    std::vector<double> fade;  // the loudest sample of each fade step
    const FadeStepWait step = [&] {
        const auto heard = rig_.Render("Desk", 64);
        int peak = 0;
        for (int16_t s : heard) peak = std::max(peak, std::abs(int{s}));
        fade.push_back(peak);
    };
    ASSERT_EQ(Main().EqualizerOn(kA, step), kOk);
    EXPECT_TRUE(forward.IsPlaying());
    EXPECT_EQ(ChainOf(forward), Repeat(fx::kParamEqClassId, 5));
    ASSERT_EQ(fade.size(), 1000u) << "500 steps out, 500 in";
    EXPECT_LT(fade[499], fade[0] / 100) << "silent before the chain changes";
    EXPECT_GT(fade[999], fade[499] * 100);
    EXPECT_NEAR(level() - flat, 15.0, 0.5) << "the band's centre raised by 15 dB";

    eq.SetBandGain(2, 1.0f);
    ASSERT_EQ(Main().SetEqualizerBandGain(kA, 2), kOk);
    EXPECT_NEAR(level() - flat, 0.0, 0.2) << "at unity the bands are transparent";
}
