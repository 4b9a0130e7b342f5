#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "DecoderReading.h"
#include "platform/media/AudioDecoder.h"
#include "support/AudioFixtures.h"

using platform::media::AudioDecoder;

namespace {

constexpr int kFileRate = 48000;
constexpr int kOutputRate = 44100;
constexpr double kToneHz = 1000;
constexpr double kSeconds = 2;
constexpr int64_t kHundredNsPerSecond = 10'000'000;

int64_t OutputFrameAt(int64_t time100ns) {
    return std::llround(static_cast<double>(time100ns) * kOutputRate / kHundredNsPerSecond);
}

using OutputRateTest = media_test::ScratchTest;

}  // namespace

TEST_F(OutputRateTest, AFileOfAnotherRateComesOutAtTheOutputRateWithTheSamePitchAndLength) {
    ASSERT_TRUE(fixtures::WriteWav(Path("tone48k.wav"), fixtures::Sine(kToneHz, kSeconds, kFileRate, 2, 0.5),
                                   2, kFileRate));
    ASSERT_TRUE(fixtures::Encode(Path("tone48k.wav"), Path("tone48k.mp3"), {"-c:a", "libmp3lame"}));
    ASSERT_TRUE(
        fixtures::WriteWav(Path("mono22k.wav"), fixtures::Sine(kToneHz, kSeconds, 22050, 1, 0.5), 1, 22050));

    for (const char* file : {"tone48k.wav", "mono22k.wav", "tone48k.mp3"}) {
        SCOPED_TRACE(file);
        AudioDecoder decoder;
        ASSERT_TRUE(decoder.Open(Path(file), kOutputRate)) << decoder.ErrorText();
        const int channels = decoder.Format().channels;
        EXPECT_EQ(channels, std::string(file).starts_with("mono") ? 1 : 2);
        EXPECT_EQ(decoder.Format().sampleRate, kOutputRate);
        const std::vector<int16_t> samples = media_test::ReadAll(decoder);
        const auto frames = static_cast<int64_t>(samples.size()) / channels;
        EXPECT_EQ(decoder.PositionFrames(), frames);
        // All of it, the resampler's last few frames too: the same length in
        // seconds (PCM exactly, to a frame; MP3 as its own decode gives).
        const std::vector<int16_t> own = media_test::DecodeFile(Path(file));
        const double ownFrames = static_cast<double>(own.size()) / channels;
        const double ownRate = std::string(file).starts_with("mono") ? 22050 : kFileRate;
        EXPECT_NEAR(static_cast<double>(frames), ownFrames * kOutputRate / ownRate, 1.0);
        for (int channel = 0; channel < channels; ++channel) {
            EXPECT_NEAR(fixtures::DominantFrequency(samples.data(), static_cast<int>(frames), channels,
                                                    channel, kOutputRate),
                        kToneHz, 1);
            // The level the file has at its own rate.
            EXPECT_NEAR(fixtures::ToneAmplitude(samples.data(), static_cast<int>(frames), channels, channel,
                                                kOutputRate, kToneHz),
                        fixtures::ToneAmplitude(own.data(), static_cast<int>(ownFrames), channels, channel,
                                                static_cast<int>(ownRate), kToneHz),
                        0.005);
        }
        // The tone goes on to the very end.
        const size_t tail = size_t{64} * static_cast<size_t>(channels);
        double tailLevel = 0;
        for (size_t i = samples.size() - tail; i < samples.size(); ++i)
            tailLevel = std::max(tailLevel, std::abs(1.0 * samples[i]));
        EXPECT_GT(tailLevel, 0.3 * 32767);
    }
}

TEST_F(OutputRateTest, SeeksLandOnTheSamplesAStraightDecodeGives) {
    const int frames = 3 * kFileRate;
    ASSERT_TRUE(fixtures::WriteWav(Path("noise48k.wav"), fixtures::Noise(frames, 2, 77), 2, kFileRate));
    ASSERT_TRUE(fixtures::Encode(Path("noise48k.wav"), Path("noise48k.flac"), {"-c:a", "flac"}));
    for (const char* file : {"noise48k.wav", "noise48k.flac"}) {
        SCOPED_TRACE(file);
        const std::vector<int16_t> reference = media_test::DecodeFile(Path(file), kOutputRate);
        ASSERT_NEAR(static_cast<double>(reference.size()) / 2, 3.0 * kOutputRate, 1);

        AudioDecoder decoder;
        ASSERT_TRUE(decoder.Open(Path(file), kOutputRate));
        // Far forward, back, between two samples, a short step forward (decoded
        // through), near the start (opened afresh).
        for (const int64_t time : {20'000'000, 9'000'000, 12'345'678, 13'000'000, 1'000'000}) {
            SCOPED_TRACE(time);
            ASSERT_TRUE(decoder.Seek(time));
            const int64_t target = OutputFrameAt(time);
            EXPECT_EQ(decoder.PositionFrames(), target);
            const std::vector<int16_t> piece = media_test::ReadFrames(decoder, 2048);
            ASSERT_EQ(piece.size(), 4096u);
            EXPECT_EQ(piece, std::vector<int16_t>(reference.begin() + target * 2,
                                                  reference.begin() + target * 2 + 4096));
        }
        // From a seek on, the rest of the file comes out to the same end.
        ASSERT_TRUE(decoder.Seek(25'000'000));
        const std::vector<int16_t> rest = media_test::ReadAll(decoder);
        EXPECT_EQ(rest,
                  std::vector<int16_t>(reference.begin() + OutputFrameAt(25'000'000) * 2, reference.end()));
    }
}
