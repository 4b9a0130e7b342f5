#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// The ALSA devices that orvo2_device_tests sets up before anything
// initializes PortAudio (see main.cpp): "filestereo" and "filequad" write what
// they play, raw, into these files; "default" is "filestereo". kPulseDevice
// plays on the PulseAudio sink kPulseSink, when a server that has it answers.
namespace device_tests {

inline constexpr const char* kPulseDevice = "pulserecovery";
inline constexpr const char* kPulseSink = "orvo_recovery";

// The folder main() makes for the configuration and the captures.
inline std::string& Folder() {
    static std::string folder;
    return folder;
}
inline std::string StereoCapturePath() {
    return Folder() + "/stereo.raw";
}
inline std::string QuadCapturePath() {
    return Folder() + "/quad.raw";
}

// What a file device wrote: 16-bit samples, interleaved.
inline std::vector<int16_t> Captured(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::vector<int16_t> samples(bytes.size() / 2);
    bytes.copy(reinterpret_cast<char*>(samples.data()), samples.size() * 2);
    return samples;
}

}  // namespace device_tests
