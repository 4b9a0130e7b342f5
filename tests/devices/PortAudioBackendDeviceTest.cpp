#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "devices/DeviceTestEnvironment.h"
#include "platform/sound/PortAudioBackend.h"

using platform::sound::AudioStream;
using platform::sound::BackendDevice;
using platform::sound::DeviceId;
using platform::sound::PortAudioBackend;
using platform::sound::PortAudioStream;
using platform::sound::RenderTarget;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;
// More than PortAudio's priming of about 512 frames of silence may precede
// the first rendered frame, but not much more.
constexpr size_t kMaxLeadingSilenceFrames = 8192;

// Sample s of channel c in frame f: runs through every 16-bit value,
// -32768 and 32767 included, differently in each channel, and is never 0 in
// frame 0, so that the start is found in the capture.
int16_t RampSample(int64_t frame, int channel) {
    const int64_t v = (frame * 37 + channel * 8191) % 65536;
    return static_cast<int16_t>(v - 32768);
}

// Renders kFrames frames of the ramp (as floats that FloatToInt16 turns back
// into the exact 16-bit values), then silence. Counts what it rendered.
class RampTarget final : public RenderTarget {
public:
    explicit RampTarget(int64_t frames) : rampFrames_(frames) {}

    void Render(float* out, int frames, int channels) noexcept override {
        int64_t position = rendered_.load(std::memory_order_relaxed);
        for (int f = 0; f < frames; ++f, ++position) {
            for (int c = 0; c < channels; ++c) {
                *out++ = position < rampFrames_ ? RampSample(position, c) / 32768.0f : 0.0f;
            }
        }
        calls_.fetch_add(1, std::memory_order_relaxed);
        if (frames > maxFrames_.load(std::memory_order_relaxed)) maxFrames_.store(frames, std::memory_order_relaxed);
        rendered_.store(position, std::memory_order_release);
    }

    int64_t Rendered() const { return rendered_.load(std::memory_order_acquire); }
    int64_t Calls() const { return calls_.load(std::memory_order_relaxed); }
    int MaxFrames() const { return maxFrames_.load(std::memory_order_relaxed); }

private:
    const int64_t rampFrames_;
    std::atomic<int64_t> rendered_{0};
    std::atomic<int64_t> calls_{0};
    std::atomic<int> maxFrames_{0};
};

std::optional<BackendDevice> FindDevice(PortAudioBackend& backend, const std::string& name) {
    for (const BackendDevice& device : backend.Devices()) {
        if (device.description == name) return device;
    }
    return std::nullopt;
}

std::vector<int16_t> ReadSamples(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / sizeof(int16_t));
    std::copy(bytes.begin(), bytes.begin() + samples.size() * sizeof(int16_t), reinterpret_cast<char*>(samples.data()));
    return samples;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Plays `frames` frames of the ramp on the named file device with `channels`
