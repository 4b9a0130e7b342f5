// The chorus and the flanger: a delay swept by a slow wave, heard as a tone
// whose level swings at the wave's frequency, on both sides in the phase
// asked for; the comb that feedback deepens; the dry sound at 0 % wet; and a
// bounded output at the strongest feedback.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/sound/fx/Chorus.h"
#include "platform/sound/fx/EffectSignals.h"
#include "platform/sound/fx/Flanger.h"

using namespace fx_tests;
using platform::sound::fx::Chorus;
using platform::sound::fx::ChorusParameters;
using platform::sound::fx::Flanger;
using platform::sound::fx::FlangerParameters;

namespace {

// The level of each channel of a steady tone through an effect, every 20 ms
// (a whole number of the tone's periods), from 0.5 s on.
struct Swing {
    std::vector<double> left;
    std::vector<double> right;
};

Swing LevelsOf(SoundEffect& effect, double toneHz, double seconds) {
    const auto out = Processed(effect, Tone(toneHz, seconds, 0.25));
    const int window = Frames(0.02);
    return {Envelope(Channel(out, 0, Frames(0.5)), window), Envelope(Channel(out, 1, Frames(0.5)), window)};
}

}  // namespace

TEST(ModulationTest, AToneSwingsInLevelAtTheWaveFrequency) {
    // The tone and the middle delay are chosen so that, across the swing, the
    // wet tone's phase against the dry one stays on one slope of the comb:
    // the level then rises and falls once per cycle of the wave.
    struct Case {
        const char* name;
        std::unique_ptr<SoundEffect> effect;
        double toneHz;
        double waveHz;
    };
    Case cases[] = {
        {"chorus, its defaults", Prepared<Chorus>(ChorusParameters{.fDelay = 15}), 150, 1.1},
        {"chorus, fast triangle",
         Prepared<Chorus>(ChorusParameters{.fFrequency = 4.5f, .lWaveform = 0, .fDelay = 15}), 150, 4.5},
        {"flanger, its defaults", Prepared<Flanger>(FlangerParameters{}), 100, 0.25},
        {"flanger, faster", Prepared<Flanger>(FlangerParameters{.fFrequency = 2}), 100, 2},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Swing levels = LevelsOf(*c.effect, c.toneHz, 20.5);
        for (const auto& channel : {levels.left, levels.right}) {
            const auto [low, high] = std::minmax_element(channel.begin(), channel.end());
            EXPECT_GT(*high / *low, 1.15) << "the sweep is heard";
            EXPECT_NEAR(StrongestFrequency(channel, 50.0, 0.1, 12.0, 0.01), c.waveHz, 0.02 * c.waveHz);
        }
    }
}

TEST(ModulationTest, PhaseSetsHowTheTwoSidesSwingAgainstEachOther) {
    const double expected[] = {-1.0, 0.0, 1.0, 0.0, -1.0};  // correlation at -180, -90, 0, 90, 180 degrees
    for (int32_t phase = 0; phase <= 4; ++phase) {
        SCOPED_TRACE(phase);
        auto chorus = Prepared<Chorus>(ChorusParameters{.fFrequency = 2, .fDelay = 15, .lPhase = phase});
        const Swing levels = LevelsOf(*chorus, 150, 5.5);
        EXPECT_NEAR(Correlation(levels.left, levels.right), expected[phase], 0.2);
    }
}

TEST(ModulationTest, NoWetSoundIsTheDrySoundUntouched) {
    const Stereo noise = Noise(1.0, 0.5);
    auto chorus = Prepared<Chorus>(ChorusParameters{.fWetDryMix = 0, .fFeedback = 60});
    EXPECT_EQ(Processed(*chorus, noise), noise);
    auto flanger = Prepared<Flanger>(FlangerParameters{.fWetDryMix = 0, .fFeedback = -99});
    EXPECT_EQ(Processed(*flanger, noise), noise);
    // and some wet sound is not.
    auto wet = Prepared<Flanger>(FlangerParameters{.fWetDryMix = 1});
    EXPECT_NE(Processed(*wet, noise), noise);
}

TEST(ModulationTest, FeedbackDeepensTheComb) {
    // A steady 2 ms delay, heard wet only: tones at 500 Hz (in step with the
    // delay) and 250 Hz (half a period out of it). Positive feedback lifts
    // the first against the second by (1 + g) / (1 - g), negative feedback
    // the other way round, and without feedback both come out alike.
    const struct {
        float feedback;
        double decibels;
    } cases[] = {{0, 0.0}, {50, 9.54}, {-50, -9.54}, {90, 25.58}, {-90, -25.58}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.feedback);
        const auto levelAt = [&](double hz) {
            auto flanger = Prepared<Flanger>(
                FlangerParameters{.fWetDryMix = 100, .fDepth = 0, .fFeedback = c.feedback, .fDelay = 2});
            return ToneLevel(Channel(Processed(*flanger, Tone(hz, 1.5, 0.1)), 0, Frames(0.5)), hz);
        };
        EXPECT_NEAR(Decibels(levelAt(500) / levelAt(250)), c.decibels, 0.5);
    }
}

TEST(ModulationTest, TheStrongestFeedbackStaysBounded) {
    const Stereo noise = Noise(12.0, 0.3);
    for (float feedback : {99.0f, -99.0f}) {
        SCOPED_TRACE(feedback);
        auto chorus = Prepared<Chorus>(
            ChorusParameters{.fDepth = 100, .fFeedback = feedback, .fFrequency = 10, .fDelay = 20});
        auto flanger = Prepared<Flanger>(
            FlangerParameters{.fDepth = 100, .fFeedback = feedback, .fFrequency = 10, .fDelay = 4});
        for (SoundEffect* effect :
             {static_cast<SoundEffect*>(chorus.get()), static_cast<SoundEffect*>(flanger.get())}) {
            const Stereo out = Processed(*effect, noise);
            float peak = 0;
            for (float v : out) peak = std::isfinite(v) ? std::max(peak, std::abs(v)) : INFINITY;
            EXPECT_LT(peak, 100.0f * 0.3f) << "no louder than the loop's resonance";
            const double early = Rms(Channel(out, 0, Frames(2), Frames(4)));
            const double late = Rms(Channel(out, 0, Frames(10), Frames(12)));
            EXPECT_LT(late, 1.25 * early) << "not growing";
        }
    }
}

TEST(ModulationTest, TheSweptDelayIsReadBetweenSamplesWithoutZipperNoise) {
    // A pure tone read through a moving delay comes out as the tone with a
    // slightly wavering pitch, all of it near its own frequency. A delay that
    // jumped from sample to sample would add broadband noise, which a fourth
    // difference (a steep high-pass: -120 dB at 200 Hz) brings out.
    auto chorus = Prepared<Chorus>(
        ChorusParameters{.fWetDryMix = 100, .fDepth = 100, .fFeedback = 0, .fFrequency = 3, .fDelay = 20});
    const Mono out = Channel(Processed(*chorus, Tone(200, 3.0, 0.5)), 0, Frames(0.5));
    Mono high;
    for (size_t i = 4; i < out.size(); ++i)
        high.push_back(out[i] - 4 * out[i - 1] + 6 * out[i - 2] - 4 * out[i - 3] + out[i - 4]);
    EXPECT_LT(Decibels(Rms(high) / Rms(out)), -60.0);
}
