// What the mixer lets go of while the audio thread may still read it: a
// released buffer, a replaced effect chain or notification table. The tests
// hold a render call inside an effect, so they know one is under way. And
// what is heard when a voice leaves the mix or its volume jumps.
#include <gtest/gtest.h>

#include <thread>

#include "platform/sound/MixStream.h"
#include "support/AudioFixtures.h"
#include "support/SoundRig.h"

using namespace sound_tests;

namespace {

// Renders one period on a thread of its own, which stays in the gate's effect
// until the gate is released.
class HeldRender {
public:
    HeldRender(OfflineStream& stream, Gate& gate) : gate_(gate) {
        gate.armed = true;
        thread_ = std::thread([&stream] { stream.Step(256); });
        gate.entered.Wait();
    }
    ~HeldRender() { Finish(); }
    void Finish() {
        gate_.release.Set();
        if (thread_.joinable()) thread_.join();
    }

private:
    Gate& gate_;
    std::thread thread_;
};

uint32_t PlayCursor(const SoundBuffer& buffer) {
    uint32_t play = 0;
    buffer.GetCurrentPosition(&play, nullptr);
    return play;
}

}  // namespace

TEST(MixStream, ABufferReleasedDuringARenderIsFreedOnlyAfterThatRender) {
    SoundRig rig;
    auto device = rig.Open("Desk");
    auto buffer = SoundRig::Buffer(*device, fixtures::Ramp(8192, 2));
    Gate gate;
    ASSERT_EQ(buffer->SetFX(ChainOf(std::make_unique<GateEffect>(gate))), kOk);
    ASSERT_EQ(buffer->Play(true), kOk);
    OfflineStream& stream = rig.Stream("Desk");
    MixStream& mixer = device->Stream()->Mixer();
    stream.Step(512);

    HeldRender render(stream, gate);
    buffer.reset();  // returns while the render call is still inside the buffer's effect
    EXPECT_EQ(gate.freed.load(), 0) << "the effect was freed under the running render call";
    EXPECT_EQ(mixer.RetiredCount(), 2u) << "the voice and its effect chain wait";
    EXPECT_EQ(mixer.CollectRetired(), 0u);
    EXPECT_EQ(gate.freed.load(), 0);

    render.Finish();  // the render call goes on with the voice and returns
    EXPECT_EQ(mixer.CollectRetired(), 2u);
    EXPECT_EQ(mixer.RetiredCount(), 0u);
    EXPECT_EQ(gate.freed.load(), 1);

    // With no render call under way, a release frees at once.
    auto another = SoundRig::Buffer(*device, fixtures::Ramp(256, 2));
    std::atomic<int> freed{0};
    ASSERT_EQ(another->SetFX(ChainOf(std::make_unique<CountedEffect>(freed))), kOk);
    another.reset();
    EXPECT_EQ(freed.load(), 1);
    EXPECT_EQ(mixer.RetiredCount(), 0u);
}

