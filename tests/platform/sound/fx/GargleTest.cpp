// The gargle heard as what it does to a steady tone's envelope: how many
// dips a second, and a triangle's slopes against a square's two levels.
#include <gtest/gtest.h>

#include "platform/sound/fx/EffectProbe.h"
#include "platform/sound/fx/Gargle.h"

using namespace effect_probe;
using platform::sound::fx::Gargle;
using platform::sound::fx::GargleParameters;

namespace {

// One second of an 11,025 Hz tone through the gargle, as an envelope: the
// peak of each period of the tone (4 frames, one of them the crest), relative
// to the tone's.
std::vector<double> Envelope(const GargleParameters& parameters) {
    Gargle gargle;
    gargle.SetAllParameters(parameters);
    gargle.Prepare(kRate, kChannels);
    gargle.Reset();
    const double amplitude = 0.5;
    Signal out = Sine(kRate / 4.0, kRate, amplitude);
    Feed(gargle, out);
    std::vector<double> envelope;
    for (int first = 0; first < kRate; first += 4) envelope.push_back(Peak(out, first, 4, 1) / amplitude);
    return envelope;
}

// The envelope's dips: each fall below a quarter after a rise above three quarters.
int Dips(const std::vector<double>& envelope) {
    int dips = 0;
    bool high = true;
    for (double value : envelope) {
        if (high && value < 0.25) {
            ++dips;
            high = false;
        } else if (!high && value > 0.75) {
            high = true;
        }
    }
    return dips;
}

// The share of the envelope that is neither nearly silent nor nearly full.
double ShareInBetween(const std::vector<double>& envelope) {
    const auto between =
        std::count_if(envelope.begin(), envelope.end(), [](double v) { return v > 0.1 && v < 0.9; });
    return static_cast<double>(between) / static_cast<double>(envelope.size());
}

}  // namespace

TEST(GargleTest, TheToneDipsAtTheRateWithATriangleOrASquareEnvelope) {
    for (const uint32_t rate : {20u, 7u, 150u}) {
        for (const uint32_t shape : {0u, 1u}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, shape " << shape);
            const auto envelope = Envelope({.dwRateHz = rate, .dwWaveShape = shape});
            EXPECT_NEAR(Dips(envelope), static_cast<int>(rate), 1);
            EXPECT_NEAR(*std::max_element(envelope.begin(), envelope.end()), 1.0, 0.02);
            EXPECT_LT(*std::min_element(envelope.begin(), envelope.end()), 0.02);
        }
    }
    // A square has two levels, on for half the time; a triangle slopes.
    const auto square = Envelope({.dwRateHz = 20, .dwWaveShape = 1});
    EXPECT_LT(ShareInBetween(square), 0.05);
    const auto on = std::count_if(square.begin(), square.end(), [](double v) { return v >= 0.9; });
    EXPECT_NEAR(static_cast<double>(on) / static_cast<double>(square.size()), 0.5, 0.03);
    EXPECT_GT(ShareInBetween(Envelope({.dwRateHz = 20, .dwWaveShape = 0})), 0.7);
}

TEST(GargleTest, ANewRateOrShapeBendsTheWaveWithoutAJump) {
    EXPECT_LT((StepAroundChange<Gargle, GargleParameters>({.dwRateHz = 20}, {.dwRateHz = 37}, 100.0, 0.5)),
              1.5);
    // A quarter second into a 1 Hz square (full on) the triangle is halfway up:
    // the change fades across instead of dropping to it.
    EXPECT_LT((StepAroundChange<Gargle, GargleParameters>({.dwRateHz = 1, .dwWaveShape = 1},
                                                          {.dwRateHz = 1, .dwWaveShape = 0}, 100.0, 0.5)),
              1.5);
}
