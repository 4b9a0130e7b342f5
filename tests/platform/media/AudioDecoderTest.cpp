#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/media/AudioDecoder.h"
#include "support/AudioFixtures.h"

using platform::media::AudioDecoder;
using platform::media::AudioFormat;

namespace {

constexpr int kRate = 44100;
constexpr int64_t kHundredNsPerSecond = 10'000'000;
// The disc block size the file source reads with.
constexpr size_t kBlockBytes = 11760;
constexpr double kToneHz = 1000;
constexpr double kToneSeconds = 2;
constexpr double kToneAmplitude = 0.5;
constexpr int kRampFrames = 3 * kRate;
constexpr int kNoiseFrames = 3 * kRate;
// Samples per codec frame: how far a seek in these formats may land from the target.
constexpr int kMp3FrameSamples = 1152;
constexpr int kWmaFrameSamples = 2048;
// Lossy encoders add priming and padding, and their containers state lengths
// loosely; a few codec frames either way.
constexpr double kLossyLengthToleranceSeconds = 0.05;

std::vector<int16_t> ReadAll(AudioDecoder& decoder, size_t chunkBytes = kBlockBytes) {
    std::vector<int16_t> samples;
    std::vector<uint8_t> chunk(chunkBytes);
    while (const size_t got = decoder.Read(chunk.data(), chunk.size())) {
        const auto* begin = reinterpret_cast<const int16_t*>(chunk.data());
        samples.insert(samples.end(), begin, begin + got / sizeof(int16_t));
    }
    return samples;
}

std::vector<int16_t> ReadFrames(AudioDecoder& decoder, int frames) {
    std::vector<int16_t> samples(static_cast<size_t>(frames) * decoder.Format().channels);
    const size_t got = decoder.Read(reinterpret_cast<uint8_t*>(samples.data()), samples.size() * sizeof(int16_t));
    samples.resize(got / sizeof(int16_t));
    return samples;
}

int64_t SecondsTo100ns(double seconds) { return std::llround(seconds * kHundredNsPerSecond); }
double Seconds(int64_t hundredNs) { return static_cast<double>(hundredNs) / kHundredNsPerSecond; }

// One tone per channel (0 Hz = silence), interleaved.
std::vector<int16_t> TonePerChannel(const std::vector<double>& hz, double seconds, double amplitude) {
    const int channels = static_cast<int>(hz.size());
    const auto frames = static_cast<size_t>(std::lround(seconds * kRate));
    std::vector<int16_t> samples(frames * channels, 0);
    for (int c = 0; c < channels; ++c) {
        if (hz[c] == 0) continue;
        const std::vector<int16_t> tone = fixtures::Sine(hz[c], seconds, kRate, 1, amplitude);
        for (size_t n = 0; n < frames; ++n) samples[n * channels + c] = tone[n];
    }
    return samples;
}

// Where `piece` (read after a seek to frame `target`) lies in `reference`,
// searched within +-range frames: the offset with the smallest RMS difference.
struct Alignment {
    int64_t offset = 0;
    double rmsError = 0;
};
Alignment Align(const std::vector<int16_t>& reference, const std::vector<int16_t>& piece, int channels,
                int64_t target, int range) {
    Alignment best{0, INFINITY};
    const auto pieceFrames = static_cast<int64_t>(piece.size()) / channels;
    const auto referenceFrames = static_cast<int64_t>(reference.size()) / channels;
    for (int64_t offset = -range; offset <= range; ++offset) {
        const int64_t start = target + offset;
        if (start < 0 || start + pieceFrames > referenceFrames) continue;
        double sum = 0;
        for (size_t i = 0; i < piece.size(); ++i) {
            const double d = piece[i] - reference[static_cast<size_t>(start * channels) + i];
            sum += d * d;
        }
        const double rms = std::sqrt(sum / static_cast<double>(piece.size()));
        if (rms < best.rmsError) best = {offset, rms};
    }
    return best;
}

double Rms(const int16_t* samples, size_t count) {
    double sum = 0;
    for (size_t i = 0; i < count; ++i) sum += static_cast<double>(samples[i]) * samples[i];
    return count ? std::sqrt(sum / static_cast<double>(count)) : 0;
}

}  // namespace

class AudioDecoderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<QTemporaryDir>();
        setupError_ = MakeFixtures();
    }
    static void TearDownTestSuite() { dir_.reset(); }
    void SetUp() override { ASSERT_EQ(setupError_, "") << "fixtures could not be made"; }

    static std::string Path(const std::string& name) { return dir_->path().toStdString() + "/" + name; }

    // Returns "" or what went wrong.
    static std::string MakeFixtures() {
        if (!dir_->isValid()) return "no temporary directory";
        const auto wav = [](const std::string& name, const std::vector<int16_t>& samples, int channels, int rate) {
            return fixtures::WriteWav(Path(name), samples, channels, rate) ? "" : "cannot write " + name;
        };
        const auto encode = [](const std::string& input, const std::string& output,
                               const std::vector<std::string>& args) {
            return fixtures::Encode(Path(input), Path(output), args) ? "" : "ffmpeg failed on " + output;
        };
        std::vector<uint8_t> bytes8(2 * 1000);
        for (size_t i = 0; i < bytes8.size(); ++i) bytes8[i] = static_cast<uint8_t>(i * 7);
        if (!fixtures::WriteWav8(Path("u8.wav"), bytes8, 2, kRate)) return "cannot write u8.wav";

        for (const std::string& error : {
                 wav("ramp.wav", fixtures::Ramp(kRampFrames, 2), 2, kRate),
                 wav("mono22k.wav", fixtures::Ramp(kRate / 2, 1, 1000), 1, 22050),
                 wav("tone.wav", fixtures::Sine(kToneHz, kToneSeconds, kRate, 2, kToneAmplitude), 2, kRate),
                 wav("noise.wav", fixtures::Noise(kNoiseFrames, 2, 12345), 2, kRate),
                 wav("six.wav", TonePerChannel({440, 1000, 2000, 0, 3000, 5000}, 1, 0.2), 6, kRate),
                 encode("ramp.wav", "ramp.flac", {"-c:a", "flac"}),
                 encode("ramp.wav", "s24.wav", {"-c:a", "pcm_s24le"}),
                 encode("ramp.wav", "f32.wav", {"-c:a", "pcm_f32le"}),
                 encode("six.wav", "six.flac", {"-c:a", "flac"}),
                 encode("tone.wav", "tone.mp3",
                        {"-c:a", "libmp3lame", "-id3v2_version", "3", "-metadata", "title=Café Δ ID3v2"}),
                 // ffmpeg writes an ID3v1 tag only from ID3v2 frame names, and
                 // without an ID3v2 tag it does not convert "title" into one.
                 encode("tone.wav", "tone-id3v1.mp3",
                        {"-c:a", "libmp3lame", "-id3v2_version", "0", "-write_id3v1", "1", "-metadata",
                         "TIT2=Plain ID3v1"}),
                 encode("tone.wav", "tone.wma", {"-c:a", "wmav2", "-metadata", "title=ASF title"}),
                 encode("tone.wav", "tone.flac", {"-c:a", "flac"}),
                 encode("tone.wav", "tone.ogg", {"-c:a", "libvorbis", "-metadata", "title=Vorbis comment title"}),
                 encode("tone.wav", "tone.opus", {"-c:a", "libopus"}),
                 encode("tone.wav", "tone.m4a", {"-c:a", "aac"}),
                 encode("tone.wav", "tone.aiff", {}),
                 encode("tone.wav", "tone-info.wav", {"-c:a", "pcm_s16le", "-metadata", "title=RIFF INFO title"}),
                 encode("noise.wav", "noise.mp3", {"-c:a", "libmp3lame"}),
                 encode("noise.wav", "noise.wma", {"-c:a", "wmav2"}),
             }) {
            if (!error.empty()) return error;
        }
        return "";
    }

    static inline std::unique_ptr<QTemporaryDir> dir_;
    static inline std::string setupError_;
};

