#pragma once

#include "output/SoundDeviceProbe.h"

namespace platform::sound {
class SoundSystem;
}

namespace output {

// The device list's questions answered by the sound system itself: the
// creation test makes a device object, the split test asks it for a
// four-channel 44,100 Hz mixing format.
class SoundSystemProbe final : public SoundDeviceProbe {
public:
    explicit SoundSystemProbe(platform::sound::SoundSystem& system) : system_(system) {}

    bool Enumerate(std::vector<Reported>& devices) override;
    bool CanCreate(const std::optional<platform::sound::DeviceId>& id) override;
    bool CanSplit(const std::optional<platform::sound::DeviceId>& id) override;

private:
    platform::sound::SoundSystem& system_;
};

}  // namespace output
