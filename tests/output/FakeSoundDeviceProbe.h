#pragma once

#include <set>
#include <string>
#include <vector>

#include "output/SoundDeviceProbe.h"

namespace output::testing {

inline platform::sound::DeviceId TestId(int n) {
    return {static_cast<uint8_t>(n), 0x5a};
}

// Made-up devices: "Primary Sound Driver" without an identifier, then those
// added, device n with identifier TestId(n).
struct FakeSoundDeviceProbe : SoundDeviceProbe {
    void Add(const std::string& description, int n, bool canSplit = false, bool canCreate = true) {
        devices.push_back({description, TestId(n)});
        if (canSplit) splittable.insert(TestId(n));
        if (!canCreate) broken.insert(TestId(n));
    }
    bool Enumerate(std::vector<Reported>& out) override {
        out = devices;
        return enumerationWorks;
    }
    bool CanCreate(const std::optional<platform::sound::DeviceId>& id) override {
        return !id || !broken.contains(*id);
    }
    bool CanSplit(const std::optional<platform::sound::DeviceId>& id) override {
        return id && splittable.contains(*id);
    }

    std::vector<Reported> devices{{"Primary Sound Driver", std::nullopt}};
    std::set<platform::sound::DeviceId> splittable, broken;
    bool enumerationWorks = true;
};

}  // namespace output::testing
