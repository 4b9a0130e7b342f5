#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "CdTestTracks.h"
#include "platform/cd/CdDisc.h"
#include "support/CdImages.h"

// The disc layer under the deck's CD source. There is no drive here, so the
// drive path (paranoia) is tried on images, which libcdio opens like a drive.

using namespace cd_test;
using platform::cd::CdDisc;
using platform::cd::CdTrackSpan;
namespace fs = std::filesystem;

namespace {

// `count` sectors from audio sector `first`, as the disc delivers them.
std::vector<uint8_t> Sectors(CdDisc& disc, int64_t first, int32_t count) {
    std::vector<uint8_t> out(static_cast<size_t>(SectorBytes(count)), 0x5A);
    disc.ReadSectors(first, count, out.data());
    return out;
}

// The same stretch of the tracks' audio.
std::vector<uint8_t> Audio(int64_t first, int32_t count) {
    const auto begin = AudioBytes().begin() + SectorBytes(first);
    return {begin, begin + SectorBytes(count)};
}

bool Silent(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

class CdDiscTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        cue_ = fixtures::WriteCdImage(Folder(), "disc", Tracks());
        mixedCue_ = fixtures::WriteCdImage(Folder(), "mixed", Tracks(), true);
        ASSERT_FALSE(cue_.empty());
        ASSERT_FALSE(mixedCue_.empty());
    }
    std::string Folder() const { return dir_.path().toStdString(); }

    QTemporaryDir dir_;
    std::string cue_;
    std::string mixedCue_;
};

TEST_F(CdDiscTest, DrivePathReadsWhatTheImagePathReads) {
    CdDisc image;
    CdDisc drive;
    std::string error;
    ASSERT_TRUE(image.OpenImage(cue_, error)) << error;
    ASSERT_TRUE(drive.OpenImageAsDrive(cue_, error)) << error;
    for (CdDisc* disc : {&image, &drive}) {
        const std::vector<CdTrackSpan>& tracks = disc->Tracks();
        ASSERT_EQ(tracks.size(), 3u);
        EXPECT_EQ(tracks[0].firstSector, 0);
        EXPECT_EQ(tracks[0].sectors, kSectors1);
        EXPECT_EQ(tracks[1].firstSector, kSectors1);
        EXPECT_EQ(tracks[1].sectors, kSectors2);
        EXPECT_EQ(tracks[2].firstSector, kSectors1 + kSectors2);
        EXPECT_EQ(tracks[2].sectors, kSectors3);
        EXPECT_EQ(disc->AudioSectors(), kAllSectors);

        // Across a track boundary, then back to the start (paranoia seeks),
        // then over the end of the audio into silence.
        EXPECT_EQ(Sectors(*disc, kSectors1 - 4, 10), Audio(kSectors1 - 4, 10));
        EXPECT_EQ(Sectors(*disc, 0, 20), Audio(0, 20));
        EXPECT_EQ(Sectors(*disc, kSectors1 + kSectors2 + 3, 30), Audio(kSectors1 + kSectors2 + 3, 30));
        const std::vector<uint8_t> end = Sectors(*disc, kAllSectors - 6, 16);
        EXPECT_TRUE(std::equal(end.begin(), end.begin() + SectorBytes(6), Audio(kAllSectors - 6, 6).begin()));
        EXPECT_TRUE(Silent(end, SectorBytes(6), end.size()));
    }
}

TEST_F(CdDiscTest, DrivePathLeavesDataTracksOut) {
    CdDisc drive;
    std::string error;
    ASSERT_TRUE(drive.OpenImageAsDrive(mixedCue_, error)) << error;
    ASSERT_EQ(drive.Tracks().size(), 3u);
    EXPECT_EQ(drive.AudioSectors(), kAllSectors);
    const std::vector<uint8_t> end = Sectors(drive, kAllSectors - 2, 10);
    EXPECT_TRUE(std::equal(end.begin(), end.begin() + SectorBytes(2), Audio(kAllSectors - 2, 2).begin()));
    EXPECT_TRUE(Silent(end, SectorBytes(2), end.size()));
}

// Sectors that cannot be read come as silence, and reading goes on. Here they
// are the end of an image cut short after it was opened, as a scratch is to a
// drive; the cut lies far into a long last track, away from anything read (and
// buffered) when the image opened.
TEST_F(CdDiscTest, UnreadableSectorsComeAsSilence) {
    constexpr int kLongSectors = 2'000;
    constexpr int kCut = kSectors1 + kSectors2 + 1'500;
    const std::vector<std::vector<int16_t>> tracks = {Tracks()[0], Tracks()[1],
                                                      fixtures::CdTone(550, kLongSectors)};
    const auto* samples = reinterpret_cast<const uint8_t*>(tracks[2].data());
    // Audio sectors from `first` (at or after track 3's start) on.
    const auto longTrack = [&](int64_t first, int32_t count) {
        const uint8_t* begin = samples + SectorBytes(first - kSectors1 - kSectors2);
        return std::vector<uint8_t>(begin, begin + SectorBytes(count));
    };
    for (const bool asDrive : {false, true}) {
        const std::string name = asDrive ? "scratched-drive" : "scratched-image";
        const std::string cue = fixtures::WriteCdImage(Folder(), name, tracks);
        CdDisc disc;
        std::string error;
        ASSERT_TRUE(asDrive ? disc.OpenImageAsDrive(cue, error) : disc.OpenImage(cue, error)) << error;
        fs::resize_file(Folder() + "/" + name + ".bin", static_cast<uintmax_t>(SectorBytes(kCut)));

        const std::vector<uint8_t> cut = Sectors(disc, kCut, 30);
        EXPECT_TRUE(Silent(cut, 0, cut.size())) << name;
        EXPECT_EQ(Sectors(disc, kCut - 10, 10), longTrack(kCut - 10, 10)) << name;
        // Playing on into the cut.
        const std::vector<uint8_t> across = Sectors(disc, kCut - 5, 20);
        EXPECT_TRUE(
            std::equal(across.begin(), across.begin() + SectorBytes(5), longTrack(kCut - 5, 5).begin()))
            << name;
        EXPECT_TRUE(Silent(across, SectorBytes(5), across.size())) << name;
    }
}

}  // namespace
