#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
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

using platform::media::AudioDecoder;
using platform::media::MeasuredLength;
using platform::media::MeasureLength;
using platform::media::MediaFile;

namespace {

constexpr int kRate = 44100;
constexpr int64_t kHundredNsPerSecond = 10'000'000;
constexpr int kMp3Frame = 1152;
constexpr int kAacFrame = 1024;
constexpr int kVorbisFrame = 2048;  // the long block

MeasuredLength Measure(const std::string& path, const std::atomic<bool>* cancel = nullptr) {
    std::string error;
    const std::shared_ptr<MediaFile> file = MediaFile::Open(path, &error);
    if (!file) {
        MeasuredLength failed;
        failed.error = error;
        return failed;
    }
    return MeasureLength(file, cancel);
}

// The length the file states, in seconds, as the decoder reports it.
double StatedSeconds(const std::string& path) {
    AudioDecoder decoder;
    return decoder.Open(path) ? static_cast<double>(decoder.Duration100ns()) / kHundredNsPerSecond : -1;
}

std::string Cut(const std::string& bytes, double share) {
    return bytes.substr(0, static_cast<size_t>(static_cast<double>(bytes.size()) * share) + 3);
}

// Where the frames of a FLAC file start: a frame sync code followed by a
// header whose CRC-8 holds.
std::vector<size_t> FlacFrameStarts(const std::string& bytes) {
    const auto at = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    std::vector<size_t> starts;
    for (size_t i = 0; i + 16 < bytes.size(); ++i) {
        if (at(i) != 0xFF || (at(i + 1) & 0xFE) != 0xF8) continue;
        const int blockSizeCode = at(i + 2) >> 4;
        const int rateCode = at(i + 2) & 0xF;
        size_t end =
            i + 4 + static_cast<size_t>(std::max(1, std::countl_one(at(i + 4))));  // coded frame number
        end += blockSizeCode == 6 ? 1 : blockSizeCode == 7 ? 2 : 0;
        end += rateCode == 12 ? 1 : (rateCode == 13 || rateCode == 14) ? 2 : 0;
        uint8_t crc = 0;
        for (size_t k = i; k < end; ++k) {
            crc ^= at(k);
            for (int bit = 0; bit < 8; ++bit)
                crc = static_cast<uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
        }
        if (crc == at(end)) starts.push_back(i);
    }
    return starts;
}

}  // namespace

