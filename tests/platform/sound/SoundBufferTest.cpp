// Our DirectSound heard through the Offline backend: what a buffer plays, at
// which volume, pan and frequency, where its cursor goes and when it notifies;
// and what the mixer lets go of while the audio thread may still read it (a
// released buffer, a replaced effect chain or notification table), for which a
// test holds a render call inside an effect, so that it knows one is under way.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <numeric>
#include <thread>

#include "platform/Event.h"
#include "platform/ThreadAllocationCount.h"
#include "platform/sound/MixStream.h"
#include "platform/sound/fx/EffectFactory.h"
#include "platform/sound/fx/ParamEq.h"
#include "support/AudioFixtures.h"
#include "support/SoundRig.h"

using namespace sound_tests;

namespace {

// A gain effect: the simplest thing an effect chain can carry.
class HalfGain final : public SoundEffect {
public:
    void Prepare(int rate, int) override { preparedRate = rate; }
    void Reset() noexcept override {}
    void Process(float* samples, int frames) noexcept override {
        for (int i = 0; i < frames * 2; ++i) samples[i] *= 0.5f;
    }
    int preparedRate = 0;
};

uint32_t PlayCursor(const SoundBuffer& buffer) {
    uint32_t play = 0;
    buffer.GetCurrentPosition(&play, nullptr);
    return play;
}

// Each sample of `heard` within one of `expected` times `gain`.
void ExpectScaled(const std::vector<int16_t>& heard, const std::vector<int16_t>& expected, double gain) {
    ASSERT_EQ(heard.size(), expected.size());
    for (size_t i = 0; i < heard.size(); ++i)
        ASSERT_NEAR(heard[i], expected[i] * gain, 1.0) << "sample " << i;
}

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

// A sound system on the Offline backend with its stereo device "Desk" opened.
class Desk : public ::testing::Test {
protected:
    std::unique_ptr<SoundBuffer> Buffer(const std::vector<int16_t>& stereo) {
        return SoundRig::Buffer(*device, stereo);
    }

    SoundRig rig;
    std::unique_ptr<DirectSound> device = rig.Open("Desk");
};
using SoundBufferTest = Desk;
using MixStreamTest = Desk;

}  // namespace

