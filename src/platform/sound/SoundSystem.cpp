#include "platform/sound/SoundSystem.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "platform/sound/DeviceStream.h"
#include "platform/sound/DirectSound.h"

namespace platform::sound {
namespace {

std::atomic<bool> g_realtimeRefusalReported{false};

}  // namespace

SoundSystem::SoundSystem(std::unique_ptr<AudioBackend> backend)
    : backend_(std::move(backend)), closedUnderruns_(std::make_shared<uint64_t>(0)) {
    options_.latencyMs = kDefaultLatencyMs;
}

SoundSystem::~SoundSystem() = default;

std::vector<SoundSystem::Enumerated> SoundSystem::Enumerate() {
    std::vector<Enumerated> result;
    result.push_back({kPrimaryDriver, std::nullopt});
    for (const BackendDevice& device : backend_->Devices()) result.push_back({device.description, device.id});
    return result;
}

HResult SoundSystem::Create(const std::optional<DeviceId>& id, std::unique_ptr<DirectSound>* device) {
    if (!device) return kInvalidParam;
    device->reset();
    if (id) {
        const auto devices = backend_->Devices();
        const bool known =
            std::any_of(devices.begin(), devices.end(), [&](const auto& d) { return d.id == *id; });
        if (!known) return kNoDriver;
    } else if (!backend_->IsFormatSupported(nullptr, 2, 44'100) && backend_->Devices().empty()) {
        return kNoDriver;  // no default device at all
    }
    *device = std::make_unique<DirectSound>(*this, id);
    return kOk;
}

std::shared_ptr<DeviceStream> SoundSystem::StreamFor(const std::optional<DeviceId>& id, int channels) {
    if (auto existing = streams_[id].lock()) {
        // Two halves of a split device need all four channels of its stream.
        if (existing->Channels() < channels) existing->Reopen(channels, options_);
        return existing;
    }
    auto stream = std::make_shared<DeviceStream>(backend_, id, closedUnderruns_);
    if (!stream->Open(channels, options_)) return nullptr;
    streams_[id] = stream;
    return stream;
}

void SoundSystem::SetOutputLatency(int milliseconds) {
    options_.latencyMs = std::clamp(milliseconds, kMinLatencyMs, kMaxLatencyMs);
}

int SoundSystem::ReopenStreams() {
    int reopened = 0;
    for (const auto& stream : Streams())
        if (stream->Reopen(stream->Channels(), options_)) ++reopened;
    return reopened;
}

void SoundSystem::MaintainStreams() {
    MaintainStreams(std::chrono::steady_clock::now());
}

void SoundSystem::MaintainStreams(std::chrono::steady_clock::time_point now) {
    for (const auto& stream : Streams()) {
        stream->Recover(now, options_);
        stream->Mixer().CollectRetired();
        if (stream->Realtime() == RealtimeScheduling::Refused && !g_realtimeRefusalReported.exchange(true)) {
            std::fprintf(stderr, "%s\n", kRealtimeRefusedMessage);
            std::fflush(stderr);
        }
    }
}

std::vector<std::shared_ptr<DeviceStream>> SoundSystem::Streams() {
    std::vector<std::shared_ptr<DeviceStream>> open;
    for (auto it = streams_.begin(); it != streams_.end();) {
        if (auto stream = it->second.lock()) {
            open.push_back(std::move(stream));
            ++it;
        } else {
            it = streams_.erase(it);
        }
    }
    return open;
}

uint64_t SoundSystem::Underruns() {
    uint64_t total = *closedUnderruns_;
    for (const auto& stream : Streams())
        if (AudioStream* open = stream->Stream()) total += open->Underruns();
    return total;
}

int SoundSystem::Recoveries() {
    int total = 0;
    for (const auto& stream : Streams()) total += stream->Recoveries();
    return total;
}

bool SoundSystem::RealtimeRefusalReported() {
    return g_realtimeRefusalReported.load();
}

}  // namespace platform::sound
