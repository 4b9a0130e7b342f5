#include "output/SoundDeviceChoice.h"

#include "output/SoundDeviceProbe.h"

namespace output {

bool SoundDeviceChoice::Open(SoundDeviceProbe& probe, const QString& savedMain,
                             const QString& savedHeadphones) {
    lists_.Fill(probe);
    selection_ = {-1, -1};
    Restore(savedMain, savedHeadphones);
    const bool first = !openedBefore_;
    openedBefore_ = true;
    return first;
}

void SoundDeviceChoice::Restore(const QString& savedMain, const QString& savedHeadphones) {
    // Main first: a split there splits the headphones list too, so that a
    // headphones label naming the other half then finds its entry.
    RestoreSide(Side::Main, savedMain, 1);
    RestoreSide(Side::Headphones, savedHeadphones, 2);
}

void SoundDeviceChoice::RestoreSide(Side side, const QString& saved, int fallback) {
    const int found = FindName(side, DeviceName(saved));
    if (found < 0) {
        SetSelection(side, static_cast<int>(List(side).size()) > fallback ? fallback : 0);
        return;
    }
    SetSelection(side, found);
    if (IsRearLabel(saved)) {
        // The entry may already be split (the other side holds the front
        // half); then only the selection moves to the rear half.
        Split(side);
        SetSelection(side, Selection(side) + 1);
    } else if (IsFrontLabel(saved)) {
        Split(side);
    }
}

void SoundDeviceChoice::Split(Side side) {
    const int selected = Selection(side);
    const QString label = SelectedLabel(side);
    if (selected < 0 || !IsCanSplitLabel(label)) return;
    SplitEntry(side, selected);
    SetSelection(side, selected);
    const Side other = Other(side);
    if (const int partner = FindLabel(other, label); partner >= 0) {
        SplitEntry(other, partner);
        SetSelection(other, partner + 1);
    }
}

void SoundDeviceChoice::Join(Side side) {
    const QString label = SelectedLabel(side);
    if (!IsFrontLabel(label) && !IsRearLabel(label)) return;
    JoinEntry(side, Selection(side));
    SetSelection(side, FindName(side, DeviceName(label)));
    const Side other = Other(side);
    if (const int partner = FindLabel(other, label); partner >= 0) JoinEntry(other, partner);
    SetSelection(other, 0);
}

void SoundDeviceChoice::Select(Side side, int index) {
    SetSelection(side, index);
    const int selected = Selection(side);
    const Side other = Other(side);
    const QString label = SelectedLabel(side);
    if (selected <= 0 || SelectedLabel(other) != label) return;
    if (IsFrontLabel(label)) {
        SetSelection(other, selected + 1);
    } else if (IsRearLabel(label)) {
        SetSelection(other, selected - 1);
    } else {
        SetSelection(other, 0);
    }
}

const SoundDeviceChoice::Choice& SoundDeviceChoice::Ok() {
    confirmed_.main = {SelectedId(Side::Main), SelectedLabel(Side::Main)};
    confirmed_.headphones = {SelectedId(Side::Headphones), SelectedLabel(Side::Headphones)};
    return confirmed_;
}

const std::vector<DeviceEntry>& SoundDeviceChoice::Entries(Side side) const {
    return side == Side::Main ? lists_.Main() : lists_.Headphones();
}

std::vector<DeviceEntry>& SoundDeviceChoice::List(Side side) {
    return side == Side::Main ? lists_.Main() : lists_.Headphones();
}

QString SoundDeviceChoice::SelectedLabel(Side side) const {
    const int selected = Selection(side);
    return selected < 0 ? QString() : Entries(side)[static_cast<size_t>(selected)].label;
}

std::optional<platform::sound::DeviceId> SoundDeviceChoice::SelectedId(Side side) const {
    const int selected = Selection(side);
    if (selected < 0) return std::nullopt;
    return lists_.IdOf(Entries(side)[static_cast<size_t>(selected)]);
}

void SoundDeviceChoice::SetSelection(Side side, int index) {
    const bool inRange = index >= 0 && index < static_cast<int>(Entries(side).size());
    selection_[Index(side)] = inRange ? index : -1;
}

void SoundDeviceChoice::SplitEntry(Side side, int index) {
    std::vector<DeviceEntry>& list = List(side);
    DeviceEntry& whole = list[static_cast<size_t>(index)];
    if (!IsCanSplitLabel(whole.label)) return;
    // The blank before "(Can Split)" stays: "Card (Front)", "Card (Rear)".
    const QString base = whole.label.left(whole.label.size() - kCanSplitSuffix.size());
    const std::optional<int> slot = whole.idSlot;
    whole.label = base + kFrontSuffix;
    list.insert(list.begin() + index + 1, DeviceEntry{base + kRearSuffix, slot});
}

void SoundDeviceChoice::JoinEntry(Side side, int index) {
    std::vector<DeviceEntry>& list = List(side);
    const DeviceEntry half = list[static_cast<size_t>(index)];
    const int front = IsFrontLabel(half.label) ? index : IsRearLabel(half.label) ? index - 1 : -1;
    if (front < 0 || front + 1 >= static_cast<int>(list.size())) return;
    list.erase(list.begin() + front + 1);
    list[static_cast<size_t>(front)] = {DeviceName(half.label) + kSuffixSeparator + kCanSplitSuffix,
                                        half.idSlot};
}

int SoundDeviceChoice::FindLabel(Side side, const QString& label) const {
    const std::vector<DeviceEntry>& list = Entries(side);
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].label == label) return static_cast<int>(i);
    return -1;
}

int SoundDeviceChoice::FindName(Side side, const QString& name) const {
    const std::vector<DeviceEntry>& list = Entries(side);
    for (size_t i = 0; i < list.size(); ++i)
        if (DeviceName(list[i].label) == name) return static_cast<int>(i);
    return -1;
}

}  // namespace output
