#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "DecoderReading.h"
#include "platform/media/AudioDecoder.h"
#include "platform/media/MediaFile.h"
#include "support/AudioFixtures.h"
#include "support/Waits.h"

using namespace media_test;
using namespace platform::media;

namespace {

constexpr double kToneHz = 1000;
constexpr double kToneSeconds = 2;
constexpr double kToneAmplitude = 0.5;
constexpr int kRampFrames = 3 * kRate;
constexpr int kMp3FrameSamples = 1152;
constexpr int kWmaFrameSamples = 2048;
constexpr uint32_t kFivePointOne = 0x3F;  // WAVE speaker bits: front pair, centre, LFE, back pair
constexpr uint32_t kQuad = 0x33;          // front pair, back pair

// A second of a different signal on each 5.1 channel (front left, front right,
// centre, LFE, back left, back right), loud but mixing to below full scale.
std::vector<std::vector<int16_t>> SurroundSignals() {
    return {fixtures::Noise(kRate, 1, 3, 0.5),       fixtures::Sine(1000, 1, kRate, 1, 0.5),
            fixtures::Sine(300, 1, kRate, 1, 0.2),   fixtures::Sine(80, 1, kRate, 1, 0.5),
            fixtures::Sine(3000, 1, kRate, 1, 0.15), fixtures::Noise(kRate, 1, 4, 0.15)};
}

// The listed mono sources as the channels of one file, in that order.
std::vector<int16_t> Interleave(const std::vector<std::vector<int16_t>>& sources,
                                const std::vector<int>& used) {
    std::vector<int16_t> out;
    for (size_t n = 0; n < sources[0].size(); ++n)
        for (int c : used) out.push_back(sources[static_cast<size_t>(c)][n]);
    return out;
}

// Where a stretch of stereo audio that should start at frame `expected` of
// `reference` really starts, searched within +-range frames, and how far it
// then differs from the reference there (RMS, relative to the reference's level).
std::pair<int64_t, double> Align(const std::vector<int16_t>& reference, const std::vector<int16_t>& piece,
                                 int64_t expected, int range) {
    std::pair<int64_t, double> best = {0, INFINITY};
    for (int64_t offset = -range; offset <= range; ++offset) {
        const int64_t start = (expected + offset) * 2;
        if (start < 0 || start + piece.size() > reference.size()) continue;
        const double error = RelativeError(piece.data(), &reference[start], piece.size());
        if (error < best.second) best = {offset, error};
    }
    return best;
}

}  // namespace

