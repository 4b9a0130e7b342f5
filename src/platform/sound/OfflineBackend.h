#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
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
    std::unique_ptr<AudioStream> OpenStream(const DeviceId* id, int channels, RenderTarget& target) override;

    // From now on, streams run on the backend's clock thread at this multiple
    // of real time (0: as fast as it goes), all of them in step, period by
    // period, like the outputs of one sound card; below 0 (the default) they
    // wait to be stepped.
    void SetPacing(double speed);
    // Whether streams opened from now on keep what they render (they do unless told).
    void SetCaptureByDefault(bool keep) { captureByDefault_ = keep; }
    // The open stream of a device (by description), or null.
    OfflineStream* StreamOf(const std::string& description);
    static DeviceId IdOf(const std::string& description);

private:
    friend class OfflineStream;
    void Forget(OfflineStream* stream);
    void StartRunning(OfflineStream* stream);
    void StopRunning(OfflineStream* stream);
    void RunClock();

    std::vector<Device> devices_;
    int sampleRate_;
    int periodFrames_;
    double pacing_ = -1.0;
    bool captureByDefault_ = true;
    std::mutex mutex_;
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
    OfflineStream(OfflineBackend& backend, std::string description, int channels, int sampleRate, int periodFrames,
                  bool paced, RenderTarget& target);
    ~OfflineStream() override;

    bool Start() override;
    void Stop() override;
    bool IsRunning() const override { return running_.load(); }
    int SampleRate() const override { return sampleRate_; }
    int Channels() const override { return channels_; }
    bool Failed() const override { return failed_.load(); }

    // Renders frames on the calling thread, one period at a time, when the
    // stream runs and the backend's clock does not drive it.
    void Step(int frames);
    // Keeps what is rendered (on by default); off for long renders.
    void SetCapture(bool keep);
    // The 16-bit sound rendered since the last take, interleaved.
    std::vector<int16_t> TakeCapture();
    bool SaveWav(const std::string& path);
    int64_t FramesRendered() const { return framesRendered_.load(); }
    // The longest single render call so far.
    std::chrono::nanoseconds WorstRenderTime() const { return std::chrono::nanoseconds(worstRenderNs_.load()); }
    // As if the device had been unplugged: no more render calls, Failed().
    void SimulateFailure();

private:
    friend class OfflineBackend;
    void RenderPeriod();

    OfflineBackend& backend_;
    std::string description_;
    const int channels_;
    const int sampleRate_;
    const int periodFrames_;
    const bool paced_;
    RenderTarget& target_;
    std::vector<float> mix_;
    std::atomic<bool> running_{false};
    std::atomic<bool> failed_{false};
    std::atomic<int64_t> framesRendered_{0};
    std::atomic<int64_t> worstRenderNs_{0};
    std::mutex captureMutex_;
    bool capture_ = true;
    std::vector<int16_t> captured_;
    std::vector<int16_t> saved_;  // everything taken, for SaveWav
};

}  // namespace platform::sound
