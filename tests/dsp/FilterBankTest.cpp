#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "dsp/CZelFilterBank.h"
#include "dsp/FirDesign.h"
#include "platform/ThreadAllocationCount.h"
#include "support/AudioFixtures.h"

namespace {

constexpr int kBlock = CZelFilterBank::kBlockSamples;
constexpr int kHistory = CZelFilterBank::kMaxTaps - 1;
constexpr double kRate = CZelFilterBank::kSampleRate;
constexpr double kFullScale = 32768.0;

std::unique_ptr<CZelFilterBank> Designed(int bands) {
    auto bank = std::make_unique<CZelFilterBank>();
    bank->Design(bands);
    return bank;
}

std::vector<int> TapCounts(const CZelFilterBank& bank) {
    std::vector<int> counts;
    for (int b = 0; b < bank.NumberOfBands(); ++b) counts.push_back(bank.TapCount(b));
    return counts;
}

std::vector<float> NoiseBlock(uint32_t seed) {
    const std::vector<int16_t> samples = fixtures::Noise(kBlock, 1, seed, 0.9);
    return {samples.begin(), samples.end()};
}

// A sine continued across blocks: block `index` of it.
std::vector<float> ToneBlock(double hz, double amplitude, int index) {
    std::vector<float> block(kBlock);
    for (int j = 0; j < kBlock; ++j) {
        const double t = static_cast<double>(index * kBlock + j) / kRate;
        block[j] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * hz * t));
    }
    return block;
}

// The band blocks the bank should produce, by direct-form convolution in
// double precision over the same history the bank keeps.
class DirectFilter {
public:
    void Push(const std::vector<float>& block) {
        std::copy(line_.end() - kHistory, line_.end(), line_.begin());
        std::copy(block.begin(), block.end(), line_.begin() + kHistory);
    }

    std::vector<double> Band(const CZelFilterBank& bank, int band) const {
        const std::span<const double> taps = bank.BandTaps(band);
        const int count = static_cast<int>(taps.size());
        std::vector<double> out(kBlock);
        for (int j = 0; j < kBlock; ++j) {
            double sum = 0.0;
            for (int k = 0; k < count; ++k) sum += static_cast<float>(taps[k]) * line_[j + count - 1 - k];
            out[j] = sum * bank.Gain(band);
        }
        return out;
    }

private:
    std::vector<double> line_ = std::vector<double>(kHistory + kBlock, 0.0);
};

double LargestDifference(std::span<const float> bank, const std::vector<double>& direct) {
    double largest = 0.0;
    for (int j = 0; j < kBlock; ++j) largest = std::max(largest, std::abs(bank[j] - direct[j]));
    return largest;
}

double Peak(const std::vector<double>& samples) {
    double peak = 0.0;
    for (double sample : samples) peak = std::max(peak, std::abs(sample));
    return peak;
}

int LoudestBand(const CZelFilterBank& bank) {
    int loudest = 0;
    for (int b = 1; b < bank.NumberOfBands(); ++b)
        if (bank.BandLevel(b) > bank.BandLevel(loudest)) loudest = b;
    return loudest;
}

int PlotIndexNearest(const std::array<float, CZelFilterBank::kPlotPoints>& frequencies, double hz) {
    int nearest = 0;
    for (int i = 1; i < CZelFilterBank::kPlotPoints; ++i)
        if (std::abs(frequencies[i] - hz) < std::abs(frequencies[nearest] - hz)) nearest = i;
    return nearest;
}

std::array<float, CZelFilterBank::kPlotPoints> PlotFrequencies(const CZelFilterBank& bank) {
    std::array<float, CZelFilterBank::kPlotPoints> frequencies{};
    bank.CopyPlotFrequencies(frequencies.data());
    return frequencies;
}

}  // namespace

TEST(FilterBankTest, StartsWithoutBandsOnTheLogarithmicPlotAxis) {
    CZelFilterBank bank;
    EXPECT_EQ(bank.NumberOfBands(), 0);
    EXPECT_EQ(bank.TapCount(0), 256);
    EXPECT_EQ(bank.TapCount(30), 256);
    EXPECT_EQ(bank.Gain(0), 0.0f);
    EXPECT_EQ(bank.CentreFrequency(0), 0.0);

    const auto f = PlotFrequencies(bank);
    EXPECT_NEAR(f[0], 19.9589, 1e-3);
    EXPECT_NEAR(f[638], 20000.0, 1e-2);
    EXPECT_NEAR(f[639], 20217.79, 1e-2);
    for (int i = 1; i < CZelFilterBank::kPlotPoints; ++i)
        ASSERT_NEAR(f[i] / f[i - 1], std::pow(2.0, 1.0 / 64.0), 1e-5) << i;
}

