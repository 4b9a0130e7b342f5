// Two decks really playing: the engine loop fed by the main output's
// notifications, heard through Offline outputs the test renders period by period.

#include "engine/PlaybackRig.h"
#include "platform/sound/SoundBuffer.h"

using engine::kBlockFrames;
using platform::Message;
using namespace testing_support;

TEST(Playback, AQueuedNextFilePlaysOnBothOutputsSampleForSampleUntilItsEnd) {
    TrackFolder files;
    const auto first = fixtures::Noise(static_cast<int>(9.3 * 44'100), 2, 4, 0.4);
    const auto second = fixtures::Noise(4 * 44'100, 2, 5, 0.4);
    PlaybackRig rig;
    // After the second file, one that cannot be opened: the track ends normally.
    rig.playList.next[0] = {files.Wav("second.wav", second), files.Path("missing.mp3")};
    ASSERT_TRUE(rig.engine.LoadFile(0, files.Wav("first.wav", first)));
    rig.playback.StartForward(0);  // waits for the priming
    ASSERT_EQ(rig.phones.Device()->SetDeckGain(0, 0.5), platform::sound::kOk);
    ASSERT_TRUE(rig.RenderUntil([&] { return rig.playEnded >= 1 && !rig.playback.PlayingForward(0); }));
    EXPECT_EQ(rig.decks[0].changedTo, std::vector<std::string>{files.Path("second.wav")})
        << "the deck follows the next file";
    EXPECT_EQ(rig.playback.Underruns(0), 0);

    // Past the fade-in, every frame to the end is the files', the second
    // straight after the first: no gap, no repeated block, nothing changed.
    auto both = first;
    both.insert(both.end(), second.begin(), second.end());
    const auto heard = rig.Heard("Main");
    const size_t at = FirstSound(heard) + 3 * 44'100;
    const auto from = FindInSource(both, heard, at);
    ASSERT_TRUE(from) << "the heard sound is not the files'";
    const size_t rest = both.size() / 2 - *from;
    ASSERT_GE(heard.size() / 2 - at, rest) << "the end of the track is missing";
    EXPECT_TRUE(Alike(both, *from, heard, at, rest));
    EXPECT_EQ(Rms(heard, at + rest, heard.size()), 0.0) << "after the end, silence";

    // The headphones carry the same sound at the same time, at their own gain: 0.5 is volume -2800.
    EXPECT_TRUE(Alike(heard, at, rig.Heard("Phones"), at, rest, std::pow(10.0, -2800 / 2000.0), 1.0));

    // Twenty or twenty-one blocks written ahead after a notification, until
    // the ring runs dry at the end.
    auto ahead = rig.aheadAfterNotify;
    while (!ahead.empty() && ahead.back() < 20) ahead.pop_back();
    ASSERT_GT(ahead.size(), 100u);
    EXPECT_TRUE(std::all_of(ahead.begin() + 5, ahead.end(), [](int n) { return n == 20 || n == 21; }));
}

TEST(Playback, BackwardPlayAfterSteadyForwardPlayPlaysWhatWasHeardReversedAndStopsByItself) {
    TrackFolder files;
    const auto source = fixtures::Noise(30 * 44'100, 2, 2, 0.4);
    PlaybackRig rig;
    ASSERT_TRUE(rig.engine.LoadFile(0, files.Wav("long.wav", source)));
    rig.playback.StartForward(0);
    // More than a buffer's worth of steady play, so the backward buffer is full.
    ASSERT_TRUE(rig.RenderUntil([&] { return rig.aheadAfterNotify.size() > 140; }));
    rig.playback.StopForward(0);
    rig.Heard("Main");  // forget what was heard so far

    uint32_t forwardCursor = 0;
    rig.main.Device()->ForwardBuffer(0)->GetCurrentPosition(&forwardCursor, nullptr);
    const int startBlock = static_cast<int>(forwardCursor / engine::kBlockBytes);
    rig.playback.StartBackward(0);
    ASSERT_TRUE(rig.playback.PlayingBackward(0));
    ASSERT_TRUE(rig.RenderUntil([&] { return !rig.playback.PlayingBackward(0); })) << "it stops by itself";
    EXPECT_TRUE(rig.playback.BackwardAtHistoryStart(0));
    // Back over every block heard: all but the 20 or 21 written ahead and the
    // one playing, which the forward buffer holds no longer.
    const int lastBlock = rig.engine.Ledger(0).lastBlock;
    EXPECT_NEAR((startBlock - lastBlock + engine::kOutputBlocks) % engine::kOutputBlocks, 98, 3);

    // What was heard is the file played backwards: find a run of it reversed.
    const auto heard = rig.Heard("Main");
    const size_t at = FirstSound(heard) + 5 * 44'100 / 2;  // well past the fade-in
    ASSERT_LT(at + 64, heard.size() / 2);
    std::vector<int16_t> reversed;
    for (size_t f = at + 64; f-- > at;) reversed.insert(reversed.end(), {heard[2 * f], heard[2 * f + 1]});
    EXPECT_NE(std::search(source.begin(), source.end(), reversed.begin(), reversed.end()), source.end())
        << "backward play is the track reversed, channels kept apart";

    rig.playback.ResumeForward(0);
    EXPECT_TRUE(rig.playback.PlayingForward(0)) << "forward play resumes where backward play left the deck";
}

TEST(Playback, WithoutAMainOutputTheHeadphonesPaceTheDeckAndAnUnderrunStopsCatchesUpAndRestarts) {
    TrackFolder files;
    PlaybackRig rig;
    rig.main.Close();  // a DJ preparing on headphones alone
    ASSERT_TRUE(rig.engine.LoadFile(0, files.Wav("stall.wav", fixtures::Noise(30 * 44'100, 2, 3, 0.4))));
    rig.playback.StartForward(0);
    ASSERT_TRUE(rig.RenderUntil([&] { return rig.aheadAfterNotify.size() > 30; }));
    // The window is busy, handling nothing, while the outputs play on well
    // past the 20 blocks written ahead.
    for (int period = 0; period < 45 * kBlockFrames / SteppedSound::kPeriodFrames; ++period) rig.Step();
    const size_t handled = rig.aheadAfterNotify.size();
    ASSERT_TRUE(rig.RenderUntil([&] { return rig.aheadAfterNotify.size() > handled + 40; }));
    EXPECT_EQ(rig.playback.Underruns(0), 1);
    EXPECT_TRUE(rig.playback.PlayingForward(0)) << "play goes on after the underrun";
    EXPECT_THAT(rig.aheadAfterNotify.back(), testing::AnyOf(20, 21)) << "back to the usual lead";
    const auto heard = rig.Heard("Phones");
    EXPECT_GT(Rms(heard, heard.size() / 2 - 44'100, 44'100), 0.1) << "heard on the headphones";
}