TEST_F(AudioDecoderTest, PcmWavDecodesBitExactInWholeFrames) {
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.Open(Path("ramp.wav"))) << decoder.ErrorText();
    EXPECT_TRUE(decoder.IsOpen());
    EXPECT_EQ(decoder.ErrorText(), "");
    const AudioFormat format = decoder.Format();
    EXPECT_EQ(format.bitsPerSample, 16);
    EXPECT_EQ(format.channels, 2);
    EXPECT_EQ(format.sampleRate, kRate);
    EXPECT_EQ(decoder.Duration100ns(), int64_t{kRampFrames} * kHundredNsPerSecond / kRate);
    EXPECT_EQ(decoder.Title(), "");

    // 1001 bytes is 250 whole frames and a bit: only whole frames come out.
    std::vector<uint8_t> odd(1001);
    EXPECT_EQ(decoder.Read(odd.data(), odd.size()), 1000u);
    EXPECT_EQ(decoder.PositionFrames(), 250);
    std::vector<int16_t> decoded(reinterpret_cast<int16_t*>(odd.data()), reinterpret_cast<int16_t*>(odd.data()) + 500);
    const std::vector<int16_t> rest = ReadAll(decoder);
    decoded.insert(decoded.end(), rest.begin(), rest.end());
    EXPECT_EQ(decoded, fixtures::Ramp(kRampFrames, 2));
    EXPECT_EQ(decoder.PositionFrames(), kRampFrames);

    std::vector<uint8_t> block(kBlockBytes);
    EXPECT_EQ(decoder.Read(block.data(), block.size()), 0u) << "the end stays the end";
    EXPECT_EQ(decoder.Read(block.data(), block.size()), 0u);
}

TEST_F(AudioDecoderTest, MonoStaysMonoAtItsOwnRate) {
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.Open(Path("mono22k.wav"))) << decoder.ErrorText();
    EXPECT_EQ(decoder.Format().channels, 1);
    EXPECT_EQ(decoder.Format().sampleRate, 22050);
    EXPECT_EQ(decoder.Duration100ns(), kHundredNsPerSecond / 2);
    EXPECT_EQ(ReadAll(decoder, 5880), fixtures::Ramp(kRate / 2, 1, 1000));
}

TEST_F(AudioDecoderTest, EightBitTwentyFourBitAndFloatWavBecomeSixteenBit) {
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.Open(Path("u8.wav"))) << decoder.ErrorText();
    EXPECT_EQ(decoder.Format().bitsPerSample, 16);
    const std::vector<int16_t> widened = ReadAll(decoder);
    ASSERT_EQ(widened.size(), 2000u);
    for (size_t i = 0; i < widened.size(); ++i) {
        const int unsignedByte = static_cast<uint8_t>(i * 7);
        ASSERT_EQ(widened[i], (unsignedByte - 128) * 256) << "sample " << i;
    }

    // The ramp survives the trip through 24-bit and float samples unchanged.
    for (const char* name : {"s24.wav", "f32.wav"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(decoder.Open(Path(name))) << decoder.ErrorText();
        EXPECT_EQ(decoder.Format().bitsPerSample, 16);
        EXPECT_EQ(ReadAll(decoder), fixtures::Ramp(kRampFrames, 2));
    }
}

TEST_F(AudioDecoderTest, SurroundIsMixedDownToStereo) {
    // Channels: front left 440 Hz, front right 1 kHz, centre 2 kHz, LFE silent,
    // surround left 3 kHz, surround right 5 kHz.
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.Open(Path("six.flac"))) << decoder.ErrorText();
    ASSERT_EQ(decoder.Format().channels, 2);
    const std::vector<int16_t> stereo = ReadAll(decoder);
    const int frames = static_cast<int>(stereo.size() / 2);
    ASSERT_EQ(frames, kRate);
    const auto level = [&](int channel, double hz) {
        return fixtures::ToneAmplitude(stereo.data(), frames, 2, channel, kRate, hz);
    };
    constexpr double kPresent = 0.04;
    constexpr double kAbsent = 0.001;
    EXPECT_GT(level(0, 440), kPresent);
    EXPECT_GT(level(0, 3000), kPresent);
    EXPECT_LT(level(0, 1000), kAbsent);
    EXPECT_LT(level(0, 5000), kAbsent);
    EXPECT_GT(level(1, 1000), kPresent);
    EXPECT_GT(level(1, 5000), kPresent);
    EXPECT_LT(level(1, 440), kAbsent);
    EXPECT_LT(level(1, 3000), kAbsent);
    // The centre goes to both sides, 3 dB below a front channel.
    for (int channel : {0, 1}) {
        EXPECT_NEAR(level(channel, 2000) / level(channel, channel == 0 ? 440 : 1000), std::sqrt(0.5), 0.02);
    }
    EXPECT_NEAR(fixtures::DominantFrequency(stereo.data(), frames, 2, 0, kRate), 440, 1);
    EXPECT_NEAR(fixtures::DominantFrequency(stereo.data(), frames, 2, 1, kRate), 1000, 1);
}

