#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CdTestTracks.h"
#include "platform/ThreadAllocationCount.h"
#include "platform/cd/CZelCdSource.h"
#include "support/AudioFixtures.h"
#include "support/CdImages.h"

using namespace cd_test;
using namespace platform::cd;
namespace fs = std::filesystem;

namespace {

constexpr uint8_t kUntouched = 0x5A;  // what the disc buffer holds before a read

// Whether `count` bytes of the disc buffer from `offset` equal the audio from
// byte `audioByte` on.
bool HoldsAudio(const std::vector<uint8_t>& buffer, size_t offset, int64_t audioByte, size_t count) {
    return std::memcmp(buffer.data() + offset, AudioBytes().data() + audioByte, count) == 0;
}

bool AllEqual(const std::vector<uint8_t>& buffer, size_t offset, size_t count, uint8_t value) {
    for (size_t i = offset; i < offset + count; ++i)
        if (buffer[i] != value) return false;
    return true;
}

class CdSourceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<QTemporaryDir>();
        cue_ = fixtures::WriteCdImage(Folder(), "disc", Tracks());
        mixedCue_ = fixtures::WriteCdImage(Folder(), "mixed", Tracks(), true);
    }
    static void TearDownTestSuite() { dir_.reset(); }
    void SetUp() override {
        ASSERT_TRUE(dir_->isValid());
        ASSERT_FALSE(cue_.empty());
        ASSERT_FALSE(mixedCue_.empty());
        for (auto& buffer : buffers_) buffer.assign(kDiscBufferBytes, kUntouched);
        for (int deck = 0; deck < 2; ++deck)
            source_.SetDiscBuffer(deck, buffers_[deck].data(), kDiscBufferBytes);
    }

    static std::string Folder() { return dir_->path().toStdString(); }
    static std::string Path(const std::string& name) { return Folder() + "/" + name; }

    // Opens an image on a deck; the test stops when it does not open.
    void Open(int deck, const std::string& path) {
        std::string error;
        ASSERT_TRUE(source_.OpenImage(deck, path, error)) << error;
        ASSERT_TRUE(source_.IsOpen(deck));
    }

    static inline std::unique_ptr<QTemporaryDir> dir_;
    static inline std::string cue_;
    static inline std::string mixedCue_;
    CZelCdSource source_;
    std::vector<uint8_t> buffers_[2];
};

