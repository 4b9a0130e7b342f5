// Loading files into a deck: decoding block by block into the ring, priming,
// refills, the end of a file and the continuation into the next one.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/stat.h>
#include <algorithm>
#include <fstream>
#include <random>
#include <utility>

#include "engine/EngineHarness.h"
#include "support/AudioFixtures.h"
#include "support/Waits.h"

using engine::kBlockFrames;
using engine::kBlockSamples;
using testing_support::EngineHarness;

namespace {

class FileDeck : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir();
        ASSERT_TRUE(dir_->isValid());
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string PathOf(const char* name) { return QDir(dir_->path()).filePath(name).toStdString(); }

    // A stereo 44.1 kHz ramp WAV of the given frames, whose samples all differ.
    static std::string RampWav(const char* name, int frames, int start = 0) {
        const std::string path = PathOf(name);
        if (!QFile::exists(QString::fromStdString(path))) {
            EXPECT_TRUE(fixtures::WriteWav(path, fixtures::Ramp(frames, 2, start), 2, 44'100));
        }
        return path;
    }

    static QTemporaryDir* dir_;
};
QTemporaryDir* FileDeck::dir_ = nullptr;

// The audio expected from the ring: the file, then silence to the end of the
// block in which the file ended (a whole silent block when it ended exactly on
// a block boundary: that last read found nothing).
std::vector<int16_t> PaddedToBlocks(std::vector<int16_t> samples) {
    const size_t blocks = samples.size() / kBlockSamples + 1;
    samples.resize(blocks * kBlockSamples, 0);
    return samples;
}

}  // namespace

TEST_F(FileDeck, WavRampLandsBitExactInTheRingBlockAfterBlock) {
    // 300 blocks and a bit: the first pass fills 170 blocks, refills bring the rest.
    const int frames = 300 * kBlockFrames + 1234;
    const std::string path = RampWav("ramp.wav", frames);
    EngineHarness h;
    ASSERT_TRUE(h.engine.LoadFile(0, path));
    EXPECT_EQ(h.decks[0].loaded, 1);
    EXPECT_EQ(h.decks[0].path, path);
    EXPECT_NEAR(h.decks[0].lengthSeconds, frames / 44'100.0, 1e-3);
    EXPECT_EQ(h.engine.Kind(0), engine::SourceKind::File);

    ASSERT_TRUE(EngineHarness::WaitUntil([&] { return h.primedCount[0] == 1; }));
    EXPECT_EQ(h.blocksDecodedAtPriming[0], 121) << "the deck is primed after 121 blocks";

    // Nothing is taken yet: the reader fills the whole ring and then waits.
    ASSERT_TRUE(EngineHarness::WaitUntil(
        [&] { return h.engine.Ring(0).CountFilled() == engine::kDiscBlocks && h.engine.ReaderWaiting(0); }));
    EXPECT_EQ(h.blocksDecoded[0], engine::kDiscBlocks) << "a full ring takes nothing more";

    std::vector<std::string> names;
    const auto audio = h.TakeAll(0, &names);
    EXPECT_EQ(audio, PaddedToBlocks(fixtures::Ramp(frames, 2)));
    EXPECT_EQ(h.primedCount[0], 1);
    EXPECT_EQ(h.endOfTrack[0], 1);
    EXPECT_TRUE(std::all_of(names.begin(), names.end(), [&](const std::string& n) { return n == path; }));
    EXPECT_FALSE(h.engine.FileSource(0).IsOpen()) << "the source closes at the end of its file";
    // Deck B was never touched.
    EXPECT_EQ(h.blocksDecoded[1], 0);
}

TEST_F(FileDeck, RefillWaitsForTwentySevenTakenBlocks) {
    const std::string path = RampWav("long.wav", 400 * kBlockFrames);
    EngineHarness h;
    ASSERT_TRUE(h.engine.LoadFile(0, path));
    ASSERT_TRUE(EngineHarness::WaitUntil(
        [&] { return h.engine.Ring(0).CountFilled() == engine::kDiscBlocks && h.engine.ReaderWaiting(0); }));

    h.Take(0, 26);
    platform::MessagePort::DrainThisThread();
    EXPECT_TRUE(h.engine.ReaderWaiting(0));
    EXPECT_EQ(h.engine.Ring(0).CountFilled(), engine::kDiscBlocks - 26) << "no refill before the 27th block";

    h.Take(0, 1);  // the 27th wakes the reader
    EXPECT_TRUE(
        EngineHarness::WaitUntil([&] { return h.engine.Ring(0).CountFilled() == engine::kDiscBlocks; }));
}

TEST_F(FileDeck, MonoFileIsWidenedAtItsOwnRate) {
    const int frames = 150 * kBlockFrames;
    const auto mono = fixtures::Ramp(frames, 1, 100);
    const std::string path = PathOf("mono22050.wav");
    ASSERT_TRUE(fixtures::WriteWav(path, mono, 1, 22'050));

    EngineHarness h;
    ASSERT_TRUE(h.engine.LoadFile(1, path));
    const auto& source = h.engine.FileSource(1);
    EXPECT_EQ(source.SampleRate(), 22'050);
    EXPECT_EQ(source.Channels(), 1);
    EXPECT_EQ(source.BytesPerRead(), 5'880);
    EXPECT_NEAR(h.decks[1].lengthSeconds, frames / 22'050.0, 1e-3);

    const auto audio = h.TakeAll(1);
    ASSERT_EQ(audio.size(), PaddedToBlocks(std::vector<int16_t>(frames * 2)).size());
    EXPECT_TRUE(std::all_of(audio.begin() + frames * 2, audio.end(), [](int16_t v) { return v == 0; }));
    for (int f = 0; f < frames; ++f) {
        ASSERT_EQ(audio[2 * f], mono[f]) << "frame " << f;
        ASSERT_EQ(audio[2 * f + 1], mono[f]) << "frame " << f;
    }
}

TEST_F(FileDeck, NextFileContinuesInTheStraddlingBlockWithoutAGap) {
    const int framesA = 130 * kBlockFrames + 1000;  // ends 1,000 frames into a block
    const int framesB = 40 * kBlockFrames + 77;
    const std::string a = RampWav("first.wav", framesA, 0);
    const std::string b = RampWav("second.wav", framesB, 20'000);

    EngineHarness h;
    h.playList.next[0].push_back(b);
    ASSERT_TRUE(h.engine.LoadFile(0, a));
    std::vector<std::string> names;
    const auto audio = h.TakeAll(0, &names);

    auto expected = fixtures::Ramp(framesA, 2, 0);
    const auto second = fixtures::Ramp(framesB, 2, 20'000);
    expected.insert(expected.end(), second.begin(), second.end());
    ASSERT_EQ(audio, PaddedToBlocks(expected)) << "the join holds no silence and loses no sample";

    const int straddling = framesA / kBlockFrames;
    ASSERT_GT(names.size(), static_cast<size_t>(straddling));
    EXPECT_EQ(names[straddling - 1], a);
    EXPECT_EQ(names[straddling], b) << "the block that runs into the next file carries its name";
    EXPECT_EQ(names.back(), b);
    EXPECT_EQ(h.engine.FilePath(0), b);
    EXPECT_EQ(h.endOfTrack[0], 2);
}

TEST_F(FileDeck, UnopenableNextFileEndsTheTrackNormally) {
    const int frames = 20 * kBlockFrames + 5;
    const std::string a = RampWav("alone.wav", frames);
    EngineHarness h;
    h.playList.next[0].push_back(PathOf("missing.mp3"));
    ASSERT_TRUE(h.engine.LoadFile(0, a));
    const auto audio = h.TakeAll(0);
    EXPECT_EQ(audio, PaddedToBlocks(fixtures::Ramp(frames, 2)));
    EXPECT_FALSE(h.engine.FileSource(0).Continues());
    EXPECT_FALSE(h.engine.FileSource(0).IsOpen());
    EXPECT_EQ(h.engine.PlayingPath(0), a) << "the deck still plays its own file";
}

TEST_F(FileDeck, ShortFileIsPrimedWhenItEnds) {
    const int frames = 15 * kBlockFrames - 300;  // under a second: far fewer than 121 blocks
    const std::string path = RampWav("short.wav", frames);
    EngineHarness h;
    ASSERT_TRUE(h.engine.LoadFile(0, path));
    ASSERT_TRUE(EngineHarness::WaitUntil([&] { return h.primedCount[0] == 1; }));
    EXPECT_EQ(h.blocksDecodedAtPriming[0], 15);
    EXPECT_EQ(h.TakeAll(0), PaddedToBlocks(fixtures::Ramp(frames, 2)));
}

TEST_F(FileDeck, SeekingAWavLandsOnTheExactSample) {
    const int frames = 44'100 * 4 + 321;
    const std::string path = RampWav("seek.wav", frames, 7);
    engine::CZelFileSource source;
    ASSERT_TRUE(source.Open(path));
    source.SeekFraction(0.5);
    // Half of the length as the source knows it, in 100 ns steps: within a frame of the middle.
    const auto landed = static_cast<int>(std::llround(source.PositionSeconds() * 44'100));
    EXPECT_LE(std::abs(landed - frames / 2), 1);

    engine::SampleBlock block{};
    int bytes = 0;
    bool end = false;
    ASSERT_EQ(source.ReadBlock(0, block, bytes, end), engine::kOk);
    // The first frame read after the seek is the frame at the target time.
    const auto ramp = fixtures::Ramp(frames, 2, 7);
    EXPECT_TRUE(std::equal(block.samples, block.samples + kBlockSamples, ramp.begin() + 2 * landed))
        << "the audio starts exactly at the position the source reports";
}

TEST_F(FileDeck, BadFilesFailFastAndLeaveNothingLoaded) {
    const std::string empty = PathOf("empty.mp3");
    { std::ofstream(empty, std::ios::binary); }
    const std::string noise = PathOf("noise.mp3");
    {
        std::ofstream out(noise, std::ios::binary);
        std::mt19937 random(42);
        for (int i = 0; i < 200'000; ++i) out.put(static_cast<char>(random()));
    }
    const std::string directory = dir_->path().toStdString();

    for (const std::string& bad : {PathOf("does not exist.mp3"), directory, empty, noise, std::string()}) {
        EngineHarness h;
        testing_support::ExpectReturns([&] { EXPECT_FALSE(h.engine.LoadFile(0, bad)) << bad; });
        EXPECT_EQ(h.decks[0].nothingLoaded, 1) << bad;
        EXPECT_EQ(h.engine.Kind(0), engine::SourceKind::None);
        EXPECT_FALSE(h.engine.ReaderRunning(0));
        EXPECT_FALSE(h.engine.FileSource(0).LastError().empty());
    }
}

TEST_F(FileDeck, ABadFileReplacesAGoodOneWithoutLosingTheDeck) {
    const std::string good = RampWav("good.wav", 200 * kBlockFrames);
    EngineHarness h;
    ASSERT_TRUE(h.engine.LoadFile(0, good));
    ASSERT_TRUE(EngineHarness::WaitUntil([&] { return h.primedCount[0] == 1; }));
    EXPECT_FALSE(h.engine.LoadFile(0, PathOf("nothing here.wav")));
    EXPECT_FALSE(h.engine.ReaderRunning(0)) << "the old reader was stopped";
    EXPECT_EQ(h.decks[0].ledResets, 1);
    // The deck is usable again at once.
    ASSERT_TRUE(h.engine.LoadFile(0, good));
    EXPECT_EQ(h.TakeAll(0), PaddedToBlocks(fixtures::Ramp(200 * kBlockFrames, 2)));
}

TEST_F(FileDeck, TruncatedWavPlaysWhatIsThereThenEnds) {
    const int frames = 30 * kBlockFrames;
    const std::string full = RampWav("whole.wav", frames);
    const std::string cut = PathOf("cut.wav");
    QFile::copy(QString::fromStdString(full), QString::fromStdString(cut));
    const int keptFrames = 12 * kBlockFrames + 17;
    ASSERT_EQ(::truncate(cut.c_str(), 44 + keptFrames * 4), 0);

    EngineHarness h;
    ASSERT_TRUE(h.engine.LoadFile(0, cut));
    EXPECT_EQ(h.TakeAll(0), PaddedToBlocks(fixtures::Ramp(keptFrames, 2)));
    EXPECT_EQ(h.primedCount[0], 1);
}

TEST_F(FileDeck, PathsWithSpacesAndNonAsciiLetters) {
    const std::string path = PathOf("Déjà vu – ÄÖÜ 東京 mix.wav");
    ASSERT_TRUE(fixtures::WriteWav(path, fixtures::Ramp(5 * kBlockFrames, 2), 2, 44'100));
    EngineHarness h;
    ASSERT_TRUE(h.engine.LoadFile(0, path));
    EXPECT_EQ(h.TakeAll(0), PaddedToBlocks(fixtures::Ramp(5 * kBlockFrames, 2)));
}

TEST_F(FileDeck, StoppingAWaitingReaderIsImmediate) {
    const std::string path = RampWav("stop.wav", 300 * kBlockFrames);
    EngineHarness h;
    ASSERT_TRUE(h.engine.LoadFile(0, path));
    ASSERT_TRUE(
        EngineHarness::WaitUntil([&] { return h.engine.Ring(0).CountFilled() == engine::kDiscBlocks; }));
    testing_support::ExpectReturns([&] { h.engine.StopReader(0, true); });
    EXPECT_FALSE(h.engine.ReaderRunning(0));
    EXPECT_TRUE(h.events.deck[0].threadFileReadForwardDone.IsSet());
    EXPECT_FALSE(h.events.deck[0].deckReadyToPlay.IsSet());

    // A stop right after the start, before the reader thread has begun (a
    // seek straight after a load), also ends it, and a seek reads on.
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(h.engine.LoadFile(0, path));
        h.engine.StopReader(0, true);
        EXPECT_FALSE(h.engine.ReaderRunning(0));
        ASSERT_TRUE(h.engine.SeekFile(0, 0.5));
    }
    // The second half of the file is read to its end (and the end-of-file block).
    EXPECT_TRUE(EngineHarness::WaitUntil([&] { return !h.engine.ReaderRunning(0); }));
    EXPECT_EQ(h.engine.Ring(0).CountFilled(), 151);
}

TEST_F(FileDeck, TrackLengthThreadMeasuresFilesAndReportsUnreadableOnes) {
    const std::string wav = PathOf("titled.wav");
    ASSERT_TRUE(fixtures::WriteWav(wav, fixtures::Ramp(44'100 * 3, 2), 2, 44'100));
    const std::string mp3 = PathOf("titled.mp3");
    ASSERT_TRUE(fixtures::Encode(
        wav, mp3, {"-c:a", "libmp3lame", "-metadata", "title=Night Drive", "-id3v2_version", "3"}));

    EngineHarness h;
    h.engine.StartTrackLengthThread();
    for (const std::string& path : {mp3, PathOf("missing.wma")}) {
        ASSERT_TRUE(h.engine.RequestTrackLength(path));
        ASSERT_TRUE(EngineHarness::WaitUntil([&] { return !h.playList.measured.empty(); }));
        const auto result = h.playList.measured.back();
        h.playList.measured.clear();
        EXPECT_EQ(result.path, path);
        if (path == mp3) {
            EXPECT_EQ(result.title, "Night Drive");
            EXPECT_NEAR(result.seconds, 3.0, 0.1);
        } else {
            EXPECT_EQ(result.seconds, -1.0);
        }
        ASSERT_TRUE(EngineHarness::WaitUntil([&] { return !h.engine.TrackLengthBusy(); }));
    }

    // Two requests at once: the second is refused while the first is served,
    // and the answer is the first file's.
    ASSERT_TRUE(h.engine.RequestTrackLength(mp3));
    EXPECT_FALSE(h.engine.RequestTrackLength(PathOf("missing.wma")));
    ASSERT_TRUE(EngineHarness::WaitUntil([&] { return !h.playList.measured.empty(); }));
    EXPECT_EQ(h.playList.measured.back().path, mp3);
    EXPECT_NEAR(h.playList.measured.back().seconds, 3.0, 0.1);
}

TEST_F(FileDeck, TheEndOfTrackHandlingNeverWaitsSoASeekRightThenCannotHang) {
    const int frames = 10 * kBlockFrames + 100;
    const std::string first = RampWav("end-first.wav", frames);
    const std::string second = RampWav("end-second.wav", 4 * kBlockFrames, 7);
    EngineHarness h;
    h.playList.next[0].push_back(second);
    // Something else the window does (a timer, a click) comes while the
    // reader waits for its end-of-track message to be handled: a seek back.
    bool seeked = false;
    int primedBeforeSeek = 0;
    bool asked = false;
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
    EXPECT_EQ(h.TakeAll(0), PaddedToBlocks(fixtures::Ramp(frames, 2)));
}
