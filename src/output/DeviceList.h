#pragma once

#include <QLatin1String>
#include <QString>

#include <array>
#include <optional>
#include <vector>

#include "platform/sound/AudioBackend.h"

namespace output {

class SoundDeviceProbe;

// The texts of the device list.
inline constexpr QLatin1String kDisabledLabel{"No Sound Device Selected (Disabled)"};
inline constexpr QLatin1String kPrimarySoundDriver{"Primary Sound Driver"};
inline constexpr QLatin1String kCanSplitSuffix{"(Can Split)"};
inline constexpr QLatin1String kCantSplitSuffix{"(Can't Split)"};
inline constexpr QLatin1String kFrontSuffix{"(Front)"};
inline constexpr QLatin1String kRearSuffix{"(Rear)"};
inline constexpr QLatin1String kSuffixSeparator{" "};

// Suffix tests: the label's last characters equal the suffix exactly (case included).
bool IsCanSplitLabel(const QString& label);
bool IsFrontLabel(const QString& label);
bool IsRearLabel(const QString& label);

// The label without its "(Rear)", "(Front)", "(Can Split)" or "(Can't Split)"
// suffix: what the mixer lines are matched by and what saved choices are
// compared by. A suffix is cut at its first occurrence, together with the one
// character before it (the blank), so "Card (Front)" gives "Card".
QString DeviceName(const QString& label);

// "description (Can Split)" or "description (Can't Split)".
QString WholeDeviceLabel(const QString& description, bool canSplit);

// One line of a device list.
struct DeviceEntry {
    QString label;
    std::optional<int> idSlot;  // index into the list's identifier store; none: no identifier

    bool operator==(const DeviceEntry&) const = default;
};

// The device lists of the main and the headphones output, and the store of the
// identifiers their entries refer to. The store has a fixed number of slots and
// is emptied at every fill, so each fill lists at most kMaxIds devices that
// have an identifier. UI thread only.
class DeviceList {
public:
    static constexpr int kMaxIds = 20;

    // Asks the probe for the devices and rebuilds both lists: the disabled
    // entry first, then every device that can be created, labelled by whether
    // it can be split. "Primary Sound Driver" is never listed. When
    // enumeration fails the main list keeps the devices reported until then,
    // untested, and the headphones list stays empty.
    void Fill(SoundDeviceProbe& probe);

    std::vector<DeviceEntry>& Main() { return main_; }
    const std::vector<DeviceEntry>& Main() const { return main_; }
    std::vector<DeviceEntry>& Headphones() { return headphones_; }
    const std::vector<DeviceEntry>& Headphones() const { return headphones_; }

    // The identifier an entry refers to; none for an entry without one.
    std::optional<platform::sound::DeviceId> IdOf(const DeviceEntry& entry) const;

private:
    std::array<platform::sound::DeviceId, kMaxIds> ids_{};
    int idCount_ = 0;
    std::vector<DeviceEntry> main_;
    std::vector<DeviceEntry> headphones_;
};

}  // namespace output
