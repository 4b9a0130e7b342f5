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

TEST(MixStream, WhatARenderCallMayStillReadIsFreedAfterItAndNotHeardFromItOn) {
    SoundRig rig;
    auto device = rig.Open("Desk");
    const auto ramp = fixtures::Ramp(16'384, 2);
    // The held voice comes first in the mix; the removed one after it.
    auto held = SoundRig::Buffer(*device, ramp);
    auto removed = SoundRig::Buffer(*device, std::vector<int16_t>(2 * 4096, 8000));
    Gate gate;
    std::atomic<int> freed{0};
    platform::Event event(platform::Event::Reset::Manual, false);
    ASSERT_EQ(held->SetFX(ChainOf(std::make_unique<GateEffect>(gate))), kOk);
    ASSERT_EQ(held->SetNotificationPositions(std::vector<PositionNotify>{{100, &event}}), kOk);
    ASSERT_EQ(removed->SetFX(ChainOf(std::make_unique<CountedEffect>(freed))), kOk);
    ASSERT_EQ(held->Play(true), kOk);
    ASSERT_EQ(removed->Play(true), kOk);
    OfflineStream& stream = rig.Stream("Desk");
    MixStream& mixer = device->Stream()->Mixer();
    stream.Step(1024);
    stream.TakeCapture();

    uint32_t stoppedAt = 0;
    {
        // Each call returns while the render call is inside the held voice's
        // effect: the stop, the chain of that very effect and the notification
        // table replaced, the other voice released.
        HeldRender render(stream, gate);
        ASSERT_EQ(held->Stop(), kOk);
        stoppedAt = PlayCursor(*held);
        EXPECT_EQ(held->SetFX({}), kOk);
        EXPECT_EQ(held->SetNotificationPositions(std::vector<PositionNotify>{{200, &event}}), kOk);
        removed.reset();
        EXPECT_EQ(gate.freed.load() + freed.load(), 0) << "an effect was freed under the running render call";
        EXPECT_EQ(mixer.RetiredCount(), 4u) << "two chains, the table and the voice wait";
        EXPECT_EQ(mixer.CollectRetired(), 0u);
        render.Finish();
    }
    EXPECT_EQ(mixer.CollectRetired(), 4u);
    EXPECT_EQ(gate.freed.load() + freed.load(), 2);
    EXPECT_EQ(stoppedAt, 1024u * 4);
    EXPECT_EQ(PlayCursor(*held), stoppedAt) << "the render call under way moved the cursor after Stop";
    stream.Step(2048);
    EXPECT_EQ(PlayCursor(*held), stoppedAt) << "a stopped buffer's cursor stays";
    ASSERT_EQ(held->Play(true), kOk);
    stream.Step(512);

    // The held call: the held voice alone, the removed one not heard in it.
    // Then silence while stopped, and play resumes where the cursor stayed.
    std::vector<int16_t> expected(ramp.begin() + 2048, ramp.begin() + 2560);
    expected.resize(expected.size() + 2 * 2048, 0);
    expected.insert(expected.end(), ramp.begin() + 2048, ramp.begin() + 3072);
    EXPECT_EQ(stream.TakeCapture(), expected);

    // With no render call under way, a release frees at once.
    held.reset();
    EXPECT_EQ(mixer.RetiredCount(), 0u);
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
