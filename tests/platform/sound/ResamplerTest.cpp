// The resampler alone: a sine read at another rate is still that sine.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "platform/sound/Resampler.h"
#include "support/AudioFixtures.h"

using platform::sound::Resampler;

namespace {

// Signal-to-error ratio in dB of a 1 kHz sine at 44.1 kHz read with `step`,
// against the ideal sine at each output frame's source position.
double SineFidelityDb(uint64_t step) {
    constexpr double kHz = 1000.0;
    constexpr double kAmplitude = 0.5;
    const auto source = fixtures::Sine(kHz, 1.0, 44'100, 1, kAmplitude);
    const Resampler resampler(source.data(), static_cast<uint32_t>(source.size()), 1);
    std::vector<float> stereo(2 * 30'000);
    uint64_t position = 0;
    const auto read = resampler.Read(position, step, false, stereo.data(), 30'000);
    EXPECT_EQ(read.produced, 30'000);

    double signal = 0.0, error = 0.0;
    for (int n = 4; n < read.produced; ++n) {  // past the silence before the first frame
        const double at = static_cast<double>(static_cast<uint64_t>(n) * step) / 4294967296.0;
        const double ideal = kAmplitude * std::sin(2.0 * std::numbers::pi * kHz * at / 44'100.0);
        signal += ideal * ideal;
        error += (stereo[2 * n] - ideal) * (stereo[2 * n] - ideal);
        EXPECT_EQ(stereo[2 * n], stereo[2 * n + 1]) << "mono goes to both channels";
    }
    return 10.0 * std::log10(signal / error);
}

}  // namespace

TEST(Resampler, ASineReadAtAnotherRateStaysCloseToTheIdealSine) {
    // A 44.1 kHz file on a 48 kHz device, and a deck's tempo raised 6 %.
    EXPECT_GE(SineFidelityDb(Resampler::StepFor(44'100, 48'000)), 60.0);
    EXPECT_GE(SineFidelityDb(Resampler::StepFor(46'746, 44'100)), 60.0);
}