// channels and checks that the capture holds them bit for bit, after nothing
// but silence.
void PlayRampAndCompare(const std::string& deviceName, const std::string& capturePath, int channels) {
    PortAudioBackend backend;
    const std::optional<BackendDevice> device = FindDevice(backend, deviceName);
    ASSERT_TRUE(device.has_value()) << deviceName << " is not listed";

    constexpr int64_t kRampFrames = 3 * kRate + 123;
    RampTarget target(kRampFrames);
    std::unique_ptr<AudioStream> stream = backend.OpenStream(&device->id, channels, target);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->Channels(), channels);
    EXPECT_EQ(stream->SampleRate(), kRate);
    EXPECT_FALSE(stream->IsRunning());
    EXPECT_FALSE(stream->Failed());

    ASSERT_TRUE(stream->Start());
    EXPECT_TRUE(stream->IsRunning());
    // Past the ramp by a few callbacks, so that all of it has been handed on.
    ASSERT_TRUE(WaitFor([&] { return target.Rendered() >= kRampFrames + 4 * PortAudioBackend::kFramesPerBuffer; },
                        std::chrono::seconds(30)));
    EXPECT_TRUE(stream->IsRunning());
    EXPECT_FALSE(stream->Failed());
    stream->Stop();
    EXPECT_FALSE(stream->IsRunning());
    EXPECT_FALSE(stream->Failed());

    const auto stats = dynamic_cast<PortAudioStream&>(*stream).Stats();
    EXPECT_GT(stats.callbacks, 0u);
    EXPECT_EQ(stats.minFrames, static_cast<unsigned long>(PortAudioBackend::kFramesPerBuffer));
    EXPECT_EQ(stats.maxFrames, static_cast<unsigned long>(PortAudioBackend::kFramesPerBuffer));
    EXPECT_EQ(target.MaxFrames(), PortAudioBackend::kFramesPerBuffer);
    const int64_t renderedFrames = target.Rendered();
    stream.reset();  // closes the device, which completes the file

    const std::vector<int16_t> samples = ReadSamples(capturePath);
    ASSERT_EQ(samples.size() % channels, 0u);
    const size_t frames = samples.size() / channels;
    size_t start = 0;
    while (start < samples.size() && samples[start] == 0) ++start;
    ASSERT_LT(start, samples.size()) << "nothing but silence captured";
    ASSERT_EQ(start % channels, 0u) << "the ramp starts inside a frame";
    const size_t startFrame = start / channels;
    EXPECT_LE(startFrame, kMaxLeadingSilenceFrames);
    std::printf("[ %s ] %zu frames of silence before the ramp; %zu frames captured, %lld rendered, %llu callbacks\n",
                deviceName.c_str(), startFrame, frames, static_cast<long long>(renderedFrames),
                static_cast<unsigned long long>(stats.callbacks));
    ASSERT_GE(frames - startFrame, static_cast<size_t>(kRampFrames)) << "the ramp is cut short";

    int64_t mismatches = 0;
    for (int64_t f = 0; f < kRampFrames; ++f) {
        for (int c = 0; c < channels; ++c) {
            const int16_t got = samples[(startFrame + f) * channels + c];
            if (got != RampSample(f, c) && ++mismatches <= 5) {
                ADD_FAILURE() << "frame " << f << " channel " << c << ": " << got << " instead of " << RampSample(f, c);
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    // What followed the ramp is the silence rendered after it.
    for (size_t i = (startFrame + kRampFrames) * channels; i < samples.size(); ++i) {
        if (samples[i] != 0) {
            ADD_FAILURE() << "sound after the ramp at sample " << i;
            break;
        }
    }
}

TEST(PortAudioBackendDevices, ListsBothFileDevicesWithStableIds) {
    PortAudioBackend first;
    ASSERT_TRUE(first.IsInitialized());
    EXPECT_EQ(first.Name(), "PortAudio");
    const std::vector<BackendDevice> devices = first.Devices();
    const std::optional<BackendDevice> stereo = FindDevice(first, "filestereo");
    const std::optional<BackendDevice> quad = FindDevice(first, "filequad");
    ASSERT_TRUE(stereo.has_value());
    ASSERT_TRUE(quad.has_value());
    EXPECT_GE(stereo->maxOutputChannels, 2);
    EXPECT_GE(quad->maxOutputChannels, 4);
    EXPECT_NE(stereo->id, quad->id);
    EXPECT_EQ(stereo->id, PortAudioBackend::MakeDeviceId("ALSA", "filestereo", 0));
    // In PortAudio's order: the configuration's order.
    const auto stereoAt = std::find_if(devices.begin(), devices.end(), [](auto& d) { return d.description == "filestereo"; });
    const auto quadAt = std::find_if(devices.begin(), devices.end(), [](auto& d) { return d.description == "filequad"; });
    EXPECT_LT(stereoAt, quadAt);
    for (const BackendDevice& device : devices) {
        EXPECT_GE(device.maxOutputChannels, 2) << device.description;
        EXPECT_EQ(std::count_if(devices.begin(), devices.end(), [&](auto& d) { return d.id == device.id; }), 1)
            << device.description;
    }

    // A second backend, alive at the same time, lists the same devices with
    // the same ids; so does one made after both are gone.
    {
        PortAudioBackend second;
        const std::vector<BackendDevice> again = second.Devices();
        ASSERT_EQ(again.size(), devices.size());
        for (size_t i = 0; i < devices.size(); ++i) {
            EXPECT_EQ(again[i].description, devices[i].description);
            EXPECT_EQ(again[i].id, devices[i].id);
            EXPECT_EQ(again[i].maxOutputChannels, devices[i].maxOutputChannels);
        }
    }
    // The second backend's end did not end PortAudio for the first.
    EXPECT_EQ(first.Devices().size(), devices.size());
}

TEST(PortAudioBackendDevices, IdsSurviveReinitialization) {
    std::vector<BackendDevice> before;
    {
        PortAudioBackend backend;
        before = backend.Devices();
    }
    PortAudioBackend backend;  // PortAudio was terminated in between
    const std::vector<BackendDevice> after = backend.Devices();
    ASSERT_EQ(after.size(), before.size());
    ASSERT_FALSE(after.empty());
    for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i].id, before[i].id);
}

TEST(PortAudioBackendDevices, FormatSupport) {
    PortAudioBackend backend;
    const std::optional<BackendDevice> quad = FindDevice(backend, "filequad");
    ASSERT_TRUE(quad.has_value());
    EXPECT_TRUE(backend.IsFormatSupported(&quad->id, 4, 44100));
    EXPECT_TRUE(backend.IsFormatSupported(&quad->id, 2, 44100));
    // More channels than the device has, and nonsense, are refused.
    EXPECT_FALSE(backend.IsFormatSupported(&quad->id, quad->maxOutputChannels + 1, 44100));
    EXPECT_FALSE(backend.IsFormatSupported(&quad->id, 0, 44100));
    EXPECT_FALSE(backend.IsFormatSupported(&quad->id, 2, 0));
    // The default device ("filestereo" here).
    EXPECT_TRUE(backend.IsFormatSupported(nullptr, 2, 44100));
    DeviceId unknown{};
    unknown.fill(0xA5);
    EXPECT_FALSE(backend.IsFormatSupported(&unknown, 2, 44100));
}

