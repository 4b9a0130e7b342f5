#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sound/AudioBackend.h"

namespace platform::sound {

// Keeps PortAudio initialized while it is held: the first holder calls
// Pa_Initialize (after silencing ALSA's error messages), the last one
// Pa_Terminate. Backends and the streams they open each hold one, so a stream
// may outlive its backend.
class PortAudioLibrary;

// The program's backend: every PortAudio output device (ALSA, JACK, and
// PulseAudio or PipeWire through their ALSA devices) with at least two
// channels. Streams are 16-bit (paInt16) at 44,100 Hz where the device allows
// it. They ask for the output latency given in their options, in callbacks of
// kFramesPerBuffer frames, fewer where that latency is too short for two of
// them. ALSA streams ask for real-time scheduling of their callback thread.
//
// Thread-safe: the calls may come from any thread. When PortAudio fails to
// initialize, the backend lists no devices and opens no streams.
class PortAudioBackend final : public AudioBackend {
public:
    static constexpr int kFramesPerBuffer = 256;
    static constexpr int kPreferredSampleRate = 44100;

    PortAudioBackend();
    ~PortAudioBackend() override;
    PortAudioBackend(const PortAudioBackend&) = delete;
    PortAudioBackend& operator=(const PortAudioBackend&) = delete;

    std::string Name() const override;
    std::vector<BackendDevice> Devices() override;
    bool IsFormatSupported(const DeviceId* id, int channels, int sampleRate) override;
    std::unique_ptr<AudioStream> OpenStream(const DeviceId* id, int channels, RenderTarget& target,
                                            const StreamOptions& options = {}) override;

    // False when Pa_Initialize failed.
    bool IsInitialized() const;

    // Frames per callback for a latency: kFramesPerBuffer, halved (down to 32)
    // until two callbacks fit in the latency.
    static int FramesPerBufferFor(int latencyMs, int sampleRate);

    // The identifier Devices() gives a device of this host API and name; the
    // occurrence counts earlier listed devices with the same host API and name.
    static DeviceId MakeDeviceId(const std::string& hostApiName, const std::string& deviceName,
                                 int occurrence);

private:
    std::shared_ptr<PortAudioLibrary> library_;
};

// A stream opened by PortAudioBackend. Beyond AudioStream it counts its
// callbacks, for tests and diagnostics.
class PortAudioStream final : public AudioStream {
public:
    struct CallbackStats {
        uint64_t callbacks = 0;
        uint64_t frames = 0;
        // Frames asked for in one callback; 0 when none came yet.
        unsigned long minFrames = 0;
        unsigned long maxFrames = 0;
        // Callbacks in which PortAudio reported an output underflow.
        uint64_t underflows = 0;
    };

    ~PortAudioStream() override;
    PortAudioStream(const PortAudioStream&) = delete;
    PortAudioStream& operator=(const PortAudioStream&) = delete;

    // False when the stream failed: a failed stream stays idle; close it and
    // open another.
    bool Start() override;
    // Plays out what PortAudio holds (Pa_StopStream); drops it instead when
    // the stream failed (Pa_AbortStream), so that a vanished device cannot
    // hold us up.
    void Stop() override;
    // Started and not stopped, unless PortAudio ended the stream by itself.
    bool IsRunning() const override;
    int SampleRate() const override;
    int Channels() const override;
    // As PortAudio reports it once the stream is open.
    double OutputLatency() const override { return outputLatency_; }
    // Callbacks in which PortAudio reported an output underflow.
    uint64_t Underruns() const override { return underflows_.load(std::memory_order_relaxed); }
    // Asks the callback thread's scheduling policy once a callback has told
    // which thread it runs on; Unknown before that and after the stream ended.
    RealtimeScheduling Realtime() const override;
    // PortAudio reported an error, the stream ended by itself, or it has run
    // without a callback for more than kCallbackTimeoutNs. Once true, stays
    // true; the callback then renders nothing more and plays silence.
    bool Failed() const override;

    CallbackStats Stats() const;

    // How long a running stream may go without a callback before it counts as
    // failed.
    static constexpr int64_t kCallbackTimeoutNs = 1'000'000'000;

private:
    friend class PortAudioBackend;
    struct Callbacks;

    PortAudioStream(std::shared_ptr<PortAudioLibrary> library, RenderTarget& target, int channels);

    std::shared_ptr<PortAudioLibrary> library_;
    RenderTarget& target_;
    const int channels_;
    int sampleRate_ = 0;  // as PortAudio reports it once open
    double outputLatency_ = 0.0;
    bool alsaHost_ = false;   // real-time scheduling is asked of PortAudio's ALSA host only
    void* stream_ = nullptr;  // PaStream*
    // Mix in floats, frames of channels_ samples; allocated when the stream opens.
    std::vector<float> scratch_;
    int scratchFrames_ = 0;

    mutable std::mutex control_;                 // serializes Start, Stop and the destructor
    std::atomic<bool> running_{false};           // started and not stopped by us
    std::atomic<bool> stopping_{false};          // we are stopping it: its end is no failure
    std::atomic<bool> error_{false};             // PortAudio reported an error
    std::atomic<bool> finished_{false};          // the stream ended without our Stop
    mutable std::atomic<bool> timedOut_{false};  // seen running without callbacks; sticky
    std::atomic<int64_t> lastCallbackNs_{0};     // steady clock
    // The callback thread, stored by the first callback.
    pthread_t callbackThread_{};
    std::atomic<bool> callbackThreadKnown_{false};
    mutable RealtimeScheduling realtime_ = RealtimeScheduling::Unknown;  // once known; under control_

    std::atomic<uint64_t> callbacks_{0};
    std::atomic<uint64_t> frames_{0};
    std::atomic<unsigned long> minFrames_{0};
    std::atomic<unsigned long> maxFrames_{0};
    std::atomic<uint64_t> underflows_{0};
};

}  // namespace platform::sound