TEST_F(AudioDecoderTest, EveryCompressedFormatDecodesTheTone) {
    struct Case {
        const char* file;
        int rate;
    };
    for (const Case& c : {Case{"tone.mp3", kRate}, Case{"tone.wma", kRate}, Case{"tone.flac", kRate},
                          Case{"tone.ogg", kRate}, Case{"tone.opus", 48000}, Case{"tone.m4a", kRate},
                          Case{"tone.aiff", kRate}}) {
        SCOPED_TRACE(c.file);
        AudioDecoder decoder;
        ASSERT_TRUE(decoder.Open(Path(c.file))) << decoder.ErrorText();
        EXPECT_EQ(decoder.Format().bitsPerSample, 16);
        EXPECT_EQ(decoder.Format().channels, 2);
        EXPECT_EQ(decoder.Format().sampleRate, c.rate);
        EXPECT_NEAR(Seconds(decoder.Duration100ns()), kToneSeconds, kLossyLengthToleranceSeconds);

        const std::vector<int16_t> samples = ReadAll(decoder);
        const int frames = static_cast<int>(samples.size() / 2);
        EXPECT_NEAR(static_cast<double>(frames) / c.rate, kToneSeconds, kLossyLengthToleranceSeconds);
        EXPECT_EQ(decoder.PositionFrames(), frames);
        for (int channel : {0, 1}) {
            EXPECT_NEAR(fixtures::DominantFrequency(samples.data(), frames, 2, channel, c.rate), kToneHz, 1);
            EXPECT_NEAR(fixtures::ToneAmplitude(samples.data(), frames, 2, channel, c.rate, kToneHz), kToneAmplitude,
                        0.05);
        }
    }
}

TEST_F(AudioDecoderTest, TitleComesFromEachKindOfTag) {
    struct Case {
        const char* file;
        const char* title;
    };
    for (const Case& c : {Case{"tone.mp3", "Café Δ ID3v2"}, Case{"tone-id3v1.mp3", "Plain ID3v1"},
                          Case{"tone.wma", "ASF title"}, Case{"tone-info.wav", "RIFF INFO title"},
                          Case{"tone.ogg", "Vorbis comment title"}, Case{"tone.wav", ""}}) {
        SCOPED_TRACE(c.file);
        AudioDecoder decoder;
        ASSERT_TRUE(decoder.Open(Path(c.file))) << decoder.ErrorText();
        EXPECT_EQ(decoder.Title(), c.title);
    }
}

TEST_F(AudioDecoderTest, SeekInPcmAndFlacLandsOnTheExactSample) {
    const std::vector<int16_t> ramp = fixtures::Ramp(kRampFrames, 2);
    for (const char* file : {"ramp.wav", "ramp.flac"}) {
        SCOPED_TRACE(file);
        AudioDecoder decoder;
        ASSERT_TRUE(decoder.Open(Path(file))) << decoder.ErrorText();
        ReadFrames(decoder, 3000);
        // Half the length, back, an instant between samples, forward a little,
        // the start, and out of range at both ends.
        struct Step {
            int64_t time;
            int64_t frame;
        };
        const int64_t half = decoder.Duration100ns() / 2;
        for (const Step& step : {Step{half, kRampFrames / 2}, Step{SecondsTo100ns(0.6), 26460},
                                 Step{12'345'678, 54444}, Step{12'345'678 + SecondsTo100ns(0.1), 58854},
                                 Step{0, 0}, Step{-5, 0}, Step{SecondsTo100ns(2.9), 127890}}) {
            SCOPED_TRACE(step.time);
            ASSERT_TRUE(decoder.Seek(step.time));
            EXPECT_EQ(decoder.PositionFrames(), step.frame);
            const std::vector<int16_t> piece = ReadFrames(decoder, 1000);
            ASSERT_EQ(piece.size(), 2000u);
            EXPECT_TRUE(std::equal(piece.begin(), piece.end(), ramp.begin() + step.frame * 2));
            EXPECT_EQ(decoder.PositionFrames(), step.frame + 1000);
        }
        ASSERT_TRUE(decoder.Seek(SecondsTo100ns(60)));
        EXPECT_EQ(decoder.PositionFrames(), kRampFrames);
        EXPECT_TRUE(ReadFrames(decoder, 10).empty());
    }
}

