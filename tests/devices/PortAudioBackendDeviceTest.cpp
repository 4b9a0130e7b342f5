#include <gtest/gtest.h>

#include <linux/capability.h>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

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
            stallStartNs = Clock::now().time_since_epoch().count();
            stalling = true;
            const auto until = Clock::now() + std::chrono::seconds(10);
            while (!release && Clock::now() < until) {  // busy: no cancellation point in here
            }
            stalling = false;
        }
    }
    int64_t Rendered() const { return rendered_.load(); }

    std::atomic<bool> stalling{false};
    std::atomic<Clock::rep> stallStartNs{0};  // steady clock, when the stall began
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

// Whether a new thread started from this one may switch itself to SCHED_FIFO.
bool FifoAllowed() {
    bool allowed = false;
    std::thread([&] {
        sched_param param{};
        param.sched_priority = 1;
        allowed = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
    }).join();
    return allowed;
}

// Takes CAP_SYS_NICE out of the calling thread's effective capabilities (the
// kernel keeps them per thread), so that it and the threads it starts may no
// longer ask for real-time scheduling.
bool DropSysNiceOnThisThread() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0) return false;
    data[CAP_SYS_NICE / 32].effective &= ~(1u << (CAP_SYS_NICE % 32));
    return syscall(SYS_capset, &header, data) == 0;
}

// Plays the ramp on the named file device with `channels` channels and checks
// that the capture holds it bit for bit, after nothing but a little silence
// and followed by nothing but silence, in callbacks of the size that the
// latency asked for gives.
void PlayRampAndCompare(const std::string& deviceName, const std::string& capturePath, int channels,
                        const StreamOptions& options = {}) {
    SCOPED_TRACE(deviceName + " at " + std::to_string(options.latencyMs) + " ms");
    PortAudioBackend backend;
    const std::optional<BackendDevice> device = FindDevice(backend, deviceName);
    ASSERT_TRUE(device.has_value()) << deviceName << " is not listed";
    constexpr int64_t kRampFrames = 3 * kRate + 123;
    RampTarget target(kRampFrames);
    std::unique_ptr<AudioStream> stream = backend.OpenStream(&device->id, channels, target, options);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->Channels(), channels);
    const auto callbackFrames =
        static_cast<unsigned long>(PortAudioBackend::FramesPerBufferFor(options.latencyMs, kRate));
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
    EXPECT_EQ(stats.minFrames, callbackFrames);
    EXPECT_EQ(stats.maxFrames, callbackFrames);
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
                      1)
                << name;
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
    // Measured from the callback itself: the test thread may see the stall
    // late, as the stalled callback thread may run with real-time priority.
    const Clock::time_point stallStart{Clock::duration(target.stallStartNs.load())};
    const bool failed = WaitFor([&] { return stream->Failed(); }, std::chrono::seconds(5));
    const auto failedAt = Clock::now();
    target.release = true;
    ASSERT_TRUE(failed);
    EXPECT_GE(failedAt - stallStart, std::chrono::milliseconds(900)) << "failed before the timeout";
    const auto stopAt = Clock::now();
    stream->Stop();
    EXPECT_LT(Clock::now() - stopAt, std::chrono::seconds(1));
    EXPECT_FALSE(stream->IsRunning());
    EXPECT_TRUE(stream->Failed());
    EXPECT_FALSE(stream->Start()) << "a failed stream stays idle";
}

TEST(PortAudioBackendDevices, TheLatencyAskedForSetsTheCallbackSizeAndIsReported) {
    // Two callbacks fit in the latency, 256 frames at most.
    EXPECT_EQ(PortAudioBackend::FramesPerBufferFor(5, kRate), 64);
    EXPECT_EQ(PortAudioBackend::FramesPerBufferFor(10, kRate), 128);
    EXPECT_EQ(PortAudioBackend::FramesPerBufferFor(20, kRate), 256);
    EXPECT_EQ(PortAudioBackend::FramesPerBufferFor(100, kRate), 256);
    PlayRampAndCompare("filestereo", device_tests::StereoCapturePath(), 2, StreamOptions{5});

    PortAudioBackend backend;
    const std::optional<BackendDevice> device = FindDevice(backend, "filestereo");
    ASSERT_TRUE(device.has_value());
    RampTarget target(0);
    std::unique_ptr<AudioStream> shortest = backend.OpenStream(&device->id, 2, target, StreamOptions{5});
    ASSERT_NE(shortest, nullptr);
    const double shortLatency = shortest->OutputLatency();
    shortest.reset();
    std::unique_ptr<AudioStream> longest = backend.OpenStream(&device->id, 2, target, StreamOptions{100});
    ASSERT_NE(longest, nullptr);
    EXPECT_GT(shortLatency, 0.0);
    EXPECT_LT(shortLatency, 0.05) << "a 5 ms request got " << shortLatency << " s";
    EXPECT_GE(longest->OutputLatency(), 0.05) << "a 100 ms request got " << longest->OutputLatency() << " s";
}

TEST(PortAudioBackendDevices, TheCallbackThreadGetsRealTimeSchedulingWhereTheSystemAllowsIt) {
    const bool allowed = FifoAllowed();
    PortAudioBackend backend;
    RampTarget target(0);
    std::unique_ptr<AudioStream> stream = backend.OpenStream(nullptr, 2, target);
    ASSERT_NE(stream, nullptr);
    ASSERT_TRUE(stream->Start());
    ASSERT_TRUE(WaitFor([&] { return target.Rendered() > 0; }, std::chrono::seconds(10)));
    EXPECT_EQ(stream->Realtime(), allowed ? RealtimeScheduling::Granted : RealtimeScheduling::Refused);
    stream->Stop();
}

TEST(PortAudioBackendDevices, AStreamRefusedRealTimeSchedulingPlaysWithoutIt) {
    PortAudioBackend backend;
    RampTarget target(0);
    std::unique_ptr<AudioStream> stream;
    bool dropped = false, stillAllowed = true, started = false;
    // Opened and started from a thread that may not ask for real-time scheduling.
    std::thread([&] {
        dropped = DropSysNiceOnThisThread();
        stillAllowed = FifoAllowed();
        stream = backend.OpenStream(nullptr, 2, target);
        started = stream && stream->Start();
    }).join();
    if (!dropped || stillAllowed) GTEST_SKIP() << "real-time scheduling cannot be taken away here";
    ASSERT_NE(stream, nullptr);
    ASSERT_TRUE(started) << "a refusal of real-time scheduling kept the stream from starting";
    ASSERT_TRUE(WaitFor([&] { return target.Rendered() >= 4 * kRate / 10; }, std::chrono::seconds(10)))
        << "the stream does not play";
    EXPECT_EQ(stream->Realtime(), RealtimeScheduling::Refused);
    EXPECT_FALSE(stream->Failed());
    stream->Stop();
}

}  // namespace