TEST(FilterBankTest, LaysOutTheBandsOverTenOctaves) {
    auto bank = Designed(1);
    EXPECT_EQ(bank->NumberOfBands(), 2);
    EXPECT_EQ(TapCounts(*bank), (std::vector<int>{68, 46}));
    EXPECT_NEAR(bank->CentreFrequency(0), 375.0, 1e-6);
    EXPECT_NEAR(bank->CentreFrequency(1), 12000.0, 1e-6);

    bank->Design(3);
    EXPECT_EQ(TapCounts(*bank), (std::vector<int>{256, 160, 45}));
    EXPECT_NEAR(bank->CentreFrequency(0), 118.118, 1e-3);
    EXPECT_NEAR(bank->CentreFrequency(1), 1190.55, 1e-2);
    EXPECT_NEAR(bank->CentreFrequency(2), 12000.0, 1e-6);

    bank->Design(5);
    EXPECT_EQ(TapCounts(*bank), (std::vector<int>{282, 499, 262, 75, 49}));
    const std::vector<double> centres5{46.875, 187.5, 750.0, 3000.0, 12000.0};
    for (int b = 0; b < 5; ++b) EXPECT_NEAR(bank->CentreFrequency(b), centres5[b], 1e-6) << b;

    // No table for 10 bands: 256 taps each, octaves up to 16 kHz.
    bank->Design(10);
    EXPECT_EQ(TapCounts(*bank), std::vector<int>(10, 256));
    for (int b = 0; b < 10; ++b) EXPECT_NEAR(bank->CentreFrequency(b), 31.25 * std::pow(2.0, b), 1e-6) << b;

    for (int asked : {31, 40}) {
        bank->Design(asked);
        EXPECT_EQ(bank->NumberOfBands(), 31);
        EXPECT_EQ(TapCounts(*bank), std::vector<int>(31, 256));
        EXPECT_NEAR(bank->CentreFrequency(0), 24.4251, 1e-4);
        EXPECT_NEAR(bank->CentreFrequency(1), 30.5452, 1e-4);
        EXPECT_NEAR(bank->CentreFrequency(30), 20000.0, 1e-6);
        EXPECT_EQ(bank->CentreFrequency(31), 0.0);
        EXPECT_EQ(bank->Gain(31), 0.0f);
        EXPECT_EQ(bank->BandLevel(31), 0.0);
    }
    EXPECT_EQ(bank->CentreFrequency(-1), 0.0);
    EXPECT_EQ(bank->Gain(-1), 0.0f);
}

TEST(FilterBankTest, UsesTheTapTablesOfSixTwelveAndThirtyBands) {
    auto bank = Designed(6);
    EXPECT_EQ(TapCounts(*bank), (std::vector<int>{182, 396, 162, 75, 49, 25}));
    bank->Design(12);
    EXPECT_EQ(TapCounts(*bank),
              (std::vector<int>{400, 500, 412, 307, 326, 238, 100, 100, 100, 100, 100, 100}));
    bank->Design(30);
    std::vector<int> thirty{400, 500};
    for (int taps = 490; taps >= 220; taps -= 10) thirty.push_back(taps);
    EXPECT_EQ(TapCounts(*bank), thirty);
    EXPECT_NEAR(bank->CentreFrequency(29), 16000.0, 1e-6);
}