TEST_F(AudioDecoderTest, SeekInMp3AndWmaLandsWithinOneFrameWithTheRightAudio) {
    struct Case {
        const char* file;
        int frameSamples;
    };
    for (const Case& c : {Case{"noise.mp3", kMp3FrameSamples}, Case{"noise.wma", kWmaFrameSamples}}) {
        SCOPED_TRACE(c.file);
        AudioDecoder decoder;
        ASSERT_TRUE(decoder.Open(Path(c.file))) << decoder.ErrorText();
        const std::vector<int16_t> reference = ReadAll(decoder);
        ASSERT_GT(reference.size(), static_cast<size_t>(2.9 * kRate) * 2);
        constexpr int kPieceFrames = 8192;

        // Backward, backward, far forward, then a short step forward (decoded
        // through, so exact).
        for (double seconds : {1.7, 0.9, 2.4, 2.75}) {
            SCOPED_TRACE(seconds);
            const int64_t target = std::llround(seconds * kRate);
            ASSERT_TRUE(decoder.Seek(SecondsTo100ns(seconds)));
            EXPECT_EQ(decoder.PositionFrames(), target);
            const std::vector<int16_t> piece = ReadFrames(decoder, kPieceFrames);
            ASSERT_EQ(piece.size(), size_t{kPieceFrames} * 2);
            const Alignment alignment = Align(reference, piece, 2, target, 4 * c.frameSamples);
            EXPECT_LE(std::abs(alignment.offset), c.frameSamples);
            const double signal = Rms(reference.data() + (target + alignment.offset) * 2, piece.size());
            EXPECT_LT(alignment.rmsError, 0.01 * signal) << "offset " << alignment.offset;
            if (seconds == 2.75) EXPECT_EQ(alignment.offset, 0);
        }

        // Back to the start gives exactly what Open gave.
        ASSERT_TRUE(decoder.Seek(0));
        EXPECT_EQ(decoder.PositionFrames(), 0);
        const std::vector<int16_t> start = ReadFrames(decoder, kPieceFrames);
        EXPECT_TRUE(std::equal(start.begin(), start.end(), reference.begin()));
    }
}

TEST_F(AudioDecoderTest, BadInputFailsFastAndCleanly) {
    std::ofstream(Path("empty.mp3")).close();
    {
        std::mt19937 random(7);
        std::ofstream out(Path("random.mp3"), std::ios::binary);
        for (int i = 0; i < 64 * 1024; ++i) out.put(static_cast<char>(random() & 0xFF));
    }
    ASSERT_EQ(mkfifo(Path("pipe.mp3").c_str(), 0600), 0);
    std::filesystem::create_directory(Path("folder.mp3"));

    AudioDecoder decoder;
    for (const std::string& path : {std::string(), Path("missing.mp3"), Path("folder.mp3"), Path("empty.mp3"),
                                    Path("random.mp3"), Path("pipe.mp3"), std::string("/dev/zero")}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(decoder.Open(Path("tone.wav")));  // a failed Open also closes what was open
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_FALSE(decoder.Open(path));
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(500));
        EXPECT_FALSE(decoder.IsOpen());
        EXPECT_NE(decoder.ErrorText(), "");
        std::vector<uint8_t> block(kBlockBytes);
        EXPECT_EQ(decoder.Read(block.data(), block.size()), 0u);
        EXPECT_FALSE(decoder.Seek(0));
        EXPECT_EQ(decoder.Duration100ns(), 0);
        EXPECT_EQ(decoder.Title(), "");
    }
}

TEST_F(AudioDecoderTest, UnreadableFileFails) {
    const std::string path = Path("locked.wav");
    std::filesystem::copy_file(Path("tone.wav"), path, std::filesystem::copy_options::overwrite_existing);
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    if (access(path.c_str(), R_OK) == 0) GTEST_SKIP() << "this user (root) can read a file without permissions";
    AudioDecoder decoder;
    EXPECT_FALSE(decoder.Open(path));
    EXPECT_NE(decoder.ErrorText(), "");
}

TEST_F(AudioDecoderTest, NameWithSpacesColonAndNonAsciiOpens) {
    const std::string path = Path("Été à 東京: take #2 ?.wav");
    std::filesystem::copy_file(Path("ramp.wav"), path);
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.Open(path)) << decoder.ErrorText();
    EXPECT_EQ(ReadAll(decoder), fixtures::Ramp(kRampFrames, 2));
}

