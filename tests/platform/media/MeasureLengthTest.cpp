#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <future>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "DecoderReading.h"
#include "platform/media/AudioDecoder.h"
#include "platform/media/MeasuredLength.h"
#include "platform/media/MediaFile.h"
#include "support/AudioFixtures.h"

using namespace media_test;
using namespace platform::media;

namespace {

constexpr int kMp3Frame = 1152;
constexpr int kAacFrame = 1024;
constexpr int kVorbisFrame = 2048;  // the long block

MeasuredLength Measure(const std::string& path, const std::atomic<bool>* cancel = nullptr) {
    MeasuredLength failed;
    const std::shared_ptr<MediaFile> file = MediaFile::Open(path, &failed.error);
    return file ? MeasureLength(file, cancel) : failed;
}

// Where frame `number` (below 128) of a fixed-block-size FLAC stream starts:
// its sync code, then that number as the header's fifth byte; the end if not found.
size_t FlacFrame(const std::string& bytes, int number) {
    size_t i = 0;
    while (i + 4 < bytes.size() && (bytes.compare(i, 2, "\xFF\xF8") != 0 || bytes[i + 4] != number)) ++i;
    return i + 4 < bytes.size() ? i : bytes.size();
}

}  // namespace

class MeasureLengthTest : public SharedFixtures<MeasureLengthTest> {
public:
    static std::string MakeFixtures() {
        // Music-like: a tone over noise, 6 s.
        std::vector<int16_t> music = fixtures::Sine(330, 6, kRate, 2, 0.3);
        const std::vector<int16_t> hiss = fixtures::Noise(6 * kRate, 2, 11, 0.2);
        for (size_t i = 0; i < music.size(); ++i) music[i] = static_cast<int16_t>(music[i] + hiss[i]);
        // Loud noise, then a quiet tone: the encoder spends many bits at first and
        // few later, so a length estimated from the first frames is far off.
        std::vector<int16_t> vbr = fixtures::Noise(10 * kRate, 2, 3, 0.5);
        const std::vector<int16_t> tone = fixtures::Sine(440, 10, kRate, 2, 0.3);
        vbr.insert(vbr.end(), tone.begin(), tone.end());
        fixtures::WriteWav(Path("music.wav"), music, 2, kRate);
        fixtures::WriteWav(Path("vbr.wav"), vbr, 2, kRate);
        // 48 kHz with a length that is not a whole number of output frames at 44.1 kHz.
        fixtures::WriteWav(Path("odd48k.wav"), fixtures::Noise(100'010, 2, 5), 2, 48000);
        const std::string encoded = fixtures::EncodeAll(
            Folder(), {{"music.wav", "music.flac", {"-c:a", "flac"}},
                       {"music.wav", "music.mp3", {"-c:a", "libmp3lame"}},
                       {"music.wav", "music.ogg", {"-c:a", "libvorbis"}},
                       {"music.wav", "music.m4a", {"-c:a", "aac"}},
                       {"vbr.wav", "vbr.mp3", {"-c:a", "libmp3lame", "-q:a", "2", "-write_xing", "0"}},
                       {"odd48k.wav", "odd48k.flac", {"-c:a", "flac"}}});
        // Cut at 37 %, a few bytes into a frame or packet.
        for (const std::string name : {"music.wav", "music.flac", "music.mp3", "music.ogg"}) {
            const std::string bytes = FileBytes(Path(name));
            WriteBytes(Path("cut-" + name), bytes.substr(0, bytes.size() * 37 / 100 + 3));
        }
        // Frames in the middle lost: what decodes is less than the timestamps
        // say. One whole frame taken out: the frames around it are sound, but
        // their timestamps jump. And the FLAC marker, the stream information
        // and more overwritten.
        const std::string flac = FileBytes(Path("music.flac"));
        WriteBytes(Path("holed.flac"), Garbled(flac, flac.size() / 2, 20'000));
        WriteBytes(Path("gap.flac"), flac.substr(0, FlacFrame(flac, 20)) + flac.substr(FlacFrame(flac, 21)));
        WriteBytes(Path("damaged-head.flac"), Garbled(flac, 0, 2048));
        return encoded;
    }
};

TEST_F(MeasureLengthTest, MeasuresWhatTheDecoderDeliversWhereTheHeaderIsWrong) {
    // file, allowed difference in frames, whether the stated length is wrong
    for (const auto& [file, allowed, statedIsWrong] : std::vector<std::tuple<const char*, int, bool>>{
             {"music.wav", 0, false},
             {"music.flac", 0, false},
             {"music.mp3", kMp3Frame, false},
             {"music.ogg", kVorbisFrame, false},
             {"music.m4a", kAacFrame, false},
             {"vbr.mp3", kMp3Frame, true},
             // FFmpeg takes a WAV's length from the file size: stated right.
             {"cut-music.wav", 0, false},
             {"cut-music.flac", 0, true},
             {"cut-music.mp3", kMp3Frame, true},
             {"cut-music.ogg", kVorbisFrame, false},
             {"damaged-head.flac", 0, true},
             {"holed.flac", 0, true},
             {"gap.flac", 0, true},
         }) {
        SCOPED_TRACE(file);
        // Measured while a decoder plays the same file: the two read the one
        // descriptor at their own offsets, at the same time, and the decoder
        // delivers what it does alone.
        std::string error;
        const std::shared_ptr<MediaFile> opened = MediaFile::Open(Path(file), &error);
        ASSERT_NE(opened, nullptr) << error;
        AudioDecoder decoder;
        ASSERT_TRUE(decoder.Open(opened));
        std::future<MeasuredLength> measuring =
            std::async(std::launch::async, [&] { return MeasureLength(opened); });
        const std::vector<int16_t> decoded = ReadAll(decoder);
        const MeasuredLength measured = measuring.get();
        ASSERT_TRUE(measured.ok) << measured.error;
        EXPECT_EQ(decoded, DecodeFile(Path(file)));
        const auto decodedFrames = static_cast<int64_t>(decoded.size() / 2);
        EXPECT_FALSE(measured.cancelled);
        EXPECT_EQ(measured.sampleRate, kRate);
        EXPECT_LE(std::abs(measured.frames - decodedFrames), allowed)
            << measured.frames << " vs " << decodedFrames;
        EXPECT_DOUBLE_EQ(measured.seconds, static_cast<double>(measured.frames) / kRate);
        EXPECT_EQ(measured.Duration100ns(), std::llround(measured.frames * 1e7 / kRate));

        ASSERT_TRUE(decoder.Open(Path(file)));
        const double stated = static_cast<double>(decoder.Duration100ns()) / kHundredNsPerSecond;
        const double truth = static_cast<double>(decodedFrames) / kRate;
        EXPECT_EQ(std::abs(stated - truth) > 0.1, statedIsWrong) << "stated " << stated << " s";
    }
}

TEST_F(MeasureLengthTest, SeeksGoPastAWrongStatedLengthAndStopAtTheMeasuredOne) {
    // 19 s of the 20 s MP3 (it states 13.7 s); half of the FLAC (it states nothing).
    for (const auto& [file, maxError, time] : std::vector<std::tuple<const char*, double, int64_t>>{
             {"vbr.mp3", 0.01, 19 * kHundredNsPerSecond}, {"damaged-head.flac", 0.0, 0}}) {
        SCOPED_TRACE(file);
        const std::vector<int16_t> reference = DecodeFile(Path(file));
        const MeasuredLength measured = Measure(Path(file));
        ASSERT_TRUE(measured.ok) << measured.error;
        const int64_t at = time ? time : measured.Duration100ns() / 2;

        AudioDecoder decoder;
        ASSERT_TRUE(decoder.Open(Path(file)));
        decoder.SetDuration100ns(measured.Duration100ns());
        EXPECT_EQ(decoder.Duration100ns(), measured.Duration100ns());
        for (int pass = 0; pass < 2; ++pass) {  // the second one seeks back from the end
            ASSERT_TRUE(decoder.Seek(at));
            const int64_t target = std::llround(static_cast<double>(at) * kRate / kHundredNsPerSecond);
            EXPECT_EQ(decoder.PositionFrames(), target);
            const std::vector<int16_t> piece = ReadFrames(decoder, 4096);
            ASSERT_EQ(piece.size(), 8192u);
            EXPECT_LE(RelativeError(piece.data(), &reference[static_cast<size_t>(target) * 2], 8192),
                      maxError);
            // Past the end: at the measured end, and nothing more to read.
            ASSERT_TRUE(decoder.Seek(measured.Duration100ns() + 30 * kHundredNsPerSecond));
            EXPECT_EQ(decoder.PositionFrames(), measured.frames);
            EXPECT_TRUE(ReadFrames(decoder, 16).empty());
        }
        // Opened afresh for a seek near the start, the decoder keeps the length.
        ASSERT_TRUE(decoder.Seek(0));
        EXPECT_EQ(decoder.Duration100ns(), measured.Duration100ns());
    }
}

TEST_F(MeasureLengthTest, CountsOutputFramesForADecoderAtAnotherRate) {
    const MeasuredLength measured = Measure(Path("odd48k.flac"));
    ASSERT_TRUE(measured.ok) << measured.error;
    EXPECT_EQ(measured.frames, 100'010);
    EXPECT_EQ(measured.FramesAt(0), 100'010);
    for (const int rate : {44100, 96000, 22050}) {
        SCOPED_TRACE(rate);
        AudioDecoder decoder;
        ASSERT_TRUE(decoder.Open(Path("odd48k.flac"), rate));
        EXPECT_EQ(measured.FramesAt(rate), static_cast<int64_t>(ReadAll(decoder).size() / 2));
        EXPECT_EQ(decoder.PositionFrames(), measured.FramesAt(rate));
    }
}

TEST_F(MeasureLengthTest, StopsWhenCancelledAndFailsClearlyOnWhatIsNotAudio) {
    const std::atomic<bool> cancel{true};
    // One file only demuxed, one decoded (its packets do not line up).
    for (const char* file : {"vbr.mp3", "damaged-head.flac"}) {
        const MeasuredLength measured = Measure(Path(file), &cancel);
        EXPECT_TRUE(measured.cancelled) << file;
        EXPECT_FALSE(measured.ok) << file;
    }
    ASSERT_TRUE(WriteBytes(Path("garbage.mp3"), Garbled(std::string(50'000, '\0'), 0, 50'000)));
    for (const MeasuredLength& failed : {Measure(Path("garbage.mp3")), MeasureLength(nullptr)}) {
        EXPECT_FALSE(failed.ok);
        EXPECT_NE(failed.error, "");
    }

    // Damage in the middle of an MP3: measured to the end, near what decodes.
    const std::string bytes = FileBytes(Path("music.mp3"));
    ASSERT_TRUE(WriteBytes(Path("holed.mp3"), Garbled(bytes, bytes.size() / 2, 3000)));
    const MeasuredLength holed = Measure(Path("holed.mp3"));
    ASSERT_TRUE(holed.ok) << holed.error;
    const auto decoded = static_cast<int64_t>(DecodeFile(Path("holed.mp3")).size() / 2);
    EXPECT_LE(std::abs(holed.frames - decoded), 10 * kMp3Frame) << holed.frames << " vs " << decoded;
}

TEST_F(MeasureLengthTest, DamagedFilesNeverCrashOrHang) {
    for (const std::string name : {"music.flac", "music.mp3", "music.ogg", "music.m4a"}) {
        const std::string bytes = FileBytes(Path(name));
        std::mt19937 random(2024);
        for (int round = 0; round < 6; ++round) {
            const size_t at = random() % bytes.size();
            const std::string damaged = Path("damaged-" + std::to_string(round) + "-" + name);
            ASSERT_TRUE(WriteBytes(damaged, Garbled(bytes, at, 1 + random() % 4096)));
            SCOPED_TRACE(damaged + " at " + std::to_string(at));
            const MeasuredLength measured = Measure(damaged);
            EXPECT_TRUE(measured.ok || !measured.error.empty());
            AudioDecoder decoder;
            if (!decoder.Open(damaged)) {
                EXPECT_NE(decoder.ErrorText(), "");
                continue;
            }
            const auto frames = static_cast<int64_t>(ReadAll(decoder).size() / 2);
            for (const double share : {0.75, 0.25, 0.0}) {
                decoder.Seek(static_cast<int64_t>(share * 6 * kHundredNsPerSecond));
                ReadFrames(decoder, 4096);
            }
            // Measured by timestamps, packets the decoder then rejects still
            // count: a few codec frames' slack (seeks count them alike).
            EXPECT_LE(measured.ok ? std::abs(measured.frames - frames) : 0, 16 * kMp3Frame);
        }
    }
}
