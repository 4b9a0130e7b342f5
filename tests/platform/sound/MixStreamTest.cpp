// What the mixer lets go of while the audio thread may still read it: a
// released buffer, a replaced effect chain or notification table. The tests
// hold a render call inside an effect, so they know one is under way.
#include <gtest/gtest.h>

#include <thread>

#include "platform/sound/MixStream.h"
#include "support/SoundRig.h"
#include "support/AudioFixtures.h"

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