class AudioDecoderTest : public SharedFixtures<AudioDecoderTest> {
public:
    static std::string MakeFixtures() {
        const auto sources = SurroundSignals();
        const std::vector<int> all = {0, 1, 2, 3, 4, 5};
        for (const auto& [name, samples, channels, rate, mask] :
             std::vector<std::tuple<std::string, std::vector<int16_t>, int, int, uint32_t>>{
                 {"ramp.wav", fixtures::Ramp(kRampFrames, 2), 2, kRate, 0},
                 {"Été à 東京: take #2 ?.wav", fixtures::Ramp(kRampFrames, 2), 2, kRate, 0},
                 {"mono22k.wav", fixtures::Ramp(22050, 1, 1000), 1, 22050, 0},
                 {"tone.wav", fixtures::Sine(kToneHz, kToneSeconds, kRate, 2, kToneAmplitude), 2, kRate, 0},
                 {"tone48k.wav", fixtures::Sine(kToneHz, kToneSeconds, 48000, 2, kToneAmplitude), 2, 48000,
                  0},
                 {"monotone22k.wav", fixtures::Sine(kToneHz, kToneSeconds, 22050, 1, kToneAmplitude), 1,
                  22050, 0},
                 {"noise.wav", fixtures::Noise(kRampFrames, 2, 12345), 2, kRate, 0},
                 {"noise48k.wav", fixtures::Noise(3 * 48000, 2, 77), 2, 48000, 0},
                 {"six.wav", Interleave(sources, all), 6, kRate, kFivePointOne},
                 {"quad.wav", Interleave(sources, {0, 1, 4, 5}), 4, kRate, kQuad},
                 // Every channel at full scale, a bass and a mid tone.
                 {"loud60.wav", Interleave(std::vector(6, fixtures::Sine(60, 1, kRate, 1, 1)), all), 6, kRate,
                  kFivePointOne},
                 {"loud1000.wav", Interleave(std::vector(6, fixtures::Sine(1000, 1, kRate, 1, 1)), all), 6,
                  kRate, kFivePointOne}}) {
            fixtures::WriteWavWithMask(Path(name), samples, channels, rate, mask);
        }
        return fixtures::EncodeAll(
            Folder(),
            {{"ramp.wav", "ramp.flac", {"-c:a", "flac"}},
             {"ramp.wav", "u8.wav", {"-c:a", "pcm_u8"}},
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
             {"tone.wav", "tone.ogg", {"-c:a", "libvorbis", "-metadata", "title=Vorbis comment title"}},
             {"tone.wav", "tone.opus", {"-c:a", "libopus"}},
             {"tone.wav", "tone.m4a", {"-c:a", "aac"}},
             {"tone.wav", "tone.aiff", {}},
             {"tone.wav", "tone-info.wav", {"-c:a", "pcm_s16le", "-metadata", "title=RIFF INFO title"}},
             {"tone48k.wav", "tone48k.mp3", {"-c:a", "libmp3lame"}},
             {"noise.wav", "noise.mp3", {"-c:a", "libmp3lame"}},
             {"noise.wav", "noise.wma", {"-c:a", "wmav2"}},
             {"noise48k.wav", "noise48k.flac", {"-c:a", "flac"}}});
    }
};