// A low pass, band passes with unity gain at their centres, a high pass; the
// plotted responses belong to the current design.
TEST(FilterBankTest, DesignsEachBandsFilterAndItsResponse) {
    auto bank = Designed(3);
    auto magnitude = [&bank](int band, double hz) {
        return dsp::MagnitudeAt(bank->BandTaps(band), hz / kRate);
    };
    EXPECT_NEAR(magnitude(0, 0.0), 1.0, 1e-9);
    EXPECT_LT(magnitude(0, 16.0 * bank->CentreFrequency(0)), 0.01);
    EXPECT_NEAR(magnitude(1, bank->CentreFrequency(1)), 1.0, 1e-9);
    EXPECT_LT(magnitude(1, 0.0), 0.05);
    EXPECT_LT(magnitude(1, 4.0 * bank->CentreFrequency(1)), 0.01);
    EXPECT_NEAR(magnitude(2, 0.0), 0.0, 1e-9);
    EXPECT_NEAR(magnitude(2, kRate / 2.0), 1.0, 1e-9);
    EXPECT_NEAR(magnitude(2, 18000.0), 1.0, 0.02);

    // An even number of taps, and still a high pass up to half the rate.
    bank->Design(2);
    EXPECT_NEAR(magnitude(1, kRate / 2.0), 1.0, 1e-9);
    EXPECT_NEAR(magnitude(1, 18000.0), 1.0, 0.02);

    bank->Design(31);
    for (int b = 20; b < 30; ++b) {
        const double centre = bank->CentreFrequency(b);
        EXPECT_NEAR(magnitude(b, centre), 1.0, 1e-9) << b;
        EXPECT_LT(magnitude(b, centre / 4.0), 0.01) << b;
        EXPECT_LT(magnitude(b, std::min(kRate / 2.0, centre * 4.0)), 0.01) << b;
    }

    bank->Design(5);
    for (int b = 0; b < 5; ++b) {
        for (int i = 0; i < CZelFilterBank::kPlotPoints; i += 7) {
            const double hz = 20000.0 * std::pow(2.0, (i + 2) / 64.0 - 10.0);
            const double expected = 20.0 * std::log10(magnitude(b, hz));
            ASSERT_NEAR(bank->BandResponse(b)[i], expected, 1e-3) << "band " << b << " at " << hz << " Hz";
        }
    }
}

// A tone at a band's centre shows in that band at its own level (unity gain)
// and less in every other band. The lowest bands of the 31-band layout are
// narrower than a 256-tap filter can resolve, so that layout is checked from
// 1 kHz up.
TEST(FilterBankTest, ToneAtABandsCentreComesOutInThatBand) {
    const double amplitude = 10000.0;
    const double expectedLevel = 20.0 * std::log10(amplitude / std::sqrt(2.0));
    for (int bands : {2, 3, 5, 31}) {
        auto bank = Designed(bands);
        for (int b = 0; b < bands; ++b) {
            const double centre = bank->CentreFrequency(b);
            if (bands == 31 && centre < 1000.0) continue;
            for (int index = 0; index < 2; ++index) bank->Process(ToneBlock(centre, amplitude, index).data());
            EXPECT_EQ(LoudestBand(*bank), b) << bands << " bands, tone at " << centre << " Hz";
            // The low pass is normalised at 0 Hz, so its centre lies a little into its edge.
            EXPECT_NEAR(bank->BandLevel(b), expectedLevel, b == 0 ? 1.0 : 0.3)
                << bands << " bands, band " << b;
        }
    }
}

// The fast filtering gives what direct convolution gives, across block joins,
// with gains, for layouts of even and odd band counts, and keeps its history
// across a new design.
TEST(FilterBankTest, ProcessEqualsDirectConvolutionAcrossBlocks) {
    const double tolerance = 1e-3 * kFullScale;
    auto bank = std::make_unique<CZelFilterBank>();
    DirectFilter direct;
    uint32_t seed = 7;
    for (int bands : {31, 5, 2}) {
        bank->Design(bands);
        for (int b = 0; b < bands; ++b) bank->SetBandGain(b, std::array{1.0f, 0.5f, 2.0f, 0.0f, 1.5f}[b % 5]);
        for (int index = 0; index < 3; ++index) {
            const std::vector<float> block = NoiseBlock(seed++);
            bank->Process(block.data());
            direct.Push(block);
            for (int b = 0; b < bands; ++b) {
                const std::vector<double> expected = direct.Band(*bank, b);
                if (bank->Gain(b) != 0.0f) {
                    ASSERT_GT(Peak(expected), 100.0) << bands << " bands, band " << b;
                }
                ASSERT_LT(LargestDifference(bank->BandOutput(b), expected), tolerance)
                    << bands << " bands, band " << b << ", block " << index;
            }
        }
    }
}

