// The outputs as the engine uses them: decks' buffers on whole and split
// devices, block writes, gains, fades, applying a device choice, and a device
// that goes away.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "engine/SampleBlock.h"
#include "output/CZelOutput.h"
#include "output/CZelOutputDevice.h"
#include "output/DeviceChoice.h"
#include "platform/Event.h"
#include "support/SoundRig.h"

using namespace output;
using namespace platform::sound;
using engine::kBlockFrames;
using engine::kBlockSamples;
using Rig = sound_tests::SoundRig;

namespace {

engine::SampleBlock BlockOf(int16_t left, int16_t right) {
    engine::SampleBlock block{};
    for (int f = 0; f < kBlockFrames; ++f) {
        block.samples[2 * f] = left;
        block.samples[2 * f + 1] = right;
    }
    return block;
}

// The first sample at `offset` in the buffer.
int16_t SampleAt(SoundBuffer& buffer, uint32_t offset) {
    void* at = nullptr;
    uint32_t bytes = 0;
    buffer.Lock(offset, 4, &at, &bytes, nullptr, nullptr);
    return *static_cast<int16_t*>(at);
}

struct RecordingControls final : DeviceChoiceControls {
    void SetHeadphonesVolumeSlide(bool enabled, std::optional<double> value) override {
        headphones = {enabled, value.value_or(headphones.second)};
    }
    void SetMasterVolumeSlide(bool enabled, std::optional<double>) override { masterEnabled = enabled; }
    void SwitchDeckProcessingOff(int deck) override { switchedOff[deck] = true; }
    void EnableDeckProcessingSwitches(bool enabled) override { switchesEnabled = enabled; }

    std::pair<bool, double> headphones{true, -1.0};  // enabled, value
    bool masterEnabled = false, switchesEnabled = true, switchedOff[2] = {false, false};
};

}  // namespace

TEST(OutputDevice, GainToVolumeRule) {
    // Hundredths of a decibel: gains map linearly onto -56 dB to 0 dB, at most 0.0001 is silence.
    for (const auto& [gain, volume] : std::vector<std::pair<double, long>>{
             {1.0, 0}, {0.5, -2800}, {0.0001, -10'000}, {0.0, -10'000}, {0.00011, -5600}, {0.999999, -1}})
        EXPECT_EQ(GainToVolume(gain), volume) << gain;
    EXPECT_EQ(GainToVolume(static_cast<double>(0.7f)), -1681) << "a single-precision 0.7 sits just below 0.7";
}

