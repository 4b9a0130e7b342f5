#pragma once

#include <string>

// The ALSA devices that orvo2_device_tests sets up before anything
// initializes PortAudio (see main.cpp): "filestereo" and "filequad" write what
// they play, raw, into these files; "default" is "filestereo". kPulseDevice
// plays on the PulseAudio sink kPulseSink, when a server that has it answers.
namespace device_tests {

inline constexpr const char* kPulseDevice = "pulserecovery";
inline constexpr const char* kPulseSink = "orvo_recovery";

const std::string& StereoCapturePath();
const std::string& QuadCapturePath();

}  // namespace device_tests
