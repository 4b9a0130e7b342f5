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
using namespace std::chrono_literals;

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
            const auto until = Clock::now() + 10s;
            while (!release && Clock::now() < until) {  // busy: no cancellation point in here
            }
        }
    }
    int64_t Rendered() const { return rendered_.load(); }

    std::atomic<Clock::rep> stallStartNs{0};  // steady clock, when the stall began; 0 before
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
void DropSysNiceOnThisThread() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0) return;
    data[CAP_SYS_NICE / 32].effective &= ~(1u << (CAP_SYS_NICE % 32));
    syscall(SYS_capset, &header, data);
}

// Plays the ramp on the named file device with `channels` channels and checks
// that the capture holds it bit for bit, after nothing but a little silence
// and followed by nothing but silence, in callbacks of the size that the
// latency asked for gives. Returns the latency the stream reported.
double PlayRampAndCompare(const std::string& deviceName, const std::string& capturePath, int channels,
                          int latencyMs) {
    SCOPED_TRACE(deviceName + " at " + std::to_string(latencyMs) + " ms");
    PortAudioBackend backend;
    const std::optional<BackendDevice> device = FindDevice(backend, deviceName);
    EXPECT_TRUE(device.has_value()) << deviceName << " is not listed";
    constexpr int64_t kRampFrames = 3 * kRate + 123;
    RampTarget target(kRampFrames);
    std::unique_ptr<AudioStream> stream =
        device ? backend.OpenStream(&device->id, channels, target, StreamOptions{latencyMs}) : nullptr;
    if (!stream) {
        ADD_FAILURE() << "not opened";
        return 0;
    }
    EXPECT_EQ(stream->Channels(), channels);
    EXPECT_EQ(stream->SampleRate(), kRate);
    const double latency = stream->OutputLatency();
    EXPECT_TRUE(stream->Start());
    // Past the ramp by a few callbacks, so that all of it has been handed on.
    EXPECT_TRUE(WaitFor(
        [&] { return target.Rendered() >= kRampFrames + 4 * PortAudioBackend::kFramesPerBuffer; }, 30s));
    stream->Stop();
    EXPECT_FALSE(stream->IsRunning());
    EXPECT_FALSE(stream->Failed());
    const int64_t rendered = target.Rendered();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(target.Rendered(), rendered) << "rendering went on after Stop";
    const auto stats = dynamic_cast<PortAudioStream&>(*stream).Stats();
    const auto callbackFrames =
        static_cast<unsigned long>(PortAudioBackend::FramesPerBufferFor(latencyMs, kRate));
    EXPECT_EQ(stats.minFrames, callbackFrames);
    EXPECT_EQ(stats.maxFrames, callbackFrames);
    stream.reset();  // closes the device, which completes the file

    const std::vector<int16_t> samples = device_tests::Captured(capturePath);
    const auto start = std::find_if(samples.begin(), samples.end(), [](int16_t s) { return s != 0; });
    const auto startSample = static_cast<size_t>(start - samples.begin());
    // PortAudio primes about 512 frames of silence; more may precede the ramp, but not much more.
    EXPECT_EQ(startSample % channels, 0u) << "the ramp starts inside a frame";
    EXPECT_LE(startSample / channels, 8192u);
    std::vector<int16_t> expected;
    for (int64_t f = 0; f < kRampFrames; ++f)
        for (int c = 0; c < channels; ++c) expected.push_back(RampSample(f, c));
    const auto end = samples.begin() +
                     static_cast<std::ptrdiff_t>(std::min(samples.size(), startSample + expected.size()));
    EXPECT_EQ(std::vector<int16_t>(start, end), expected);
    EXPECT_TRUE(std::all_of(end, samples.end(), [](int16_t s) { return s == 0; })) << "sound after the ramp";
    return latency;
}

