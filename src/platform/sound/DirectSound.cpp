#include "platform/sound/DirectSound.h"

#include "platform/sound/SoundBuffer.h"
#include "platform/sound/SoundSystem.h"

namespace platform::sound {

DirectSound::DirectSound(SoundSystem& system, std::optional<DeviceId> id)
    : system_(system), id_(std::move(id)) {}

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

HResult DirectSound::CreateSoundBuffer(const BufferDescription& description,
                                       std::unique_ptr<SoundBuffer>* buffer) {
    if (!buffer || !description.format) return kInvalidParam;
    buffer->reset();
    const WaveFormat& format = *description.format;
    if (format.bitsPerSample != 16 || format.channels < 1 || format.channels > 2 ||
        format.blockAlign != 2 * format.channels || description.bufferBytes < format.blockAlign ||
        description.bufferBytes % format.blockAlign != 0)
        return kBadFormat;
    // A failed stream is kept: its buffers play again once it is reopened.
    if (!stream_ || stream_->Channels() < primaryChannels_) {
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

bool DirectSound::Failed() const {
    return stream_ && stream_->Failed();
}

}  // namespace platform::sound
