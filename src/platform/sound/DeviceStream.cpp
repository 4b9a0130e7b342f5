#include "platform/sound/DeviceStream.h"

#include <thread>
#include <utility>

namespace platform::sound {

DeviceStream::DeviceStream(std::shared_ptr<AudioBackend> backend, std::optional<DeviceId> id,
                           std::shared_ptr<uint64_t> closedUnderruns)
    : backend_(std::move(backend)),
      id_(std::move(id)),
      closedUnderruns_(std::move(closedUnderruns)),
      mixer_(std::make_shared<MixStream>()) {}

DeviceStream::~DeviceStream() {
    CloseStream();
}

bool DeviceStream::Open(int channels, const StreamOptions& options) {
    channels_ = channels;
    std::unique_ptr<AudioStream> stream =
        backend_->OpenStream(id_ ? &*id_ : nullptr, channels, *mixer_, options);
    if (!stream) return false;
    mixer_->SetStreamFormat(stream->SampleRate(), stream->Channels());
    if (!stream->Start()) return false;
    stream_ = std::move(stream);
    return true;
}

bool DeviceStream::Reopen(int channels, const StreamOptions& options) {
    CloseStream();
    return Open(channels, options);
}

bool DeviceStream::Recover(std::chrono::steady_clock::time_point now, const StreamOptions& options) {
    if (!Failed()) {
        lastAttempt_.reset();
        return false;
    }
    if (lastAttempt_ && now - *lastAttempt_ < kReopenInterval) return false;
    lastAttempt_ = now;
    if (!Reopen(channels_, options)) return false;
    ++recoveries_;
    lastAttempt_.reset();
    return true;
}

uint64_t DeviceStream::Underruns() const {
    return underrunsOfClosed_ + (stream_ ? stream_->Underruns() : 0);
}

void DeviceStream::CloseStream() {
    if (!stream_) return;
    const uint64_t underruns = stream_->Underruns();
    underrunsOfClosed_ += underruns;
    *closedUnderruns_ += underruns;
    if (!stream_->Failed()) {
        stream_->Stop();
        stream_.reset();
        // No render call runs any more: everything retired can go.
        mixer_->CollectRetired();
        return;
    }
    // A stream whose device vanished may take its time to close, or never
    // finish. It closes on a thread of its own, which keeps the mixer it may
    // still call and the backend alive until it is done.
    std::thread([stream = std::move(stream_), mixer = mixer_, backend = backend_]() mutable {
        stream.reset();
        mixer.reset();
        backend.reset();
    }).detach();
}

}  // namespace platform::sound