TEST(PortAudioBackendDevices, UnknownIdOpensNothing) {
    PortAudioBackend backend;
    RampTarget target(0);
    DeviceId unknown{};
    unknown.fill(0xA5);
    EXPECT_EQ(backend.OpenStream(&unknown, 2, target), nullptr);
    const std::optional<BackendDevice> stereo = FindDevice(backend, "filestereo");
    ASSERT_TRUE(stereo.has_value());
    EXPECT_EQ(backend.OpenStream(&stereo->id, stereo->maxOutputChannels + 1, target), nullptr);
    EXPECT_EQ(backend.OpenStream(&stereo->id, 0, target), nullptr);
    EXPECT_EQ(target.Calls(), 0);
}

TEST(PortAudioBackendDevices, StereoRampIsCapturedBitExact) {
    PlayRampAndCompare("filestereo", device_tests::StereoCapturePath(), 2);
}

TEST(PortAudioBackendDevices, QuadRampIsCapturedBitExact) {
    PlayRampAndCompare("filequad", device_tests::QuadCapturePath(), 4);
}

TEST(PortAudioBackendDevices, DefaultDeviceOpensAndStreamRestarts) {
    PortAudioBackend backend;
    RampTarget target(0);
    std::unique_ptr<AudioStream> stream = backend.OpenStream(nullptr, 2, target);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->SampleRate(), kRate);
    for (int round = 0; round < 3; ++round) {
        const int64_t before = target.Rendered();
        ASSERT_TRUE(stream->Start());
        ASSERT_TRUE(WaitFor([&] { return target.Rendered() >= before + kRate / 10; }, std::chrono::seconds(10)));
        stream->Stop();
        EXPECT_FALSE(stream->IsRunning());
        EXPECT_FALSE(stream->Failed());
        // Stopped means no render call any more.
        const int64_t calls = target.Calls();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(target.Calls(), calls);
    }
}

TEST(PortAudioBackendDevices, StreamOutlivesItsBackend) {
    RampTarget target(0);
    std::unique_ptr<AudioStream> stream;
    {
        PortAudioBackend backend;
        const std::optional<BackendDevice> stereo = FindDevice(backend, "filestereo");
        ASSERT_TRUE(stereo.has_value());
        stream = backend.OpenStream(&stereo->id, 2, target);
        ASSERT_NE(stream, nullptr);
    }
    ASSERT_TRUE(stream->Start());
    EXPECT_TRUE(WaitFor([&] { return target.Rendered() >= kRate / 10; }, std::chrono::seconds(10)));
    EXPECT_FALSE(stream->Failed());
    stream.reset();  // closes it while it runs
}

// A render call that does not return for longer than the timeout (a stand-in
// for a device that stops asking): the stream counts as failed, Stop returns
// promptly, and the stream stays idle.
class StallingTarget final : public RenderTarget {
public:
    void Render(float* out, int frames, int channels) noexcept override {
        std::fill(out, out + static_cast<size_t>(frames) * channels, 0.0f);
        if (calls_.fetch_add(1) == 10) {
            stalling_.store(true);
            // Busy until released (or 10 s have passed): no cancellation point in here.
            const auto until = Clock::now() + std::chrono::seconds(10);
            while (Clock::now() < until && !release_.load()) {
            }
            stalling_.store(false);
        }
    }
    std::atomic<int> calls_{0};
    std::atomic<bool> stalling_{false};
    std::atomic<bool> release_{false};
};

TEST(PortAudioBackendDevices, StreamWithoutCallbacksCountsAsFailed) {
    PortAudioBackend backend;
    StallingTarget target;
    std::unique_ptr<AudioStream> stream = backend.OpenStream(nullptr, 2, target);
    ASSERT_NE(stream, nullptr);
    ASSERT_TRUE(stream->Start());
    ASSERT_TRUE(WaitFor([&] { return target.stalling_.load(); }, std::chrono::seconds(10)));
    EXPECT_FALSE(stream->Failed());
    const auto stallSeen = Clock::now();
    const bool failed = WaitFor([&] { return stream->Failed(); }, std::chrono::seconds(5));
    const auto failedAt = Clock::now();
    target.release_.store(true);
    ASSERT_TRUE(failed);
    EXPECT_GE(failedAt - stallSeen, std::chrono::milliseconds(900));
    const auto stopAt = Clock::now();
    stream->Stop();
    EXPECT_LT(Clock::now() - stopAt, std::chrono::seconds(1));
    EXPECT_FALSE(stream->IsRunning());
    EXPECT_TRUE(stream->Failed());
    // A failed stream stays idle.
    EXPECT_FALSE(stream->Start());
    EXPECT_FALSE(stream->IsRunning());
}

}  // namespace
