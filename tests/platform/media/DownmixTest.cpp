#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "DecoderReading.h"
#include "platform/media/AudioDecoder.h"
#include "support/AudioFixtures.h"

using platform::media::AudioDecoder;

namespace {

constexpr int kRate = 44100;
constexpr double kSeconds = 1;
constexpr double kToneHz = 1000;
// WAVE speaker bits.
constexpr uint32_t kQuad = 0x33;          // front left, front right, back left, back right
constexpr uint32_t kFivePointOne = 0x3F;  // front pair, centre, LFE, back pair

// `channels` channels of silence, with `tone` (a mono signal) put on the listed ones.
std::vector<int16_t> Place(const std::vector<int16_t>& tone, int channels, const std::vector<int>& on) {
    std::vector<int16_t> out(tone.size() * static_cast<size_t>(channels), 0);
    for (size_t n = 0; n < tone.size(); ++n)
        for (int c : on) out[n * static_cast<size_t>(channels) + static_cast<size_t>(c)] = tone[n];
    return out;
}

double Db(double ratio) {
    return 20 * std::log10(ratio);
}

// The longest run of samples of one channel pinned at full scale.
int LongestRunAtFullScale(const std::vector<int16_t>& stereo, int channel) {
    int longest = 0;
    int run = 0;
    for (auto i = static_cast<size_t>(channel); i < stereo.size(); i += 2) {
        run = std::abs(static_cast<int>(stereo[i])) >= 32767 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

class DownmixTest : public media_test::ScratchTest {
protected:
    // Level of the tone at hz on each side of a decoded file.
    std::vector<double> Levels(const std::string& file, double hz) {
        AudioDecoder decoder;
        EXPECT_TRUE(decoder.Open(Path(file))) << file << ": " << decoder.ErrorText();
        EXPECT_EQ(decoder.Format().channels, 2) << file;
        const std::vector<int16_t> samples = media_test::ReadAll(decoder);
        const int frames = static_cast<int>(samples.size() / 2);
        return {fixtures::ToneAmplitude(samples.data(), frames, 2, 0, kRate, hz),
                fixtures::ToneAmplitude(samples.data(), frames, 2, 1, kRate, hz)};
    }
};

}  // namespace

TEST_F(DownmixTest, FrontPairKeepsTheStereoLevelAndCentreIsThreeDecibelsDown) {
    const std::vector<int16_t> tone = fixtures::Sine(kToneHz, kSeconds, kRate, 1, 0.5);
    const std::vector<int16_t> bass = fixtures::Sine(80, kSeconds, kRate, 1, 0.5);
    std::vector<int16_t> centre = Place(tone, 6, {2});
    for (size_t n = 0; n < bass.size(); ++n) centre[n * 6 + 3] = bass[n];  // and a tone on the LFE
    ASSERT_TRUE(fixtures::WriteWav(Path("stereo.wav"), Place(tone, 2, {0, 1}), 2, kRate));
    ASSERT_TRUE(fixtures::WriteWavWithMask(Path("quad.wav"), Place(tone, 4, {0, 1}), 4, kRate, kQuad));
    ASSERT_TRUE(
        fixtures::WriteWavWithMask(Path("front51.wav"), Place(tone, 6, {0, 1}), 6, kRate, kFivePointOne));
    ASSERT_TRUE(fixtures::Encode(Path("front51.wav"), Path("front51.flac"), {"-c:a", "flac"}));
    ASSERT_TRUE(fixtures::WriteWavWithMask(Path("centre51.wav"), centre, 6, kRate, kFivePointOne));

    const std::vector<double> stereo = Levels("stereo.wav", kToneHz);
    ASSERT_NEAR(stereo[0], 0.5, 0.01);
    for (const char* file : {"quad.wav", "front51.wav", "front51.flac"}) {
        const std::vector<double> levels = Levels(file, kToneHz);
        for (int side : {0, 1})
            EXPECT_NEAR(Db(levels[side] / stereo[side]), 0, 0.1) << file << " side " << side;
    }
    const std::vector<double> centreLevels = Levels("centre51.wav", kToneHz);
    const std::vector<double> lfeLevels = Levels("centre51.wav", 80);
    for (int side : {0, 1}) {
        EXPECT_NEAR(Db(centreLevels[side] / stereo[side]), -3.01, 0.1) << "side " << side;
        EXPECT_LT(lfeLevels[side], 0.001) << "the LFE is left out, side " << side;
    }
}

TEST_F(DownmixTest, AMixWithinFullScaleIsUntouched) {
    // Different signals on the front pair, loud but within full scale, and a
    // quiet centre: what comes out is exactly their sum, sample for sample.
    const int frames = static_cast<int>(kSeconds * kRate);
    const std::vector<int16_t> left = fixtures::Noise(frames, 1, 3, 0.6);
    const std::vector<int16_t> right = fixtures::Sine(kToneHz, kSeconds, kRate, 1, 0.6);
    const std::vector<int16_t> centre = fixtures::Sine(300, kSeconds, kRate, 1, 0.1);
    std::vector<int16_t> six(static_cast<size_t>(frames) * 6, 0);
    for (size_t n = 0; n < static_cast<size_t>(frames); ++n) {
        six[n * 6] = left[n];
        six[n * 6 + 1] = right[n];
        six[n * 6 + 2] = centre[n];
    }
    ASSERT_TRUE(fixtures::WriteWavWithMask(Path("mix51.wav"), six, 6, kRate, kFivePointOne));
    const std::vector<int16_t> mixed = media_test::DecodeFile(Path("mix51.wav"));
    ASSERT_EQ(mixed.size(), static_cast<size_t>(frames) * 2);
    int wrong = 0;
    for (size_t n = 0; n < static_cast<size_t>(frames); ++n) {
        const double c = centre[n] * std::sqrt(0.5);
        wrong += std::abs(mixed[n * 2] - (left[n] + c)) > 0.5 + 1e-3;
        wrong += std::abs(mixed[n * 2 + 1] - (right[n] + c)) > 0.5 + 1e-3;
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(DownmixTest, AllChannelsAtFullScaleAreLimitedNotClipped) {
    for (const double hz : {60.0, kToneHz}) {
        SCOPED_TRACE(hz);
        const std::vector<int16_t> tone = fixtures::Sine(hz, kSeconds, kRate, 1, 1.0);
        ASSERT_TRUE(fixtures::WriteWavWithMask(Path("loud51.wav"), Place(tone, 6, {0, 1, 2, 3, 4, 5}), 6,
                                               kRate, kFivePointOne));
        const std::vector<int16_t> loud = media_test::DecodeFile(Path("loud51.wav"));
        ASSERT_EQ(loud.size(), tone.size() * 2) << "every frame comes out, the held ones too";
        for (int side : {0, 1}) {
            EXPECT_LE(LongestRunAtFullScale(loud, side), 2) << "side " << side;
            int16_t peak = 0;
            for (auto i = static_cast<size_t>(side); i < loud.size(); i += 2)
                peak = std::max<int16_t>(peak, static_cast<int16_t>(std::abs(loud[i])));
            EXPECT_GT(peak, 0.8 * 32767) << "side " << side;
            // Still the tone, not a distorted one: nearly all its energy at hz.
            const int frames = static_cast<int>(loud.size() / 2);
            EXPECT_NEAR(fixtures::DominantFrequency(loud.data(), frames, 2, side, kRate), hz, 1);
        }
    }
}
