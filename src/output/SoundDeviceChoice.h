#pragma once

#include <QString>

#include <array>
#include <optional>
#include <vector>

#include "output/DeviceList.h"
#include "platform/sound/AudioBackend.h"

namespace output {

class SoundDeviceProbe;

// The device chooser's lists and their editing rules, without a window: the
// main and the headphones list, their selections, splitting a four-channel
// device into its front and rear halves and joining them again, and the
// choice kept at the last confirmation. The lists always hold the same
// entries in the same order. UI thread only.
class SoundDeviceChoice {
public:
    enum class Side { Main, Headphones };

    struct ChosenDevice {
        std::optional<platform::sound::DeviceId> id;  // none: the output stays closed
        QString label;                                // the entry's full label, as saved
    };
    struct Choice {
        ChosenDevice main;
        ChosenDevice headphones;
    };

    // Every opening: fills the lists and restores the saved labels. True on the
    // first opening only, which the caller confirms at once (Ok) without
    // showing anything.
    bool Open(SoundDeviceProbe& probe, const QString& savedMain, const QString& savedHeadphones);

    // Selects on each side the entry whose device name matches the saved label,
    // splitting the device again when the label names a half. A label that
    // matches nothing leaves main on the first device and headphones on the
    // second (or on the disabled entry when there are too few).
    void Restore(const QString& savedMain, const QString& savedHeadphones);

    // Splits the side's selected "(Can Split)" entry in both lists: this side
    // gets the front half, the other side the rear half. Other entries: nothing.
    void Split(Side side);
    // Joins the side's selected half in both lists: this side gets the whole
    // device, the other side the disabled entry. Other entries: nothing.
    void Join(Side side);
    // The user picked `index` on `side`. One whole device never serves both
    // outputs: picking what the other side shows moves the other side to the
    // other half of a split device, or to the disabled entry.
    void Select(Side side, int index);

    // Keeps and returns the selected entries' identifiers and labels. Without
    // a call (Cancel) the last confirmed choice stays.
    const Choice& Ok();
    const Choice& Confirmed() const { return confirmed_; }

    const std::vector<DeviceEntry>& Entries(Side side) const;
    int Selection(Side side) const { return selection_[Index(side)]; }  // -1: none
    QString SelectedLabel(Side side) const;
    std::optional<platform::sound::DeviceId> SelectedId(Side side) const;

private:
    static size_t Index(Side side) { return side == Side::Main ? 0 : 1; }
    static Side Other(Side side) { return side == Side::Main ? Side::Headphones : Side::Main; }

    std::vector<DeviceEntry>& List(Side side);
    // Selects without applying the rules of a user's pick; out of range selects nothing.
    void SetSelection(Side side, int index);
    void RestoreSide(Side side, const QString& saved, int fallback);
    // Replaces the entry at `index` by its front and rear halves.
    void SplitEntry(Side side, int index);
    // Replaces the halves around the half at `index` by the whole device.
    void JoinEntry(Side side, int index);
    int FindLabel(Side side, const QString& label) const;
    int FindName(Side side, const QString& name) const;

    DeviceList lists_;
    std::array<int, 2> selection_{-1, -1};
    Choice confirmed_;
    bool openedBefore_ = false;
};

}  // namespace output
