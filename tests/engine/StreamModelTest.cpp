#include <gtest/gtest.h>

#include "engine/DiscBuffer.h"
#include "engine/OutputBlockLedger.h"
#include "engine/SampleBlock.h"
#include "engine/StreamTime.h"

using namespace engine;

TEST(StreamModel, ReversedBlockKeepsChannelsApartAndReversesFrames) {
    SampleBlock in{};
    for (int f = 0; f < kBlockFrames; ++f) {
        in.samples[2 * f] = static_cast<int16_t>(f);           // left counts up
        in.samples[2 * f + 1] = static_cast<int16_t>(-f - 1);  // right counts down
    }
    SampleBlock out{};
    ReverseBlock(in, out);
    for (int f = 0; f < kBlockFrames; ++f) {
        ASSERT_EQ(out.samples[2 * f], kBlockFrames - 1 - f) << "frame " << f;
        ASSERT_EQ(out.samples[2 * f + 1], -(kBlockFrames - 1 - f) - 1) << "frame " << f;
    }
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
    OutputBlockLedger ledger;
    const auto first = std::make_shared<const std::string>("/music/one.mp3");
    const auto second = std::make_shared<const std::string>("/music/two.mp3");
    for (int i = 0; i < 10; ++i) {
        ring->SetName(i, i < 6 ? first : second);
        ring->MarkFilled(i);
    }
    EXPECT_EQ(DiscBufferedBytes(*ring, false, "/music/one.mp3"), 10 * kBlockBytes);
    EXPECT_EQ(DiscBufferedBytes(*ring, true, "/music/one.mp3"), 6 * kBlockBytes)
        << "while a track change is pending only the current track counts";

    for (int i = 0; i < 20; ++i) ledger.written[i] = true;
    EXPECT_EQ(OutputBufferedBytes(ledger), 20 * kBlockBytes);

    // 30 blocks ahead of the listener at 44,100 Hz is exactly 2 s.
    EXPECT_DOUBLE_EQ(PlayPositionSeconds(10.0, 30 * kBlockBytes, 44'100), 8.0);
    // At 22,050 Hz a block lasts twice as long.
    EXPECT_DOUBLE_EQ(PlayPositionSeconds(10.0, 15 * kBlockBytes, 22'050), 8.0);
    EXPECT_DOUBLE_EQ(SourceSeconds(176'400, 16, 44'100, 2), 1.0);

    for (int i = 0; i < 10; ++i) ring->SetTag(i, i < 3 ? 4 : 5);
    EXPECT_EQ(DiscBufferedBytesForCd(*ring, true, 4), 3 * kBlockBytes);

    ring->ResetForReader();
    EXPECT_EQ(ring->CountFilled(), 0);
    EXPECT_EQ(ring->Tag(0), kNoTag);
    EXPECT_EQ(ring->Name(0), nullptr);
    EXPECT_EQ(ring->WriteIndex(), 0);
}