TEST(MixStream, AStopDuringARenderKeepsTheCursorWhereStopFoundIt) {
    SoundRig rig;
    auto device = rig.Open("Desk");
    const auto ramp = fixtures::Ramp(16'384, 2);
    auto buffer = SoundRig::Buffer(*device, ramp);
    Gate gate;
    ASSERT_EQ(buffer->SetFX(ChainOf(std::make_unique<GateEffect>(gate))), kOk);
    ASSERT_EQ(buffer->Play(true), kOk);
    OfflineStream& stream = rig.Stream("Desk");
    stream.Step(1024);
    ASSERT_EQ(PlayCursor(*buffer), 1024u * 4);

    uint32_t stoppedAt = 0;
    {
        HeldRender render(stream, gate);
        ASSERT_EQ(buffer->Stop(), kOk);  // returns while the render call runs
        stoppedAt = PlayCursor(*buffer);
        render.Finish();
    }
    EXPECT_EQ(PlayCursor(*buffer), stoppedAt) << "the render call under way moved the cursor after Stop";
    EXPECT_EQ(stoppedAt, 1024u * 4);
    stream.Step(2048);
    EXPECT_EQ(PlayCursor(*buffer), stoppedAt) << "a stopped buffer's cursor stays";

    // Play resumes where the cursor stayed.
    stream.TakeCapture();
    ASSERT_EQ(buffer->Play(true), kOk);
    stream.Step(512);
    const auto heard = stream.TakeCapture();
    const auto from = ramp.begin() + stoppedAt / 2;
    EXPECT_EQ(heard, std::vector<int16_t>(from, from + 512 * 2));
}

TEST(MixStream, ReplacedEffectsAndNotificationsAreRetiredWithoutWaiting) {
    SoundRig rig;
    auto device = rig.Open("Desk");
    auto playing = SoundRig::Buffer(*device, fixtures::Ramp(4096, 2));
    auto stopped = SoundRig::Buffer(*device, fixtures::Ramp(4096, 2));
    Gate gate;
    std::atomic<int> freed{0};
    platform::Event event(platform::Event::Reset::Manual, false);
    ASSERT_EQ(playing->SetFX(ChainOf(std::make_unique<GateEffect>(gate))), kOk);
    ASSERT_EQ(stopped->SetFX(ChainOf(std::make_unique<CountedEffect>(freed))), kOk);
    ASSERT_EQ(stopped->SetNotificationPositions(std::vector<PositionNotify>{{100, &event}}), kOk);
    ASSERT_EQ(playing->Play(true), kOk);
    MixStream& mixer = device->Stream()->Mixer();

    HeldRender render(rig.Stream("Desk"), gate);
    // Both return while the render call runs; the old chain and table wait.
    EXPECT_EQ(stopped->SetFX({}), kOk);
    EXPECT_EQ(stopped->SetNotificationPositions(std::vector<PositionNotify>{{200, &event}}), kOk);
    EXPECT_EQ(freed.load(), 0) << "an effect chain was freed under the running render call";
    EXPECT_EQ(mixer.RetiredCount(), 2u);

    render.Finish();
    EXPECT_EQ(mixer.CollectRetired(), 2u);
    EXPECT_EQ(freed.load(), 1);
}

TEST(MixStream, AVoiceRemovedDuringARenderIsNotHeardFromThatRenderOn) {
    SoundRig rig;
    auto device = rig.Open("Desk");
    // The held voice comes first in the mix; the removed one after it.
    auto held = SoundRig::Buffer(*device, std::vector<int16_t>(2 * 4096, 0));
    auto removed = SoundRig::Buffer(*device, std::vector<int16_t>(2 * 4096, 8000));
    Gate gate;
    std::atomic<int> freed{0};
    ASSERT_EQ(held->SetFX(ChainOf(std::make_unique<GateEffect>(gate))), kOk);
    ASSERT_EQ(removed->SetFX(ChainOf(std::make_unique<CountedEffect>(freed))), kOk);
    ASSERT_EQ(held->Play(true), kOk);
    ASSERT_EQ(removed->Play(true), kOk);
    OfflineStream& stream = rig.Stream("Desk");
    stream.Step(256);
    ASSERT_EQ(stream.TakeCapture().back(), 8000);

    HeldRender render(stream, gate);
    removed.reset();  // while the render call is inside the held voice's effect
    EXPECT_EQ(freed.load(), 0);
    render.Finish();
    EXPECT_EQ(device->Stream()->Mixer().CollectRetired(), 2u);
    EXPECT_EQ(freed.load(), 1);
    stream.Step(256);
    const auto heard = stream.TakeCapture();
    ASSERT_EQ(heard.size(), 2u * 512);
    EXPECT_TRUE(std::all_of(heard.begin(), heard.end(), [](int16_t v) { return v == 0; }))
        << "the removed voice was heard in or after the render call it was removed during";
}

TEST(MixStream, AVolumeJumpGlidesOverAPeriodWithoutAClick) {
    SoundRig rig;
    auto device = rig.Open("Desk");
    constexpr int kLevel = 16'000;
    auto buffer = SoundRig::Buffer(*device, std::vector<int16_t>(2 * 4096, kLevel));
    ASSERT_EQ(buffer->Play(true), kOk);
    OfflineStream& stream = rig.Stream("Desk");
    stream.Step(512);
    for (long volume : {kVolumeMin, kVolumeMax}) {  // full level to silence and back
        ASSERT_EQ(buffer->SetVolume(volume), kOk);
        stream.Step(512);
    }
    const auto heard = stream.TakeCapture();
    ASSERT_EQ(heard.size(), 2u * 1536);
    // Spread over a period of 256 frames, a jump moves by at most 1/256 of the
    // level a frame (and a sample's rounding).
    int largestStep = 0;
    for (size_t f = 1; f < heard.size() / 2; ++f)
        largestStep = std::max(largestStep, std::abs(heard[2 * f] - heard[2 * f - 2]));
    EXPECT_LE(largestStep, kLevel / 256 + 1);
    EXPECT_EQ(heard[2 * 1000], 0) << "silent after the fall";
    EXPECT_EQ(heard.back(), kLevel) << "back at full level after the rise";
}
