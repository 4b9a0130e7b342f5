#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "DecoderReading.h"
#include "platform/media/AudioDecoder.h"
#include "support/AudioFixtures.h"
#include "support/Waits.h"

using platform::media::AudioDecoder;

using media_test::kBlockBytes;
using media_test::ReadAll;
using media_test::ReadFrames;

namespace {

constexpr int kRate = 44100;
constexpr int64_t kHundredNsPerSecond = 10'000'000;
constexpr double kToneHz = 1000;
constexpr double kToneSeconds = 2;
constexpr double kToneAmplitude = 0.5;
constexpr int kRampFrames = 3 * kRate;
constexpr int kMp3FrameSamples = 1152;
constexpr int kWmaFrameSamples = 2048;

// Where a stretch of stereo audio that should start at frame `expected` of
// `reference` really starts, searched within +-range frames, and how far it
// then differs from the reference there (RMS, relative to the reference's level).
struct Alignment {
    int64_t offset = 0;
    double error = INFINITY;
};
Alignment Align(const std::vector<int16_t>& reference, const std::vector<int16_t>& piece, int64_t expected,
                int range) {
    Alignment best;
    for (int64_t offset = -range; offset <= range; ++offset) {
        const int64_t start = (expected + offset) * 2;
        if (start < 0 || start + piece.size() > reference.size()) continue;
        const double error = media_test::RelativeError(piece.data(), &reference[start], piece.size());
        if (error < best.error) best = {offset, error};
    }
    return best;
}

}  // namespace

class AudioDecoderTest : public media_test::SharedFixtures<AudioDecoderTest> {
public:
    static std::string MakeFixtures() {
        // Six channels: front left 440 Hz, front right 1 kHz, centre 2 kHz,
        // LFE silent, surround left 3 kHz, surround right 5 kHz.
        const std::vector<double> sixHz = {440, 1000, 2000, 0, 3000, 5000};
        std::vector<int16_t> six(size_t{kRate} * 6, 0);
        for (size_t c = 0; c < 6; ++c) {
            const std::vector<int16_t> tone = fixtures::Sine(sixHz[c], 1, kRate, 1, 0.2);  // 0 Hz: silence
            for (size_t n = 0; n < kRate; ++n) six[n * 6 + c] = tone[n];
        }
        std::vector<uint8_t> bytes8(2000);
        for (size_t i = 0; i < bytes8.size(); ++i) bytes8[i] = static_cast<uint8_t>(i * 7);
        if (!fixtures::WriteWav(Path("ramp.wav"), fixtures::Ramp(kRampFrames, 2), 2, kRate) ||
            !fixtures::WriteWav(Path("Été à 東京: take #2 ?.wav"), fixtures::Ramp(kRampFrames, 2), 2,
                                kRate) ||
            !fixtures::WriteWav(Path("mono22k.wav"), fixtures::Ramp(22050, 1, 1000), 1, 22050) ||
            !fixtures::WriteWav(Path("tone.wav"),
                                fixtures::Sine(kToneHz, kToneSeconds, kRate, 2, kToneAmplitude), 2, kRate) ||
            !fixtures::WriteWav(Path("noise.wav"), fixtures::Noise(kRampFrames, 2, 12345), 2, kRate) ||
            !fixtures::WriteWav(Path("six.wav"), six, 6, kRate) ||
            !fixtures::WriteWav8(Path("u8.wav"), bytes8, 2, kRate))
            return "cannot write the WAV fixtures";
        return fixtures::EncodeAll(
            Folder(),
            {{"ramp.wav", "ramp.flac", {"-c:a", "flac"}},
             {"ramp.wav", "s24.wav", {"-c:a", "pcm_s24le"}},
             {"ramp.wav", "f32.wav", {"-c:a", "pcm_f32le"}},
             {"six.wav", "six.flac", {"-c:a", "flac"}},
             {"tone.wav",
              "tone.mp3",
              {"-c:a", "libmp3lame", "-id3v2_version", "3", "-metadata", "title=Café Δ ID3v2"}},
             // ffmpeg fills an ID3v1 tag from ID3v2 frame names only, and without
             // an ID3v2 tag it does not rename "title", so the frame name is given.
             {"tone.wav",
              "tone-id3v1.mp3",
              {"-c:a", "libmp3lame", "-id3v2_version", "0", "-write_id3v1", "1", "-metadata",
               "TIT2=Plain ID3v1"}},
             {"tone.wav", "tone.wma", {"-c:a", "wmav2", "-metadata", "title=ASF title"}},
             {"tone.wav", "tone.flac", {"-c:a", "flac"}},
             {"tone.wav", "tone.ogg", {"-c:a", "libvorbis", "-metadata", "title=Vorbis comment title"}},
             {"tone.wav", "tone.opus", {"-c:a", "libopus"}},
             {"tone.wav", "tone.m4a", {"-c:a", "aac"}},
             {"tone.wav", "tone.aiff", {}},
             {"tone.wav", "tone-info.wav", {"-c:a", "pcm_s16le", "-metadata", "title=RIFF INFO title"}},
             {"noise.wav", "noise.mp3", {"-c:a", "libmp3lame"}},
             {"noise.wav", "noise.wma", {"-c:a", "wmav2"}}});
    }
};

