// Our DirectSound heard through the Offline backend: what a buffer plays, at
// which volume, pan and frequency, where its cursor goes and when it notifies.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numeric>

#include "platform/Event.h"
#include "platform/ThreadAllocationCount.h"
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

}  // namespace

TEST(SoundBuffer, PlaysBitExactAtUnityAndScalesByVolumeAndPanAndEffects) {
    SoundRig rig;
    auto device = rig.Open("Desk");
    const auto ramp = fixtures::Ramp(4096, 2, 1000);
    auto buffer = SoundRig::Buffer(*device, ramp);
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

TEST(SoundBuffer, FrequencyChangesPitchAndConsumesTheBufferFaster) {
    SoundRig rig;
    auto device = rig.Open("Desk");
    auto buffer = SoundRig::Buffer(*device, fixtures::Sine(1000.0, 2.0, 44'100, 2));
    ASSERT_EQ(buffer->SetFrequency(46'305), kOk);
    uint32_t hz = 0;
    buffer->GetFrequency(&hz);
    EXPECT_EQ(hz, 46'305u);
    buffer->Play(true);
    auto heard = rig.Render("Desk", 44'032);  // 172 periods of 256 frames, about one second
    EXPECT_NEAR(fixtures::DominantFrequency(heard.data(), 32'768, 2, 0, 44'100), 1050.0, 1.0);
    EXPECT_NEAR(PlayCursor(*buffer) / 4.0, 44'032 * 1.05, 2.0) << "5% more of the buffer is consumed";

    // The original frequency again: 1 kHz.
    buffer->SetFrequency(kFrequencyOriginal);
    heard = rig.Render("Desk", 44'032);
    EXPECT_NEAR(fixtures::DominantFrequency(heard.data(), 32'768, 2, 1, 44'100), 1000.0, 1.0);
}

TEST(SoundBuffer, NotifiesOncePerBlockEndInOrderAndKeepsItsCursorWhenStopped) {
    constexpr int kBlocks = 120;
    constexpr int kBlockBytes = 2940 * 4;
    SoundRig rig;
    auto device = rig.Open("Desk");
    auto buffer = SoundRig::Buffer(*device, std::vector<int16_t>(kBlocks * kBlockBytes / 2, 100));
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

TEST(SoundBuffer, WritesWrapAroundTheRing) {
    SoundRig rig;
    auto device = rig.Open("Desk");
    auto buffer = SoundRig::Buffer(*device, std::vector<int16_t>(2000, 0));  // 4,000 bytes
    const auto data = fixtures::Ramp(300, 2, 7);                             // 1,200 bytes
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

TEST(SoundBuffer, TheMixerAndTheOfflineStreamAllocateNothingWhileTheyRender) {
    SoundRig rig;
    auto device = rig.Open("Desk");
    auto buffer = SoundRig::Buffer(*device, fixtures::Sine(440.0, 1.0, 44'100, 2));
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

TEST(SoundBuffer, AFailedDeviceLeavesItsBuffersSilentAndHarmless) {
    SoundRig rig;
    auto device = rig.Open("Desk");
    auto buffer = SoundRig::Buffer(*device, fixtures::Ramp(1000, 2));
    buffer->Play(true);
    rig.Stream("Desk").SimulateFailure();
    EXPECT_TRUE(device->Failed());
    EXPECT_EQ(buffer->Stop(), kOk);
    buffer.reset();  // releasing a buffer of a dead device returns
    std::unique_ptr<DirectSound> missing;
    EXPECT_EQ(rig.system->Create(OfflineBackend::IdOf("Nowhere"), &missing), kNoDriver);
}
