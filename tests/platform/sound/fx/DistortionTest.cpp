// The distortion measured on tones: more edge, more harmonics; the output
// gain; the low-pass before the curve and the band-pass after it.
#include <gtest/gtest.h>

#include "platform/sound/fx/Distortion.h"
#include "platform/sound/fx/EffectProbe.h"

using namespace effect_probe;
using platform::sound::fx::Distortion;
using platform::sound::fx::DistortionParameters;

namespace {

// A steady tone through a distortion with these parameters; the second
// after a quarter second to settle.
Signal Distorted(const DistortionParameters& parameters, double hz, double amplitude) {
    Distortion distortion;
    distortion.SetAllParameters(parameters);
    distortion.Prepare(kRate, kChannels);
    distortion.Reset();
    Signal out = Sine(hz, kRate / 4 + kRate, amplitude);
    Feed(distortion, out);
    return {out.begin() + kRate / 4 * kChannels, out.end()};
}

// The third harmonic of 440 Hz against the tone, in dB.
double ThirdHarmonicDb(float edge) {
    const Signal out = Distorted({.fEdge = edge}, 440.0, 0.1);
    return Db(AmplitudeAt(out, 1320.0, 0, kRate) / AmplitudeAt(out, 440.0, 0, kRate));
}

}  // namespace

TEST(DistortionTest, MoreEdgeAddsMoreHarmonics) {
    const double none = ThirdHarmonicDb(0.0f);
    const double little = ThirdHarmonicDb(10.0f);
    const double half = ThirdHarmonicDb(50.0f);
    const double most = ThirdHarmonicDb(90.0f);
    EXPECT_LT(none, -40.0) << "no edge leaves a quiet tone nearly clean";
    EXPECT_GT(little, none + 3.0);
    EXPECT_GT(half, little + 10.0);
    EXPECT_GT(most, half + 3.0);
    EXPECT_GT(most, -15.0) << "full edge is heavy clipping";
}

TEST(DistortionTest, TheGainScalesTheOutputAndTheFiltersShapeIt) {
    // The output gain, here at the default edge.
    const auto level = [](const DistortionParameters& parameters, double hz, double amplitude = 0.5) {
        return Db(AmplitudeAt(Distorted(parameters, hz, amplitude), hz, 0, kRate));
    };
    EXPECT_NEAR(level({.fGain = -6.0f}, 440.0) - level({.fGain = -18.0f}, 440.0), 12.0, 0.2);

    // Without edge and a quiet tone, the effect is the two filters times the
    // gain: at the band's centre the tone keeps its level, less the gain.
    const DistortionParameters clean{.fGain = -6.0f, .fEdge = 0.0f};
    const double input = Db(0.01);
    DistortionParameters band = clean;
    band.fPostEQCenterFrequency = 440.0f;
    band.fPostEQBandwidth = 100.0f;
    EXPECT_NEAR(level(band, 440.0, 0.01), input - 6.0, 0.5);
    DistortionParameters away = band;
    away.fPostEQCenterFrequency = 4000.0f;
    EXPECT_LT(level(away, 440.0, 0.01), input - 6.0 - 25.0) << "a narrow band far away lets little through";

    // The low-pass before the curve: two octaves above a 1 kHz cutoff a
    // tone loses more than 20 dB; below it, it passes.
    DistortionParameters wide = clean;
    wide.fPostEQCenterFrequency = 2000.0f;
    wide.fPostEQBandwidth = 8000.0f;
    DistortionParameters lowPassed = wide;
    lowPassed.fPreLowpassCutoff = 1000.0f;
    EXPECT_LT(level(lowPassed, 4000.0, 0.01), level(wide, 4000.0, 0.01) - 20.0);
    EXPECT_NEAR(level(lowPassed, 250.0, 0.01), level(wide, 250.0, 0.01), 0.5);
}

TEST(DistortionTest, SettingsMovedWhilePlayingAddNoStep) {
    // A low tone in a band wide enough to hear it, its level then its edge moved.
    const DistortionParameters wide{
        .fEdge = 0.0f, .fPostEQCenterFrequency = 400.0f, .fPostEQBandwidth = 8000.0f};
    DistortionParameters louder = wide;
    louder.fGain = 0.0f;
    EXPECT_LT((StepAroundChange<Distortion, DistortionParameters>(wide, louder, 100.0, 0.3)), 1.5);
    DistortionParameters edgy = wide;
    edgy.fEdge = 60.0f;
    EXPECT_LT((StepAroundChange<Distortion, DistortionParameters>(wide, edgy, 100.0, 0.3)), 1.5);
    DistortionParameters narrow = wide;
    narrow.fPostEQCenterFrequency = 100.0f;
    narrow.fPostEQBandwidth = 100.0f;
    EXPECT_LT((StepAroundChange<Distortion, DistortionParameters>(wide, narrow, 100.0, 0.3)), 1.5);
}