class MeasureLengthTest : public media_test::SharedFixtures<MeasureLengthTest> {
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
        // 48 kHz with a length that is not a whole number of output frames at 44.1 kHz.
        if (!fixtures::WriteWav(Path("music.wav"), music, 2, kRate) ||
            !fixtures::WriteWav(Path("vbr.wav"), vbr, 2, kRate) ||
            !fixtures::WriteWav(Path("odd48k.wav"), fixtures::Noise(100'010, 2, 5), 2, 48000))
            return "cannot write the WAV fixtures";

        const std::string encoded = fixtures::EncodeAll(
            Folder(), {{"music.wav", "music.flac", {"-c:a", "flac"}},
                       {"music.wav", "music.mp3", {"-c:a", "libmp3lame"}},
                       {"music.wav", "music.ogg", {"-c:a", "libvorbis"}},
                       {"music.wav", "music.m4a", {"-c:a", "aac"}},
                       {"vbr.wav", "vbr.mp3", {"-c:a", "libmp3lame", "-q:a", "2", "-write_xing", "0"}},
                       {"odd48k.wav", "odd48k.flac", {"-c:a", "flac"}}});
        if (!encoded.empty()) return encoded;

        // Cut at 37 %, a few bytes into a frame or packet.
        for (const char* name : {"music.wav", "music.flac", "music.mp3", "music.ogg"}) {
            const std::string cut = std::string("cut-") + name;
            if (!media_test::WriteBytes(Path(cut), Cut(media_test::FileBytes(Path(name)), 0.37)))
                return "cannot write " + cut;
        }
        // Frames in the middle lost: what decodes is less than the timestamps say.
        const std::string flac = media_test::FileBytes(Path("music.flac"));
        if (!media_test::WriteBytes(Path("holed.flac"), media_test::Garbled(flac, flac.size() / 2, 20'000)))
            return "cannot write holed.flac";
        // One whole frame taken out of the middle: the frames around it are
        // sound, but their timestamps jump.
        const std::vector<size_t> starts = FlacFrameStarts(flac);
        if (starts.size() < 10) return "cannot find the FLAC frames";
        const size_t middle = starts.size() / 2;
        if (!media_test::WriteBytes(Path("gap.flac"),
                                    flac.substr(0, starts[middle]) + flac.substr(starts[middle + 1])))
            return "cannot write gap.flac";
        // The FLAC marker, the stream information and more overwritten.
        if (!media_test::WriteBytes(Path("damaged-head.flac"),
                                    media_test::Garbled(media_test::FileBytes(Path("music.flac")), 0, 2048)))
            return "cannot write damaged-head.flac";
        return "";
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
        const std::vector<int16_t> decoded = media_test::DecodeFile(Path(file));
        ASSERT_FALSE(decoded.empty());
        const auto decodedFrames = static_cast<int64_t>(decoded.size() / 2);
        const MeasuredLength measured = Measure(Path(file));
        ASSERT_TRUE(measured.ok) << measured.error;
        EXPECT_FALSE(measured.cancelled);
        EXPECT_EQ(measured.sampleRate, kRate);
        EXPECT_LE(std::abs(measured.frames - decodedFrames), allowed)
            << measured.frames << " vs " << decodedFrames;
        EXPECT_DOUBLE_EQ(measured.seconds, static_cast<double>(measured.frames) / kRate);
        EXPECT_EQ(measured.Duration100ns(), std::llround(measured.frames * 1e7 / kRate));

        const double truth = static_cast<double>(decodedFrames) / kRate;
        const double stated = StatedSeconds(Path(file));
        if (statedIsWrong) {
            EXPECT_GT(std::abs(stated - truth), 0.1) << "stated " << stated << " s";
        } else {
            EXPECT_NEAR(stated, truth, 0.1);
        }
    }
}

TEST_F(MeasureLengthTest, SeeksGoPastAWrongStatedLengthAndStopAtTheMeasuredOne) {
    for (const auto& [file, maxError] :
         std::vector<std::tuple<const char*, double>>{{"vbr.mp3", 0.01}, {"damaged-head.flac", 0.0}}) {
        SCOPED_TRACE(file);
        const std::vector<int16_t> reference = media_test::DecodeFile(Path(file));
        const MeasuredLength measured = Measure(Path(file));
        ASSERT_TRUE(measured.ok) << measured.error;

        AudioDecoder decoder;
        ASSERT_TRUE(decoder.Open(Path(file)));
        decoder.SetDuration100ns(measured.Duration100ns());
        EXPECT_EQ(decoder.Duration100ns(), measured.Duration100ns());
        // 19 s of the 20 s MP3 (it states 13.7 s); half of the FLAC (it states nothing).
        const int64_t time =
            std::string(file) == "vbr.mp3" ? 19 * kHundredNsPerSecond : measured.Duration100ns() / 2;
        for (int pass = 0; pass < 2; ++pass) {  // the second one seeks back from the end
            ASSERT_TRUE(decoder.Seek(time));
            const int64_t target = std::llround(static_cast<double>(time) * kRate / kHundredNsPerSecond);
            EXPECT_EQ(decoder.PositionFrames(), target);
            const std::vector<int16_t> piece = media_test::ReadFrames(decoder, 4096);
            ASSERT_EQ(piece.size(), 8192u);
            EXPECT_LE(
                media_test::RelativeError(piece.data(), &reference[static_cast<size_t>(target) * 2], 8192),
                maxError);
            // Past the end: at the measured end, and nothing more to read.
            ASSERT_TRUE(decoder.Seek(measured.Duration100ns() + 30 * kHundredNsPerSecond));
            EXPECT_EQ(decoder.PositionFrames(), measured.frames);
            EXPECT_TRUE(media_test::ReadFrames(decoder, 16).empty());
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
        const std::vector<int16_t> all = media_test::ReadAll(decoder);
        EXPECT_EQ(measured.FramesAt(rate), static_cast<int64_t>(all.size() / 2));
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

    ASSERT_TRUE(media_test::WriteBytes(Path("garbage.mp3"),
                                       media_test::Garbled(std::string(50'000, '\0'), 0, 50'000)));
    const MeasuredLength garbage = Measure(Path("garbage.mp3"));
    EXPECT_FALSE(garbage.ok);
    EXPECT_NE(garbage.error, "");
    const MeasuredLength none = MeasureLength(nullptr);
    EXPECT_FALSE(none.ok);
    EXPECT_NE(none.error, "");

    // Damage in the middle of an MP3: measured to the end, near what decodes.
    const std::string bytes = media_test::FileBytes(Path("music.mp3"));
    ASSERT_TRUE(
        media_test::WriteBytes(Path("holed.mp3"), media_test::Garbled(bytes, bytes.size() / 2, 3000)));
    const MeasuredLength holed = Measure(Path("holed.mp3"));
    ASSERT_TRUE(holed.ok) << holed.error;
    const auto decoded = static_cast<int64_t>(media_test::DecodeFile(Path("holed.mp3")).size() / 2);
    EXPECT_LE(std::abs(holed.frames - decoded), 10 * kMp3Frame) << holed.frames << " vs " << decoded;
}

TEST_F(MeasureLengthTest, RunsBesideADecoderOfTheSameFile) {
    std::string error;
    const std::shared_ptr<MediaFile> file = MediaFile::Open(Path("music.mp3"), &error);
    ASSERT_NE(file, nullptr) << error;
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.Open(file));
    // The two read the one descriptor at their own offsets, at the same time.
    std::future<MeasuredLength> measuring =
        std::async(std::launch::async, [&] { return MeasureLength(file); });
    const std::vector<int16_t> decoded = media_test::ReadAll(decoder);
    const MeasuredLength measured = measuring.get();
    ASSERT_TRUE(measured.ok) << measured.error;
    EXPECT_EQ(measured.frames, static_cast<int64_t>(decoded.size() / 2));
    EXPECT_EQ(decoded, media_test::DecodeFile(Path("music.mp3")));
}

TEST_F(MeasureLengthTest, DamagedFilesNeverCrashOrHang) {
    for (const char* name : {"music.flac", "music.mp3", "music.ogg", "music.m4a"}) {
        const std::string bytes = media_test::FileBytes(Path(name));
        std::mt19937 random(2024);
        for (int round = 0; round < 6; ++round) {
            const size_t at = random() % bytes.size();
            const std::string damaged = Path(std::string("damaged-") + std::to_string(round) + "-" + name);
            ASSERT_TRUE(media_test::WriteBytes(damaged, media_test::Garbled(bytes, at, 1 + random() % 4096)));
            SCOPED_TRACE(damaged + " at " + std::to_string(at));
            const MeasuredLength measured = Measure(damaged);
            EXPECT_TRUE(measured.ok || !measured.error.empty());
            AudioDecoder decoder;
            if (!decoder.Open(damaged)) {
                EXPECT_NE(decoder.ErrorText(), "");
                continue;
            }
            const auto frames = static_cast<int64_t>(media_test::ReadAll(decoder).size() / 2);
            for (const double share : {0.75, 0.25, 0.0}) {
                decoder.Seek(static_cast<int64_t>(share * 6 * kHundredNsPerSecond));
                media_test::ReadFrames(decoder, 4096);
            }
            // Measured by timestamps, packets the decoder then rejects still
            // count: a few codec frames' slack (seeks count them alike).
            if (measured.ok) {
                EXPECT_LE(std::abs(measured.frames - frames), 16 * kMp3Frame);
            }
        }
    }
}