TEST_F(CdSourceTest, TableOfContents) {
    Open(0, cue_);
    EXPECT_EQ(source_.Name(0), cue_);
    ASSERT_EQ(source_.TrackCount(0), 3);
    EXPECT_DOUBLE_EQ(source_.TrackLength(0, 1), SectorBytes(kSectors1) / 176'400.0);
    EXPECT_DOUBLE_EQ(source_.TrackLength(0, 2), SectorBytes(kSectors2) / 176'400.0);
    EXPECT_DOUBLE_EQ(source_.TrackLength(0, 3), SectorBytes(kSectors3) / 176'400.0);
    EXPECT_EQ(source_.TrackLength(0, 0), 0);
    EXPECT_EQ(source_.TrackLength(0, 4), 0);
    EXPECT_DOUBLE_EQ(source_.TotalLength(0), SectorBytes(kAllSectors) / 176'400.0);
    EXPECT_EQ(source_.TrackStartByte(0, 1), 0);
    EXPECT_EQ(source_.TrackStartByte(0, 2), SectorBytes(kSectors1));
    EXPECT_EQ(source_.TrackStartByte(0, 3), SectorBytes(kSectors1 + kSectors2));
    EXPECT_EQ(source_.TotalBytes(0), SectorBytes(kAllSectors));

    // A data track after the audio is no track of the deck's, and adds no length.
    Open(1, mixedCue_);
    EXPECT_EQ(source_.TrackCount(1), 3);
    EXPECT_EQ(source_.TotalBytes(1), SectorBytes(kAllSectors));
    EXPECT_DOUBLE_EQ(source_.TrackLength(1, 3), SectorBytes(kSectors3) / 176'400.0);
}

TEST_F(CdSourceTest, PositionsAndSeeks) {
    Open(0, cue_);
    EXPECT_EQ(source_.BytePosition(0), 0);
    EXPECT_EQ(source_.CurrentTrack(0), 1);
    EXPECT_EQ(source_.PositionInTrack(0), 0);

    // Half a second into track 2: 88,200 bytes, 37.5 sectors, so 37 whole ones.
    source_.SeekInTrack(0, 2, 0.5);
    EXPECT_EQ(source_.BytePosition(0), SectorBytes(kSectors1 + 37));
    EXPECT_EQ(source_.CurrentTrack(0), 2);
    EXPECT_DOUBLE_EQ(source_.PositionInTrack(0), SectorBytes(37) / 176'400.0);

    // Any time lands on a whole sector of the track asked for.
    for (const double seconds : {0.0, 0.013, 0.25, 0.9999, 1.02}) {
        source_.SeekInTrack(0, 2, seconds);
        const int64_t position = source_.BytePosition(0);
        EXPECT_EQ(position % kSectorBytes, 0) << seconds;
        EXPECT_EQ(source_.CurrentTrack(0), 2) << seconds;
        EXPECT_LE(position - source_.TrackStartByte(0, 2), static_cast<int64_t>(seconds * 176'400))
            << seconds;
        EXPECT_GT(position - source_.TrackStartByte(0, 2) + kSectorBytes,
                  static_cast<int64_t>(seconds * 176'400))
            << seconds;
    }

    // The time of a position seeks back to that very sector (where a naive
    // truncation of bytes / 176,400 x 176,400 falls one sector short).
    for (const int sector : {23, 46, 55, 79, 97}) {
        source_.SeekInTrack(0, 1, SectorBytes(sector) / 176'400.0);
        EXPECT_EQ(source_.BytePosition(0), SectorBytes(sector)) << sector;
        source_.SeekInTrack(0, 1, source_.PositionInTrack(0));
        EXPECT_EQ(source_.BytePosition(0), SectorBytes(sector)) << sector;
    }

    // The last sector of track 1 is track 1; exactly its end is track 2.
    source_.SeekInTrack(0, 1, SectorBytes(kSectors1 - 1) / 176'400.0);
    EXPECT_EQ(source_.CurrentTrack(0), 1);
    source_.SeekTrackStart(0, 2);
    EXPECT_EQ(source_.BytePosition(0), SectorBytes(kSectors1));
    EXPECT_EQ(source_.CurrentTrack(0), 2);
    EXPECT_EQ(source_.PositionInTrack(0), 0);
    source_.SeekTrackStart(0, 3);
    EXPECT_EQ(source_.BytePosition(0), SectorBytes(kSectors1 + kSectors2));
    EXPECT_EQ(source_.CurrentTrack(0), 3);

    // Past the last track.
    source_.SeekInTrack(0, 3, 60);
    EXPECT_EQ(source_.BytePosition(0), source_.TotalBytes(0));
    EXPECT_EQ(source_.CurrentTrack(0), 4);
    source_.SeekTrackStart(0, 1);
    ASSERT_TRUE(source_.Read(0, 60 * kBlockBytes));
    EXPECT_EQ(source_.CurrentTrack(0), 4);

    // A disc opens at its start.
    Open(0, cue_);
    EXPECT_EQ(source_.BytePosition(0), 0);
    EXPECT_EQ(source_.CurrentTrack(0), 1);
}

TEST_F(CdSourceTest, ReadDeliversTheImageBytes) {
    Open(0, cue_);
    std::vector<uint8_t>& buffer = buffers_[0];

    ASSERT_TRUE(source_.Read(0, 3 * kBlockBytes));
    EXPECT_TRUE(HoldsAudio(buffer, 0, 0, 3 * kBlockBytes));
    EXPECT_TRUE(AllEqual(buffer, 3 * kBlockBytes, kBlockBytes, kUntouched));
    EXPECT_EQ(source_.WriteOffset(0), 3 * kBlockBytes);
    EXPECT_EQ(source_.BytePosition(0), 3 * kBlockBytes);

    // Across the end of track 1, five sectors before it, into the next part of the buffer.
    const int64_t from = SectorBytes(kSectors1 - 5);
    source_.SeekInTrack(0, 1, static_cast<double>(from) / 176'400);
    ASSERT_EQ(source_.BytePosition(0), from);
    ASSERT_TRUE(source_.Read(0, 2 * kBlockBytes));
    EXPECT_TRUE(HoldsAudio(buffer, 3 * kBlockBytes, from, 2 * kBlockBytes));
    EXPECT_EQ(source_.CurrentTrack(0), 2);
    EXPECT_EQ(source_.BytePosition(0), from + 2 * kBlockBytes);

    // From track 2 into track 3 in one long read, more than one extraction turn.
    source_.SeekTrackStart(0, 2);
    source_.SetWriteOffset(0, 0);
    ASSERT_TRUE(source_.Read(0, 35 * kBlockBytes));
    EXPECT_TRUE(HoldsAudio(buffer, 0, SectorBytes(kSectors1), 35 * kBlockBytes));
    EXPECT_EQ(source_.CurrentTrack(0), 3);
}

TEST_F(CdSourceTest, ReadWrapsInsideTheDiscBuffer) {
    Open(0, cue_);
    std::vector<uint8_t>& buffer = buffers_[0];
    source_.SetWriteOffset(0, kDiscBufferBytes - kBlockBytes);
    ASSERT_TRUE(source_.Read(0, 3 * kBlockBytes));
    EXPECT_TRUE(HoldsAudio(buffer, kDiscBufferBytes - kBlockBytes, 0, kBlockBytes));
    EXPECT_TRUE(HoldsAudio(buffer, 0, kBlockBytes, 2 * kBlockBytes));
    EXPECT_TRUE(AllEqual(buffer, 2 * kBlockBytes, kDiscBufferBytes - 3 * kBlockBytes, kUntouched));
    EXPECT_EQ(source_.WriteOffset(0), 2 * kBlockBytes);
    EXPECT_EQ(source_.BytePosition(0), 3 * kBlockBytes);

    // A whole buffer in one read wraps back to where it started.
    source_.SeekTrackStart(0, 1);
    source_.SetWriteOffset(0, 7 * kBlockBytes);
    ASSERT_TRUE(source_.Read(0, kDiscBufferBytes));
    EXPECT_EQ(source_.WriteOffset(0), 7 * kBlockBytes);
    EXPECT_TRUE(HoldsAudio(buffer, 7 * kBlockBytes, 0, SectorBytes(kAllSectors)));
}

TEST_F(CdSourceTest, SilencePastTheLastTrack) {
    // With a data track after the audio, which must never be heard.
    Open(0, mixedCue_);
    std::vector<uint8_t>& buffer = buffers_[0];
    source_.SeekInTrack(0, 3, SectorBytes(kSectors3 - 7) / 176'400.0);
    ASSERT_TRUE(source_.Read(0, 3 * kBlockBytes));
    EXPECT_TRUE(HoldsAudio(buffer, 0, SectorBytes(kAllSectors - 7), SectorBytes(7)));
    EXPECT_TRUE(AllEqual(buffer, SectorBytes(7), SectorBytes(8), 0));
    EXPECT_EQ(source_.CurrentTrack(0), 4);

    // Reading on past the end keeps delivering silence and moving on.
    buffer.assign(kDiscBufferBytes, kUntouched);
    ASSERT_TRUE(source_.Read(0, 27 * kBlockBytes));
    EXPECT_TRUE(AllEqual(buffer, 3 * kBlockBytes, 27 * kBlockBytes, 0));
    EXPECT_EQ(source_.WriteOffset(0), 30 * kBlockBytes);
    EXPECT_EQ(source_.BytePosition(0), SectorBytes(kAllSectors - 7) + 30 * kBlockBytes);
}

TEST_F(CdSourceTest, ReadAllocatesNothing) {
    Open(0, cue_);
    long allocations = 0;
    {
        const testing_support::ThreadAllocationCount count;
        source_.Read(0, 27 * kBlockBytes);
        source_.Read(0, 170 * kBlockBytes);
        allocations = count.Count();
    }
    EXPECT_EQ(allocations, 0);
}

TEST_F(CdSourceTest, FailuresLeaveTheDeckWithoutADisc) {
    // Cut in the middle of track 2: tracks 2 and 3 would be short or missing.
    fs::copy_file(Path("disc.bin"), Path("cut.bin"), fs::copy_options::overwrite_existing);
    fs::resize_file(Path("cut.bin"), SectorBytes(kSectors1 + 40) + 1000);
    std::ofstream(Path("cut.cue")) << "FILE \"cut.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                   << "  TRACK 02 AUDIO\n    INDEX 01 " << fixtures::CdTime(kSectors1) << "\n"
                                   << "  TRACK 03 AUDIO\n    INDEX 01 "
                                   << fixtures::CdTime(kSectors1 + kSectors2) << "\n";
    // A .cue whose .bin is gone.
    const std::string gone = fixtures::WriteCdImage(Folder(), "gone", Tracks());
    fs::remove(Path("gone.bin"));
    // A .cue naming a file that is not there, beside a .bin of its own name.
    const std::string misnamed = fixtures::WriteCdImage(Folder(), "misnamed", Tracks());
    std::ofstream(misnamed) << "FILE \"elsewhere.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    const std::string data = fixtures::WriteDataCdImage(Folder(), "data");
    std::ofstream(Path("notes.cue")) << "Remember to buy more vinyl.\n";
    std::ofstream(Path("empty.cue"));
    // One file per track, which libcdio cannot read.
    const std::string perTrack = fixtures::WriteCdImage(Folder(), "pertrack", Tracks());
    std::ofstream(perTrack) << "FILE \"pertrack.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                            << "FILE \"disc.bin\" BINARY\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n";

    const struct {
        std::string path;
        std::string says;  // a word the sentence must hold
    } cases[] = {{Path("cut.cue"), "damaged"},
                 {gone, "missing"},
                 {misnamed, "missing"},
                 {data, "no audio"},
                 {Path("nowhere.cue"), "not exist"},
                 {Path("notes.cue"), "not a CD image"},
                 {Path("empty.cue"), "not a CD image"},
                 {Folder(), "not a CD image"},
                 {perTrack, "each track"}};
    for (const auto& c : cases) {
        // A disc open before, which the failed open must have closed.
        Open(0, cue_);
        std::string error;
        EXPECT_FALSE(source_.OpenImage(0, c.path, error)) << c.path;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.path << ": " << error;
        EXPECT_FALSE(source_.IsOpen(0)) << c.path;
        EXPECT_EQ(source_.TrackCount(0), 0) << c.path;
        EXPECT_EQ(source_.TotalBytes(0), 0) << c.path;
        EXPECT_EQ(source_.Name(0), "") << c.path;
        EXPECT_FALSE(source_.Read(0, kBlockBytes)) << c.path;
    }
    EXPECT_TRUE(AllEqual(buffers_[0], 0, kDiscBufferBytes, kUntouched));

    std::string error;
    EXPECT_FALSE(source_.OpenImage(2, cue_, error));
    EXPECT_FALSE(error.empty());
}

TEST_F(CdSourceTest, WithoutADriveOpenCdFailsCleanly) {
    const bool machineHasDrive = fs::exists("/dev/sr0") || fs::exists("/dev/cdrom");
    if (!machineHasDrive) {
        EXPECT_TRUE(source_.Drives().empty());
    }
    for (const auto& drive : source_.Drives()) {
        EXPECT_FALSE(drive.device.empty());
        EXPECT_EQ(drive.name.find("Image Recorder"), std::string::npos);
    }
    Open(0, cue_);
    std::string error;
    EXPECT_FALSE(source_.OpenCd(0, static_cast<int>(source_.Drives().size()), error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(source_.IsOpen(0));
    EXPECT_EQ(source_.Name(0), "");
    error.clear();
    EXPECT_FALSE(source_.OpenCd(1, -1, error));
    EXPECT_FALSE(error.empty());
}

TEST_F(CdSourceTest, TwoDecksReadOneImageIndependently) {
    Open(0, cue_);
    Open(1, cue_);
    source_.SeekTrackStart(1, 3);
    // Each deck's reader on a thread of its own, at once.
    std::thread deck0([&] {
        for (int i = 0; i < 10; ++i) source_.Read(0, 5 * kBlockBytes);
    });
    std::thread deck1([&] {
        for (int i = 0; i < 4; ++i) source_.Read(1, 3 * kBlockBytes);
    });
    deck0.join();
    deck1.join();
    EXPECT_TRUE(HoldsAudio(buffers_[0], 0, 0, 50 * kBlockBytes));
    EXPECT_TRUE(HoldsAudio(buffers_[1], 0, SectorBytes(kSectors1 + kSectors2), 12 * kBlockBytes));
    EXPECT_EQ(source_.BytePosition(0), 50 * kBlockBytes);
    EXPECT_EQ(source_.CurrentTrack(1), 3);

    // Closing one leaves the other playing.
    source_.CloseCd(0);
    EXPECT_FALSE(source_.IsOpen(0));
    source_.SetWriteOffset(1, 0);
    ASSERT_TRUE(source_.Read(1, kBlockBytes));
    EXPECT_TRUE(
        HoldsAudio(buffers_[1], 0, SectorBytes(kSectors1 + kSectors2) + 12 * kBlockBytes, kBlockBytes));
}

TEST_F(CdSourceTest, OtherWaysToGiveAnImage) {
    // The .bin itself, found with its .cue.
    Open(0, Path("disc.bin"));
    EXPECT_EQ(source_.TrackCount(0), 3);
    ASSERT_TRUE(source_.Read(0, 2 * kBlockBytes));
    EXPECT_TRUE(HoldsAudio(buffers_[0], 0, 0, 2 * kBlockBytes));

    // A .cue naming a .bin of another name (libcdio alone would look for renamed.bin).
    fs::copy_file(Path("disc.bin"), Path("Live at the Club (disc 1).bin"),
                  fs::copy_options::overwrite_existing);
    std::ifstream original(cue_);
    std::string sheet((std::istreambuf_iterator<char>(original)), {});
    sheet.replace(sheet.find("disc.bin"), 8, "Live at the Club (disc 1).bin");
    std::ofstream(Path("renamed.cue")) << sheet;
    Open(1, Path("renamed.cue"));
    EXPECT_EQ(source_.TrackCount(1), 3);
    source_.SeekTrackStart(1, 2);
    ASSERT_TRUE(source_.Read(1, 4 * kBlockBytes));
    EXPECT_TRUE(HoldsAudio(buffers_[1], 0, SectorBytes(kSectors1), 4 * kBlockBytes));
    source_.CloseCd(1);

    // A cdrdao .toc, whose raw audio is big-endian: the deck gets the same samples.
    const std::string toc = fixtures::WriteTocImage(Folder(), "cdrdao", Tracks());
    ASSERT_FALSE(toc.empty());
    Open(0, toc);
    ASSERT_EQ(source_.TrackCount(0), 3);
    EXPECT_EQ(source_.TrackStartByte(0, 3), SectorBytes(kSectors1 + kSectors2));
    EXPECT_EQ(source_.TotalBytes(0), SectorBytes(kAllSectors));
    source_.SetWriteOffset(0, 0);
    ASSERT_TRUE(source_.Read(0, kDiscBufferBytes));
    EXPECT_TRUE(HoldsAudio(buffers_[0], 0, 0, SectorBytes(kAllSectors)));

    // A .toc over a WAV file: libcdio would play the header as audio.
    ASSERT_TRUE(fixtures::WriteWav(Path("tone.wav"), Tracks()[0], 2, 44'100));
    std::ofstream(Path("wav.toc")) << "CD_DA\n\nTRACK AUDIO\nFILE \"tone.wav\" 0 "
                                   << fixtures::CdTime(kSectors1) << "\n";
    std::string error;
    EXPECT_FALSE(source_.OpenImage(0, Path("wav.toc"), error));
    EXPECT_NE(error.find("WAV"), std::string::npos) << error;
}

}  // namespace
