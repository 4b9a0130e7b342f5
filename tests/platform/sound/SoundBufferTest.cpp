// Our DirectSound heard through the Offline backend: what a buffer plays, at
// which volume, pan and frequency, where its cursor goes and when it notifies.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>

#include "platform/Event.h"
#include "platform/ThreadAllocationCount.h"
#include "platform/sound/DirectSound.h"
#include "platform/sound/OfflineBackend.h"
#include "platform/sound/SoundBuffer.h"
#include "platform/sound/SoundSystem.h"
#include "support/AudioFixtures.h"
#include "support/SoundRig.h"

using namespace platform::sound;

namespace {

using Rig = sound_tests::SoundRig;
using sound_tests::kAllControls;

// A gain effect: the simplest thing an effect chain can carry.
class HalfGain final : public SoundEffect {
public:
    void Prepare(int rate, int channels) override {
        preparedRate = rate;
        preparedChannels = channels;
    }
    void Reset() noexcept override {}
    void Process(float* samples, int frames) noexcept override {
        for (int i = 0; i < frames * 2; ++i) samples[i] *= 0.5f;
    }
    int preparedRate = 0;
    int preparedChannels = 0;
};

}  // namespace

TEST(SoundBuffer, PlaysBitExactAtUnityAndScalesByVolumeAndPan) {
    Rig rig;
    auto device = rig.Open("Desk");
    const auto ramp = fixtures::Ramp(4096, 2, 1000);
    auto buffer = Rig::Buffer(*device, ramp);
    OfflineStream& stream = rig.Stream("Desk");

    ASSERT_EQ(buffer->Play(false), kOk);
    stream.Step(4096);
    auto out = stream.TakeCapture();
    ASSERT_EQ(out.size(), ramp.size());
    EXPECT_EQ(out, ramp) << "at volume 0 and its own frequency a buffer comes out unchanged";
    EXPECT_FALSE(buffer->IsPlaying()) << "a buffer played once stops at its end";

    // -2800 hundredths of a decibel: 10^(-2800/2000) of the level.
    const double gain = std::pow(10.0, -2800.0 / 2000.0);
    ASSERT_EQ(buffer->SetVolume(-2800), kOk);
    ASSERT_EQ(buffer->SetCurrentPosition(0), kOk);
    buffer->Play(false);
    stream.Step(4096);
    out = stream.TakeCapture();
    for (size_t i = 0; i < ramp.size(); ++i) ASSERT_NEAR(out[i], ramp[i] * gain, 1.0) << i;

    // Pan fully right silences the left channel only.
    buffer->SetVolume(0);
    buffer->SetPan(kPanRight);
    buffer->SetCurrentPosition(0);
    buffer->Play(false);
    stream.Step(4096);
    out = stream.TakeCapture();
    for (size_t f = 0; f < 4096; ++f) {
        ASSERT_EQ(out[2 * f], 0);
        ASSERT_EQ(out[2 * f + 1], ramp[2 * f + 1]);
    }
}

