#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sound/AudioBackend.h"

namespace platform::sound {

class OfflineStream;

// Sound devices that exist only in memory: the same mixer renders into a
// capture that tests read or save as a WAV file, stepped by the caller or run
// by a thread of the stream's own at a chosen multiple of real time.
class OfflineBackend final : public AudioBackend {
public:
    struct Device {
        std::string description;
        int channels = 2;  // 4 makes a device that can be split
    };

    explicit OfflineBackend(std::vector<Device> devices = {{"Offline Output", 2}}, int sampleRate = 44'100,
                            int periodFrames = 256);
    ~OfflineBackend() override;

    std::string Name() const override { return "Offline"; }
    std::vector<BackendDevice> Devices() override;
    bool IsFormatSupported(const DeviceId* id, int channels, int sampleRate) override;
    std::unique_ptr<AudioStream> OpenStream(const DeviceId* id, int channels, RenderTarget& target,
                                            const StreamOptions& options = {}) override;

    // From now on, streams run on the backend's clock thread at this multiple
    // of real time (0: as fast as it goes), all of them in step, period by
    // period, like the outputs of one sound card; below 0 (the default) they
    // wait to be stepped.
    void SetPacing(double speed);
    // Whether streams opened from now on keep what they render (they do unless told).
    void SetCaptureByDefault(bool keep) { captureByDefault_ = keep; }
    // The stream of a device (by description) opened last and still open, or null.
    OfflineStream* StreamOf(const std::string& description);

    // As if the device were unplugged (false) or plugged back (true). An
    // absent device stays listed, as PortAudio keeps listing it, but its open
    // streams fail and no stream opens on it until it is back.
    void SetDevicePresent(const std::string& description, bool present);
    // The rate the device runs at from its next stream on (after a replug);
    // devices run at the backend's rate unless told.
    void SetDeviceRate(const std::string& description, int sampleRate);
    // What streams opened from now on report about their callback thread's
    // scheduling (Unknown unless told: nothing is requested offline).
    void SetRealtimeScheduling(RealtimeScheduling scheduling) { realtime_ = scheduling; }
    static DeviceId IdOf(const std::string& description);

private:
    friend class OfflineStream;
    void Forget(OfflineStream* stream);
    // Caller holds mutex_; null for an unknown id.
    const Device* Find(const DeviceId* id) const;
    bool Present(const Device& device) const;
    int RateOf(const Device& device) const;
    void StartRunning(OfflineStream* stream);
    void StopRunning(OfflineStream* stream);
    void RunClock();

    std::vector<Device> devices_;
    std::vector<std::string> absent_;
    std::map<std::string, int> rates_;  // devices at a rate of their own
    RealtimeScheduling realtime_ = RealtimeScheduling::Unknown;
    int sampleRate_;
    int periodFrames_;
    double pacing_ = -1.0;
    bool captureByDefault_ = true;
    std::mutex mutex_;  // guards the devices, their presence and the open streams
    std::vector<std::pair<std::string, OfflineStream*>> open_;
    // The clock thread renders the running streams; the lock keeps a stream
    // from leaving while it renders.
    std::mutex runningMutex_;
    std::vector<OfflineStream*> running_;
    std::atomic<bool> clockRuns_{false};
    std::thread clock_;
};

class OfflineStream final : public AudioStream {
public:
    OfflineStream(OfflineBackend& backend, std::string description, int channels, int sampleRate,
                  int periodFrames, bool paced, RenderTarget& target, const StreamOptions& options,
                  RealtimeScheduling realtime);
    ~OfflineStream() override;

    bool Start() override;
    void Stop() override;
    bool IsRunning() const override { return running_.load(); }
    int SampleRate() const override { return sampleRate_; }
    int Channels() const override { return channels_; }
    bool Failed() const override { return failed_.load(); }
    // What was asked for: the offline device gives any latency.
    double OutputLatency() const override { return latencyMs_ / 1000.0; }
    uint64_t Underruns() const override { return underruns_.load(); }
    RealtimeScheduling Realtime() const override { return realtime_; }

    // Renders frames on the calling thread, one period at a time, when the
    // stream runs and the backend's clock does not drive it.
    void Step(int frames);
    // Keeps what is rendered (on by default); off for long renders.
    void SetCapture(bool keep) { capture_.store(keep, std::memory_order_relaxed); }
    // The 16-bit sound rendered since the last take, interleaved. Any thread.
    std::vector<int16_t> TakeCapture();
    bool SaveWav(const std::string& path);
    int64_t FramesRendered() const { return framesRendered_.load(); }
    // The longest single render call so far.
    std::chrono::nanoseconds WorstRenderTime() const {
        return std::chrono::nanoseconds(worstRenderNs_.load());
    }
    // As if the stream had broken (a device error): no more render calls,
    // Failed(). The device stays present, so a new stream opens on it.
    void SimulateFailure();
    // As if the device had run dry for `frames` (whole periods): it plays
    // silence in the capture without asking the mixer, and counts underruns.
    void Skip(int frames);

private:
    friend class OfflineBackend;
    // The stream's render call, as a device's callback would be: it neither
    // allocates nor locks. Then, outside the call, what it rendered moves on
    // from the ring into the capture.
    void RenderPeriod();
    void RenderIntoRing() noexcept;
    void DrainRingIfHalfFull();
    // Caller holds captureMutex_.
    void DrainRing();
    void CaptureSilence(int frames);

    OfflineBackend& backend_;
    std::string description_;
    const int channels_;
    const int sampleRate_;
    const int periodFrames_;
    const bool paced_;
    const int latencyMs_;
    const RealtimeScheduling realtime_;
    RenderTarget& target_;
    std::vector<float> mix_;
    std::atomic<bool> running_{false};
    std::atomic<bool> failed_{false};
    std::atomic<int64_t> framesRendered_{0};
    std::atomic<uint64_t> underruns_{0};
    std::atomic<int64_t> worstRenderNs_{0};
    std::atomic<bool> capture_{true};
    // Single producer (the render call), single consumer (a drain under
    // captureMutex_): indices count samples and only grow.
    std::unique_ptr<int16_t[]> ring_;
    const size_t ringSize_;
    std::atomic<size_t> ringWritten_{0};
    std::atomic<size_t> ringRead_{0};
    std::mutex captureMutex_;
    std::vector<int16_t> captured_;
    std::vector<int16_t> saved_;  // everything taken, for SaveWav
};

}  // namespace platform::sound
