#pragma once

#include <memory>
#include <optional>

#include "platform/sound/AudioBackend.h"
#include "platform/sound/DeviceStream.h"
#include "platform/sound/SoundTypes.h"

namespace platform::sound {

class SoundBuffer;
class SoundSystem;

// A device object: what a program opens on one sound device to make buffers
// that play on it. User-interface thread only.
class DirectSound {
public:
    DirectSound(SoundSystem& system, std::optional<DeviceId> id);
    ~DirectSound();

    HResult SetCooperativeLevel(uint32_t level);
    // Asks for the device's mixing format: 2 or 4 channels, 16 bits. A format
    // the device refuses is an error, and the previous one stays.
    HResult SetPrimaryFormat(const WaveFormat& format);
    int PrimaryChannels() const { return primaryChannels_; }

    // A secondary buffer. An extensible format's channel mask picks the speaker
    // pair: the back pair (0x30) plays on channels 3-4, anything else on 1-2.
    HResult CreateSoundBuffer(const BufferDescription& description, std::unique_ptr<SoundBuffer>* buffer);

    // The device does not play now (unplugged, failed); its buffers are
    // silent until SoundSystem::MaintainStreams reopens the stream.
    bool Failed() const;
    const std::optional<DeviceId>& Id() const { return id_; }
    // The stream, once a buffer made it open.
    DeviceStream* Stream() const { return stream_.get(); }

private:
    SoundSystem& system_;
    std::optional<DeviceId> id_;
    uint32_t cooperativeLevel_ = 0;
    int primaryChannels_ = 2;
    std::shared_ptr<DeviceStream> stream_;
};

}  // namespace platform::sound
