#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "devices/DeviceTestEnvironment.h"
#include "platform/sound/PortAudioBackend.h"

using namespace platform::sound;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;

// Sample of channel c in frame f: runs through every 16-bit value, -32768 and
// 32767 included, differently in each channel, and is never 0 in frame 0, so
// that the start is found in the capture.
int16_t RampSample(int64_t frame, int channel) {
    return static_cast<int16_t>((frame * 37 + channel * 8191) % 65536 - 32768);
}

// Renders `rampFrames` frames of the ramp (as floats that turn back into the
// exact 16-bit values), then silence. With `stallAt`, that render call does not
// return until released or 10 s have passed: a stand-in for a device that
// stops asking.
class RampTarget final : public RenderTarget {
public:
    explicit RampTarget(int64_t rampFrames, int stallAt = -1) : rampFrames_(rampFrames), stallAt_(stallAt) {}

    void Render(float* out, int frames, int channels) noexcept override {
        int64_t position = rendered_.load();
        for (int f = 0; f < frames; ++f, ++position)
            for (int c = 0; c < channels; ++c)
                *out++ = position < rampFrames_ ? RampSample(position, c) / 32768.0f : 0.0f;
        rendered_.store(position);
        if (calls_++ == stallAt_) {
            stalling = true;
            const auto until = Clock::now() + std::chrono::seconds(10);
            while (!release && Clock::now() < until) {  // busy: no cancellation point in here
            }
            stalling = false;
        }
    }
    int64_t Rendered() const { return rendered_.load(); }

    std::atomic<bool> stalling{false};
    std::atomic<bool> release{false};

private:
    const int64_t rampFrames_;
    const int stallAt_;
    std::atomic<int64_t> rendered_{0};
    std::atomic<int> calls_{0};
};

std::optional<BackendDevice> FindDevice(PortAudioBackend& backend, const std::string& name) {
    for (const BackendDevice& device : backend.Devices())
        if (device.description == name) return device;
    return std::nullopt;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!done() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

// Plays the ramp on the named file device with `channels` channels and checks
// that the capture holds it bit for bit, after nothing but a little silence
// and followed by nothing but silence.
void PlayRampAndCompare(const std::string& deviceName, const std::string& capturePath, int channels) {
    SCOPED_TRACE(deviceName);
    PortAudioBackend backend;
    const std::optional<BackendDevice> device = FindDevice(backend, deviceName);
    ASSERT_TRUE(device.has_value()) << deviceName << " is not listed";
    constexpr int64_t kRampFrames = 3 * kRate + 123;
    RampTarget target(kRampFrames);
    std::unique_ptr<AudioStream> stream = backend.OpenStream(&device->id, channels, target);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->Channels(), channels);
    EXPECT_EQ(stream->SampleRate(), kRate);

    ASSERT_TRUE(stream->Start());
    // Past the ramp by a few callbacks, so that all of it has been handed on.
    const int64_t past = kRampFrames + 4 * PortAudioBackend::kFramesPerBuffer;
    ASSERT_TRUE(WaitFor([&] { return target.Rendered() >= past; }, std::chrono::seconds(30)));
    stream->Stop();
    EXPECT_FALSE(stream->IsRunning());
    EXPECT_FALSE(stream->Failed());
    const int64_t rendered = target.Rendered();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(target.Rendered(), rendered) << "rendering went on after Stop";
    const auto stats = dynamic_cast<PortAudioStream&>(*stream).Stats();
    EXPECT_EQ(stats.minFrames, static_cast<unsigned long>(PortAudioBackend::kFramesPerBuffer));
    EXPECT_EQ(stats.maxFrames, static_cast<unsigned long>(PortAudioBackend::kFramesPerBuffer));
    stream.reset();  // closes the device, which completes the file

    std::ifstream in(capturePath, std::ios::binary | std::ios::ate);
    std::vector<int16_t> samples(static_cast<size_t>(in.tellg()) / 2);
    in.seekg(0).read(reinterpret_cast<char*>(samples.data()), std::streamsize(samples.size() * 2));
    const auto start = std::find_if(samples.begin(), samples.end(), [](int16_t s) { return s != 0; });
    const auto startSample = static_cast<size_t>(start - samples.begin());
    ASSERT_NE(start, samples.end()) << "nothing but silence captured";
    ASSERT_EQ(startSample % channels, 0u) << "the ramp starts inside a frame";
    // PortAudio primes about 512 frames of silence; more may precede the ramp, but not much more.
    EXPECT_LE(startSample / channels, 8192u);
    std::vector<int16_t> expected;
    for (int64_t f = 0; f < kRampFrames; ++f)
        for (int c = 0; c < channels; ++c) expected.push_back(RampSample(f, c));
    ASSERT_GE(samples.size() - startSample, expected.size()) << "the ramp is cut short";
    const auto same = std::mismatch(expected.begin(), expected.end(), start).first - expected.begin();
    EXPECT_EQ(same, std::ssize(expected)) << "the ramp differs from sample " << same << " on";
    EXPECT_TRUE(std::all_of(start + expected.size(), samples.end(), [](int16_t s) { return s == 0; }))
        << "sound after the ramp";
}

