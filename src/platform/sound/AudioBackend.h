#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform::sound {

// A sound device's identifier: 16 bytes, stable from run to run.
using DeviceId = std::array<uint8_t, 16>;

struct BackendDevice {
    std::string description;  // as the system names the device; shown to the user
    DeviceId id{};
    int maxOutputChannels = 2;
};

// How a stream is asked to run.
struct StreamOptions {
    // The output latency the stream asks the device for.
    int latencyMs = 20;
};

// Whether a stream's callback thread runs with real-time scheduling.
enum class RealtimeScheduling {
    Unknown,  // not known yet (no callback so far), or not applicable
    Granted,
    Refused,
};

// What a stream renders: the mix, as interleaved floats in [-1, 1].
// Audio thread: never blocks, allocates or logs.
class RenderTarget {
public:
    virtual ~RenderTarget() = default;
    virtual void Render(float* interleaved, int frames, int channels) noexcept = 0;
};

// One open physical output stream.
class AudioStream {
public:
    virtual ~AudioStream() = default;
    virtual bool Start() = 0;
    // Returns once no render call runs any more.
    virtual void Stop() = 0;
    virtual bool IsRunning() const = 0;
    virtual int SampleRate() const = 0;
    virtual int Channels() const = 0;
    // The device reported an error, or stopped asking for sound while the
    // stream runs (unplugged, taken away). The stream then stays idle.
    virtual bool Failed() const = 0;
    // The output latency the backend actually gives, in seconds.
    virtual double OutputLatency() const = 0;
    // Periods the device played without sound from us (it ran dry).
    virtual uint64_t Underruns() const = 0;
    // Whether the callback thread got real-time scheduling. User-interface thread.
    virtual RealtimeScheduling Realtime() const = 0;
};

// A source of sound devices and streams: PortAudio for the program, Offline
// for rendering without hardware. The same mixer runs on both.
class AudioBackend {
public:
    virtual ~AudioBackend() = default;
    virtual std::string Name() const = 0;
    // Output devices with at least two channels, in the system's order.
    virtual std::vector<BackendDevice> Devices() = 0;
    // A null id means the system's default output device.
    virtual bool IsFormatSupported(const DeviceId* id, int channels, int sampleRate) = 0;
    // Opens a stream at 44,100 Hz where the device allows it, else at its
    // default rate. Null when the device cannot be opened. The target must
    // outlive the stream.
    virtual std::unique_ptr<AudioStream> OpenStream(const DeviceId* id, int channels, RenderTarget& target,
                                                    const StreamOptions& options = {}) = 0;
};

// Float mix to 16-bit: clamped, scaled by 32768 and rounded, so a 16-bit
// sample that went through at unity gain comes out unchanged.
inline int16_t FloatToInt16(float x) noexcept {
    float scaled = x * 32768.0f;
    if (scaled >= 32767.0f) return 32767;
    if (scaled <= -32768.0f) return -32768;
    return static_cast<int16_t>(scaled >= 0 ? scaled + 0.5f : scaled - 0.5f);
}

}  // namespace platform::sound