TEST_F(AudioDecoderTest, PcmFilesDecodeBitExactToSixteenBitAtTheirOwnRate) {
    std::vector<int16_t> widened8(2000);
    for (size_t i = 0; i < widened8.size(); ++i)
        widened8[i] = static_cast<int16_t>((uint8_t(i * 7) - 128) * 256);
    const std::vector<int16_t> ramp = fixtures::Ramp(kRampFrames, 2);
    AudioDecoder decoder;
    for (const auto& [file, channels, rate, expected] :
         std::vector<std::tuple<std::string, int, int, std::vector<int16_t>>>{
             {"ramp.wav", 2, kRate, ramp},
             {"mono22k.wav", 1, 22050, fixtures::Ramp(22050, 1, 1000)},
             {"u8.wav", 2, kRate, widened8},
             {"s24.wav", 2, kRate, ramp},
             {"f32.wav", 2, kRate, ramp},
             {"Été à 東京: take #2 ?.wav", 2, kRate, ramp}}) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(decoder.Open(Path(file))) << decoder.ErrorText();
        EXPECT_EQ(decoder.Format().channels, channels);
        EXPECT_EQ(decoder.Format().sampleRate, rate);
        const auto frames = static_cast<int64_t>(expected.size()) / channels;
        EXPECT_EQ(decoder.Duration100ns(), frames * kHundredNsPerSecond / rate);
        EXPECT_EQ(ReadAll(decoder), expected);
    }

    // 1001 bytes is 250 whole frames and a bit: only whole frames come out.
    ASSERT_TRUE(decoder.Open(Path("ramp.wav")));
    std::vector<int16_t> odd(501);
    EXPECT_EQ(decoder.Read(reinterpret_cast<uint8_t*>(odd.data()), 1001), 1000u);
    EXPECT_EQ(decoder.PositionFrames(), 250);
    EXPECT_EQ(ReadFrames(decoder, 1), std::vector<int16_t>(ramp.begin() + 500, ramp.begin() + 502));
}

TEST_F(AudioDecoderTest, SurroundIsMixedDownToStereo) {
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.Open(Path("six.flac"))) << decoder.ErrorText();
    const std::vector<int16_t> stereo = ReadAll(decoder);
    ASSERT_EQ(stereo.size(), 2u * kRate);
    const auto level = [&](int channel, double hz) {
        return fixtures::ToneAmplitude(stereo.data(), kRate, 2, channel, kRate, hz);
    };
    // Each side gets its front and surround channel and none of the other side's;
    // the centre goes to both, 3 dB below a front channel.
    const double own[2][2] = {{440, 3000}, {1000, 5000}};
    for (int side : {0, 1}) {
        for (int tone : {0, 1}) {
            EXPECT_GT(level(side, own[side][tone]), 0.04) << side << " " << own[side][tone];
            EXPECT_LT(level(side, own[1 - side][tone]), 0.001) << side << " " << own[1 - side][tone];
        }
        EXPECT_NEAR(level(side, 2000) / level(side, own[side][0]), std::sqrt(0.5), 0.02);
    }
}