TEST(PortAudioBackendDevices, ListsBothFileDevicesWithUniqueStableIdsAndTheirFormats) {
    const auto listed = [](PortAudioBackend& backend) {
        std::vector<std::pair<std::string, DeviceId>> result;
        for (const BackendDevice& device : backend.Devices())
            result.emplace_back(device.description, device.id);
        return result;
    };
    auto first = std::make_unique<PortAudioBackend>();
    const std::optional<BackendDevice> stereo = FindDevice(*first, "filestereo");
    const std::optional<BackendDevice> quad = FindDevice(*first, "filequad");
    ASSERT_TRUE(stereo && quad);
    EXPECT_GE(stereo->maxOutputChannels, 2);
    EXPECT_GE(quad->maxOutputChannels, 4);
    EXPECT_EQ(stereo->id, PortAudioBackend::MakeDeviceId("ALSA", "filestereo", 0));
    const auto devices = listed(*first);
    for (const auto& [name, id] : devices)
        EXPECT_EQ(std::count_if(devices.begin(), devices.end(), [&](auto& d) { return d.second == id; }), 1)
            << name;
    // A second backend, alive at the same time, lists the same devices with
    // the same ids, and its end does not end PortAudio for the first.
    EXPECT_EQ(listed(*std::make_unique<PortAudioBackend>()), devices);
    EXPECT_EQ(listed(*first), devices);

    EXPECT_TRUE(first->IsFormatSupported(&quad->id, 4, 44100));
    EXPECT_TRUE(first->IsFormatSupported(&quad->id, 2, 44100));
    EXPECT_TRUE(first->IsFormatSupported(nullptr, 2, 44100)) << "the default device, filestereo";
    // More channels than the device has, nonsense, and an unknown device are refused.
    DeviceId unknown{};
    unknown.fill(0xA5);
    EXPECT_FALSE(first->IsFormatSupported(&quad->id, quad->maxOutputChannels + 1, 44100));
    EXPECT_FALSE(first->IsFormatSupported(&quad->id, 0, 44100));
    EXPECT_FALSE(first->IsFormatSupported(&quad->id, 2, 0));
    EXPECT_FALSE(first->IsFormatSupported(&unknown, 2, 44100));
    RampTarget target(0);
    EXPECT_EQ(first->OpenStream(&unknown, 2, target), nullptr);
    EXPECT_EQ(first->OpenStream(&quad->id, quad->maxOutputChannels + 1, target), nullptr);
    EXPECT_EQ(first->OpenStream(&quad->id, 0, target), nullptr);
    EXPECT_EQ(target.Rendered(), 0);
    first.reset();
    EXPECT_EQ(listed(*std::make_unique<PortAudioBackend>()), devices)
        << "PortAudio was terminated in between";
}

TEST(PortAudioBackendDevices, RampIsCapturedBitExactInCallbacksOfTheSizeTheLatencyAskedFor) {
    // Two callbacks fit in the latency, 256 frames at most.
    for (const auto& [ms, frames] : {std::pair{5, 64}, {10, 128}, {20, 256}, {100, 256}})
        EXPECT_EQ(PortAudioBackend::FramesPerBufferFor(ms, kRate), frames) << ms << " ms";
    const double shortest = PlayRampAndCompare("filestereo", device_tests::StereoCapturePath(), 2, 5);
    const double longest = PlayRampAndCompare("filequad", device_tests::QuadCapturePath(), 4, 100);
    EXPECT_GT(shortest, 0.0);
    EXPECT_LT(shortest, 0.05) << "a 5 ms request got " << shortest << " s";
    EXPECT_GE(longest, 0.05) << "a 100 ms request got " << longest << " s";
}

TEST(PortAudioBackendDevices, StreamWithoutCallbacksFailsAndStopsPromptly) {
    RampTarget target(0, 10);
    // On the default device, from a backend that is gone already: a stream
    // keeps PortAudio alive on its own.
    std::unique_ptr<AudioStream> stream = PortAudioBackend().OpenStream(nullptr, 2, target);
    ASSERT_NE(stream, nullptr);
    ASSERT_TRUE(stream->Start());
    ASSERT_TRUE(WaitFor([&] { return target.stallStartNs.load() != 0; }, 10s));
    EXPECT_FALSE(stream->Failed());
    // Measured from the callback itself: the test thread may see the stall
    // late, as the stalled callback thread may run with real-time priority.
    const Clock::time_point stallStart{Clock::duration(target.stallStartNs.load())};
    const bool failed = WaitFor([&] { return stream->Failed(); }, 5s);
    const auto failedAt = Clock::now();
    target.release = true;
    ASSERT_TRUE(failed);
    EXPECT_GE(failedAt - stallStart, 900ms) << "failed before the timeout";
    stream->Stop();
    EXPECT_LT(Clock::now() - failedAt, 1s) << "the stop took long";
    EXPECT_FALSE(stream->IsRunning());
    EXPECT_TRUE(stream->Failed());
    EXPECT_FALSE(stream->Start()) << "a failed stream stays idle";
}

TEST(PortAudioBackendDevices, TheCallbackThreadGetsRealTimeSchedulingWhereAllowedAndPlaysWithoutIt) {
    // From a thread as this one, then from one that gave up the right to ask for it.
    for (const bool dropped : {false, true}) {
        SCOPED_TRACE(dropped ? "without CAP_SYS_NICE" : "as started");
        PortAudioBackend backend;
        RampTarget target(0);
        std::unique_ptr<AudioStream> stream;
        bool allowed = false;
        bool started = false;
        std::thread([&] {
            if (dropped) DropSysNiceOnThisThread();
            allowed = FifoAllowed();
            stream = backend.OpenStream(nullptr, 2, target);
            started = stream && stream->Start();
        }).join();
        ASSERT_TRUE(started) << "a refusal of real-time scheduling kept the stream from starting";
        ASSERT_TRUE(WaitFor([&] { return target.Rendered() >= 4 * kRate / 10; }, 10s))
            << "the stream does not play";
        EXPECT_EQ(stream->Realtime(), allowed ? RealtimeScheduling::Granted : RealtimeScheduling::Refused);
        EXPECT_FALSE(stream->Failed());
        stream->Stop();
    }
}

}  // namespace
