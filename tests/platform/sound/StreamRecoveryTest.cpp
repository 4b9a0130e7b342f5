// Streams that keep playing: a device unplugged and plugged back, a device
// back at another rate, a split half that needs more channels, a new latency,
// and what the streams report (underruns, real-time scheduling). And the
// PortAudio backend on this machine as it is, with or without a sound card
// (playing through real devices is in tests/devices/).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <sstream>

#include "platform/sound/DeviceStream.h"
#include "platform/sound/PortAudioBackend.h"
#include "support/AudioFixtures.h"
#include "support/SoundRig.h"

using namespace sound_tests;
using namespace std::chrono_literals;

namespace {

// A fixed point in time to count the reopening interval from.
const std::chrono::steady_clock::time_point kT0{std::chrono::hours(1)};

// Frames [from, to) of interleaved stereo.
std::vector<int16_t> Frames(const std::vector<int16_t>& stereo, size_t from, size_t to) {
    return {stereo.begin() + static_cast<std::ptrdiff_t>(2 * from),
            stereo.begin() + static_cast<std::ptrdiff_t>(2 * to)};
}

}  // namespace

TEST(StreamRecovery, AnUnpluggedDeviceIsReopenedWhenItReturnsAndPlaysOnWhereItStopped) {
    SoundRig rig;
    auto device = rig.Open("Desk");
    const auto ramp = fixtures::Ramp(20'000, 2);
    auto buffer = SoundRig::Buffer(*device, ramp);
    ASSERT_EQ(buffer->SetVolume(-600), kOk);
    platform::Event passed(platform::Event::Reset::Manual, false);
    ASSERT_EQ(buffer->SetNotificationPositions(std::vector<PositionNotify>{{5000 * 4, &passed}}), kOk);
    ASSERT_EQ(buffer->Play(false), kOk);
    DeviceStream& stream = *device->Stream();
    // Heard at the buffer's volume, -6 dB.
    const auto expectHeard = [&](const std::vector<int16_t>& heard, size_t from, size_t to) {
        ASSERT_EQ(heard.size(), 2 * (to - from));
        for (size_t i = 0; i < heard.size(); ++i)
            ASSERT_NEAR(heard[i], std::lround(ramp[2 * from + i] * std::pow(10.0, -0.3)), 1)
                << "sample " << i;
    };
    expectHeard(rig.Render("Desk", 2048), 0, 2048);

    rig.backend->SetDevicePresent("Desk", false);
    EXPECT_TRUE(device->Failed());
    EXPECT_TRUE(stream.Failed());
    EXPECT_TRUE(rig.Render("Desk", 1024).empty()) << "an unplugged device plays nothing";
    // While the device is away, reopening is refused.
    rig.system->MaintainStreams(kT0);
    EXPECT_TRUE(stream.Failed());
    SilentTarget target;
    const DeviceId id = OfflineBackend::IdOf("Desk");
    EXPECT_EQ(rig.backend->OpenStream(&id, 2, target), nullptr);

    // Back again: reopened on the next attempt, two seconds after the last.
    rig.backend->SetDevicePresent("Desk", true);
    rig.system->MaintainStreams(kT0 + 1s);
    EXPECT_TRUE(stream.Failed()) << "attempts come at most every two seconds";
    EXPECT_EQ(stream.Recoveries(), 0);
    rig.system->MaintainStreams(kT0 + 2s);
    ASSERT_FALSE(stream.Failed());
    EXPECT_FALSE(device->Failed());
    EXPECT_EQ(stream.Recoveries(), 1);
    EXPECT_EQ(rig.system->Recoveries(), 1);
    EXPECT_EQ(device->Stream(), &stream) << "the same device stream, with its mixer";

    // The buffer goes on where it was, at its volume, and still notifies.
    EXPECT_FALSE(passed.IsSet());
    expectHeard(rig.Render("Desk", 4096), 2048, 2048 + 4096);
    EXPECT_TRUE(passed.IsSet());
    uint32_t play = 0;
    buffer->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(play, (2048u + 4096u) * 4);
    // A healthy stream is left alone.
    rig.system->MaintainStreams(kT0 + 10s);
    EXPECT_EQ(stream.Recoveries(), 1);
}

TEST(StreamRecovery, ADeviceBackAtAnotherRateIsMixedAtItsNewRate) {
    SoundRig rig;
    auto device = rig.Open("Desk");
    auto buffer = SoundRig::Buffer(*device, fixtures::Sine(1000.0, 1.0, 44'100, 2));
    std::atomic<int> freed{0};
    auto effect = std::make_unique<CountedEffect>(freed);
    CountedEffect* counted = effect.get();
    ASSERT_EQ(buffer->SetFX(ChainOf(std::move(effect))), kOk);
    EXPECT_EQ(counted->preparedRate, 44'100);
    ASSERT_EQ(buffer->Play(true), kOk);

    rig.backend->SetDevicePresent("Desk", false);
    rig.backend->SetDeviceRate("Desk", 48'000);
    rig.backend->SetDevicePresent("Desk", true);
    rig.system->MaintainStreams(kT0);
    ASSERT_FALSE(device->Failed());
    EXPECT_EQ(rig.Stream("Desk").SampleRate(), 48'000);
    EXPECT_EQ(device->Stream()->Mixer().SampleRate(), 48'000);
    EXPECT_EQ(counted->preparedRate, 48'000) << "effects run at the new rate";
    const auto heard = rig.Render("Desk", 32'768);
    EXPECT_NEAR(fixtures::DominantFrequency(heard.data(), 32'768, 2, 0, 48'000), 1000.0, 1.0)
        << "the buffer keeps its pitch on a device at another rate";
}

TEST(StreamRecovery, AStreamOpenedWholeGetsFourChannelsWhenASplitHalfJoins) {
    SoundRig rig({{"Quad", 4}, {"Stereo", 2}});
    EXPECT_EQ(rig.Open("Stereo", 2)->SetPrimaryFormat(WaveFormat::Pcm(4, 44'100)), kBadFormat);
    auto whole = rig.Open("Quad", 2);
    const auto a = fixtures::Ramp(4096, 2, 100);
    const auto b = fixtures::Ramp(4096, 2, 20'000);
    auto front = SoundRig::Buffer(*whole, a);
    ASSERT_EQ(front->Play(false), kOk);
    EXPECT_EQ(rig.Stream("Quad").Channels(), 2);
    EXPECT_EQ(rig.Render("Quad", 1024), Frames(a, 0, 1024));

    // The rear half of the device: its buffers' channel mask says so.
    auto half = rig.Open("Quad", 4);
    WaveFormat rearFormat = WaveFormat::Pcm(2, 44'100);
    rearFormat.formatTag = kFormatExtensible;
    rearFormat.channelMask = kSpeakerBackLeft | kSpeakerBackRight;
    auto rear = SoundRig::Buffer(*half, b, rearFormat);
    EXPECT_EQ(half->Stream(), whole->Stream()) << "one physical stream";
    ASSERT_EQ(rig.Stream("Quad").Channels(), 4);
    ASSERT_EQ(rear->Play(false), kOk);
    const auto out = rig.Render("Quad", 1024);
    ASSERT_EQ(out.size(), 1024u * 4);
    for (size_t f = 0; f < 1024; ++f) {
        // Channels 1-2, then 3-4 of the frame, each pair taken as a stereo
        // frame: the front buffer plays on where it was.
        ASSERT_EQ(Frames(out, 2 * f, 2 * f + 1), Frames(a, 1024 + f, 1025 + f)) << "frame " << f;
        ASSERT_EQ(Frames(out, 2 * f + 1, 2 * f + 2), Frames(b, f, f + 1)) << "frame " << f;
    }
}

TEST(StreamRecovery, TheUsersLatencyAppliesToNewStreamsAndToReopenedOnes) {
    SoundRig rig;
    EXPECT_EQ(rig.system->OutputLatency(), 20);
    for (const auto& [asked, kept] : {std::pair{2, 5}, {250, 100}, {20, 20}}) {
        rig.system->SetOutputLatency(asked);
        EXPECT_EQ(rig.system->OutputLatency(), kept);
    }
    auto device = rig.Open("Desk");
    const auto ramp = fixtures::Ramp(8192, 2);
    auto buffer = SoundRig::Buffer(*device, ramp);
    ASSERT_EQ(buffer->Play(false), kOk);
    EXPECT_DOUBLE_EQ(device->Stream()->OutputLatency(), 0.020);
    EXPECT_EQ(rig.Render("Desk", 1024), Frames(ramp, 0, 1024));

    rig.system->SetOutputLatency(50);
    EXPECT_DOUBLE_EQ(device->Stream()->OutputLatency(), 0.020) << "open streams keep theirs until reopened";
    EXPECT_EQ(rig.system->ReopenStreams(), 1);
    EXPECT_DOUBLE_EQ(device->Stream()->OutputLatency(), 0.050);
    EXPECT_DOUBLE_EQ(rig.Stream("Desk").OutputLatency(), 0.050);
    EXPECT_EQ(device->Stream()->Recoveries(), 0) << "a reopening asked for is no recovery";
    EXPECT_EQ(rig.Render("Desk", 1024), Frames(ramp, 1024, 2048))
        << "the reopened stream plays on without a gap or a repeat";
}

TEST(StreamRecovery, UnderrunsAreCountedPerStreamAndInTotalWithClosedStreams) {
    SoundRig rig({{"Main", 2}, {"Phones", 2}});
    auto main = rig.Open("Main");
    auto phones = rig.Open("Phones");
    const auto ramp = fixtures::Ramp(4096, 2);
    auto mainBuffer = SoundRig::Buffer(*main, ramp);
    auto phonesBuffer = SoundRig::Buffer(*phones, ramp);
    ASSERT_EQ(mainBuffer->Play(true), kOk);
    rig.Stream("Main").Step(512);
    rig.Stream("Main").Skip(3 * 256);
    EXPECT_EQ(rig.Stream("Main").Underruns(), 3u);
    // A device that ran dry played silence, and the mix went on where it was.
    std::vector<int16_t> expected = Frames(ramp, 0, 512);
    expected.resize(2 * (512 + 768), 0);
    const auto more = Frames(ramp, 512, 768);
    expected.insert(expected.end(), more.begin(), more.end());
    EXPECT_EQ(rig.Render("Main", 256), expected);

    rig.Stream("Phones").Skip(256);
    EXPECT_EQ(main->Stream()->Underruns(), 3u);
    EXPECT_EQ(phones->Stream()->Underruns(), 1u);
    EXPECT_EQ(rig.system->Underruns(), 4u);
    // A stream that failed and was reopened keeps its count.
    rig.Stream("Main").SimulateFailure();
    rig.system->MaintainStreams(kT0);
    ASSERT_FALSE(main->Failed());
    rig.Stream("Main").Skip(256);
    EXPECT_EQ(main->Stream()->Underruns(), 4u);
    EXPECT_EQ(rig.system->Underruns(), 5u);
    // Closed streams still count in the total.
    phonesBuffer.reset();
    phones.reset();
    EXPECT_EQ(rig.system->Streams().size(), 1u);
    EXPECT_EQ(rig.system->Underruns(), 5u);
}

TEST(StreamRecovery, RefusedRealtimeSchedulingIsSaidOncePerProcess) {
    const bool saidBefore = SoundSystem::RealtimeRefusalReported();
    // A sound system whose stream was granted it, then two whose streams were refused it.
    const std::string said = CaptureStderr([] {
        for (const RealtimeScheduling scheduling :
             {RealtimeScheduling::Granted, RealtimeScheduling::Refused, RealtimeScheduling::Refused}) {
            SoundRig rig;
            rig.backend->SetRealtimeScheduling(scheduling);
            auto device = rig.Open("Desk");
            auto buffer = SoundRig::Buffer(*device, fixtures::Ramp(256, 2));
            EXPECT_EQ(device->Stream()->Realtime(), scheduling);
            rig.system->MaintainStreams(kT0);
            rig.system->MaintainStreams(kT0 + 1s);
        }
    });
    size_t times = 0;
    for (size_t at = said.find(SoundSystem::kRealtimeRefusedMessage); at != std::string::npos;
         at = said.find(SoundSystem::kRealtimeRefusedMessage, at + 1))
        ++times;
    EXPECT_EQ(times, saidBefore ? 0u : 1u) << said;
    EXPECT_TRUE(SoundSystem::RealtimeRefusalReported());
}

TEST(PortAudioBackend, ListsWellFormedDevicesWithoutAlsaMessagesAndRefusesUnknownOnes) {
    const std::string errors = CaptureStderr([&] {
        PortAudioBackend backend;
        EXPECT_TRUE(backend.IsInitialized());
        EXPECT_EQ(backend.Name(), "PortAudio");
        const std::vector<BackendDevice> devices = backend.Devices();
        for (const BackendDevice& device : devices) {
            EXPECT_FALSE(device.description.empty());
            EXPECT_GE(device.maxOutputChannels, 2) << device.description;
            EXPECT_EQ(
                std::count_if(devices.begin(), devices.end(), [&](auto& d) { return d.id == device.id; }), 1)
                << device.description;
        }
        SilentTarget target;
        DeviceId unknown{};
        unknown.fill(0x5A);
        EXPECT_FALSE(backend.IsFormatSupported(&unknown, 2, 44100));
        EXPECT_EQ(backend.OpenStream(&unknown, 2, target), nullptr);
        // Without any device (a server, a container) there is no default
        // device either: it is refused, not dereferenced.
        if (devices.empty()) {
            EXPECT_FALSE(backend.IsFormatSupported(nullptr, 2, 44100));
            EXPECT_EQ(backend.OpenStream(nullptr, 2, target), nullptr);
        }
    });
    // ALSA's own messages all start so; without a sound card it prints dozens
    // while PortAudio probes. (JACK's client library may still speak up.)
    std::istringstream lines(errors);
    for (std::string line; std::getline(lines, line);) EXPECT_NE(line.rfind("ALSA lib", 0), 0u) << line;
}

// Settings keep device ids: they must not change from build to build.
TEST(PortAudioBackend, IdsAreStableAndDistinct) {
    const DeviceId expected{0x1B, 0xE5, 0x12, 0x14, 0x3B, 0x15, 0xE9, 0x06,
                            0xDC, 0x7B, 0x15, 0xA8, 0xEB, 0xAA, 0xC6, 0x9F};
    EXPECT_EQ(PortAudioBackend::MakeDeviceId("ALSA", "default", 0), expected);
    EXPECT_NE(PortAudioBackend::MakeDeviceId("ALSA", "default", 1), expected);
    EXPECT_NE(PortAudioBackend::MakeDeviceId("JACK Audio Connection Kit", "default", 0), expected);
    EXPECT_NE(PortAudioBackend::MakeDeviceId("AL", "SAdefault", 0), expected);
}
