// How many channels an output's stream opens: a whole output the two it
// plays on (a split half's four are heard in OutputDeviceTest).
#include <gtest/gtest.h>

#include "engine/SampleBlock.h"
#include "output/CZelOutputDevice.h"
#include "support/SoundRig.h"

using namespace output;
using namespace platform::sound;
using Rig = sound_tests::SoundRig;

TEST(OutputDeviceChannels, AWholeOutputOnAFourChannelDeviceOpensTwoAndPlaysTheBufferUnchanged) {
    Rig rig({{"Quad", 4}});
    CZelOutputDevice whole(*rig.system);
    ASSERT_EQ(whole.Create(OfflineBackend::IdOf("Quad"), false, false), kOk);
    EXPECT_EQ(whole.DirectSoundObject()->PrimaryChannels(), 2);
    ASSERT_EQ(whole.CreateDeckBuffers(0, 44'100, nullptr, nullptr), kOk);
    engine::SampleBlock block{};
    for (int i = 0; i < engine::kBlockSamples; ++i) block.samples[i] = static_cast<int16_t>(i * 7 - 20'000);
    ASSERT_EQ(whole.WriteForward(0, block.Span()), kOk);
    ASSERT_EQ(whole.ForwardBuffer(0)->Play(false), kOk);

    EXPECT_EQ(rig.Stream("Quad").Channels(), 2) << "a whole output needs no rear pair";
    const auto heard = rig.Render("Quad", engine::kBlockFrames);
    ASSERT_GE(heard.size(), static_cast<size_t>(engine::kBlockSamples));
    EXPECT_EQ(std::vector<int16_t>(heard.begin(), heard.begin() + engine::kBlockSamples),
              std::vector<int16_t>(block.samples, block.samples + engine::kBlockSamples));
}
