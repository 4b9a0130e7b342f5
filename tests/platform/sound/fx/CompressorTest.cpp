// The compressor measured on tones: where a steady tone above the threshold
// settles for a ratio, that a quiet one passes untouched, the make-up gain,
// how fast the gain follows an onset and lets go after it, and the look-ahead.
#include <gtest/gtest.h>

#include "platform/sound/fx/Compressor.h"
#include "platform/sound/fx/EffectProbe.h"

using namespace effect_probe;
using platform::sound::fx::Compressor;
using platform::sound::fx::CompressorParameters;

namespace {

// A compressor with these parameters, ready at 44,100 Hz.
std::unique_ptr<Compressor> Make(const CompressorParameters& parameters) {
    auto compressor = std::make_unique<Compressor>();
    compressor->SetAllParameters(parameters);
    compressor->Prepare(kRate, kChannels);
    compressor->Reset();
    return compressor;
}

// The peak level in dB of the last 100 ms of a steady 1 kHz tone whose peak
// is at `inputDb`, after a second through the compressor.
double SettledPeakDb(const CompressorParameters& parameters, double inputDb) {
    auto compressor = Make(parameters);
    Signal out = Sine(1000.0, kRate, FromDb(inputDb));
    Feed(*compressor, out);
    return Db(Peak(out, kRate - kRate / 10, kRate / 10));
}

}  // namespace

// The level the threshold is compared with is the tone's peak (not its RMS).
TEST(CompressorTest, ASteadyToneSettlesAtThresholdPlusItsExcessOverTheRatio) {
    const CompressorParameters defaults;  // threshold -20 dB, ratio 3
    EXPECT_NEAR(SettledPeakDb(defaults, -6.0), -20.0 + 14.0 / 3.0, 0.5);
    EXPECT_NEAR(SettledPeakDb({.fThreshold = -30.0f, .fRatio = 10.0f}, -10.0), -30.0 + 20.0 / 10.0, 0.5);
    EXPECT_NEAR(SettledPeakDb({.fRatio = 1.0f}, -6.0), -6.0, 0.1) << "ratio 1 does nothing";

    // The make-up gain lifts the compressed tone by as much.
    EXPECT_NEAR(SettledPeakDb({.fGain = 6.0f}, -6.0) - SettledPeakDb(defaults, -6.0), 6.0, 0.1);
    EXPECT_NEAR(SettledPeakDb({.fGain = -12.0f}, -6.0) - SettledPeakDb(defaults, -6.0), -12.0, 0.1);
}

TEST(CompressorTest, BelowTheThresholdOnlyTheMakeUpGainApplies) {
    for (const float makeUp : {0.0f, 6.0f}) {
        SCOPED_TRACE(makeUp);
        auto compressor = Make({.fGain = makeUp, .fPredelay = 0.0f});
        const Signal in = Sine(440.0, kRate / 2, FromDb(-21.0));
        Signal out = in;
        Feed(*compressor, out);
        for (size_t i = 0; i < in.size(); ++i)
            ASSERT_NEAR(out[i], in[i] * FromDb(makeUp), 1e-5) << "sample " << i;
    }
}

TEST(CompressorTest, TheGainFollowsAnOnsetWithTheAttackAndRecoversWithTheRelease) {
    // Quiet (below the threshold), loud for half a second, quiet again: the
    // gain is the output's peak over the input's, a millisecond at a time.
    auto compressor = Make({.fAttack = 10.0f, .fRelease = 200.0f, .fPredelay = 0.0f});
    const int half = kRate / 2;
    const Signal in = Joined({Sine(1000.0, half, FromDb(-40.0)), Sine(1000.0, half, FromDb(-6.0)),
                              Sine(1000.0, 2 * kRate, FromDb(-40.0))});
    Signal out = in;
    Feed(*compressor, out);
    const int ms = kRate / 1000;
    // Reduction in dB over the millisecond starting `msAfter` after `start`.
    auto reductionDb = [&](int start, int msAfter) {
        const int first = start + msAfter * ms;
        return Db(Peak(in, first, ms) / Peak(out, first, ms));
    };
    const double full = 14.0 * 2.0 / 3.0;
    EXPECT_NEAR(reductionDb(half, 400), full, 0.5);
    EXPECT_LT(reductionDb(half, 1), 0.4 * full) << "an attack of 10 ms is not instant";
    EXPECT_GT(reductionDb(half, 50), 0.9 * full);
    const int end = 2 * half;
    EXPECT_GT(reductionDb(end, 50), 0.6 * full) << "a release of 200 ms holds on";
    EXPECT_LT(reductionDb(end, 50), 0.9 * full);
    EXPECT_LT(reductionDb(end, 1500), 0.1);
}

TEST(CompressorTest, TheLookAheadDelaysTheSoundSoThatTheGainIsDownWhenAnOnsetIsHeard) {
    const int onset = kRate / 4;
    const Signal in =
        Joined({Signal(static_cast<size_t>(onset) * kChannels, 0.0f), Sine(1000.0, kRate / 4, 0.5)});
    const double steady = FromDb(-20.0 + 14.0 / 3.0);
    for (const float predelay : {0.0f, 4.0f}) {
        SCOPED_TRACE(predelay);
        auto compressor = Make({.fAttack = 1.0f, .fPredelay = predelay});
        Signal out = in;
        Feed(*compressor, out);
        // The sound comes out `predelay` later.
        const int delay = static_cast<int>(predelay / 1000.0f * kRate);
        EXPECT_EQ(Peak(out, 0, onset + delay), 0.0);
        EXPECT_GT(Peak(out, onset + delay + 1, 10), 0.01);
        // The first 2 ms heard: with look-ahead already compressed, without it
        // the attack lets the onset through louder.
        const double first = Peak(out, onset + delay, 2 * kRate / 1000);
        if (predelay > 0.0f) {
            EXPECT_LT(Db(first / steady), 1.0);
        } else {
            EXPECT_GT(Db(first / steady), 3.0);
        }
    }
}

TEST(CompressorTest, BothChannelsGetTheSameGain) {
    // Loud on the left, quiet on the right: the right is turned down as much.
    auto compressor = Make({.fPredelay = 0.0f});
    Signal in = Sine(1000.0, kRate, 0.5);
    for (size_t i = 1; i < in.size(); i += 2) in[i] *= 0.1f;
    Signal out = in;
    Feed(*compressor, out);
    const int last = kRate - kRate / 10;
    const double left = Db(Peak(out, last, kRate / 10, 0) / Peak(in, last, kRate / 10, 0));
    const double right = Db(Peak(out, last, kRate / 10, 1) / Peak(in, last, kRate / 10, 1));
    EXPECT_LT(left, -8.0);
    EXPECT_NEAR(right, left, 0.05);
}

TEST(CompressorTest, SettingsMovedWhilePlayingAddNoStep) {
    // A quiet low tone (below the threshold) made 20 dB louder by the make-up
    // gain; a lower threshold that starts compressing a louder one.
    EXPECT_LT((StepAroundChange<Compressor, CompressorParameters>({.fGain = 0.0f}, {.fGain = 20.0f}, 100.0,
                                                                  FromDb(-30.0))),
              1.5);
    EXPECT_LT((StepAroundChange<Compressor, CompressorParameters>(
                  {.fThreshold = -10.0f}, {.fThreshold = -40.0f}, 100.0, FromDb(-12.0))),
              1.5);
    EXPECT_LT((StepAroundChange<Compressor, CompressorParameters>({.fPredelay = 4.0f}, {.fPredelay = 0.0f},
                                                                  100.0, FromDb(-30.0))),
              1.5);
}