TEST_F(AudioDecoderTest, EveryFormatDecodesTheToneAndItsTitle) {
    AudioDecoder decoder;  // one for all: each Open replaces what the last one opened
    for (const auto& [file, rate, title] :
         std::vector<std::tuple<const char*, int, const char*>>{{"tone.mp3", kRate, "Café Δ ID3v2"},
                                                                {"tone-id3v1.mp3", kRate, "Plain ID3v1"},
                                                                {"tone.wma", kRate, "ASF title"},
                                                                {"tone.ogg", kRate, "Vorbis comment title"},
                                                                {"tone-info.wav", kRate, "RIFF INFO title"},
                                                                {"tone.wav", kRate, ""},
                                                                {"tone.flac", kRate, ""},
                                                                {"tone.opus", 48000, ""},
                                                                {"tone.m4a", kRate, ""},
                                                                {"tone.aiff", kRate, ""}}) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(decoder.Open(Path(file))) << decoder.ErrorText();
        EXPECT_EQ(decoder.Title(), title);
        EXPECT_EQ(decoder.Format().channels, 2);
        EXPECT_EQ(decoder.Format().sampleRate, rate);
        // Lossy encoders add priming and padding, and their containers state
        // lengths loosely: a few codec frames either way.
        EXPECT_NEAR(static_cast<double>(decoder.Duration100ns()) / kHundredNsPerSecond, kToneSeconds, 0.05);
        EXPECT_EQ(decoder.PositionFrames(), 0);

        const std::vector<int16_t> samples = ReadAll(decoder);
        const int frames = static_cast<int>(samples.size() / 2);
        EXPECT_NEAR(static_cast<double>(frames) / rate, kToneSeconds, 0.05);
        EXPECT_EQ(decoder.PositionFrames(), frames);
        for (int channel : {0, 1}) {
            EXPECT_NEAR(fixtures::DominantFrequency(samples.data(), frames, 2, channel, rate), kToneHz, 1);
            EXPECT_NEAR(fixtures::ToneAmplitude(samples.data(), frames, 2, channel, rate, kToneHz),
                        kToneAmplitude, 0.05);
        }
        // Back to the start from the end: the same samples as after Open,
        // encoder delay and priming skipped alike.
        ASSERT_TRUE(decoder.Seek(0));
        EXPECT_EQ(ReadFrames(decoder, 4096), std::vector<int16_t>(samples.begin(), samples.begin() + 8192));
    }
}

TEST_F(AudioDecoderTest, SeekLandsOnTheRightAudio) {
    // Exact for PCM and FLAC. FFmpeg finds MP3 frames exactly, so an MP3 seek is
    // off only if the encoder delay is mishandled; the first frame decoded after
    // a seek may differ slightly. ASF stamps packets in whole milliseconds, so
    // WMA may land up to a frame off.
    for (const auto& [file, allowedOffset, allowedError] :
         std::vector<std::tuple<const char*, int, double>>{{"ramp.wav", 0, 0},
                                                           {"ramp.flac", 0, 0},
                                                           {"noise.mp3", 0, 0.01},
                                                           {"noise.wma", kWmaFrameSamples, 0.01}}) {
        SCOPED_TRACE(file);
        AudioDecoder decoder;
        ASSERT_TRUE(decoder.Open(Path(file))) << decoder.ErrorText();
        const std::vector<int16_t> reference = ReadAll(decoder);
        ASSERT_TRUE(decoder.Open(Path(file)));
        // As a deck seeks a fresh file: far forward, backward, to an instant
        // between samples, forward, then a short step forward, which decodes
        // through and so keeps the offset the last seek had; then before the start.
        std::vector<int64_t> offsets;
        for (const int64_t time : {17'000'000, 9'000'000, 12'345'678, 24'000'000, 27'500'000, -5}) {
            SCOPED_TRACE(time);
            const int64_t target = std::max<int64_t>(0, std::llround(time * kRate / 1e7));
            ASSERT_TRUE(decoder.Seek(time));
            EXPECT_EQ(decoder.PositionFrames(), target);
            const std::vector<int16_t> piece = ReadFrames(decoder, 2048);
            ASSERT_EQ(piece.size(), 2u * 2048);
            const Alignment alignment = Align(reference, piece, target, allowedOffset + 64);
            EXPECT_LE(std::abs(alignment.offset), allowedOffset);
            EXPECT_LE(alignment.error, allowedError) << "offset " << alignment.offset;
            offsets.push_back(alignment.offset);
        }
        EXPECT_EQ(offsets[4], offsets[3]) << "a short step forward keeps the offset";
        ASSERT_TRUE(decoder.Seek(600'000'000));  // past the end: at the end
        EXPECT_NEAR(decoder.PositionFrames(), static_cast<int64_t>(reference.size() / 2), allowedOffset);
        EXPECT_TRUE(ReadFrames(decoder, 10).empty());
    }
}

