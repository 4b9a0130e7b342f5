// A CD image in a deck, really playing: the engine extracts the disc into the
// ring and plays it through Offline outputs the test renders period by period.

#include "engine/PlaybackRig.h"
#include "support/CdImages.h"

using namespace testing_support;

namespace {

constexpr int kFramesPerSector = 588;

// Three tracks of distinct noise, the second an odd number of sectors long,
// so a track boundary falls inside a block.
class CdPlayback : public ::testing::Test {
protected:
    CdPlayback() {
        int seed = 31;
        for (const int sectors : kSectors) {
            tracks.push_back(fixtures::Noise(sectors * kFramesPerSector, 2, seed++, 0.4));
            trackStart.push_back(disc.size() / 2);
            disc.insert(disc.end(), tracks.back().begin(), tracks.back().end());
        }
        image = fixtures::WriteCdImage(files.Path(""), "disc", tracks);
    }
    // Loads the image into deck A; the load must succeed.
    void Load() {
        std::string error;
        ASSERT_TRUE(rig.engine.LoadCd(0, -1, image, error)) << error;
        ASSERT_EQ(rig.engine.Kind(0), engine::SourceKind::Cd);
    }
    // Plays until the deck stops at the end of the disc; everything heard.
    std::vector<int16_t> PlayToTheEnd() {
        std::vector<int16_t> heard;
        rig.decks[0].onCdTrackChanged = [&] {
            const auto more = rig.Heard("Main");
            heard.insert(heard.end(), more.begin(), more.end());
            changedAtFrame.push_back(heard.size() / 2);
        };
        rig.playback.StartForward(0);
        EXPECT_TRUE(rig.RenderUntil([&] { return rig.playEnded >= 1 && !rig.playback.PlayingForward(0); }));
        const auto rest = rig.Heard("Main");
        heard.insert(heard.end(), rest.begin(), rest.end());
        return heard;
    }
    // The disc frame the listener hears at the first sound, given where a
    // later heard frame was found on the disc.
    static long StartFrame(const std::vector<int16_t>& heard, size_t at, size_t found) {
        return static_cast<long>(found) - static_cast<long>(at - FirstSound(heard));
    }

    static constexpr int kSectors[3] = {225, 151, 150};
    TrackFolder files;
    std::vector<std::vector<int16_t>> tracks;
    std::vector<int16_t> disc;
    std::vector<size_t> trackStart;  // in frames
    std::string image;
    std::vector<size_t> changedAtFrame;  // heard frames when the deck's track changed
    PlaybackRig rig;
};

}  // namespace

TEST_F(CdPlayback, TheDiscPlaysThroughItsTracksSampleForSampleAndTheDeckFollowsAsTheyAreHeard) {
    Load();
    EXPECT_EQ(rig.engine.CdTrack(0), 1);
    const auto heard = PlayToTheEnd();
    EXPECT_EQ(rig.playback.Underruns(0), 0);

    // Past the fade-in, every frame to the end is the disc's, track after
    // track with no gap, then silence.
    const size_t at = FirstSound(heard) + 44'100 / 2;
    const auto from = FindInSource(disc, heard, at);
    ASSERT_TRUE(from) << "the heard sound is not the disc's";
    const size_t rest = disc.size() / 2 - *from;
    ASSERT_GE(heard.size() / 2 - at, rest) << "the end of the disc is missing";
    EXPECT_TRUE(Alike(disc, *from, heard, at, rest));
    EXPECT_EQ(Rms(heard, at + rest, heard.size()), 0.0);

    // The whole disc is read long before it is heard: the deck's track number
    // changes as each track reaches the listener, within the block it starts in.
    EXPECT_EQ(rig.decks[0].cdTracks, (std::vector<int>{2, 3}));
    EXPECT_EQ(rig.endOfTrack[0], 2) << "the reader tells of each boundary as it reads it";
    ASSERT_EQ(changedAtFrame.size(), 2u);
    const long offset = static_cast<long>(*from) - static_cast<long>(at);  // disc frame - heard frame
    for (size_t k = 0; k < 2; ++k) {
        const long heardStart = static_cast<long>(trackStart[k + 1]) - offset;
        EXPECT_THAT(static_cast<long>(changedAtFrame[k]),
                    testing::AllOf(testing::Ge(heardStart - engine::kBlockFrames),
                                   testing::Le(heardStart + 2 * engine::kBlockFrames)))
            << "track " << k + 2;
    }
}

TEST_F(CdPlayback, ATrackOrAPlaceInsideOnePlaysFromThere) {
    Load();
    // Track 3 from its start.
    ASSERT_TRUE(rig.engine.PlayCdFrom(0, 3, 0.0));
    auto heard = PlayToTheEnd();
    size_t at = FirstSound(heard) + 44'100 / 4;
    auto from = FindInSource(disc, heard, at);
    ASSERT_TRUE(from);
    EXPECT_NEAR(StartFrame(heard, at, *from), static_cast<long>(trackStart[2]), 44'100 / 200);
    EXPECT_TRUE(rig.decks[0].cdTracks.empty()) << "it was track 3 all along";

    // A second into track 2: the seek lands on the sector of that second.
    rig.playEnded = 0;
    ASSERT_TRUE(rig.engine.PlayCdFrom(0, 2, 1.01));
    EXPECT_EQ(rig.engine.CdTrack(0), 2);
    heard = PlayToTheEnd();
    at = FirstSound(heard) + 44'100 / 4;
    from = FindInSource(disc, heard, at);
    ASSERT_TRUE(from);
    EXPECT_NEAR(StartFrame(heard, at, *from), static_cast<long>(trackStart[1] + 75 * kFramesPerSector),
                44'100 / 200);
    EXPECT_EQ(rig.decks[0].cdTracks, std::vector<int>{3});
}

TEST_F(CdPlayback, ADiscThatCannotBeReadLeavesTheDeckEmpty) {
    std::string error;
    EXPECT_FALSE(rig.engine.LoadCd(0, -1, files.Path("missing.cue"), error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(rig.engine.Kind(0), engine::SourceKind::None);
    EXPECT_EQ(rig.decks[0].nothingLoaded, 1);
    // Without any drive, asking for drive 0 fails as cleanly.
    if (rig.engine.Cd().Drives().empty()) {
        error.clear();
        EXPECT_FALSE(rig.engine.LoadCd(0, 0, {}, error));
        EXPECT_FALSE(error.empty());
    }
    // A good disc after a bad one plays.
    Load();
    EXPECT_FALSE(rig.engine.PlayCdFrom(1, 1, 0.0)) << "deck B holds no CD";
}
