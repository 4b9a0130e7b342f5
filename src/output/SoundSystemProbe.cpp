#include "output/SoundSystemProbe.h"

#include "platform/sound/DirectSound.h"
#include "platform/sound/SoundSystem.h"

namespace output {

using namespace platform::sound;

bool SoundSystemProbe::Enumerate(std::vector<Reported>& devices) {
    for (const auto& device : system_.Enumerate()) devices.push_back({device.description, device.id});
    return true;
}

bool SoundSystemProbe::CanCreate(const std::optional<DeviceId>& id) {
    std::unique_ptr<DirectSound> device;
    return Succeeded(system_.Create(id, &device));
}

bool SoundSystemProbe::CanSplit(const std::optional<DeviceId>& id) {
    std::unique_ptr<DirectSound> device;
    if (!Succeeded(system_.Create(id, &device))) return false;
    if (!Succeeded(device->SetCooperativeLevel(kCooperativeExclusive))) return false;
    return Succeeded(device->SetPrimaryFormat(WaveFormat::Pcm(4, 44'100)));
}

}  // namespace output
