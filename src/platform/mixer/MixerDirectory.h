#pragma once

#include <optional>
#include <string>

namespace platform::mixer {

// The mixer devices, one per sound device: a mixer's product name is the
// description of its sound device, so that finding the mixer of a device is an
// exact match by name.
class MixerDirectory {
public:
    // The ALSA control device of the mixer named `productName`:
    // - "... (hw:N,M)", a device on card N: "hw:N";
    // - a name that ALSA opens as a control device itself ("pulse", or a ctl
    //   defined in the ALSA configuration): that name;
    // - any other device (the default device, a sound server): "default".
    // None for an empty name, which no sound device has.
    static std::optional<std::string> ControlDeviceFor(const std::string& productName);
};

}  // namespace platform::mixer