TEST_F(AudioDecoderTest, PcmFilesDecodeBitExactToSixteenBitAtTheirOwnRate) {
    const std::vector<int16_t> ramp = fixtures::Ramp(kRampFrames, 2);
    std::vector<int16_t> ramp8(ramp);  // what 8 bits keep of it
    for (int16_t& sample : ramp8) sample = static_cast<int16_t>(sample & ~0xFF);
    AudioDecoder decoder;
    for (const auto& [file, channels, rate, expected] :
         std::vector<std::tuple<std::string, int, int, std::vector<int16_t>>>{
             {"ramp.wav", 2, kRate, ramp},
             {"mono22k.wav", 1, 22050, fixtures::Ramp(22050, 1, 1000)},
             {"u8.wav", 2, kRate, ramp8},
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
    // Each front channel to its side as it is; the centre to both sides and each
    // back channel to its own, 3 dB down; the LFE left out. Within full scale
    // that sum comes out exactly, sample for sample.
    const double h = std::sqrt(0.5);
    const double gains[6][2] = {{1, 0}, {0, 1}, {h, h}, {0, 0}, {h, 0}, {0, h}};
    const auto sources = SurroundSignals();
    for (const auto& [file, used] : std::vector<std::pair<std::string, std::vector<int>>>{
             {"six.wav", {0, 1, 2, 3, 4, 5}}, {"six.flac", {0, 1, 2, 3, 4, 5}}, {"quad.wav", {0, 1, 4, 5}}}) {
        SCOPED_TRACE(file);
        const std::vector<int16_t> mixed = DecodeFile(Path(file));
        ASSERT_EQ(mixed.size(), 2u * kRate);
        int wrong = 0;
        for (size_t n = 0; n < kRate; ++n) {
            for (int side : {0, 1}) {
                double expected = 0;
                for (int c : used) expected += gains[c][side] * sources[static_cast<size_t>(c)][n];
                wrong += std::abs(mixed[2 * n + side] - expected) > 0.51;
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(AudioDecoderTest, LoudSurroundIsLimitedNotClipped) {
    for (const int hz : {60, 1000}) {
        SCOPED_TRACE(hz);
        const std::vector<int16_t> loud = DecodeFile(Path("loud" + std::to_string(hz) + ".wav"));
        ASSERT_EQ(loud.size(), 2u * kRate) << "every frame comes out, the held ones too";
        for (int side : {0, 1}) {
            int run = 0, longestRun = 0, peak = 0;
            for (auto i = static_cast<size_t>(side); i < loud.size(); i += 2) {
                run = std::abs(loud[i]) >= 32767 ? run + 1 : 0;
                longestRun = std::max(longestRun, run);
                peak = std::max(peak, std::abs(loud[i]));
            }
            EXPECT_LE(longestRun, 2) << "side " << side;
            EXPECT_GT(peak, 0.8 * 32767) << "side " << side;
            // Still the tone, not a distorted one.
            EXPECT_NEAR(fixtures::DominantFrequency(loud.data(), kRate, 2, side, kRate), hz, 1);
        }
    }
}

TEST_F(AudioDecoderTest, EveryFormatDecodesTheToneAndItsTitleAtItsOwnRateOrTheOneAskedFor) {
    AudioDecoder decoder;  // one for all: each Open replaces what the last one opened
    for (const auto& [file, rate, title, outputRate] :
         std::vector<std::tuple<std::string, int, const char*, int>>{
             {"tone.mp3", kRate, "Café Δ ID3v2", 0},
             {"tone-id3v1.mp3", kRate, "Plain ID3v1", 0},
             {"tone.wma", kRate, "ASF title", 0},
             {"tone.ogg", kRate, "Vorbis comment title", 0},
             {"tone-info.wav", kRate, "RIFF INFO title", 0},
             {"tone.opus", 48000, "", 0},
             {"tone.m4a", kRate, "", 0},
             {"tone.aiff", kRate, "", 0},
             {"tone48k.wav", 48000, "", kRate},
             {"tone48k.mp3", 48000, "", kRate},
             {"monotone22k.wav", 22050, "", kRate}}) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(decoder.Open(Path(file), outputRate)) << decoder.ErrorText();
        const int channels = file.starts_with("mono") ? 1 : 2;
        const int heardRate = outputRate ? outputRate : rate;
        EXPECT_EQ(decoder.Title(), title);
        EXPECT_EQ(decoder.Format().channels, channels);
        EXPECT_EQ(decoder.Format().sampleRate, heardRate);
        // Lossy encoders add priming and padding, and their containers state
        // lengths loosely: a few codec frames either way.
        EXPECT_NEAR(static_cast<double>(decoder.Duration100ns()) / kHundredNsPerSecond, kToneSeconds, 0.05);
        EXPECT_EQ(decoder.PositionFrames(), 0);

        const std::vector<int16_t> samples = ReadAll(decoder);
        const int frames = static_cast<int>(samples.size()) / channels;
        EXPECT_NEAR(static_cast<double>(frames) / heardRate, kToneSeconds, 0.05);
        EXPECT_EQ(decoder.PositionFrames(), frames);
        // At another rate: all of it, the resampler's last frames too, at the
        // level the file has at its own rate.
        const std::vector<int16_t> own = DecodeFile(Path(file));
        const int ownFrames = static_cast<int>(own.size()) / channels;
        EXPECT_NEAR(frames, static_cast<double>(ownFrames) * heardRate / rate, 1.0);
        for (int channel = 0; channel < channels; ++channel) {
            EXPECT_NEAR(fixtures::DominantFrequency(samples.data(), frames, channels, channel, heardRate),
                        kToneHz, 1);
            const double level =
                fixtures::ToneAmplitude(samples.data(), frames, channels, channel, heardRate, kToneHz);
            EXPECT_NEAR(level, kToneAmplitude, 0.05);
            EXPECT_NEAR(level,
                        fixtures::ToneAmplitude(own.data(), ownFrames, channels, channel, rate, kToneHz),
                        0.005);
        }
        if (outputRate) {  // the tone goes on to the very end
            const auto tail = samples.end() - 64 * channels;
            EXPECT_GT(*std::max_element(tail, samples.end()), 0.3 * 32767);
        }
        // Back to the start from the end: the same samples as after Open,
        // encoder delay and priming skipped alike.
        ASSERT_TRUE(decoder.Seek(0));
        EXPECT_EQ(ReadFrames(decoder, 2048),
                  std::vector<int16_t>(samples.begin(), samples.begin() + 2048 * channels));
    }
}

TEST_F(AudioDecoderTest, SeekLandsOnTheRightAudioOfTheFileOpenedWhereverItWent) {
    // Exact for PCM and FLAC, at the file's rate or another. FFmpeg finds MP3
    // frames exactly, so an MP3 seek is off only if the encoder delay is
    // mishandled; the first frame decoded after a seek may differ slightly. ASF
    // stamps packets in whole milliseconds, so WMA may land up to a frame off.
    for (const auto& [file, outputRate, allowedOffset, allowedError, fate] :
         std::vector<std::tuple<std::string, int, int, double, std::string>>{
             {"ramp.wav", 0, 0, 0, "deleted"},
             {"ramp.flac", 0, 0, 0, "replaced"},
             {"noise48k.wav", kRate, 0, 0, "moved"},
             {"noise48k.flac", kRate, 0, 0, "deleted"},
             {"noise.mp3", 0, 0, 0.01, "replaced"},
             {"noise.wma", 0, kWmaFrameSamples, 0.01, "moved"}}) {
        SCOPED_TRACE(file + ", " + fate);
        const std::vector<int16_t> reference = DecodeFile(Path(file), outputRate);
        // Loaded, and some of it played, then moved, deleted or moved with
        // another file put in its place: the decoder reads on the file it opened.
        const std::string loaded = Path("loaded-" + file);
        std::filesystem::copy_file(Path(file), loaded);
        AudioDecoder decoder;
        ASSERT_TRUE(decoder.Open(loaded, outputRate)) << decoder.ErrorText();
        ASSERT_EQ(ReadFrames(decoder, 10000).size(), 20000u);
        std::filesystem::rename(loaded, Path("moved-" + file));
        if (fate == "deleted") std::filesystem::remove(Path("moved-" + file));
        if (fate == "replaced") std::filesystem::copy_file(Path("noise.wav"), loaded);
        EXPECT_EQ(decoder.File()->Path(), loaded);
        // As a deck seeks: far forward, backward, to an instant between
        // samples, forward, then a short step forward, which decodes through
        // and so keeps the offset the last seek had; then before the start,
        // where the decoder opens its stream afresh.
        std::vector<int64_t> offsets;
        for (const int64_t time : {17'000'000, 9'000'000, 12'345'678, 24'000'000, 27'500'000, -5}) {
            SCOPED_TRACE(time);
            const int64_t target = std::max<int64_t>(0, std::llround(time * kRate / 1e7));
            ASSERT_TRUE(decoder.Seek(time));
            EXPECT_EQ(decoder.PositionFrames(), target);
            const std::vector<int16_t> piece = ReadFrames(decoder, 2048);
            ASSERT_EQ(piece.size(), 2u * 2048);
            const auto [offset, error] = Align(reference, piece, target, allowedOffset + 64);
            EXPECT_LE(std::abs(offset), allowedOffset);
            EXPECT_LE(error, allowedError) << "offset " << offset;
            offsets.push_back(offset);
        }
        EXPECT_EQ(offsets[4], offsets[3]) << "a short step forward keeps the offset";
        if (allowedError == 0) {  // from a seek on, the rest of the file to the same end
            ASSERT_TRUE(decoder.Seek(25'000'000));
            EXPECT_EQ(ReadAll(decoder),
                      std::vector<int16_t>(reference.begin() + 2 * 110'250, reference.end()));
        }
        ASSERT_TRUE(decoder.Seek(600'000'000));  // past the end: at the end
        EXPECT_NEAR(decoder.PositionFrames(), static_cast<int64_t>(reference.size() / 2), allowedOffset);
        EXPECT_TRUE(ReadFrames(decoder, 10).empty());
    }
}

TEST_F(AudioDecoderTest, BadInputFailsFastAndLeavesTheDecoderClosed) {
    ASSERT_TRUE(WriteBytes(Path("empty.mp3"), ""));
    ASSERT_TRUE(WriteBytes(Path("random.mp3"), Garbled(std::string(65536, 0), 0, 65536, 99)));
    ASSERT_EQ(mkfifo(Path("pipe.mp3").c_str(), 0600), 0);
    std::filesystem::create_directory(Path("folder.mp3"));
    std::vector<std::string> paths = {"", "/dev/zero"};
    for (const char* name : {"missing.mp3", "folder.mp3", "empty.mp3", "random.mp3", "pipe.mp3"})
        paths.push_back(Path(name));
    // A file without permissions, unless this user (root) reads it anyway.
    std::filesystem::copy_file(Path("tone.wav"), Path("locked.wav"),
                               std::filesystem::copy_options::overwrite_existing);
    ASSERT_EQ(chmod(Path("locked.wav").c_str(), 0), 0);
    if (access(Path("locked.wav").c_str(), R_OK) != 0) paths.push_back(Path("locked.wav"));
    // What the file system says, where it says it.
    std::map<std::string, std::string> texts = {{Path("missing.mp3"), "No such file"},
                                                {Path("folder.mp3"), "Not a regular file"},
                                                {Path("empty.mp3"), "The file is empty"}};

    AudioDecoder decoder;
    std::vector<uint8_t> block(11760);
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(decoder.Open(Path("tone.mp3")));  // a failed Open also closes what was open
        // A pipe nobody writes to or an endless device must not hold the caller.
        testing_support::ExpectReturns([&] { EXPECT_FALSE(decoder.Open(path)); });
        EXPECT_FALSE(decoder.IsOpen());
        EXPECT_NE(decoder.ErrorText(), "");
        EXPECT_NE(decoder.ErrorText().find(texts[path]), std::string::npos) << decoder.ErrorText();
        EXPECT_EQ(decoder.Read(block.data(), block.size()), 0u);
        EXPECT_EQ(decoder.Duration100ns(), 0);
    }
    ASSERT_TRUE(decoder.Open(Path("tone.wav")));
    decoder.Close();
    EXPECT_FALSE(decoder.IsOpen());
    EXPECT_EQ(decoder.Read(block.data(), block.size()), 0u);
}

TEST_F(AudioDecoderTest, CutAndDamagedFilesDeliverWhatIsThere) {
    // A WAV cut in the middle of a sample: every whole frame before the cut.
    const uintmax_t cut = std::filesystem::file_size(Path("ramp.wav")) / 2 + 1;
    std::filesystem::copy_file(Path("ramp.wav"), Path("cut.wav"));
    std::filesystem::resize_file(Path("cut.wav"), cut);
    EXPECT_EQ(DecodeFile(Path("cut.wav")), fixtures::Ramp(static_cast<int>((cut - 44) / 4), 2))
        << "44: the header";

    // About seven MP3 frames' worth of bytes in the middle overwritten: those
    // frames are skipped and decoding goes on.
    constexpr int kDamagedBytes = 3000;
    const std::vector<int16_t> clean = DecodeFile(Path("noise.mp3"));
    const std::string bytes = FileBytes(Path("noise.mp3"));
    ASSERT_TRUE(WriteBytes(Path("damaged.mp3"), Garbled(bytes, bytes.size() / 2, kDamagedBytes, 99)));
    const std::vector<int16_t> damaged = DecodeFile(Path("damaged.mp3"));
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
    EXPECT_EQ(Align(clean, piece, start + lostFrames, kMp3FrameSamples).second, 0);
}
