// The outputs as the engine uses them: decks' buffers on whole and split
// devices, block writes, gains, fades, and applying a device choice.
#include <gtest/gtest.h>

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

struct RecordingControls final : DeviceChoiceControls {
    void SetHeadphonesVolumeSlide(bool enabled, std::optional<double> value) override {
        headphonesEnabled = enabled;
        if (value) headphonesValue = *value;
    }
    void SetMasterVolumeSlide(bool enabled, std::optional<double> value) override {
        masterEnabled = enabled;
        if (value) masterValue = *value;
    }
    void SwitchDeckProcessingOff(int deck) override { switchedOff[deck] = true; }
    void EnableDeckProcessingSwitches(bool enabled) override { switchesEnabled = enabled; }

    bool headphonesEnabled = true, masterEnabled = false, switchesEnabled = true;
    double headphonesValue = -1, masterValue = -1;
    bool switchedOff[2] = {false, false};
};

}  // namespace

TEST(OutputDevice, GainToVolumeRule) {
    EXPECT_EQ(GainToVolume(1.0), 0);
    EXPECT_EQ(GainToVolume(0.5), -2800);
    EXPECT_EQ(GainToVolume(0.0001), -10'000);
    EXPECT_EQ(GainToVolume(0.0), -10'000);
    EXPECT_EQ(GainToVolume(0.00011), -5600);
    EXPECT_EQ(GainToVolume(static_cast<double>(0.7f)), -1681) << "a single-precision 0.7 sits just below 0.7";
    EXPECT_EQ(GainToVolume(0.999999), -1);
}

TEST(OutputDevice, DeckBuffersNotifyOnlyWithEventsAndBlocksWrapAfter120) {
    Rig rig;
    CZelOutputDevice main(*rig.system);
    ASSERT_EQ(main.Create(OfflineBackend::IdOf("Desk"), false, false), kOk);
    platform::Event forward(platform::Event::Reset::Manual, false),
        backward(platform::Event::Reset::Manual, false);
    EXPECT_EQ(main.SetDeckGain(0, 0.5), kNotInitialized) << "no buffers yet";
    ASSERT_EQ(main.CreateDeckBuffers(0, 44'100, &forward, &backward), kOk);
    EXPECT_TRUE(main.ForwardBuffer(0)->Flags() & kCapsCtrlPositionNotify);
    EXPECT_EQ(main.ForwardBuffer(0)->Size(), 1'411'200u);
    EXPECT_EQ(main.ForwardWriteCursor(0), 0u);
    EXPECT_EQ(main.BackwardWriteCursor(0), 0u);

    CZelOutputDevice headphones(*rig.system);
    ASSERT_EQ(headphones.Create(OfflineBackend::IdOf("Desk"), false, false), kOk);
    ASSERT_EQ(headphones.CreateDeckBuffers(0, 44'100, nullptr, nullptr), kOk);
    EXPECT_FALSE(headphones.ForwardBuffer(0)->Flags() & kCapsCtrlPositionNotify);

    // Block n lands at forward block n mod 120 and backward block (120 - n) mod 120.
    for (int n = 0; n < 121; ++n) {
        main.WriteForward(0, BlockOf(static_cast<int16_t>(n), 0).Span());
        main.WriteBackward(0, BlockOf(static_cast<int16_t>(n), 0).Span());
    }
    void* at = nullptr;
    uint32_t bytes = 0;
    main.ForwardBuffer(0)->Lock(0, 4, &at, &bytes, nullptr, nullptr);
    EXPECT_EQ(*static_cast<int16_t*>(at), 120) << "the 121st block overwrote forward block 0";
    main.BackwardBuffer(0)->Lock(0, 4, &at, &bytes, nullptr, nullptr);
    EXPECT_EQ(*static_cast<int16_t*>(at), 120) << "and backward block 0";
    main.BackwardBuffer(0)->Lock(119 * kBlockBytes, 4, &at, &bytes, nullptr, nullptr);
    EXPECT_EQ(*static_cast<int16_t*>(at), 1);
    EXPECT_EQ(main.ForwardWriteCursor(0), static_cast<uint32_t>(kBlockBytes));
    EXPECT_EQ(main.BackwardWriteCursor(0), 119u * kBlockBytes);

    // The main output's forward buffer notifies the deck's event at the end of a block.
    ASSERT_EQ(main.SetDeckGain(0, 0.5), kOk);
    long volume = 0;
    main.ForwardBuffer(0)->GetVolume(&volume);
    EXPECT_EQ(volume, -2800);
    main.ForwardBuffer(0)->Play(true);
    rig.Stream("Desk").Step(kBlockFrames - 256);
    EXPECT_FALSE(forward.IsSet());
    rig.Stream("Desk").Step(512);
    EXPECT_TRUE(forward.IsSet());
    EXPECT_FALSE(backward.IsSet());
}

TEST(OutputDevice, SplitHalvesPlayOnTheirOwnSpeakerPairs) {
    Rig rig({{"Quad", 4}});
    CZelOutput main(*rig.system), headphones(*rig.system);
    const auto id = OfflineBackend::IdOf("Quad");
    main.Open(id, "Quad (Front)");
    headphones.Open(id, "Quad (Rear)");
    ASSERT_TRUE(main.IsOpen());
    EXPECT_EQ(main.DeviceName(), "Quad");
    EXPECT_TRUE(headphones.Device()->IsSplit());
    EXPECT_TRUE(headphones.Device()->IsRear());

    platform::Event f(platform::Event::Reset::Manual, false), b(platform::Event::Reset::Manual, false);
    ASSERT_EQ(headphones.Device()->CreateDeckBuffers(1, 44'100, nullptr, nullptr), kOk);
    ASSERT_EQ(main.Device()->CreateDeckBuffers(1, 44'100, &f, &b), kOk);
    EXPECT_EQ(main.Device()->ForwardBuffer(1)->Format().channelMask, 0x3u);
    EXPECT_EQ(headphones.Device()->ForwardBuffer(1)->Format().channelMask, 0x30u);
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

    // Each fade step renders one period, so the sound shows every step's volume.
    std::vector<double> heard;
    auto renderOneStep = [&] {
        const auto out = rig.Render("Desk", 256);
        heard.push_back(out.empty() ? 0.0 : out[out.size() - 2] / 16'000.0);
    };
    SoftStart(buffer, renderOneStep);
    ASSERT_EQ(heard.size(), 500u);
    EXPECT_TRUE(buffer.IsPlaying());
    long volume = 0;
    buffer.GetVolume(&volume);
    EXPECT_EQ(volume, -1000) << "the buffer's own volume is back";
    EXPECT_EQ(heard[0], 0.0) << "a fade-in starts from silence";
    for (int i = 1; i < 500; ++i)
        ASSERT_NEAR(heard[i], VolumeToGain(FadeInVolume(-1000, i - 1)), 2e-4) << "step " << i;
    EXPECT_EQ(FadeInVolume(-1000, 166),
              static_cast<long>(9000 * (1 - std::exp(-166 / (500.0 / 3)))) - 10'000);

    heard.clear();
    SoftStop(buffer, renderOneStep);
    EXPECT_FALSE(buffer.IsPlaying());
    buffer.GetVolume(&volume);
    EXPECT_EQ(volume, -1000);
    for (int i = 1; i < 500; ++i)
        ASSERT_NEAR(heard[i], VolumeToGain(FadeOutVolume(-1000, i - 1)), 2e-4) << "step " << i;
    EXPECT_LT(heard.back(), 0.01);

    // A stopped buffer is not faded out again; a playing one not restarted.
    heard.clear();
    SoftStop(buffer, renderOneStep);
    EXPECT_TRUE(heard.empty());
}

TEST(OutputDevice, ApplyingADeviceChoice) {
    Rig rig({{"Quad", 4}, {"Desk", 2}});
    CZelOutput main(*rig.system), headphones(*rig.system);

    {  // Nothing chosen: both closed, headphones volume off.
        RecordingControls controls;
        ApplyDeviceChoice(headphones, main, std::nullopt, "", std::nullopt, "", controls);
        EXPECT_FALSE(main.IsOpen());
        EXPECT_FALSE(headphones.IsOpen());
        EXPECT_FALSE(controls.headphonesEnabled);
        EXPECT_EQ(controls.headphonesValue, 0.0);
        EXPECT_FALSE(controls.switchesEnabled);
        EXPECT_TRUE(controls.switchedOff[0] && controls.switchedOff[1]);
    }
    {  // Two halves of one device: the same device twice, headphones controls off.
        RecordingControls controls;
        const auto quad = OfflineBackend::IdOf("Quad");
        ApplyDeviceChoice(headphones, main, quad, "Quad (Rear)", quad, "Quad (Front)", controls);
        ASSERT_TRUE(main.IsOpen() && headphones.IsOpen());
        EXPECT_FALSE(main.Device()->IsRear());
        EXPECT_TRUE(headphones.Device()->IsRear());
        EXPECT_FALSE(controls.headphonesEnabled);
        EXPECT_EQ(controls.headphonesValue, 0.0);
        EXPECT_FALSE(controls.switchesEnabled);
        EXPECT_TRUE(controls.masterEnabled);
    }
    {  // Two devices: everything available.
        RecordingControls controls;
        ApplyDeviceChoice(headphones, main, OfflineBackend::IdOf("Desk"), "Desk (Can't Split)",
                          OfflineBackend::IdOf("Quad"), "Quad (Can Split)", controls);
        EXPECT_TRUE(controls.headphonesEnabled);
        EXPECT_TRUE(controls.switchesEnabled);
        EXPECT_EQ(headphones.DeviceName(), "Desk");
        EXPECT_FALSE(headphones.Device()->IsSplit());
    }
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
    EXPECT_TRUE(main.IsLost());
    EXPECT_TRUE(main.IsOpen());
    EXPECT_TRUE(main.Level().IsDeviceOpen());
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
