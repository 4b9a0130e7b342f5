#include "platform/sound/SoundSystem.h"

#include <algorithm>

#include "platform/sound/DirectSound.h"
#include "platform/sound/SoundBuffer.h"

namespace platform::sound {

SoundSystem::SoundSystem(std::unique_ptr<AudioBackend> backend) : backend_(std::move(backend)) {}

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
        const bool known = std::any_of(devices.begin(), devices.end(), [&](const auto& d) { return d.id == *id; });
        if (!known) return kNoDriver;
    } else if (!backend_->IsFormatSupported(nullptr, 2, 44'100) && backend_->Devices().empty()) {
        return kNoDriver;  // no default device at all
    }
    *device = std::make_unique<DirectSound>(*this, id);
    return kOk;
}

std::shared_ptr<DeviceStream> SoundSystem::StreamFor(const std::optional<DeviceId>& id, int channels) {
    if (auto existing = streams_[id].lock(); existing && !existing->Failed()) return existing;
    auto stream = std::make_shared<DeviceStream>();
    if (!stream->Open(*backend_, id, channels)) return nullptr;
    streams_[id] = stream;
    return stream;
}

DeviceStream::~DeviceStream() {
    if (stream_) stream_->Stop();
}

bool DeviceStream::Open(AudioBackend& backend, const std::optional<DeviceId>& id, int channels) {
    stream_ = backend.OpenStream(id ? &*id : nullptr, channels, mixer_);
    if (!stream_) return false;
    mixer_.SetStreamFormat(stream_->SampleRate(), stream_->Channels());
    if (!stream_->Start()) {
        stream_.reset();
        return false;
    }
    return true;
}

DirectSound::DirectSound(SoundSystem& system, std::optional<DeviceId> id) : system_(system), id_(std::move(id)) {}

DirectSound::~DirectSound() = default;

HResult DirectSound::SetCooperativeLevel(uint32_t level) {
    cooperativeLevel_ = level;
    return kOk;
}

HResult DirectSound::SetPrimaryFormat(const WaveFormat& format) {
    if (format.bitsPerSample != 16 || (format.channels != 2 && format.channels != 4)) return kBadFormat;
    if (!system_.Backend().IsFormatSupported(id_ ? &*id_ : nullptr, format.channels,
                                             static_cast<int>(format.samplesPerSecond)))
        return kBadFormat;
    primaryChannels_ = format.channels;
    return kOk;
}

HResult DirectSound::CreateSoundBuffer(const BufferDescription& description, std::unique_ptr<SoundBuffer>* buffer) {
    if (!buffer || !description.format) return kInvalidParam;
    buffer->reset();
    const WaveFormat& format = *description.format;
    if (format.bitsPerSample != 16 || format.channels < 1 || format.channels > 2 ||
        format.blockAlign != 2 * format.channels || description.bufferBytes < format.blockAlign ||
        description.bufferBytes % format.blockAlign != 0)
        return kBadFormat;
    if (!stream_ || stream_->Failed()) {
        stream_ = system_.StreamFor(id_, primaryChannels_);
        if (!stream_) return kNoDriver;
    }
    const bool backPair = format.formatTag == kFormatExtensible &&
                          (format.channelMask & (kSpeakerBackLeft | kSpeakerBackRight)) != 0;
    const int outputChannel = backPair ? 2 : 0;
    std::shared_ptr<MixStream> mixer(stream_, &stream_->Mixer());
    *buffer = std::make_unique<SoundBuffer>(std::move(mixer), description, outputChannel);
    return kOk;
}

bool DirectSound::Failed() const { return stream_ && stream_->Failed(); }

}  // namespace platform::sound
