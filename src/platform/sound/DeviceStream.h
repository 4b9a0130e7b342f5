#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/sound/AudioBackend.h"
#include "platform/sound/MixStream.h"

namespace platform::sound {

// A physical output stream and its mixer; shared by the device objects that
// play on the same device and closed when the last of them goes. The mixer
// outlives the streams it plays through: when the stream is reopened (after a
// failure, with another latency or more channels) the same buffers play on
// with their cursors, volumes and notifications.
// User-interface thread only.
class DeviceStream {
public:
    // How long a failed stream waits between two attempts to reopen it.
    static constexpr std::chrono::seconds kReopenInterval{2};

    // `closedUnderruns` collects the underruns of every stream this one closes.
    DeviceStream(std::shared_ptr<AudioBackend> backend, std::optional<DeviceId> id,
                 std::shared_ptr<uint64_t> closedUnderruns);
    ~DeviceStream();
    DeviceStream(const DeviceStream&) = delete;
    DeviceStream& operator=(const DeviceStream&) = delete;

    // Opens and starts a stream on the device; false when the device refused.
    bool Open(int channels, const StreamOptions& options);
    // Closes the stream and opens another on the same device, feeding the same
    // mixer, which takes the new stream's rate. A failed stream is closed on a
    // thread of its own, since closing a vanished device may block. False
    // when the device refused: the stream is then missing (Failed()).
    bool Reopen(int channels, const StreamOptions& options);
    // Reopens a failed stream, at most once per kReopenInterval while the
    // device stays missing. True when it was reopened now.
    bool Recover(std::chrono::steady_clock::time_point now, const StreamOptions& options);

    MixStream& Mixer() { return *mixer_; }
    // The open stream; null while it is missing.
    AudioStream* Stream() { return stream_.get(); }
    const std::optional<DeviceId>& Id() const { return id_; }
    // The channels it was opened with.
    int Channels() const { return channels_; }
    // No stream plays now: it failed or could not be reopened.
    bool Failed() const { return !stream_ || stream_->Failed(); }
    // Times a failed stream was reopened.
    int Recoveries() const { return recoveries_; }
    // Underruns of this device's streams, the closed ones included.
    uint64_t Underruns() const;
    // The output latency the device gives, in seconds; 0 while missing.
    double OutputLatency() const { return stream_ ? stream_->OutputLatency() : 0.0; }
    RealtimeScheduling Realtime() const {
        return stream_ ? stream_->Realtime() : RealtimeScheduling::Unknown;
    }

private:
    // Takes the stream away: stopped and closed here when it is healthy, on a
    // thread of its own when it failed.
    void CloseStream();

    std::shared_ptr<AudioBackend> backend_;
    std::optional<DeviceId> id_;
    std::shared_ptr<uint64_t> closedUnderruns_;
    // Shared with the threads that close failed streams, which may still call
    // into it until they are done.
    std::shared_ptr<MixStream> mixer_;
    std::unique_ptr<AudioStream> stream_;
    int channels_ = 2;
    uint64_t underrunsOfClosed_ = 0;
    int recoveries_ = 0;
    std::optional<std::chrono::steady_clock::time_point> lastAttempt_;
};

}  // namespace platform::sound
