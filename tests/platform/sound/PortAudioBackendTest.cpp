#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sound/PortAudioBackend.h"
#include "support/SoundRig.h"

using platform::sound::BackendDevice;
using platform::sound::DeviceId;
using platform::sound::PortAudioBackend;
using sound_tests::CaptureStderr;
using sound_tests::SilentTarget;

// The PortAudio backend on this machine as it is: with or without a sound
// card. (Playing through real devices is in tests/devices/.)

namespace {

TEST(PortAudioBackend, ListsWellFormedDevicesWithoutAlsaMessagesAndRefusesUnknownOnes) {
    const std::string errors = CaptureStderr([&] {
        PortAudioBackend backend;
        EXPECT_TRUE(backend.IsInitialized());
        EXPECT_EQ(backend.Name(), "PortAudio");
        const std::vector<BackendDevice> devices = backend.Devices();
        for (const BackendDevice& device : devices) {
            EXPECT_FALSE(device.description.empty());
            EXPECT_GE(device.maxOutputChannels, 2) << device.description;
            EXPECT_EQ(
                std::count_if(devices.begin(), devices.end(), [&](auto& d) { return d.id == device.id; }), 1)
                << device.description;
        }
        SilentTarget target;
        DeviceId unknown{};
        unknown.fill(0x5A);
        EXPECT_FALSE(backend.IsFormatSupported(&unknown, 2, 44100));
        EXPECT_EQ(backend.OpenStream(&unknown, 2, target), nullptr);
        // Without any device (a server, a container) there is no default
        // device either: it is refused, not dereferenced.
        if (devices.empty()) {
            EXPECT_FALSE(backend.IsFormatSupported(nullptr, 2, 44100));
            EXPECT_EQ(backend.OpenStream(nullptr, 2, target), nullptr);
        }
    });
    // ALSA's own messages all start so; without a sound card it prints dozens
    // while PortAudio probes. (JACK's client library may still speak up.)
    std::istringstream lines(errors);
    for (std::string line; std::getline(lines, line);) EXPECT_NE(line.rfind("ALSA lib", 0), 0u) << line;
}

// Settings keep device ids: they must not change from build to build.
TEST(PortAudioBackend, IdsAreStableAndDistinct) {
    const DeviceId expected{0x1B, 0xE5, 0x12, 0x14, 0x3B, 0x15, 0xE9, 0x06,
                            0xDC, 0x7B, 0x15, 0xA8, 0xEB, 0xAA, 0xC6, 0x9F};
    EXPECT_EQ(PortAudioBackend::MakeDeviceId("ALSA", "default", 0), expected);
    EXPECT_NE(PortAudioBackend::MakeDeviceId("ALSA", "default", 1), expected);
    EXPECT_NE(PortAudioBackend::MakeDeviceId("JACK Audio Connection Kit", "default", 0), expected);
    EXPECT_NE(PortAudioBackend::MakeDeviceId("AL", "SAdefault", 0), expected);
}

}  // namespace