TEST_F(AudioDecoderTest, OpenReplacesTheFileAndCloseForgetsIt) {
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.Open(Path("tone.mp3")));
    ReadFrames(decoder, 5000);
    ASSERT_TRUE(decoder.Open(Path("mono22k.wav")));
    EXPECT_EQ(decoder.Format().channels, 1);
    EXPECT_EQ(decoder.PositionFrames(), 0);
    EXPECT_EQ(decoder.Title(), "");
    EXPECT_EQ(ReadFrames(decoder, 10), std::vector<int16_t>(fixtures::Ramp(10, 1, 1000)));

    decoder.Close();
    EXPECT_FALSE(decoder.IsOpen());
    EXPECT_EQ(decoder.Duration100ns(), 0);
    EXPECT_EQ(decoder.PositionFrames(), 0);
    std::vector<uint8_t> block(kBlockBytes);
    EXPECT_EQ(decoder.Read(block.data(), block.size()), 0u);
}

TEST_F(AudioDecoderTest, TruncatedFilesDeliverWhatIsThereThenEnd) {
    // A WAV cut in the middle of a sample: every whole frame before the cut.
    const auto wavSize = std::filesystem::file_size(Path("ramp.wav"));
    constexpr uintmax_t kWavHeaderBytes = 44;
    const uintmax_t cut = wavSize / 2 + 1;
    std::filesystem::copy_file(Path("ramp.wav"), Path("cut.wav"));
    std::filesystem::resize_file(Path("cut.wav"), cut);
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.Open(Path("cut.wav"))) << decoder.ErrorText();
    const auto wholeFrames = static_cast<int>((cut - kWavHeaderBytes) / 4);
    EXPECT_EQ(ReadAll(decoder), fixtures::Ramp(wholeFrames, 2));
    std::vector<uint8_t> block(kBlockBytes);
    EXPECT_EQ(decoder.Read(block.data(), block.size()), 0u);

    // An MP3 cut in half: about half the tone, still the tone.
    std::filesystem::copy_file(Path("tone.mp3"), Path("cut.mp3"));
    std::filesystem::resize_file(Path("cut.mp3"), std::filesystem::file_size(Path("tone.mp3")) / 2);
    ASSERT_TRUE(decoder.Open(Path("cut.mp3"))) << decoder.ErrorText();
    const std::vector<int16_t> half = ReadAll(decoder);
    const int frames = static_cast<int>(half.size() / 2);
    EXPECT_NEAR(static_cast<double>(frames) / kRate, kToneSeconds / 2, 0.1);
    EXPECT_NEAR(fixtures::DominantFrequency(half.data(), frames, 2, 0, kRate), kToneHz, 1);
    EXPECT_EQ(decoder.Read(block.data(), block.size()), 0u);
}

TEST_F(AudioDecoderTest, DamagedMp3FramesAreSkippedAndDecodingGoesOn) {
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.Open(Path("noise.mp3")));
    const std::vector<int16_t> clean = ReadAll(decoder);

    // Overwrite about seven frames' worth of bytes in the middle with garbage.
    constexpr int kDamagedBytes = 3000;
    std::vector<char> bytes;
    {
        std::ifstream in(Path("noise.mp3"), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::mt19937 random(99);
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + kDamagedBytes; ++i) {
        bytes[i] = static_cast<char>(random() & 0xFF);
    }
    std::ofstream(Path("damaged.mp3"), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));

    ASSERT_TRUE(decoder.Open(Path("damaged.mp3"))) << decoder.ErrorText();
    const std::vector<int16_t> damaged = ReadAll(decoder);
    // At 128 kbit/s a frame is 418 bytes: the damage costs a handful of frames.
    const int lostFrames = static_cast<int>(clean.size() - damaged.size()) / 2;
    EXPECT_GE(lostFrames, 0);
    EXPECT_LE(lostFrames, (kDamagedBytes / 417 + 3) * kMp3FrameSamples);
    // After the damage the audio is the same as the clean file's, to the end.
    const size_t tail = static_cast<size_t>(kRate / 2) * 2;
    ASSERT_GT(damaged.size(), tail);
    EXPECT_TRUE(std::equal(damaged.end() - static_cast<std::ptrdiff_t>(tail), damaged.end(),
                           clean.end() - static_cast<std::ptrdiff_t>(tail)));
}