TEST_F(SoundBufferTest, PlaysBitExactAtUnityAndScalesByVolumeAndPanAndEffects) {
    const auto ramp = fixtures::Ramp(4096, 2, 1000);
    auto buffer = Buffer(ramp);
    const auto playOnce = [&] {
        EXPECT_EQ(buffer->SetCurrentPosition(0), kOk);
        EXPECT_EQ(buffer->Play(false), kOk);
        return rig.Render("Desk", 4096);
    };
    EXPECT_EQ(playOnce(), ramp) << "at volume 0 and its own frequency a buffer comes out unchanged";
    EXPECT_FALSE(buffer->IsPlaying()) << "a buffer played once stops at its end";

    // -2800 hundredths of a decibel: 10^(-2800/2000) of the level.
    ASSERT_EQ(buffer->SetVolume(-2800), kOk);
    ExpectScaled(playOnce(), ramp, std::pow(10.0, -2800.0 / 2000.0));

    // Pan fully right silences the left channel only.
    buffer->SetVolume(0);
    buffer->SetPan(kPanRight);
    std::vector<int16_t> right(ramp);
    for (size_t i = 0; i < right.size(); i += 2) right[i] = 0;
    EXPECT_EQ(playOnce(), right);
    buffer->SetPan(0);

    // An effect chain is heard, is set only while the buffer is stopped, and an
    // empty one removes it.
    ASSERT_EQ(buffer->SetFX(ChainOf(std::make_unique<HalfGain>())), kOk);
    SoundEffect* effect = nullptr;
    ASSERT_EQ(buffer->GetObjectInPath(0, &effect), kOk);
    EXPECT_EQ(static_cast<HalfGain*>(effect)->preparedRate, 44'100);
    EXPECT_EQ(buffer->GetObjectInPath(1, &effect), kObjectNotFound);
    buffer->Play(true);
    EXPECT_EQ(buffer->SetFX(ChainOf(std::make_unique<HalfGain>())), kInvalidCall);
    buffer->Stop();
    ExpectScaled(playOnce(), ramp, 0.5);
    ASSERT_EQ(buffer->SetFX({}), kOk);
    EXPECT_EQ(playOnce(), ramp);
}

TEST_F(SoundBufferTest, FrequencyChangesPitchAndConsumesTheBufferFasterWithoutDistortion) {
    // A mono buffer, heard on both channels.
    auto buffer =
        SoundRig::Buffer(*device, fixtures::Sine(1000.0, 2.0, 44'100, 1), WaveFormat::Pcm(1, 44'100));
    ASSERT_EQ(buffer->SetFrequency(46'305), kOk);
    uint32_t hz = 0;
    buffer->GetFrequency(&hz);
    EXPECT_EQ(hz, 46'305u);
    buffer->Play(true);
    auto heard = rig.Render("Desk", 44'032);  // 172 periods of 256 frames, about one second
    EXPECT_NEAR(fixtures::DominantFrequency(heard.data(), 32'768, 2, 0, 44'100), 1050.0, 1.0);
    EXPECT_NEAR(PlayCursor(*buffer) / 2.0, 44'032 * 1.05, 2.0) << "5% more of the buffer is consumed";
    // Read between its samples, the sine stays within 60 dB of the ideal one at
    // each frame's place in the buffer (past the silence before its first frame).
    double signal = 0, error = 0;
    for (size_t n = 4; n < 44'032; ++n) {
        const double ideal = 0.5 * 32767 * std::sin(2 * std::numbers::pi * 1050 * n / 44'100);
        signal += 2 * ideal * ideal;
        error += std::pow(heard[2 * n] - ideal, 2) + std::pow(heard[2 * n + 1] - ideal, 2);
    }
    EXPECT_GE(10 * std::log10(signal / error), 60.0);

    // The original frequency again: 1 kHz.
    buffer->SetFrequency(kFrequencyOriginal);
    heard = rig.Render("Desk", 44'032);
    EXPECT_NEAR(fixtures::DominantFrequency(heard.data(), 32'768, 2, 1, 44'100), 1000.0, 1.0);
}

TEST_F(SoundBufferTest, NotifiesOncePerBlockEndInOrderAndKeepsItsCursorWhenStopped) {
    constexpr int kBlocks = 120;
    constexpr int kBlockBytes = 2940 * 4;
    auto buffer = Buffer(std::vector<int16_t>(kBlocks * kBlockBytes / 2, 100));
    OfflineStream& stream = rig.Stream("Desk");
    std::vector<std::unique_ptr<platform::Event>> events;
    std::vector<PositionNotify> positions;
    for (int i = 0; i < kBlocks; ++i) {
        events.push_back(std::make_unique<platform::Event>(platform::Event::Reset::Manual, false));
        positions.push_back({static_cast<uint32_t>((i + 1) * kBlockBytes - 1), events.back().get()});
    }
    ASSERT_EQ(buffer->SetNotificationPositions(positions), kOk);
    buffer->Play(true);
    EXPECT_EQ(buffer->SetNotificationPositions(positions), kInvalidCall) << "only while stopped";

    std::vector<int> fired;
    for (int period = 0; period < (kBlocks * kBlockBytes / 4 + 10 * 256) / 256; ++period) {
        stream.Step(256);
        for (int i = 0; i < kBlocks; ++i) {
            if (events[i]->IsSet()) fired.push_back(i);
            events[i]->Reset();
        }
    }
    std::vector<int> expected(kBlocks);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(fired, expected) << "one notification per block end, 120 per loop, in order";

    stream.SetCapture(false);
    buffer->Stop();
    const uint32_t stoppedAt = PlayCursor(*buffer);
    stream.Step(10'000);
    EXPECT_EQ(PlayCursor(*buffer), stoppedAt) << "a stopped buffer's cursor stays";
    for (const auto& e : events) EXPECT_FALSE(e->IsSet());
    // A position set while stopped is where play resumes.
    ASSERT_EQ(buffer->SetCurrentPosition(5 * kBlockBytes), kOk);
    EXPECT_EQ(PlayCursor(*buffer), 5u * kBlockBytes);
}

TEST_F(SoundBufferTest, WritesWrapAroundTheRing) {
    auto buffer = Buffer(std::vector<int16_t>(2000, 0));  // 4,000 bytes
    const auto data = fixtures::Ramp(300, 2, 7);          // 1,200 bytes
    ASSERT_EQ(buffer->Write(3'600, data.data(), 1'200), kOk);
    void* parts[2] = {};
    uint32_t bytes[2] = {};
    ASSERT_EQ(buffer->Lock(3'600, 1'200, &parts[0], &bytes[0], &parts[1], &bytes[1]), kOk);
    EXPECT_EQ(bytes[0], 400u);
    EXPECT_EQ(bytes[1], 800u);
    EXPECT_EQ(std::memcmp(parts[0], data.data(), 400), 0);
    EXPECT_EQ(std::memcmp(parts[1], data.data() + 200, 800), 0);
    EXPECT_EQ(buffer->Write(4'000, data.data(), 4), kInvalidParam);
}

TEST_F(SoundBufferTest, TheMixerAndTheOfflineStreamAllocateNothingWhileTheyRender) {
    auto buffer = Buffer(fixtures::Sine(440.0, 1.0, 44'100, 2));
    buffer->SetFX(ChainOf(std::make_unique<HalfGain>()));
    buffer->SetFrequency(48'000);
    buffer->Play(true);
    MixStream& mixer = device->Stream()->Mixer();
    OfflineStream& stream = rig.Stream("Desk");
    std::vector<float> out(4096 * 2);
    long allocations = -1;
    {
        const testing_support::ThreadAllocationCount count;
        for (int i = 0; i < 50; ++i) {
            buffer->SetVolume(-600 - i);  // moving parameters too
            mixer.Render(out.data(), 4096, 2);
        }
        stream.Step(256);  // the Offline stream's render period, captured
        allocations = count.Count();
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_GT(std::abs(out[100]), 0.0f) << "it did render sound";
    EXPECT_EQ(stream.TakeCapture().size(), 2u * 256);
}

TEST_F(SoundBufferTest, EveryStandardEffectRendersWithoutAllocating) {
    auto buffer = Buffer(fixtures::Sine(440.0, 1.0, 44'100, 2));
    EffectChain chain;
    for (const EffectClassId* id :
         {&fx::kParamEqClassId, &fx::kChorusClassId, &fx::kCompressorClassId, &fx::kDistortionClassId,
          &fx::kEchoClassId, &fx::kFlangerClassId, &fx::kGargleClassId, &fx::kReverbClassId}) {
        chain.push_back(fx::CreateEffect(*id));
        ASSERT_NE(chain.back(), nullptr);
    }
    ASSERT_EQ(buffer->SetFX(std::move(chain)), kOk);
    SoundEffect* found = nullptr;
    ASSERT_EQ(buffer->GetObjectInPath(fx::kParamEqClassId, 0, &found), kOk);
    fx::ParamEq* eq = EffectCast<fx::ParamEq>(found);
    ASSERT_NE(eq, nullptr);
    buffer->Play(true);
    MixStream& mixer = device->Stream()->Mixer();
    std::vector<float> out(4096 * 2);
    long allocations = -1;
    float loudest = 0.0f;
    {
        const testing_support::ThreadAllocationCount count;
        for (int i = 0; i < 50; ++i) {
            // A slide moving while it plays: the new setting glides in.
            eq->SetAllParameters({.fCenter = 1000.0f, .fGain = i % 2 == 0 ? 10.0f : -10.0f});
            mixer.Render(out.data(), 4096, 2);
            for (float sample : out) loudest = std::max(loudest, std::abs(sample));
        }
        allocations = count.Count();
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_GT(loudest, 0.0f) << "it did render sound";
}

TEST_F(SoundBufferTest, AFailedDeviceLeavesItsBuffersSilentAndHarmless) {
    auto buffer = Buffer(fixtures::Ramp(1000, 2));
    buffer->Play(true);
    rig.Stream("Desk").SimulateFailure();
    EXPECT_TRUE(device->Failed());
    EXPECT_EQ(buffer->Stop(), kOk);
    buffer.reset();  // releasing a buffer of a dead device returns
    std::unique_ptr<DirectSound> missing;
    EXPECT_EQ(rig.system->Create(OfflineBackend::IdOf("Nowhere"), &missing), kNoDriver);
}

TEST_F(MixStreamTest, WhatARenderCallMayStillReadIsFreedAfterItAndNotHeardFromItOn) {
    const auto ramp = fixtures::Ramp(16'384, 2);
    // The held voice comes first in the mix; the removed one after it.
    auto held = Buffer(ramp);
    auto removed = Buffer(std::vector<int16_t>(2 * 4096, 8000));
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

TEST_F(MixStreamTest, AVolumeJumpGlidesOverAPeriodWithoutAClick) {
    constexpr int kLevel = 16'000;
    auto buffer = Buffer(std::vector<int16_t>(2 * 4096, kLevel));
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
