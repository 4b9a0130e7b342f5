// The filter section the effects share, measured on tones: each design
// passes and stops where it should, and stays stable at any rate.
#include <gtest/gtest.h>

#include "platform/sound/fx/BiquadFilter.h"
#include "platform/sound/fx/EffectProbe.h"

using namespace effect_probe;
using platform::sound::fx::BiquadFilter;

namespace {

// The gain in dB of a filter at hz, measured on a tone after a quarter second.
double GainDb(const BiquadFilter::Coefficients& coefficients, int hz, int rate = kRate) {
    BiquadFilter filter;
    filter.SetCoefficients(coefficients);
    const Signal in = Sine(hz, rate / 4 + rate, 0.5, rate);
    Signal out = in;
    filter.Process(out.data(), static_cast<int>(out.size() / kChannels), kChannels);
    return Db(AmplitudeAt(out, hz, rate / 4, rate, 1, rate) / AmplitudeAt(in, hz, rate / 4, rate, 1, rate));
}

}  // namespace

TEST(BiquadFilterTest, EachDesignPassesAndStopsWhereItShould) {
    const double q = 0.7071;
    const auto low = BiquadFilter::LowPass(kRate, 1000.0, q);
    EXPECT_NEAR(GainDb(low, 250), 0.0, 0.2);
    EXPECT_NEAR(GainDb(low, 1000), -3.0, 0.3);
    EXPECT_LT(GainDb(low, 4000), -22.0);

    const auto high = BiquadFilter::HighPass(kRate, 1000.0, q);
    EXPECT_NEAR(GainDb(high, 4000), 0.0, 0.2);
    EXPECT_NEAR(GainDb(high, 1000), -3.0, 0.3);
    EXPECT_LT(GainDb(high, 250), -22.0);

    // 400 Hz wide around 1 kHz: unity at the centre, -3 dB at the edges
    // (about 820 and 1220 Hz, geometric about the centre).
    const auto band = BiquadFilter::BandPass(kRate, 1000.0, 400.0);
    EXPECT_NEAR(GainDb(band, 1000), 0.0, 0.1);
    EXPECT_NEAR(GainDb(band, 820), -3.0, 0.4);
    EXPECT_NEAR(GainDb(band, 1220), -3.0, 0.4);
    EXPECT_LT(GainDb(band, 100), -20.0);
}

TEST(BiquadFilterTest, FrequenciesAboveNyquistOrBandsWiderThanTheSpectrumStayStable) {
    // An 8 kHz band 8 kHz wide at 11,025 Hz, and a peak at 16 kHz there: the
    // designs keep below Nyquist and the filters neither blow up nor ring on.
    const int rate = 11'025;
    for (const auto& coefficients :
         {BiquadFilter::BandPass(rate, 8000.0, 8000.0), BiquadFilter::Peaking(rate, 16000.0, 3.0, 15.0),
          BiquadFilter::LowPass(rate, 8000.0, 0.7071)}) {
        BiquadFilter filter;
        filter.SetCoefficients(coefficients);
        Signal signal = Noise(rate, 0.5);
        filter.Process(signal.data(), rate / 2, kChannels);
        std::fill(signal.begin() + rate, signal.end(), 0.0f);  // silence for the second half
        filter.Process(signal.data() + rate, rate / 2, kChannels);
        EXPECT_LT(Peak(signal, 0, rate / 2), 10.0);
        EXPECT_LT(Peak(signal, rate - rate / 10, rate / 10), 1e-6) << "the tail dies away";
    }
}
