#pragma once

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
// halves of a split device share one physical stream.
// User-interface thread only.
class SoundSystem {
public:
    static constexpr const char* kPrimaryDriver = "Primary Sound Driver";

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

private:
    friend class DirectSound;
    // The stream of a device, opened on first use with the given channels.
    std::shared_ptr<DeviceStream> StreamFor(const std::optional<DeviceId>& id, int channels);

    std::unique_ptr<AudioBackend> backend_;
    std::map<std::optional<DeviceId>, std::weak_ptr<DeviceStream>> streams_;
};

}  // namespace platform::sound
