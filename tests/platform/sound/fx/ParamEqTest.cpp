// The parametric equalizer measured on tones: the bell's height at its
// centre, its width in semitones, transparency at 0 dB, and a gain moved
// while the sound plays.
#include <gtest/gtest.h>

#include "platform/sound/fx/EffectProbe.h"
#include "platform/sound/fx/ParamEq.h"

using namespace effect_probe;
using platform::sound::kOk;
using platform::sound::fx::ParamEq;
using platform::sound::fx::ParamEqParameters;

namespace {

// Several quiet tones at once (the filter is linear, so each is measured on
// its own), a whole number of periods in every second.
Signal Tones(const std::vector<int>& hz, int frames, int rate) {
    Signal sum(static_cast<size_t>(frames) * kChannels, 0.0f);
    for (int tone : hz) {
        const Signal one = Sine(tone, frames, 0.04, rate);
        for (size_t i = 0; i < sum.size(); ++i) sum[i] += one[i];
    }
    return sum;
}

// The gain in dB at each frequency of an equalizer with these parameters,
// from one second after a quarter second to settle.
std::vector<double> GainsDb(const ParamEqParameters& parameters, const std::vector<int>& hz, int rate) {
    ParamEq eq;
    EXPECT_EQ(eq.SetAllParameters(parameters), kOk);
    eq.Prepare(rate, kChannels);
    eq.Reset();
    const int settle = rate / 4;
    const Signal in = Tones(hz, settle + rate, rate);
    Signal out = in;
    Feed(eq, out);
    std::vector<double> gains;
    for (int tone : hz)
        gains.push_back(
            Db(AmplitudeAt(out, tone, settle, rate, 1, rate) / AmplitudeAt(in, tone, settle, rate, 1, rate)));
    return gains;
}

}  // namespace

TEST(ParamEqTest, RaisesOrCutsABellOfTheGivenWidthAroundItsCentre) {
    for (const int rate : {44'100, 48'000}) {
        SCOPED_TRACE(rate);
        // One octave wide (12 semitones): half the gain in dB half an octave
        // either side, next to nothing three octaves away.
        const std::vector<int> hz{125, 707, 1000, 1414, 8000};
        const auto boost = GainsDb({.fCenter = 1000.0f, .fBandwidth = 12.0f, .fGain = 15.0f}, hz, rate);
        EXPECT_NEAR(boost[2], 15.0, 0.5);
        EXPECT_NEAR(boost[1], 7.5, 1.0);
        EXPECT_NEAR(boost[3], 7.5, 1.0);
        EXPECT_NEAR(boost[0], 0.0, 1.0);
        EXPECT_NEAR(boost[4], 0.0, 1.0);

        const auto cut = GainsDb({.fCenter = 1000.0f, .fBandwidth = 12.0f, .fGain = -15.0f}, hz, rate);
        EXPECT_NEAR(cut[2], -15.0, 0.5);
        EXPECT_NEAR(cut[1], -7.5, 1.0);
        EXPECT_NEAR(cut[4], 0.0, 1.0);

        // Two octaves wide: the half-gain points move out to an octave either side.
        const auto wide =
            GainsDb({.fCenter = 1000.0f, .fBandwidth = 24.0f, .fGain = 12.0f}, {500, 1000, 2000}, rate);
        EXPECT_NEAR(wide[0], 6.0, 1.0);
        EXPECT_NEAR(wide[1], 12.0, 0.5);
        EXPECT_NEAR(wide[2], 6.0, 1.0);

        // Near the top of the range.
        const auto high =
            GainsDb({.fCenter = 16000.0f, .fBandwidth = 6.0f, .fGain = 10.0f}, {2000, 16000}, rate);
        EXPECT_NEAR(high[1], 10.0, 0.5);
        EXPECT_NEAR(high[0], 0.0, 1.0);
    }
}

TEST(ParamEqTest, AtZeroDecibelsOneOrAChainOfFiveLeavesTheSoundAsItWas) {
    const Signal in = Noise(kRate / 2, 0.5);
    std::vector<ParamEq> chain(5);
    const float centres[] = {80.0f, 400.0f, 2000.0f, 8000.0f, 16000.0f};
    for (size_t i = 0; i < chain.size(); ++i) {
        // Through a boost first, then back to 0 dB, as a user would.
        chain[i].SetAllParameters({.fCenter = centres[i], .fBandwidth = 24.0f, .fGain = 12.0f});
        chain[i].Prepare(kRate, kChannels);
        chain[i].Reset();
        chain[i].SetAllParameters({.fCenter = centres[i], .fBandwidth = 24.0f, .fGain = 0.0f});
    }
    Signal one = in;
    Feed(chain[0], one);
    Signal five = in;
    for (auto& eq : chain) Feed(eq, five);
    for (size_t i = 0; i < in.size(); ++i) {
        ASSERT_NEAR(one[i], in[i], 1e-4) << "sample " << i;
        ASSERT_NEAR(five[i], in[i], 1e-4) << "sample " << i;
    }
}

TEST(ParamEqTest, AGainOrCentreMovedWhilePlayingGlidesWithoutAStep) {
    // A low tone under a bell far above it keeps its level, so any step the
    // change made would stand out against the tone's own slow slope.
    EXPECT_LT((StepAroundChange<ParamEq, ParamEqParameters>({.fGain = 0.0f}, {.fGain = 15.0f}, 100.0, 0.5)),
              1.5);
    EXPECT_LT((StepAroundChange<ParamEq, ParamEqParameters>({.fGain = 15.0f}, {.fGain = -15.0f}, 100.0, 0.5)),
              1.5);
    // The bell on the tone, raised; and a bell moved onto a tone.
    EXPECT_LT((StepAroundChange<ParamEq, ParamEqParameters>(
                  {.fCenter = 1000.0f}, {.fCenter = 1000.0f, .fGain = 15.0f}, 1000.0, 0.05)),
              1.5);
    EXPECT_LT((StepAroundChange<ParamEq, ParamEqParameters>({.fGain = 15.0f},
                                                            {.fCenter = 400.0f, .fGain = 15.0f}, 300.0, 0.2)),
              1.5);
}
