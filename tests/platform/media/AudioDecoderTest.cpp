#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <future>
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
// Samples per codec frame.
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
    const size_t got =
        decoder.Read(reinterpret_cast<uint8_t*>(samples.data()), samples.size() * sizeof(int16_t));
    samples.resize(got / sizeof(int16_t));
    return samples;
}

int64_t SecondsTo100ns(double seconds) {
    return std::llround(seconds * kHundredNsPerSecond);
}
double Seconds(int64_t hundredNs) {
    return static_cast<double>(hundredNs) / kHundredNsPerSecond;
}

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

double RmsDifference(const int16_t* a, const int16_t* b, size_t count) {
    double sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += (static_cast<double>(a[i]) - b[i]) * (static_cast<double>(a[i]) - b[i]);
    return count ? std::sqrt(sum / static_cast<double>(count)) : 0;
}

// Where a stretch of stereo audio that should start at frame `expected` of
// `reference` really starts, searched within +-range frames (by its first
// kAlignFrames), and how far the whole stretch then differs from the reference
// (RMS, in sample units) compared with the reference's own level there.
struct Alignment {
    int64_t offset = 0;
    double rmsError = INFINITY;
    double signalRms = 0;
};
Alignment Align(const std::vector<int16_t>& reference, const std::vector<int16_t>& piece, int64_t expected,
                int range) {
    constexpr size_t kAlignFrames = 2048;
    const auto pieceFrames = static_cast<int64_t>(piece.size() / 2);
    const auto referenceFrames = static_cast<int64_t>(reference.size() / 2);
    Alignment best;
    double bestProbe = INFINITY;
    for (int64_t offset = -range; offset <= range; ++offset) {
        const int64_t start = expected + offset;
        if (start < 0 || start + pieceFrames > referenceFrames) continue;
        const double probe = RmsDifference(piece.data(), &reference[static_cast<size_t>(start) * 2],
                                           std::min(piece.size(), 2 * kAlignFrames));
        if (probe < bestProbe) {
            bestProbe = probe;
            best.offset = offset;
        }
    }
    if (bestProbe == INFINITY) return best;
    const int16_t* matched = &reference[static_cast<size_t>(expected + best.offset) * 2];
    best.rmsError = RmsDifference(piece.data(), matched, piece.size());
    const std::vector<int16_t> silence(piece.size(), 0);
    best.signalRms = RmsDifference(matched, silence.data(), piece.size());
    return best;
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
        struct Wav {
            const char* name;
            std::vector<int16_t> samples;
            int channels;
            int rate;
        };
        const std::vector<Wav> wavs = {
            {"ramp.wav", fixtures::Ramp(kRampFrames, 2), 2, kRate},
            {"mono22k.wav", fixtures::Ramp(22050, 1, 1000), 1, 22050},
            {"tone.wav", fixtures::Sine(kToneHz, kToneSeconds, kRate, 2, kToneAmplitude), 2, kRate},
            {"noise.wav", fixtures::Noise(kNoiseFrames, 2, 12345), 2, kRate},
            {"six.wav", TonePerChannel({440, 1000, 2000, 0, 3000, 5000}, 1, 0.2), 6, kRate},
        };
        for (const Wav& wav : wavs) {
            if (!fixtures::WriteWav(Path(wav.name), wav.samples, wav.channels, wav.rate)) {
                return std::string("cannot write ") + wav.name;
            }
        }
        std::vector<uint8_t> bytes8(2000);
        for (size_t i = 0; i < bytes8.size(); ++i) bytes8[i] = static_cast<uint8_t>(i * 7);
        if (!fixtures::WriteWav8(Path("u8.wav"), bytes8, 2, kRate)) return "cannot write u8.wav";

        struct Encoding {
            const char* input;
            const char* output;
            std::vector<std::string> args;
        };
        const std::vector<Encoding> encodings = {
            {"ramp.wav", "ramp.flac", {"-c:a", "flac"}},
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
            {"noise.wav", "noise.wma", {"-c:a", "wmav2"}},
        };
        // ffmpeg spends most of its time starting up: run them side by side.
        std::vector<std::future<bool>> running;
        running.reserve(encodings.size());
        for (const Encoding& e : encodings) {
            running.push_back(std::async(std::launch::async, [&e] {
                return fixtures::Encode(Path(e.input), Path(e.output), e.args);
            }));
        }
        std::string error;
        for (size_t i = 0; i < running.size(); ++i) {
            if (!running[i].get() && error.empty())
                error = std::string("ffmpeg failed to make ") + encodings[i].output;
        }
        return error;
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
    std::vector<int16_t> decoded(reinterpret_cast<int16_t*>(odd.data()),
                                 reinterpret_cast<int16_t*>(odd.data()) + 500);
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
    EXPECT_EQ(decoder.Duration100ns(), kHundredNsPerSecond);
    EXPECT_EQ(ReadAll(decoder, 5880), fixtures::Ramp(22050, 1, 1000));
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
    for (const Case& c :
         {Case{"tone.mp3", kRate}, Case{"tone.wma", kRate}, Case{"tone.flac", kRate}, Case{"tone.ogg", kRate},
          Case{"tone.opus", 48000}, Case{"tone.m4a", kRate}, Case{"tone.aiff", kRate}}) {
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
            EXPECT_NEAR(fixtures::ToneAmplitude(samples.data(), frames, 2, channel, c.rate, kToneHz),
                        kToneAmplitude, 0.05);
        }

        // Back to the start from the end: the same samples as after Open,
        // encoder delay and priming skipped alike.
        ASSERT_TRUE(decoder.Seek(0));
        const std::vector<int16_t> again = ReadFrames(decoder, 4096);
        ASSERT_EQ(again.size(), 2u * 4096);
        EXPECT_TRUE(std::equal(again.begin(), again.end(), samples.begin()));
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

TEST_F(AudioDecoderTest, SeekInMp3AndWmaLandsWithinAFrameWithTheRightAudio) {
    // FFmpeg finds MP3 frames exactly (computed for constant bit rates, scanned
    // otherwise), so an MP3 seek is off only if the encoder delay is mishandled.
    // ASF stamps packets in whole milliseconds, so WMA may land up to a frame off.
    struct Case {
        const char* file;
        int allowedOffset;
    };
    for (const Case& c : {Case{"noise.mp3", 0}, Case{"noise.wma", kWmaFrameSamples}}) {
        SCOPED_TRACE(c.file);
        AudioDecoder whole;
        ASSERT_TRUE(whole.Open(Path(c.file))) << whole.ErrorText();
        const std::vector<int16_t> reference = ReadAll(whole);
        ASSERT_GT(reference.size(), static_cast<size_t>(2.9 * kRate) * 2);
        constexpr int kPieceFrames = 8192;

        // A freshly opened file, as a deck seeks it: far forward, backward,
        // forward again, then a short step forward, which decodes through and
        // so keeps the offset the last seek had.
        AudioDecoder decoder;
        ASSERT_TRUE(decoder.Open(Path(c.file)));
        int64_t lastOffset = 0;
        for (const double seconds : {1.7, 0.9, 2.4, 2.75}) {
            SCOPED_TRACE(seconds);
            const int64_t target = std::llround(seconds * kRate);
            ASSERT_TRUE(decoder.Seek(SecondsTo100ns(seconds)));
            EXPECT_EQ(decoder.PositionFrames(), target);
            const std::vector<int16_t> piece = ReadFrames(decoder, kPieceFrames);
            ASSERT_EQ(piece.size(), size_t{kPieceFrames} * 2);
            const Alignment alignment = Align(reference, piece, target, 2 * kWmaFrameSamples);
            EXPECT_LE(std::abs(alignment.offset), c.allowedOffset);
            EXPECT_LT(alignment.rmsError, 0.01 * alignment.signalRms) << "offset " << alignment.offset;
            if (seconds == 2.75) {
                EXPECT_EQ(alignment.offset, lastOffset);
            }
            lastOffset = alignment.offset;
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
    if (access(path.c_str(), R_OK) == 0)
        GTEST_SKIP() << "this user (root) can read a file without permissions";
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
    EXPECT_EQ(ReadFrames(decoder, 10), fixtures::Ramp(10, 1, 1000));

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
    std::ofstream(Path("damaged.mp3"), std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));

    ASSERT_TRUE(decoder.Open(Path("damaged.mp3"))) << decoder.ErrorText();
    const std::vector<int16_t> damaged = ReadAll(decoder);
    // At 128 kbit/s a frame is 418 bytes: the damage costs a handful of frames.
    const auto cleanFrames = static_cast<int64_t>(clean.size() / 2);
    const auto damagedFrames = static_cast<int64_t>(damaged.size() / 2);
    const int64_t lostFrames = cleanFrames - damagedFrames;
    EXPECT_GT(lostFrames, 0);
    EXPECT_LE(lostFrames, (kDamagedBytes / 417 + 3) * kMp3FrameSamples);

    // Half a second that ends one frame before the end is the clean file's
    // audio, so decoding went on to the end. (With frames lost in the middle,
    // FFmpeg trims the encoder's end padding short: the very end may hold a few
    // hundred samples of it.)
    const int64_t pieceFrames = kRate / 2;
    const int64_t pieceStart = damagedFrames - pieceFrames - kMp3FrameSamples;
    ASSERT_GT(pieceStart, 0);
    const std::vector<int16_t> piece(damaged.begin() + pieceStart * 2,
                                     damaged.begin() + (pieceStart + pieceFrames) * 2);
    const Alignment alignment = Align(clean, piece, pieceStart + lostFrames, kMp3FrameSamples);
    EXPECT_EQ(alignment.rmsError, 0) << "offset " << alignment.offset;
    EXPECT_GE(pieceStart + lostFrames + alignment.offset + pieceFrames,
              cleanFrames - int64_t{2} * kMp3FrameSamples);
}