TEST(SoundBuffer, FrequencyChangesPitchAndConsumesTheBufferFaster) {
    Rig rig;
    auto device = rig.Open("Desk");
    const auto tone = fixtures::Sine(1000.0, 2.0, 44'100, 2);
    auto buffer = Rig::Buffer(*device, tone);
    OfflineStream& stream = rig.Stream("Desk");

    ASSERT_EQ(buffer->SetFrequency(46'305), kOk);
    uint32_t hz = 0;
    buffer->GetFrequency(&hz);
    EXPECT_EQ(hz, 46'305u);
    buffer->Play(true);
    stream.Step(44'032);  // 172 periods of 256 frames, about one second
    const auto out = stream.TakeCapture();
    EXPECT_NEAR(fixtures::DominantFrequency(out.data(), 32'768, 2, 0, 44'100), 1050.0, 1.0);

    uint32_t play = 0;
    buffer->GetCurrentPosition(&play, nullptr);
    EXPECT_NEAR(play / 4.0, 44'032 * 1.05, 2.0) << "5% more of the buffer is consumed";

    // The original frequency again: 1 kHz.
    buffer->SetFrequency(kFrequencyOriginal);
    stream.Step(44'032);
    const auto again = stream.TakeCapture();
    EXPECT_NEAR(fixtures::DominantFrequency(again.data(), 32'768, 2, 1, 44'100), 1000.0, 1.0);
}

TEST(SoundBuffer, NotifiesOncePerBlockEndInOrderAndKeepsItsCursorWhenStopped) {
    constexpr int kBlocks = 120;
    constexpr int kBlockFrames = 2940;
    Rig rig;
    auto device = rig.Open("Desk");
    auto buffer = Rig::Buffer(*device, std::vector<int16_t>(kBlocks * kBlockFrames * 2, 100));
    OfflineStream& stream = rig.Stream("Desk");

    std::vector<std::unique_ptr<platform::Event>> events;
    std::vector<PositionNotify> positions;
    for (int i = 0; i < kBlocks; ++i) {
        events.push_back(std::make_unique<platform::Event>(platform::Event::Reset::Manual, false));
        positions.push_back(
            {static_cast<uint32_t>(i * kBlockFrames * 4 + kBlockFrames * 4 - 1), events.back().get()});
    }
    ASSERT_EQ(buffer->SetNotificationPositions(positions), kOk);
    buffer->Play(true);
    EXPECT_EQ(buffer->SetNotificationPositions(positions), kInvalidCall) << "only while stopped";

    std::vector<int> fired;
    for (int period = 0; period < (kBlocks * kBlockFrames + 10 * 256) / 256; ++period) {
        stream.Step(256);
        for (int i = 0; i < kBlocks; ++i) {
            if (events[i]->IsSet()) {
                fired.push_back(i);
                events[i]->Reset();
            }
        }
    }
    std::vector<int> expected(kBlocks);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(fired, expected) << "one notification per block end, 120 per loop, in order";
    stream.SetCapture(false);

    buffer->Stop();
    uint32_t stoppedAt = 0, later = 0;
    buffer->GetCurrentPosition(&stoppedAt, nullptr);
    stream.Step(10'000);
    buffer->GetCurrentPosition(&later, nullptr);
    EXPECT_EQ(later, stoppedAt) << "a stopped buffer's cursor stays";
    for (const auto& e : events) EXPECT_FALSE(e->IsSet());

    // A position set while stopped is where play resumes.
    ASSERT_EQ(buffer->SetCurrentPosition(5 * kBlockFrames * 4), kOk);
    buffer->GetCurrentPosition(&later, nullptr);
    EXPECT_EQ(later, 5u * kBlockFrames * 4);
}

TEST(SoundBuffer, SplitHalvesShareOneFourChannelStream) {
    Rig rig({{"Quad", 4}, {"Stereo", 2}});
    auto front = rig.Open("Quad", 4);
    auto rear = rig.Open("Quad", 4);
    EXPECT_EQ(rig.Open("Stereo", 2)->SetPrimaryFormat(WaveFormat::Pcm(4, 44'100)), kBadFormat);

    WaveFormat frontFormat = WaveFormat::Pcm(2, 44'100);
    frontFormat.formatTag = kFormatExtensible;
    frontFormat.channelMask = kSpeakerFrontLeft | kSpeakerFrontRight;
    WaveFormat rearFormat = frontFormat;
    rearFormat.channelMask = kSpeakerBackLeft | kSpeakerBackRight;
    const auto a = fixtures::Ramp(1024, 2, 0);
    const auto b = fixtures::Ramp(1024, 2, 30'000);
    auto frontBuffer = Rig::Buffer(*front, a, frontFormat);
    auto rearBuffer = Rig::Buffer(*rear, b, rearFormat);
    EXPECT_EQ(front->Stream(), rear->Stream()) << "both halves play on one physical stream";

    OfflineStream& stream = rig.Stream("Quad");
    EXPECT_EQ(stream.Channels(), 4);
    frontBuffer->Play(false);
    rearBuffer->Play(false);
    stream.Step(1024);
    const auto out = stream.TakeCapture();
    ASSERT_EQ(out.size(), 1024u * 4);
    for (int f = 0; f < 1024; ++f) {
        ASSERT_EQ(out[4 * f + 0], a[2 * f]);
        ASSERT_EQ(out[4 * f + 1], a[2 * f + 1]);
        ASSERT_EQ(out[4 * f + 2], b[2 * f]);
        ASSERT_EQ(out[4 * f + 3], b[2 * f + 1]);
    }
}

TEST(SoundBuffer, EffectChainIsSetOnlyWhileStoppedAndIsHeard) {
    Rig rig;
    auto device = rig.Open("Desk");
    const auto ramp = fixtures::Ramp(2048, 2, 5000);
    auto buffer = Rig::Buffer(*device, ramp);
    OfflineStream& stream = rig.Stream("Desk");

    EffectChain chain;
    chain.push_back(std::make_unique<HalfGain>());
    ASSERT_EQ(buffer->SetFX(std::move(chain)), kOk);
    SoundEffect* effect = nullptr;
    ASSERT_EQ(buffer->GetObjectInPath(0, &effect), kOk);
    EXPECT_EQ(static_cast<HalfGain*>(effect)->preparedRate, 44'100);
    EXPECT_EQ(buffer->GetObjectInPath(1, &effect), kObjectNotFound);

    buffer->Play(true);
    EffectChain another;
    another.push_back(std::make_unique<HalfGain>());
    EXPECT_EQ(buffer->SetFX(std::move(another)), kInvalidCall)
        << "the chain of a playing buffer cannot change";
    stream.Step(2048);
    auto out = stream.TakeCapture();
    for (size_t i = 0; i < ramp.size(); ++i) ASSERT_NEAR(out[i], ramp[i] * 0.5, 1.0) << i;

    buffer->Stop();
    ASSERT_EQ(buffer->SetFX({}), kOk);
    buffer->SetCurrentPosition(0);
    buffer->Play(true);
    stream.Step(2048);
    EXPECT_EQ(stream.TakeCapture(), ramp) << "an empty chain removes the effect";
}

TEST(SoundBuffer, WritesWrapAroundTheRing) {
    Rig rig;
    auto device = rig.Open("Desk");
    auto buffer = Rig::Buffer(*device, std::vector<int16_t>(2000, 0));  // 4,000 bytes
    const auto data = fixtures::Ramp(300, 2, 7);                        // 1,200 bytes
    ASSERT_EQ(buffer->Write(3'600, data.data(), 1'200), kOk);
    void* first = nullptr;
    void* second = nullptr;
    uint32_t firstBytes = 0, secondBytes = 0;
    ASSERT_EQ(buffer->Lock(3'600, 1'200, &first, &firstBytes, &second, &secondBytes), kOk);
    EXPECT_EQ(firstBytes, 400u);
    EXPECT_EQ(secondBytes, 800u);
    EXPECT_EQ(std::memcmp(first, data.data(), 400), 0);
    EXPECT_EQ(std::memcmp(second, reinterpret_cast<const char*>(data.data()) + 400, 800), 0);
    EXPECT_EQ(buffer->Write(4'000, data.data(), 4), kInvalidParam);
}

TEST(SoundBuffer, TheMixerAndTheOfflineStreamAllocateNothingWhileTheyRender) {
    Rig rig;
    auto device = rig.Open("Desk");
    auto buffer = Rig::Buffer(*device, fixtures::Sine(440.0, 1.0, 44'100, 2));
    EffectChain chain;
    chain.push_back(std::make_unique<HalfGain>());
    buffer->SetFX(std::move(chain));
    buffer->SetFrequency(48'000);
    buffer->SetVolume(-600);
    buffer->Play(true);

    MixStream& mixer = device->Stream()->Mixer();
    OfflineStream& stream = rig.Stream("Desk");
    stream.TakeCapture();
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
    Rig rig;
    auto device = rig.Open("Desk");
    auto buffer = Rig::Buffer(*device, fixtures::Ramp(1000, 2));
    buffer->Play(true);
    rig.Stream("Desk").SimulateFailure();
    EXPECT_TRUE(device->Failed());
    EXPECT_EQ(buffer->Stop(), kOk);
    buffer.reset();  // releasing a buffer of a dead device returns
    std::unique_ptr<DirectSound> missing;
    EXPECT_EQ(rig.system->Create(OfflineBackend::IdOf("Nowhere"), &missing), kNoDriver);
}
