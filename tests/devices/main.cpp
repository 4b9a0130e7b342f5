#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "devices/DeviceTestEnvironment.h"

// The device tests play through real ALSA devices: two "file" PCMs over the
// null device, which write exactly what they are given into raw files, and a
// PulseAudio PCM on a null sink of a private server that a test starts. ALSA
// reads its configuration once per process, so this program points
// ALSA_CONFIG_PATH at a configuration of its own before anything initializes
// PortAudio, which is why these tests are not part of orvo2_tests.

namespace device_tests {
namespace {
std::string g_stereoPath;
std::string g_quadPath;
}  // namespace

const std::string& StereoCapturePath() {
    return g_stereoPath;
}
const std::string& QuadCapturePath() {
    return g_quadPath;
}
}  // namespace device_tests

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    char pattern[] = "/tmp/orvo2-device-tests-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("orvo2_device_tests: mkdtemp");
        return 1;
    }
    const std::filesystem::path dir = pattern;
    device_tests::g_stereoPath = (dir / "stereo.raw").string();
    device_tests::g_quadPath = (dir / "quad.raw").string();
    const std::string config = (dir / "asound.conf").string();
    // Self-contained: nothing else is read. PortAudio 19.6 asserts in
    // BuildDeviceList unless pcm.!default is defined.
    const auto fileDevice = [](const char* name, const std::string& path) {
        return "pcm." + std::string(name) + " { type file  slave.pcm { type null }  file \"" + path +
               "\"  format \"raw\"  perm 0644 }\n";
    };
    if (!(std::ofstream(config) << fileDevice("filestereo", device_tests::g_stereoPath)
                                << fileDevice("filequad", device_tests::g_quadPath) << "pcm."
                                << device_tests::kPulseDevice << " { type pulse  device \""
                                << device_tests::kPulseSink << "\" }\npcm.!default \"filestereo\"\n")) {
        std::fprintf(stderr, "orvo2_device_tests: cannot write %s\n", config.c_str());
        return 1;
    }
    setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return result;
}
