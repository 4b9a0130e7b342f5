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
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    char pattern[] = "/tmp/orvo2-device-tests-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("orvo2_device_tests: mkdtemp");
        return 1;
    }
    device_tests::Folder() = pattern;
    const std::string config = device_tests::Folder() + "/asound.conf";
    // Self-contained: nothing else is read. PortAudio 19.6 asserts in
    // BuildDeviceList unless pcm.!default is defined.
    const auto fileDevice = [](const char* name, const std::string& path) {
        return "pcm." + std::string(name) + " { type file  slave.pcm { type null }  file \"" + path +
               "\"  format \"raw\"  perm 0644 }\n";
    };
    if (!(std::ofstream(config) << fileDevice("filestereo", device_tests::StereoCapturePath())
                                << fileDevice("filequad", device_tests::QuadCapturePath()) << "pcm."
                                << device_tests::kPulseDevice << " { type pulse  device \""
                                << device_tests::kPulseSink << "\" }\npcm.!default \"filestereo\"\n")) {
        std::fprintf(stderr, "orvo2_device_tests: cannot write %s\n", config.c_str());
        return 1;
    }
    setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(device_tests::Folder(), ignored);
    return result;
}