TEST(PortAudioBackendDevices, ListsBothFileDevicesWithUniqueStableIds) {
    const auto listed = [](PortAudioBackend& backend) {
        std::vector<std::pair<std::string, DeviceId>> result;
        for (const BackendDevice& device : backend.Devices())
            result.emplace_back(device.description, device.id);
        return result;
    };
    std::vector<std::pair<std::string, DeviceId>> devices;
    {
        PortAudioBackend first;
        const std::optional<BackendDevice> stereo = FindDevice(first, "filestereo");
        const std::optional<BackendDevice> quad = FindDevice(first, "filequad");
        ASSERT_TRUE(stereo.has_value());
        ASSERT_TRUE(quad.has_value());
        EXPECT_GE(stereo->maxOutputChannels, 2);
        EXPECT_GE(quad->maxOutputChannels, 4);
        EXPECT_EQ(stereo->id, PortAudioBackend::MakeDeviceId("ALSA", "filestereo", 0));
        devices = listed(first);
        for (const auto& [name, id] : devices)
            EXPECT_EQ(std::count_if(devices.begin(), devices.end(), [&](auto& d) { return d.second == id; }),
                      1) << name;
        // A second backend, alive at the same time, lists the same devices with
        // the same ids, and its end does not end PortAudio for the first.
        EXPECT_EQ(listed(*std::make_unique<PortAudioBackend>()), devices);
        EXPECT_EQ(listed(first), devices);
    }
    PortAudioBackend afterwards;  // PortAudio was terminated in between
    EXPECT_EQ(listed(afterwards), devices);
}

TEST(PortAudioBackendDevices, FormatSupportAndRefusals) {
    PortAudioBackend backend;
    const std::optional<BackendDevice> quad = FindDevice(backend, "filequad");
    ASSERT_TRUE(quad.has_value());
    EXPECT_TRUE(backend.IsFormatSupported(&quad->id, 4, 44100));
    EXPECT_TRUE(backend.IsFormatSupported(&quad->id, 2, 44100));
    EXPECT_TRUE(backend.IsFormatSupported(nullptr, 2, 44100)) << "the default device, filestereo";
    // More channels than the device has, nonsense, and an unknown device are refused.
    DeviceId unknown{};
    unknown.fill(0xA5);
    EXPECT_FALSE(backend.IsFormatSupported(&quad->id, quad->maxOutputChannels + 1, 44100));
    EXPECT_FALSE(backend.IsFormatSupported(&quad->id, 0, 44100));
    EXPECT_FALSE(backend.IsFormatSupported(&quad->id, 2, 0));
    EXPECT_FALSE(backend.IsFormatSupported(&unknown, 2, 44100));
    RampTarget target(0);
    EXPECT_EQ(backend.OpenStream(&unknown, 2, target), nullptr);
    EXPECT_EQ(backend.OpenStream(&quad->id, quad->maxOutputChannels + 1, target), nullptr);
    EXPECT_EQ(backend.OpenStream(&quad->id, 0, target), nullptr);
    EXPECT_EQ(target.Rendered(), 0);
}

TEST(PortAudioBackendDevices, RampIsCapturedBitExactInStereoAndFourChannels) {
    PlayRampAndCompare("filestereo", device_tests::StereoCapturePath(), 2);
    PlayRampAndCompare("filequad", device_tests::QuadCapturePath(), 4);
}

TEST(PortAudioBackendDevices, StreamWithoutCallbacksFailsAndStopsPromptly) {
    RampTarget target(0, 10);
    // On the default device, from a backend that is gone already: a stream
    // keeps PortAudio alive on its own.
    std::unique_ptr<AudioStream> stream = PortAudioBackend().OpenStream(nullptr, 2, target);
    ASSERT_NE(stream, nullptr);
    ASSERT_TRUE(stream->Start());
    ASSERT_TRUE(WaitFor([&] { return target.stalling.load(); }, std::chrono::seconds(10)));
    EXPECT_FALSE(stream->Failed());
    const auto stallSeen = Clock::now();
    const bool failed = WaitFor([&] { return stream->Failed(); }, std::chrono::seconds(5));
    const auto failedAt = Clock::now();
    target.release = true;
    ASSERT_TRUE(failed);
    EXPECT_GE(failedAt - stallSeen, std::chrono::milliseconds(900)) << "failed before the timeout";
    const auto stopAt = Clock::now();
    stream->Stop();
    EXPECT_LT(Clock::now() - stopAt, std::chrono::seconds(1));
    EXPECT_FALSE(stream->IsRunning());
    EXPECT_TRUE(stream->Failed());
    EXPECT_FALSE(stream->Start()) << "a failed stream stays idle";
}

}  // namespace
