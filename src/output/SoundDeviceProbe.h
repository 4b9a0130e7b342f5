#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/sound/AudioBackend.h"

namespace output {

// What the device list asks of the sound system when it is filled.
class SoundDeviceProbe {
public:
    struct Reported {
        std::string description;
        std::optional<platform::sound::DeviceId> id;  // none for "Primary Sound Driver"
    };

    virtual ~SoundDeviceProbe() = default;
    // Every device in the system's order, "Primary Sound Driver" (the default
    // device, no identifier) first. False when enumeration itself failed; the
    // devices reported before the failure are in `devices`.
    virtual bool Enumerate(std::vector<Reported>& devices) = 0;
    // Whether a device object can be created for the device.
    virtual bool CanCreate(const std::optional<platform::sound::DeviceId>& id) = 0;
    // Whether the device accepts a four-channel 44,100 Hz 16-bit format.
    virtual bool CanSplit(const std::optional<platform::sound::DeviceId>& id) = 0;
};

}  // namespace output
