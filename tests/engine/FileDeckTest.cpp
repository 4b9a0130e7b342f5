// Loading files into a deck: decoding block by block into the ring, priming,
// refills, the end of a file, bad files, and the track length thread.

#include <QTimer>

#include <unistd.h>
#include <fstream>
#include <random>

#include "engine/EngineHarness.h"

using engine::kBlockFrames;
using engine::kBlockSamples;
using fixtures::Ramp;
using testing_support::EngineHarness;
using testing_support::TrackFolder;

namespace {

// The audio expected from the ring: the file, then silence to the end of the
// block in which the file ended (a whole silent block when it ended exactly on
// a block boundary: that last read found nothing).
std::vector<int16_t> PaddedToBlocks(std::vector<int16_t> samples) {
    samples.resize((samples.size() / kBlockSamples + 1) * kBlockSamples, 0);
    return samples;
}

// A folder of the tests' files, and the engine with its recording window.
class FileDeck : public ::testing::Test {
protected:
    TrackFolder files;
    EngineHarness h;
};

}  // namespace

TEST_F(FileDeck, WavRampLandsBitExactInTheRingBlockAfterBlock) {
    // 300 blocks and a bit: the first pass fills 170 blocks, refills bring the rest.
    const int frames = 300 * kBlockFrames + 1234;
    const std::string path = files.Wav("ramp.wav", Ramp(frames, 2));
    ASSERT_TRUE(h.engine.LoadFile(0, path));
    EXPECT_EQ(h.decks[0].path, path);
    EXPECT_NEAR(h.decks[0].lengthSeconds, frames / 44'100.0, 1e-3);
    // Primed after 121 blocks; with nothing taken the reader fills the whole ring and waits.
    auto full = [&] {
        return h.engine.Ring(0).CountFilled() == engine::kDiscBlocks && h.engine.ReaderWaiting(0);
    };
    ASSERT_TRUE(EngineHarness::WaitUntil([&] { return h.primedCount[0] == 1 && full(); }));
    EXPECT_EQ(h.blocksDecodedAtPriming[0], 121);
    EXPECT_EQ(h.blocksDecoded[0], engine::kDiscBlocks);
    auto audio = h.Take(0, 26);
    platform::MessagePort::DrainThisThread();
    EXPECT_TRUE(h.engine.ReaderWaiting(0));
    EXPECT_EQ(h.engine.Ring(0).CountFilled(), engine::kDiscBlocks - 26) << "no refill before the 27th block";
    const auto block27 = h.Take(0, 1);
    EXPECT_TRUE(EngineHarness::WaitUntil(full));
    for (const auto& more : {block27, h.TakeAll(0)}) audio.insert(audio.end(), more.begin(), more.end());
    EXPECT_EQ(audio, PaddedToBlocks(Ramp(frames, 2)));
    EXPECT_EQ(h.primedCount[0], 1);
    EXPECT_EQ(h.endOfTrack[0], 1);
    EXPECT_FALSE(h.engine.FileSource(0).IsOpen()) << "the source closes at the end of its file";
    EXPECT_EQ(h.blocksDecoded[1], 0) << "deck B was never touched";
}

TEST_F(FileDeck, ShortTruncatedAndMonoFilesLandWhole) {
    const int shortFrames = 15 * kBlockFrames - 300;  // under a second: far fewer than 121 blocks
    const int keptFrames = 12 * kBlockFrames + 17;
    const std::string cut = files.Wav("cut.wav", Ramp(30 * kBlockFrames, 2));
    ASSERT_EQ(::truncate(cut.c_str(), 44 + keptFrames * 4), 0);
    const auto mono = Ramp(150 * kBlockFrames, 1, 100);
    std::vector<int16_t> widened;
    for (const int16_t sample : mono) widened.insert(widened.end(), {sample, sample});
    // Deck, file, what the ring holds, blocks read when primed, source rate.
    const std::tuple<int, std::string, std::vector<int16_t>, int, int> cases[] = {
        {0, files.Wav("Déjà vu – ÄÖÜ 東京 mix.wav", Ramp(shortFrames, 2)), Ramp(shortFrames, 2), 15, 44'100},
        {0, cut, Ramp(keptFrames, 2), 13, 44'100},
        // Widened to stereo, at its own rate.
        {1, files.Wav("mono.wav", mono, 1, 22'050), widened, 121, 22'050},
    };
    for (const auto& [deck, path, expected, primedAfter, rate] : cases) {
        SCOPED_TRACE(path);
        EngineHarness fresh;
        ASSERT_TRUE(fresh.engine.LoadFile(deck, path));
        EXPECT_EQ(fresh.engine.FileSource(deck).SampleRate(), rate);
        EXPECT_NEAR(fresh.decks[deck].lengthSeconds, static_cast<double>(expected.size() / 2) / rate, 1e-3);
        EXPECT_EQ(fresh.TakeAll(deck), PaddedToBlocks(expected));
        EXPECT_EQ(fresh.blocksDecodedAtPriming[deck], primedAfter) << "primed after 121 blocks or at the end";
        EXPECT_EQ(fresh.primedCount[deck], 1);
    }
}

TEST_F(FileDeck, BadFilesFailFastAndLeaveTheDeckUsable) {
    const std::string good = files.Wav("good.wav", Ramp(200 * kBlockFrames, 2));
    const std::string empty = files.Path("empty.mp3"), noise = files.Path("noise.mp3");
    std::string bytes(200'000, '\0');
    std::generate(bytes.begin(), bytes.end(), std::mt19937(42));
    std::ofstream{empty};
    std::ofstream(noise, std::ios::binary) << bytes;
    int bad = 0;
    for (const std::string& path :
         {files.Path("does not exist.mp3"), files.dir.path().toStdString(), empty, noise, std::string()}) {
        SCOPED_TRACE(path);
        // Each replaces a good file whose reader waits on a full ring: that stop is immediate.
        ASSERT_TRUE(h.engine.LoadFile(0, good));
        ASSERT_TRUE(EngineHarness::WaitUntil([&] { return h.engine.ReaderWaiting(0); }));
        testing_support::ExpectReturns([&] { EXPECT_FALSE(h.engine.LoadFile(0, path)); });
        EXPECT_EQ(h.decks[0].nothingLoaded, ++bad);
        EXPECT_EQ(h.decks[0].ledResets, bad) << "the old reader was stopped";
        EXPECT_EQ(h.engine.Kind(0), engine::SourceKind::None);
        EXPECT_FALSE(h.engine.ReaderRunning(0));
        EXPECT_FALSE(h.engine.FileSource(0).LastError().empty());
    }
    ASSERT_TRUE(h.engine.LoadFile(0, good));
    EXPECT_EQ(h.TakeAll(0), PaddedToBlocks(Ramp(200 * kBlockFrames, 2))) << "the deck is usable again";
}

TEST_F(FileDeck, AStopRightAfterTheStartEndsTheReaderAndASeekReadsOn) {
    const std::string path = files.Wav("stop.wav", Ramp(300 * kBlockFrames, 2));
    // A stop before the reader thread has begun (a seek straight after a
    // load) ends it at once; the next load stops the reader the seek started.
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(h.engine.LoadFile(0, path));
        testing_support::ExpectReturns([&] { h.engine.StopReader(0, true); });
        EXPECT_FALSE(h.engine.ReaderRunning(0));
        ASSERT_TRUE(h.engine.SeekFile(0, 0.5));
    }
    // The second half of the file is read to its end (and the end-of-file block).
    EXPECT_TRUE(EngineHarness::WaitUntil([&] { return !h.engine.ReaderRunning(0); }));
    EXPECT_EQ(h.engine.Ring(0).CountFilled(), 151);
}

TEST_F(FileDeck, TrackLengthThreadMeasuresFilesAndReportsUnreadableOnes) {
    using testing::_;
    const std::string mp3 = files.Path("titled.mp3"), missing = files.Path("missing.wma");
    ASSERT_TRUE(
        fixtures::Encode(files.Wav("titled.wav", Ramp(44'100 * 3, 2)), mp3,
                         {"-c:a", "libmp3lame", "-metadata", "title=Night Drive", "-id3v2_version", "3"}));
    h.engine.StartTrackLengthThread();
    // Two requests at once: the second is refused while the first is served.
    ASSERT_TRUE(h.engine.RequestTrackLength(mp3));
    EXPECT_FALSE(h.engine.RequestTrackLength(missing));
    ASSERT_TRUE(EngineHarness::WaitUntil(
        [&] { return h.playList.measured.size() == 1 && !h.engine.TrackLengthBusy(); }));
    ASSERT_TRUE(h.engine.RequestTrackLength(missing));
    ASSERT_TRUE(EngineHarness::WaitUntil([&] { return h.playList.measured.size() == 2; }));
    EXPECT_THAT(h.playList.measured,
                testing::ElementsAre(testing::FieldsAre(mp3, "Night Drive", testing::DoubleNear(3.0, 0.1)),
                                     testing::FieldsAre(missing, _, -1.0)));
}

TEST_F(FileDeck, TheEndOfTrackHandlingNeverWaitsSoASeekRightThenCannotHang) {
    const int frames = 10 * kBlockFrames + 100;
    const std::string first = files.Wav("end-first.wav", Ramp(frames, 2));
    h.playList.next[0].push_back(files.Wav("end-second.wav", Ramp(4 * kBlockFrames, 2, 7)));
    // Something else the window does (a timer, a click) comes while the
    // reader waits for its end-of-track message to be handled: a seek back.
    bool seeked = false, asked = false;
    int primedBeforeSeek = 0;
    h.playList.onAsked = [&] {
        if (std::exchange(asked, true)) return;
        QTimer::singleShot(0, [&] {
            primedBeforeSeek = h.primedCount[0];
            seeked = h.engine.SeekFile(0, 0.0);
        });
    };
    ASSERT_TRUE(h.engine.LoadFile(0, first));
    ASSERT_TRUE(EngineHarness::WaitUntil([&] { return seeked; }));
    // The deck is back at the start of its own file, not in the next one.
    ASSERT_TRUE(EngineHarness::WaitUntil([&] { return h.primedCount[0] > primedBeforeSeek; }));
    EXPECT_EQ(h.TakeAll(0), PaddedToBlocks(Ramp(frames, 2)));
}
