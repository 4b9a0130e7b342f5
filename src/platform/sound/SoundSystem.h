#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sound/AudioBackend.h"
#include "platform/sound/SoundTypes.h"

namespace platform::sound {

class DirectSound;
class DeviceStream;

// Enumerates sound devices and makes device objects on a backend. The two
// halves of a split device share one physical stream. Keeps the streams
// playing: a stream that fails is reopened on the same device, and the
// latency the user chose applies to every stream.
// User-interface thread only.
class SoundSystem {
public:
    static constexpr const char* kPrimaryDriver = "Primary Sound Driver";
    static constexpr int kMinLatencyMs = 5;
    static constexpr int kMaxLatencyMs = 100;
    static constexpr int kDefaultLatencyMs = 20;
    // Said on stderr, once per process, when a stream's callback thread runs
    // without real-time scheduling.
    static constexpr const char* kRealtimeRefusedMessage =
        "Orvo 2: the system refused real-time scheduling for the sound output, so the sound may break up "
        "when "
        "the computer is busy.";

    struct Enumerated {
        std::string description;
        std::optional<DeviceId> id;  // none for the primary driver
    };

    explicit SoundSystem(std::unique_ptr<AudioBackend> backend);
    ~SoundSystem();
    SoundSystem(const SoundSystem&) = delete;
    SoundSystem& operator=(const SoundSystem&) = delete;

    // The system's default device first, as "Primary Sound Driver" without an
    // identifier, then every device.
    std::vector<Enumerated> Enumerate();
    // A device object for a device (none: the default device). Fails when the
    // device does not exist.
    HResult Create(const std::optional<DeviceId>& id, std::unique_ptr<DirectSound>* device);

    AudioBackend& Backend() { return *backend_; }

    // The output latency streams ask for, clamped to 5 to 100 ms. Applies to
    // streams opened from now on; ReopenStreams applies it to the open ones.
    void SetOutputLatency(int milliseconds);
    int OutputLatency() const { return options_.latencyMs; }
    // Reopens every open stream with the current latency, keeping its mixer,
    // so that every buffer plays on where it was. Returns how many reopened.
    int ReopenStreams();

    // Called from a window timer every half second or so: reopens the streams
    // that failed (at most every DeviceStream::kReopenInterval each while the
    // device stays missing), frees what the mixers retired, and says once per
    // process when real-time scheduling was refused.
    void MaintainStreams();
    void MaintainStreams(std::chrono::steady_clock::time_point now);

    // The open device streams.
    std::vector<std::shared_ptr<DeviceStream>> Streams();
    // Underruns of every stream this system opened, open or closed.
    uint64_t Underruns();
    // Times a failed stream was reopened, over the open streams.
    int Recoveries();
    // Whether this process has said that real-time scheduling was refused.
    static bool RealtimeRefusalReported();

private:
    friend class DirectSound;
    // The stream of a device, opened on first use with the given channels; an
    // open stream with fewer channels is reopened with more. A failed stream
    // is handed out too: MaintainStreams brings it back.
    std::shared_ptr<DeviceStream> StreamFor(const std::optional<DeviceId>& id, int channels);

    std::shared_ptr<AudioBackend> backend_;
    StreamOptions options_;
    std::shared_ptr<uint64_t> closedUnderruns_;
    std::map<std::optional<DeviceId>, std::weak_ptr<DeviceStream>> streams_;
};

}  // namespace platform::sound
