// A deck's file as the DJ meets it: the length that plays (not the one its
// header states), a file deleted while loaded, the next file at another rate.

#include <cstdio>

#include "engine/EngineHarness.h"
#include "platform/media/AudioDecoder.h"

using engine::kBlockFrames;
using testing_support::EngineHarness;

// A folder of the tests' files, and the engine with its recording window.
class FileLength : public ::testing::Test {
protected:
    testing_support::TrackFolder files;
    EngineHarness h;
};

TEST_F(FileLength, TheDeckTakesTheLengthThatPlaysAndSeeksWithinIt) {
    // A VBR MP3 without a seek table that starts quietly: the length it
    // states, from the bit rate of its first frames, is far from what plays.
    std::vector<int16_t> music(2 * 2 * 44'100, 0);
    const auto noise = fixtures::Noise(18 * 44'100, 2, 9, 0.3);
    music.insert(music.end(), noise.begin(), noise.end());
    const std::string mp3 = files.Path("vbr.mp3");
    ASSERT_TRUE(fixtures::Encode(files.Wav("vbr.wav", music), mp3,
                                 {"-c:a", "libmp3lame", "-q:a", "2", "-write_xing", "0"}));
    // Everything the decoder gives from the start, as the deck hears it.
    platform::media::AudioDecoder decoder;
    ASSERT_TRUE(decoder.Open(mp3));
    std::vector<int16_t> decoded, chunk(8192);
    while (const size_t bytes = decoder.Read(reinterpret_cast<uint8_t*>(chunk.data()), chunk.size() * 2))
        decoded.insert(decoded.end(), chunk.begin(), chunk.begin() + static_cast<long>(bytes / 2));
    const double plays = static_cast<double>(decoded.size() / 2) / 44'100;

    ASSERT_TRUE(h.engine.LoadFile(0, mp3));
    EXPECT_GT(std::abs(h.decks[0].lengthSeconds - plays), 2.0)
        << "the header is right, so this test shows nothing";
    ASSERT_TRUE(EngineHarness::WaitUntil([&] { return !h.decks[0].knownLengths.empty(); }));
    EXPECT_NEAR(h.decks[0].knownLengths.back(), plays, 0.001) << "the measured length is shown";

    // The slide's 95 % is 95 % of what plays, and reachable.
    h.TakeAll(0);
    ASSERT_TRUE(h.engine.SeekFile(0, 0.95));
    const auto heard = h.TakeAll(0);
    ASSERT_GT(heard.size(), 2u * 4096);
    const long target = std::lround(0.95 * plays * 44'100);
    const auto found = std::search(decoded.begin() + 2 * std::max(0L, target - 2000), decoded.end(),
                                   heard.begin(), heard.begin() + 512);
    ASSERT_NE(found, decoded.end()) << "the sound after the seek is the file's";
    EXPECT_NEAR(static_cast<double>((found - decoded.begin()) / 2), static_cast<double>(target), 2.0);
    // Read to its end, the file's length is exactly what was decoded.
    EXPECT_NEAR(h.decks[0].knownLengths.back(), plays, 1.0 / 44'100);
}

TEST_F(FileLength, AFileDeletedWhileLoadedStillSeeksAndPlays) {
    const auto noise = fixtures::Noise(40 * kBlockFrames + 123, 2, 4);
    const std::string path = files.Wav("gone.wav", noise);
    ASSERT_TRUE(h.engine.LoadFile(0, path));
    ASSERT_EQ(std::remove(path.c_str()), 0);

    // A seek near the start, and one after the reader has read to the end and
    // closed the source: both from the file as it was opened.
    ASSERT_TRUE(h.engine.SeekFile(0, 0.0));
    auto heard = h.TakeAll(0);
    heard.resize(noise.size());
    EXPECT_EQ(heard, noise);
    ASSERT_FALSE(h.engine.FileSource(0).IsOpen());
    ASSERT_TRUE(h.engine.SeekFile(0, 0.5));
    heard = h.TakeAll(0);
    const auto half = std::search(noise.begin(), noise.end(), heard.begin(), heard.begin() + 64);
    EXPECT_NEAR(static_cast<double>((half - noise.begin()) / 2), noise.size() / 4.0, 1.0);
    EXPECT_EQ(h.decks[0].nothingLoaded, 0) << "the deck keeps its file";
}

TEST_F(FileLength, TheNextFileAtAnotherRateKeepsItsPitch) {
    h.playList.next[0].push_back(files.Wav("second.wav", fixtures::Sine(1000.0, 3.0, 48'000, 2), 2, 48'000));
    ASSERT_TRUE(h.engine.LoadFile(0, files.Wav("first.wav", fixtures::Sine(1000.0, 3.0, 44'100, 2))));
    const auto heard = h.TakeAll(0);
    // Both files at the deck's running rate, 44,100 Hz: six seconds of it.
    EXPECT_NEAR(static_cast<double>(heard.size() / 2), 6.0 * 44'100, kBlockFrames);
    const size_t from = 2 * (3 * 44'100 + 4096);
    ASSERT_GT(heard.size(), from + 2 * 8192);
    EXPECT_NEAR(fixtures::DominantFrequency(heard.data() + from, 8192, 2, 0, 44'100), 1000.0, 2.0)
        << "the second file plays at its own pitch";
}