TEST(OutputDevice, DeckBlocksWrapAfter120AndTheForwardBufferNotifiesAtTheEndOfABlock) {
    Rig rig;
    CZelOutputDevice main(*rig.system);
    ASSERT_EQ(main.Create(OfflineBackend::IdOf("Desk"), false, false), kOk);
    platform::Event forward(platform::Event::Reset::Manual, false),
        backward(platform::Event::Reset::Manual, false);
    EXPECT_EQ(main.SetDeckGain(0, 0.5), kNotInitialized) << "no buffers yet";
    ASSERT_EQ(main.CreateDeckBuffers(0, 44'100, &forward, &backward), kOk);

    // Block n lands at forward block n mod 120 and backward block (120 - n) mod 120.
    for (int n = 0; n < 121; ++n) {
        main.WriteForward(0, BlockOf(static_cast<int16_t>(n), 0).Span());
        main.WriteBackward(0, BlockOf(static_cast<int16_t>(n), 0).Span());
    }
    EXPECT_EQ(SampleAt(*main.ForwardBuffer(0), 0), 120) << "the 121st block overwrote forward block 0";
    EXPECT_EQ(SampleAt(*main.BackwardBuffer(0), 0), 120) << "and backward block 0";
    EXPECT_EQ(SampleAt(*main.BackwardBuffer(0), 119 * kBlockBytes), 1);
    EXPECT_EQ(main.ForwardWriteCursor(0), static_cast<uint32_t>(kBlockBytes));
    EXPECT_EQ(main.BackwardWriteCursor(0), 119u * kBlockBytes);

    main.ForwardBuffer(0)->Play(true);
    rig.Stream("Desk").Step(kBlockFrames - 256);
    EXPECT_FALSE(forward.IsSet());
    rig.Stream("Desk").Step(512);
    EXPECT_TRUE(forward.IsSet());
    EXPECT_FALSE(backward.IsSet());
}

TEST(OutputDevice, WholeAndSplitOutputsOfAFourChannelDevicePlayOnTheirOwnSpeakers) {
    Rig rig({{"Quad", 4}});
    const auto id = OfflineBackend::IdOf("Quad");
    {  // A whole output opens only two channels and plays its buffer unchanged.
        CZelOutputDevice whole(*rig.system);
        ASSERT_EQ(whole.Create(id, false, false), kOk);
        ASSERT_EQ(whole.CreateDeckBuffers(0, 44'100, nullptr, nullptr), kOk);
        engine::SampleBlock block{};
        for (int i = 0; i < kBlockSamples; ++i) block.samples[i] = static_cast<int16_t>(i * 7 - 20'000);
        ASSERT_EQ(whole.WriteForward(0, block.Span()), kOk);
        ASSERT_EQ(whole.ForwardBuffer(0)->Play(false), kOk);
        EXPECT_EQ(rig.Stream("Quad").Channels(), 2);
        const auto heard = rig.Render("Quad", kBlockFrames);
        ASSERT_GE(heard.size(), static_cast<size_t>(kBlockSamples));
        EXPECT_TRUE(std::equal(block.samples, block.samples + kBlockSamples, heard.begin()));
    }
    CZelOutput main(*rig.system), headphones(*rig.system);
    main.Open(id, "Quad (Front)");
    headphones.Open(id, "Quad (Rear)");
    ASSERT_TRUE(main.IsOpen() && headphones.IsOpen());
    EXPECT_EQ(main.DeviceName(), "Quad");
    ASSERT_EQ(headphones.Device()->CreateDeckBuffers(1, 44'100, nullptr, nullptr), kOk);
    ASSERT_EQ(main.Device()->CreateDeckBuffers(1, 44'100, nullptr, nullptr), kOk);
    main.Device()->WriteForward(1, BlockOf(1000, 2000).Span());
    headphones.Device()->WriteForward(1, BlockOf(3000, 4000).Span());
    main.Device()->ForwardBuffer(1)->Play(true);
    headphones.Device()->ForwardBuffer(1)->Play(true);
    const auto out = rig.Render("Quad", 512);
    ASSERT_EQ(out.size(), 512u * 4);
    EXPECT_EQ((std::vector<int16_t>(out.begin(), out.begin() + 4)),
              (std::vector<int16_t>{1000, 2000, 3000, 4000}));
}

TEST(OutputDevice, FadesFollowTheExponentialRampAndRestoreTheVolume) {
    Rig rig;
    CZelOutputDevice device(*rig.system);
    device.Create(OfflineBackend::IdOf("Desk"), false, false);
    device.CreateDeckBuffers(0, 44'100, nullptr, nullptr);
    for (int i = 0; i < engine::kOutputBlocks; ++i) device.WriteForward(0, BlockOf(16'000, 16'000).Span());
    SoundBuffer& buffer = *device.ForwardBuffer(0);
    buffer.SetVolume(-1000);
    long volume = 0;

    // Each fade step renders one period, so the sound shows every step's volume.
    std::vector<double> heard;
    auto renderOneStep = [&] {
        const auto out = rig.Render("Desk", 256);
        heard.push_back(out.empty() ? 0.0 : out[out.size() - 2] / 16'000.0);
    };
    for (const bool in : {true, false}) {
        SCOPED_TRACE(in ? "in" : "out");
        heard.clear();
        in ? SoftStart(buffer, renderOneStep) : SoftStop(buffer, renderOneStep);
        ASSERT_EQ(heard.size(), 500u);
        EXPECT_EQ(buffer.IsPlaying(), in);
        buffer.GetVolume(&volume);
        EXPECT_EQ(volume, -1000) << "the buffer's own volume is back";
        if (in) {
            EXPECT_EQ(heard[0], 0.0) << "a fade-in starts from silence";
        }
        for (int i = 1; i < 500; ++i) {
            const long step = in ? FadeInVolume(-1000, i - 1) : FadeOutVolume(-1000, i - 1);
            ASSERT_NEAR(heard[i], VolumeToGain(step), 2e-4) << "step " << i;
        }
    }
    EXPECT_LT(heard.back(), 0.01);
    EXPECT_EQ(FadeInVolume(-1000, 166),
              static_cast<long>(9000 * (1 - std::exp(-166 / (500.0 / 3)))) - 10'000);

    // A stopped buffer is not faded out again.
    heard.clear();
    SoftStop(buffer, renderOneStep);
    EXPECT_TRUE(heard.empty());
}

TEST(OutputDevice, ApplyingADeviceChoice) {
    Rig rig({{"Quad", 4}});
    CZelOutput main(*rig.system), headphones(*rig.system);
    const auto quad = OfflineBackend::IdOf("Quad");

    RecordingControls none;  // nothing chosen: both closed, headphones volume off
    ApplyDeviceChoice(headphones, main, std::nullopt, "", std::nullopt, "", none);
    EXPECT_FALSE(main.IsOpen() || headphones.IsOpen());
    EXPECT_EQ(none.headphones, std::pair(false, 0.0));
    EXPECT_FALSE(none.switchesEnabled);
    EXPECT_TRUE(none.switchedOff[0] && none.switchedOff[1]);

    RecordingControls halves;  // two halves of one device: headphones volume and deck switches off
    ApplyDeviceChoice(headphones, main, quad, "Quad (Rear)", quad, "Quad (Front)", halves);
    ASSERT_TRUE(main.IsOpen() && headphones.IsOpen());
    EXPECT_FALSE(main.Device()->IsRear());
    EXPECT_TRUE(headphones.Device()->IsRear());
    EXPECT_EQ(halves.headphones, std::pair(false, 0.0));
    EXPECT_FALSE(halves.switchesEnabled);
    EXPECT_TRUE(halves.masterEnabled);
}

TEST(OutputDevice, ALostDeviceKeepsItsOutputAndItsBuffersUntilItComesBack) {
    Rig rig;
    CZelOutput main(*rig.system);
    main.Open(OfflineBackend::IdOf("Desk"), "Desk (Can't Split)");
    ASSERT_EQ(main.Device()->CreateDeckBuffers(0, 44'100, nullptr, nullptr), kOk);
    SoundBuffer* buffer = main.Device()->ForwardBuffer(0);
    buffer->Play(true);
    EXPECT_FALSE(main.IsLost());

    // Unplugged: the output stays the user's choice, with its deck buffers.
    rig.backend->SetDevicePresent("Desk", false);
    EXPECT_TRUE(main.IsLost() && main.IsOpen() && main.Level().IsDeviceOpen());
    // The streams are looked after at chosen times, far enough apart for a
    // reopening attempt each time.
    const std::chrono::steady_clock::time_point later(std::chrono::hours(1));
    rig.system->MaintainStreams(later);
    EXPECT_TRUE(main.IsLost()) << "not back while it is away";

    // Plugged in again: the same buffer plays on.
    rig.backend->SetDevicePresent("Desk", true);
    rig.system->MaintainStreams(later + std::chrono::seconds(10));
    EXPECT_FALSE(main.IsLost());
    EXPECT_EQ(main.Device()->ForwardBuffer(0), buffer);
    EXPECT_TRUE(buffer->IsPlaying());
}
