#pragma once

#include <string>

// The ALSA file devices that orvo2_device_tests sets up before anything
// initializes PortAudio (see main.cpp): "filestereo" and "filequad" write what
// they play, raw, into these files; "default" is "filestereo".
namespace device_tests {

const std::string& StereoCapturePath();
const std::string& QuadCapturePath();

}  // namespace device_tests
