// How many channels an output's stream opens: a whole output the two it
// plays on, a split half all four.
#include <gtest/gtest.h>

#include "engine/SampleBlock.h"
#include "output/CZelOutputDevice.h"
#include "platform/sound/DirectSound.h"
#include "platform/sound/OfflineBackend.h"
#include "platform/sound/SoundBuffer.h"
#include "platform/sound/SoundSystem.h"

using namespace output;
using namespace platform::sound;

TEST(OutputDeviceChannels, AWholeOutputOnAFourChannelDeviceOpensTwoAndPlaysTheBufferUnchanged) {
    auto owned = std::make_unique<OfflineBackend>(std::vector<OfflineBackend::Device>{{"Quad", 4}});
    OfflineBackend& backend = *owned;
    SoundSystem system(std::move(owned));

    CZelOutputDevice whole(system);
    ASSERT_EQ(whole.Create(OfflineBackend::IdOf("Quad"), false, false), kOk);
    EXPECT_EQ(whole.DirectSoundObject()->PrimaryChannels(), 2);
    ASSERT_EQ(whole.CreateDeckBuffers(0, 44'100, nullptr, nullptr), kOk);
    engine::SampleBlock block{};
    for (int i = 0; i < engine::kBlockSamples; ++i) block.samples[i] = static_cast<int16_t>(i * 7 - 20'000);
    ASSERT_EQ(whole.WriteForward(0, block.Span()), kOk);
    ASSERT_EQ(whole.ForwardBuffer(0)->Play(false), kOk);

    OfflineStream& stream = *backend.StreamOf("Quad");
    EXPECT_EQ(stream.Channels(), 2) << "a whole output needs no rear pair";
    stream.Step(engine::kBlockFrames);
    const auto heard = stream.TakeCapture();
    ASSERT_GE(heard.size(), static_cast<size_t>(engine::kBlockSamples));
    EXPECT_EQ(std::vector<int16_t>(heard.begin(), heard.begin() + engine::kBlockSamples),
              std::vector<int16_t>(block.samples, block.samples + engine::kBlockSamples));
}

TEST(OutputDeviceChannels, ASplitHalfOpensAllFour) {
    auto owned = std::make_unique<OfflineBackend>(std::vector<OfflineBackend::Device>{{"Quad", 4}});
    OfflineBackend& backend = *owned;
    SoundSystem system(std::move(owned));
    CZelOutputDevice rear(system);
    ASSERT_EQ(rear.Create(OfflineBackend::IdOf("Quad"), true, true), kOk);
    ASSERT_EQ(rear.CreateDeckBuffers(0, 44'100, nullptr, nullptr), kOk);
    EXPECT_EQ(backend.StreamOf("Quad")->Channels(), 4);
}
