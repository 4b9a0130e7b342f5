// The reverb's impulse response: how long it takes to die away, how its high
// frequencies fade before the rest, how dense and how different on the two
// sides it is, and the levels the two gains set.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/sound/fx/EffectSignals.h"
#include "platform/sound/fx/Reverb.h"

using namespace fx_tests;
using platform::sound::fx::Reverb;
using platform::sound::fx::ReverbParameters;

namespace {

// The reverb's answer to a unit impulse on both sides, the impulse itself
// taken out.
Stereo TailOf(const ReverbParameters& parameters, double seconds, int rate = kRate) {
    auto reverb = Prepared<Reverb>(parameters, rate);
    Stereo out = Processed(*reverb, Impulse(seconds, 1.0f, 1.0f, rate));
    out[0] -= 1.0f;
    out[1] -= 1.0f;
    return out;
}

// The decay time from the energy decay curve (the energy still to come from
// each moment on, by backward integration): the time from -5 to -35 dB,
// fitted by least squares and extrapolated to 60 dB. In milliseconds.
double DecayTime(const Stereo& tail, int rate) {
    const size_t frames = tail.size() / 2;
    std::vector<double> remaining(frames + 1, 0.0);
    for (size_t n = frames; n-- > 0;)
        remaining[n] = remaining[n + 1] + tail[2 * n] * tail[2 * n] + tail[2 * n + 1] * tail[2 * n + 1];
    double sumT = 0, sumD = 0, sumTT = 0, sumTD = 0;
    int points = 0;
    for (size_t n = 0; n < frames; ++n) {
        const double decibels = 10 * std::log10(remaining[n] / remaining[0]);
        if (decibels > -5) continue;
        if (decibels < -35) break;
        const double t = static_cast<double>(n) / rate;
        sumT += t;
        sumD += decibels;
        sumTT += t * t;
        sumTD += t * decibels;
        ++points;
    }
    const double slope = (points * sumTD - sumT * sumD) / (points * sumTT - sumT * sumT);  // dB per second
    return -60.0 / slope * 1000.0;
}

// Through two one-pole low-passes at about 150 Hz, each channel.
Stereo LowPassed(Stereo signal) {
    for (int pass = 0; pass < 2; ++pass) {
        float state[2] = {0, 0};
        for (size_t i = 0; i < signal.size(); ++i)
            signal[i] = state[i % 2] += 0.02f * (signal[i] - state[i % 2]);
    }
    return signal;
}

// How much of a stretch is high frequencies: the RMS of its first difference
// against its own (sqrt 2 for white noise, less for darker sound).
double Brightness(const Mono& x) {
    Mono difference;
    for (size_t i = 1; i < x.size(); ++i) difference.push_back(x[i] - x[i - 1]);
    return Rms(difference) / Rms(x);
}

}  // namespace

TEST(ReverbTest, DiesAwayInTheReverbTime) {
    const struct {
        float milliseconds;
        int rate;
    } cases[] = {{500, 44'100}, {1000, 44'100}, {2500, 44'100}, {1000, 48'000}, {3000, 48'000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.milliseconds << " ms at " << c.rate << " Hz");
        const Stereo tail = TailOf({.fReverbTime = c.milliseconds, .fHighFreqRTRatio = 0.999f},
                                   1.5 * c.milliseconds / 1000.0 + 0.3, c.rate);
        EXPECT_NEAR(DecayTime(tail, c.rate), c.milliseconds, 0.2 * c.milliseconds);
    }
    // At the darkest setting the low frequencies still take the reverb time.
    const Stereo dark = TailOf({.fReverbTime = 1000}, 2.0);
    EXPECT_NEAR(DecayTime(LowPassed(dark), kRate), 1000.0, 200.0);
}

TEST(ReverbTest, ALowerHighFrequencyRatioMakesTheTailDarker) {
    double previous = 10.0;
    for (float ratio : {0.999f, 0.5f, 0.2f, 0.001f}) {
        SCOPED_TRACE(ratio);
        const Stereo tail = TailOf({.fReverbTime = 2000, .fHighFreqRTRatio = ratio}, 1.2);
        const double brightness = Brightness(Channel(tail, 0, Frames(0.5), Frames(1.2)));
        EXPECT_LT(Decibels(brightness / previous), -1.5);
        previous = brightness;
    }
}

TEST(ReverbTest, TheTailIsDenseAndDifferentOnTheTwoSides) {
    const Stereo tail = TailOf({.fReverbTime = 1500, .fHighFreqRTRatio = 0.5f}, 1.0);
    const Mono left = Channel(tail, 0, Frames(0.05));
    const Mono right = Channel(tail, 1, Frames(0.05));
    EXPECT_LT(std::abs(Correlation(Widened(left), Widened(right))), 0.2) << "decorrelated";
    EXPECT_NEAR(Decibels(Rms(left) / Rms(right)), 0.0, 2.0) << "as loud on both sides";

    // Echo density: in each 20 ms from 100 ms on, the share of samples beyond
    // one standard deviation, against the share a Gaussian noise has (0.317).
    // A sparse train of echoes scores far below 1.
    const int window = Frames(0.02);
    const Mono late = Channel(tail, 0, Frames(0.1), Frames(0.7));
    for (size_t at = 0; at + window <= late.size(); at += window) {
        const Mono part(late.begin() + at, late.begin() + at + window);
        const double deviation = Rms(part);
        int beyond = 0;
        for (float v : part) beyond += std::abs(v) > deviation ? 1 : 0;
        EXPECT_GT(beyond / static_cast<double>(window) / 0.3173, 0.8)
            << "at " << 100 + at * 1000 / kRate << " ms";
    }
}

TEST(ReverbTest, TheGainsSetTheReverbLevelAndLeaveTheDrySound) {
    const Stereo noise = Noise(2.0, 0.3);
    const auto addedLevel = [&](const ReverbParameters& parameters) {
        auto reverb = Prepared<Reverb>(parameters);
        const Stereo out = Processed(*reverb, noise);
        Mono added;
        for (size_t i = 0; i < out.size(); ++i) added.push_back(out[i] - noise[i]);
        return Decibels(Rms(added) / Rms(Mono(noise.begin(), noise.end())));
    };
    const double full = addedLevel({.fHighFreqRTRatio = 0.5f});
    EXPECT_GT(full, -15.0) << "at 0 dB the reverb is clearly heard";
    EXPECT_NEAR(addedLevel({.fReverbMix = -20, .fHighFreqRTRatio = 0.5f}), full - 20, 0.5);
    EXPECT_NEAR(addedLevel({.fInGain = -12, .fHighFreqRTRatio = 0.5f}), full - 12, 0.5);
    EXPECT_LT(addedLevel({.fReverbMix = -96, .fHighFreqRTRatio = 0.5f}), -85.0) << "essentially dry";
    EXPECT_LT(addedLevel({.fInGain = -96, .fHighFreqRTRatio = 0.5f}), -85.0);
}
