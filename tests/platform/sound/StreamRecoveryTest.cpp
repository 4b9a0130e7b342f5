// Streams that keep playing: a device unplugged and plugged back, a device
// back at another rate, a split half that needs more channels, a new latency,
// and what the streams report (underruns, real-time scheduling).
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/sound/DeviceStream.h"
#include "support/AudioFixtures.h"
#include "support/SoundRig.h"

using namespace sound_tests;
using namespace std::chrono_literals;

namespace {

// A fixed point in time to count the reopening interval from.
const std::chrono::steady_clock::time_point kT0{std::chrono::hours(1)};

std::vector<int16_t> Scaled(const std::vector<int16_t>& samples, size_t from, size_t count, double gain) {
    std::vector<int16_t> out;
    for (size_t i = from; i < from + count; ++i)
        out.push_back(static_cast<int16_t>(std::lround(samples[i] * gain)));
    return out;
}

void ExpectNear(const std::vector<int16_t>& heard, const std::vector<int16_t>& expected) {
    ASSERT_EQ(heard.size(), expected.size());
    for (size_t i = 0; i < heard.size(); ++i) ASSERT_NEAR(heard[i], expected[i], 1) << "sample " << i;
}

size_t Occurrences(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

}  // namespace

TEST(StreamRecovery, AnUnpluggedDeviceIsReopenedWhenItReturnsAndPlaysOnWhereItStopped) {
    SoundRig rig;
    auto device = rig.Open("Desk");
    const auto ramp = fixtures::Ramp(20'000, 2);
    auto buffer = SoundRig::Buffer(*device, ramp);
    const double gain = std::pow(10.0, -600.0 / 2000.0);
    ASSERT_EQ(buffer->SetVolume(-600), kOk);
    platform::Event passed(platform::Event::Reset::Manual, false);
    ASSERT_EQ(buffer->SetNotificationPositions(std::vector<PositionNotify>{{5000 * 4, &passed}}), kOk);
    ASSERT_EQ(buffer->Play(false), kOk);
    DeviceStream& stream = *device->Stream();

    rig.Stream("Desk").Step(2048);
    ExpectNear(rig.Stream("Desk").TakeCapture(), Scaled(ramp, 0, 2048 * 2, gain));

    rig.backend->SetDevicePresent("Desk", false);
    EXPECT_TRUE(device->Failed());
    EXPECT_TRUE(stream.Failed());
    rig.Stream("Desk").Step(1024);
    EXPECT_TRUE(rig.Stream("Desk").TakeCapture().empty()) << "an unplugged device plays nothing";

    // While the device is away, reopening is refused.
    rig.system->MaintainStreams(kT0);
    EXPECT_TRUE(stream.Failed());
    EXPECT_EQ(stream.Recoveries(), 0);
    SilentTarget target;
    const DeviceId id = OfflineBackend::IdOf("Desk");
    EXPECT_EQ(rig.backend->OpenStream(&id, 2, target), nullptr);

    // Back again: reopened on the next attempt, two seconds after the last.
    rig.backend->SetDevicePresent("Desk", true);
    rig.system->MaintainStreams(kT0 + 1s);
    EXPECT_TRUE(stream.Failed()) << "attempts come at most every two seconds";
    rig.system->MaintainStreams(kT0 + 2s);
    ASSERT_FALSE(stream.Failed());
    EXPECT_FALSE(device->Failed());
    EXPECT_EQ(stream.Recoveries(), 1);
    EXPECT_EQ(rig.system->Recoveries(), 1);
    EXPECT_EQ(device->Stream(), &stream) << "the same device stream, with its mixer";

    // The buffer goes on where it was, at its volume, and still notifies.
    EXPECT_FALSE(passed.IsSet());
    rig.Stream("Desk").Step(4096);
    ExpectNear(rig.Stream("Desk").TakeCapture(), Scaled(ramp, 2048 * 2, 4096 * 2, gain));
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

    rig.Stream("Desk").Step(32'768);
    const auto heard = rig.Stream("Desk").TakeCapture();
    EXPECT_NEAR(fixtures::DominantFrequency(heard.data(), 32'768, 2, 0, 48'000), 1000.0, 1.0)
        << "the buffer keeps its pitch on a device at another rate";
}

TEST(StreamRecovery, AStreamOpenedWholeGetsFourChannelsWhenASplitHalfJoins) {
    SoundRig rig({{"Quad", 4}});
    auto whole = rig.Open("Quad", 2);
    const auto a = fixtures::Ramp(4096, 2, 100);
    const auto b = fixtures::Ramp(4096, 2, 20'000);
    auto front = SoundRig::Buffer(*whole, a);
    ASSERT_EQ(front->Play(false), kOk);
    EXPECT_EQ(rig.Stream("Quad").Channels(), 2);
    rig.Stream("Quad").Step(1024);
    EXPECT_EQ(rig.Stream("Quad").TakeCapture(), std::vector<int16_t>(a.begin(), a.begin() + 1024 * 2));

    auto half = rig.Open("Quad", 4);
    WaveFormat rearFormat = WaveFormat::Pcm(2, 44'100);
    rearFormat.formatTag = kFormatExtensible;
    rearFormat.channelMask = kSpeakerBackLeft | kSpeakerBackRight;
    auto rear = SoundRig::Buffer(*half, b, rearFormat);
    EXPECT_EQ(half->Stream(), whole->Stream()) << "one physical stream";
    ASSERT_EQ(rig.Stream("Quad").Channels(), 4);
    ASSERT_EQ(rear->Play(false), kOk);
    rig.Stream("Quad").Step(1024);
    const auto out = rig.Stream("Quad").TakeCapture();
    ASSERT_EQ(out.size(), 1024u * 4);
    for (size_t f = 0; f < 1024; ++f) {
        ASSERT_EQ(out[4 * f], a[2 * (1024 + f)]) << "the front buffer plays on where it was";
        ASSERT_EQ(out[4 * f + 1], a[2 * (1024 + f) + 1]);
        ASSERT_EQ(out[4 * f + 2], b[2 * f]);
        ASSERT_EQ(out[4 * f + 3], b[2 * f + 1]);
    }
}

TEST(StreamRecovery, TheUsersLatencyAppliesToNewStreamsAndToReopenedOnes) {
    SoundRig rig;
    EXPECT_EQ(rig.system->OutputLatency(), 20);
    rig.system->SetOutputLatency(2);
    EXPECT_EQ(rig.system->OutputLatency(), 5);
    rig.system->SetOutputLatency(250);
    EXPECT_EQ(rig.system->OutputLatency(), 100);
    rig.system->SetOutputLatency(20);

    auto device = rig.Open("Desk");
    const auto ramp = fixtures::Ramp(8192, 2);
    auto buffer = SoundRig::Buffer(*device, ramp);
    ASSERT_EQ(buffer->Play(false), kOk);
    EXPECT_DOUBLE_EQ(device->Stream()->OutputLatency(), 0.020);
    rig.Stream("Desk").Step(1024);
    EXPECT_EQ(rig.Stream("Desk").TakeCapture(), std::vector<int16_t>(ramp.begin(), ramp.begin() + 1024 * 2));

    rig.system->SetOutputLatency(50);
    EXPECT_DOUBLE_EQ(device->Stream()->OutputLatency(), 0.020) << "open streams keep theirs until reopened";
    EXPECT_EQ(rig.system->ReopenStreams(), 1);
    EXPECT_DOUBLE_EQ(device->Stream()->OutputLatency(), 0.050);
    EXPECT_DOUBLE_EQ(rig.Stream("Desk").OutputLatency(), 0.050);
    EXPECT_EQ(device->Stream()->Recoveries(), 0) << "a reopening asked for is no recovery";

    rig.Stream("Desk").Step(1024);
    const auto heard = rig.Stream("Desk").TakeCapture();
    EXPECT_EQ(heard, std::vector<int16_t>(ramp.begin() + 1024 * 2, ramp.begin() + 2048 * 2))
        << "the reopened stream plays on without a gap or a repeat";
}

TEST(StreamRecovery, UnderrunsAreCountedPerStreamAndInTotalWithClosedStreams) {
    SoundRig rig({{"Main", 2}, {"Phones", 2}});
    auto main = rig.Open("Main");
    auto phones = rig.Open("Phones");
    auto mainBuffer = SoundRig::Buffer(*main, fixtures::Ramp(4096, 2));
    auto phonesBuffer = SoundRig::Buffer(*phones, fixtures::Ramp(4096, 2));
    ASSERT_EQ(mainBuffer->Play(true), kOk);

    rig.Stream("Main").Step(512);
    rig.Stream("Main").Skip(3 * 256);
    rig.Stream("Main").Step(256);
    EXPECT_EQ(rig.Stream("Main").Underruns(), 3u);
    const auto heard = rig.Stream("Main").TakeCapture();
    ASSERT_EQ(heard.size(), (512u + 768u + 256u) * 2);
    EXPECT_TRUE(std::all_of(heard.begin() + 512 * 2, heard.begin() + 1280 * 2, [](int16_t s) {
        return s == 0;
    })) << "a device that ran dry played silence";
    EXPECT_EQ(heard[1280 * 2], fixtures::Ramp(4096, 2)[512 * 2]) << "and the mix went on where it was";

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
    const std::string sentence = SoundSystem::kRealtimeRefusedMessage;
    std::string said = CaptureStderr([] {
        SoundRig granted;
        granted.backend->SetRealtimeScheduling(RealtimeScheduling::Granted);
        auto device = granted.Open("Desk");
        auto buffer = SoundRig::Buffer(*device, fixtures::Ramp(256, 2));
        EXPECT_EQ(device->Stream()->Realtime(), RealtimeScheduling::Granted);
        granted.system->MaintainStreams(kT0);
    });
    EXPECT_EQ(Occurrences(said, sentence), 0u);
    EXPECT_EQ(SoundSystem::RealtimeRefusalReported(), saidBefore);

    said = CaptureStderr([] {
        for (int system = 0; system < 2; ++system) {
            SoundRig refused;
            refused.backend->SetRealtimeScheduling(RealtimeScheduling::Refused);
            auto device = refused.Open("Desk");
            auto buffer = SoundRig::Buffer(*device, fixtures::Ramp(256, 2));
            EXPECT_EQ(device->Stream()->Realtime(), RealtimeScheduling::Refused);
            refused.system->MaintainStreams(kT0);
            refused.system->MaintainStreams(kT0 + 1s);
        }
    });
    EXPECT_EQ(Occurrences(said, sentence), saidBefore ? 0u : 1u) << said;
    EXPECT_TRUE(SoundSystem::RealtimeRefusalReported());
}