TEST_F(AudioDecoderTest, BadInputFailsFastAndLeavesTheDecoderClosed) {
    ASSERT_TRUE(media_test::WriteBytes(Path("empty.mp3"), ""));
    ASSERT_TRUE(
        media_test::WriteBytes(Path("random.mp3"), media_test::Garbled(std::string(65536, 0), 0, 65536, 99)));
    ASSERT_EQ(mkfifo(Path("pipe.mp3").c_str(), 0600), 0);
    std::filesystem::create_directory(Path("folder.mp3"));

    AudioDecoder decoder;
    std::vector<uint8_t> block(kBlockBytes);
    for (const std::string& path : {std::string(), Path("missing.mp3"), Path("folder.mp3"), Path("empty.mp3"),
                                    Path("random.mp3"), Path("pipe.mp3"), std::string("/dev/zero")}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(decoder.Open(Path("tone.mp3")));  // a failed Open also closes what was open
        // A pipe nobody writes to or an endless device must not hold the caller.
        testing_support::ExpectReturns([&] { EXPECT_FALSE(decoder.Open(path)); });
        EXPECT_FALSE(decoder.IsOpen());
        EXPECT_NE(decoder.ErrorText(), "");
        EXPECT_EQ(decoder.Read(block.data(), block.size()), 0u);
        EXPECT_EQ(decoder.Duration100ns(), 0);
    }
    ASSERT_TRUE(decoder.Open(Path("tone.wav")));
    decoder.Close();
    EXPECT_FALSE(decoder.IsOpen());
    EXPECT_EQ(decoder.Read(block.data(), block.size()), 0u);
}

TEST_F(AudioDecoderTest, UnreadableFileFails) {
    AudioDecoder decoder;
    const std::string locked = Path("locked.wav");
    std::filesystem::copy_file(Path("tone.wav"), locked, std::filesystem::copy_options::overwrite_existing);
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    if (access(locked.c_str(), R_OK) == 0)
        GTEST_SKIP() << "this user (root) can read a file without permissions";
    EXPECT_FALSE(decoder.Open(locked));
    EXPECT_NE(decoder.ErrorText(), "");
}

TEST_F(AudioDecoderTest, TruncatedFilesDeliverWhatIsThereThenEnd) {
    // A WAV cut in the middle of a sample: every whole frame before the cut.
    const uintmax_t cut = std::filesystem::file_size(Path("ramp.wav")) / 2 + 1;
    std::filesystem::copy_file(Path("ramp.wav"), Path("cut.wav"));
    std::filesystem::resize_file(Path("cut.wav"), cut);
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.Open(Path("cut.wav"))) << decoder.ErrorText();
    EXPECT_EQ(ReadAll(decoder), fixtures::Ramp(static_cast<int>((cut - 44) / 4), 2)) << "44: the header";

    // An MP3 cut in half: about half the tone, still the tone.
    std::filesystem::copy_file(Path("tone.mp3"), Path("cut.mp3"));
    std::filesystem::resize_file(Path("cut.mp3"), std::filesystem::file_size(Path("tone.mp3")) / 2);
    ASSERT_TRUE(decoder.Open(Path("cut.mp3"))) << decoder.ErrorText();
    const std::vector<int16_t> half = ReadAll(decoder);
    const int frames = static_cast<int>(half.size() / 2);
    EXPECT_NEAR(static_cast<double>(frames) / kRate, kToneSeconds / 2, 0.1);
    EXPECT_NEAR(fixtures::DominantFrequency(half.data(), frames, 2, 0, kRate), kToneHz, 1);
}

TEST_F(AudioDecoderTest, DamagedMp3FramesAreSkippedAndDecodingGoesOn) {
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.Open(Path("noise.mp3")));
    const std::vector<int16_t> clean = ReadAll(decoder);

    // Overwrite about seven frames' worth of bytes in the middle with garbage.
    constexpr int kDamagedBytes = 3000;
    const std::string bytes = media_test::FileBytes(Path("noise.mp3"));
    ASSERT_TRUE(media_test::WriteBytes(Path("damaged.mp3"),
                                       media_test::Garbled(bytes, bytes.size() / 2, kDamagedBytes, 99)));

    ASSERT_TRUE(decoder.Open(Path("damaged.mp3"))) << decoder.ErrorText();
    const std::vector<int16_t> damaged = ReadAll(decoder);
    // At 128 kbit/s a frame is 418 bytes: the damage costs a handful of frames.
    const int64_t lostFrames = (std::ssize(clean) - std::ssize(damaged)) / 2;
    EXPECT_GT(lostFrames, 0);
    EXPECT_LE(lostFrames, (kDamagedBytes / 417 + 3) * kMp3FrameSamples);
    // A stretch that ends one frame before the end is the clean file's
    // audio, so decoding went on to the end. (With frames lost in the middle,
    // FFmpeg trims the encoder's end padding short: the very end may hold a few
    // hundred samples of it.)
    const int64_t start = std::ssize(damaged) / 2 - 4096 - kMp3FrameSamples;
    ASSERT_GT(start, 0);
    const std::vector<int16_t> piece(damaged.begin() + start * 2, damaged.begin() + (start + 4096) * 2);
    EXPECT_EQ(Align(clean, piece, start + lostFrames, kMp3FrameSamples).error, 0);
}