TEST(FilterBankTest, SilenceGivesSilentBandsAndLevelsOfZero) {
    auto bank = Designed(31);
    const std::vector<float> silence(kBlock, 0.0f);
    bank->Process(silence.data());
    for (int b = 0; b < 31; ++b) {
        EXPECT_EQ(bank->BandLevel(b), 0.0) << b;
        for (float sample : bank->BandOutput(b)) ASSERT_EQ(sample, 0.0f) << b;
    }

    // After sound, the first silent block still holds its echo; the second
    // is silent again.
    bank->Process(NoiseBlock(3).data());
    bank->Process(silence.data());
    EXPECT_NE(bank->BandLevel(15), 0.0);
    bank->Process(silence.data());
    for (int b = 0; b < 31; ++b) {
        EXPECT_EQ(bank->BandLevel(b), 0.0) << b;
        for (float sample : bank->BandOutput(b)) ASSERT_EQ(sample, 0.0f) << b;
    }
}

TEST(FilterBankTest, ScaledResponseFollowsTheGainFromTheSixteenBitFloor) {
    auto bank = Designed(3);
    std::array<float, CZelFilterBank::kPlotPoints> scaled{};
    bank->CopyScaledBandResponse(1, scaled.data());
    for (int i = 0; i < CZelFilterBank::kPlotPoints; ++i)
        ASSERT_NEAR(scaled[i], bank->BandResponse(1)[i], 1e-4) << i;

    bank->SetBandGain(1, 0.0f);
    bank->ScaleBandResponse(1);
    bank->CopyScaledBandResponse(1, scaled.data());
    for (float value : scaled) ASSERT_FLOAT_EQ(value, -96.33f);

    bank->SetBandGain(1, 0.5f);
    bank->ScaleBandResponse(1);
    bank->CopyScaledBandResponse(1, scaled.data());
    for (int i = 0; i < CZelFilterBank::kPlotPoints; ++i)
        ASSERT_NEAR(scaled[i], (bank->BandResponse(1)[i] + 96.33f) * 0.5f - 96.33f, 1e-3) << i;
}

// Flat bands sum to about 0 dB where the filters resolve their bands; a band
// turned off leaves a dip at its centre.
TEST(FilterBankTest, CombinedResponseOfFlatBandsIsNearZeroDecibels) {
    for (int bands : {2, 3, 5}) {
        auto bank = Designed(bands);
        bank->ComputeCombinedResponse();
        const auto f = PlotFrequencies(*bank);
        for (int i = 0; i < CZelFilterBank::kPlotPoints; ++i) {
            if (f[i] < bank->CentreFrequency(0) || f[i] > bank->CentreFrequency(bands - 1)) continue;
            ASSERT_NEAR(bank->CombinedResponse()[i], 0.0, 3.5) << bands << " bands at " << f[i] << " Hz";
        }
    }
    auto bank = Designed(31);
    bank->ComputeCombinedResponse();
    const auto f = PlotFrequencies(*bank);
    for (int i = PlotIndexNearest(f, 2500.0); i < CZelFilterBank::kPlotPoints; ++i)
        ASSERT_NEAR(bank->CombinedResponse()[i], 0.0, 1.0) << f[i] << " Hz";

    bank->Design(3);
    bank->SetBandGain(1, 0.0f);
    bank->ScaleBandResponse(1);
    bank->ComputeCombinedResponse();
    EXPECT_LT(bank->CombinedResponse()[PlotIndexNearest(f, bank->CentreFrequency(1))], -10.0f);
}

TEST(FilterBankTest, NewDesignKeepsGainsAndClearsOutputs) {
    auto bank = Designed(3);
    bank->SetBandGain(0, 0.25f);
    bank->SetBandGain(2, 3.0f);
    bank->Process(NoiseBlock(11).data());
    ASSERT_NE(bank->BandLevel(2), 0.0);

    bank->Design(5);
    EXPECT_EQ(bank->Gain(0), 0.25f);
    EXPECT_EQ(bank->Gain(1), 1.0f);
    EXPECT_EQ(bank->Gain(2), 3.0f);
    for (int b = 0; b < 5; ++b) {
        EXPECT_EQ(bank->BandLevel(b), 0.0) << b;
        for (float sample : bank->BandOutput(b)) ASSERT_EQ(sample, 0.0f) << b;
    }
}

TEST(FilterBankTest, DesignAndProcessAllocateNothing) {
    auto bank = std::make_unique<CZelFilterBank>();
    const std::vector<float> block = NoiseBlock(5);
    const testing_support::ThreadAllocationCount count;
    bank->Design(31);
    bank->Process(block.data());
    bank->Design(3);
    bank->Process(block.data());
    bank->ComputeCombinedResponse();
    EXPECT_EQ(count.Count(), 0);
}
