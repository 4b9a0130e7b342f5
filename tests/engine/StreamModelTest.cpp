#include <gtest/gtest.h>

#include <algorithm>

#include "engine/DiscBuffer.h"
#include "engine/OutputBlockLedger.h"
#include "engine/SampleBlock.h"
#include "engine/StreamTime.h"

using namespace engine;

TEST(StreamModel, ReversedBlockKeepsChannelsApartAndReversesFrames) {
    SampleBlock in{}, out{};
    // The left channel counts up, the right one down.
    for (int i = 0; i < kBlockSamples; ++i) in.samples[i] = static_cast<int16_t>(i % 2 ? -i : i);
    ReverseBlock(in, out);
    for (int f = 0, from = kBlockFrames - 1; f < kBlockFrames; ++f, --from)
        ASSERT_EQ(std::pair(out.samples[2 * f], out.samples[2 * f + 1]),
                  std::pair(in.samples[2 * from], in.samples[2 * from + 1]))
            << "frame " << f;
}

TEST(StreamModel, TimeFormat) {
    EXPECT_EQ(FormatTime(0), "00:00:00");
    EXPECT_EQ(FormatTime(3725), "01:02:05");
    EXPECT_EQ(FormatTime(59.99), "00:00:59") << "whole seconds, not rounded";
    EXPECT_EQ(FormatTime(100 * 3600 + 1), "100:00:01");
    EXPECT_EQ(FormatTime(-3), "00:00:00");
}

TEST(StreamModel, BufferedAudioAndPlayPosition) {
    auto ring = std::make_unique<DiscBuffer>();
    const auto first = std::make_shared<const std::string>("/music/one.mp3");
    const auto second = std::make_shared<const std::string>("/music/two.mp3");
    for (int i = 0; i < 10; ++i) {
        ring->SetName(i, i < 6 ? first : second);
        ring->SetTag(i, i < 3 ? 4 : 5);
        ring->MarkFilled(i);
    }
    EXPECT_EQ(DiscBufferedBytes(*ring, false, "/music/one.mp3"), 10 * kBlockBytes);
    EXPECT_EQ(DiscBufferedBytes(*ring, true, "/music/one.mp3"), 6 * kBlockBytes)
        << "while a track change is pending only the current track counts";
    EXPECT_EQ(DiscBufferedBytesForCd(*ring, true, 4), 3 * kBlockBytes);
    OutputBlockLedger ledger;
    std::fill_n(ledger.written.begin(), 20, true);
    EXPECT_EQ(OutputBufferedBytes(ledger), 20 * kBlockBytes);

    // 30 blocks ahead of the listener at 44,100 Hz is exactly 2 s; at 22,050 Hz a block lasts twice as long.
    EXPECT_DOUBLE_EQ(PlayPositionSeconds(10.0, 30 * kBlockBytes, 44'100), 8.0);
    EXPECT_DOUBLE_EQ(PlayPositionSeconds(10.0, 15 * kBlockBytes, 22'050), 8.0);
    EXPECT_DOUBLE_EQ(SourceSeconds(176'400, 16, 44'100, 2), 1.0);

    ring->ResetForReader();
    EXPECT_TRUE(ring->CountFilled() == 0 && ring->Tag(0) == kNoTag && !ring->Name(0) &&
                ring->WriteIndex() == 0);
}
