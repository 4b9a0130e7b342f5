#include "output/DeviceList.h"

#include <algorithm>

#include "output/SoundDeviceProbe.h"

namespace output {

namespace {

// Cuts the text at the first occurrence of the suffix, and the character
// before it, when the text ends with the suffix.
QString WithoutSuffix(const QString& text, QLatin1String suffix) {
    if (!text.endsWith(suffix)) return text;
    const qsizetype first = text.indexOf(suffix);
    return text.left(std::max<qsizetype>(first - 1, 0));
}

}  // namespace

bool IsCanSplitLabel(const QString& label) {
    return label.endsWith(kCanSplitSuffix);
}
bool IsFrontLabel(const QString& label) {
    return label.endsWith(kFrontSuffix);
}
bool IsRearLabel(const QString& label) {
    return label.endsWith(kRearSuffix);
}

QString DeviceName(const QString& label) {
    QString name = WithoutSuffix(label, kRearSuffix);
    name = WithoutSuffix(name, kFrontSuffix);
    name = WithoutSuffix(name, kCanSplitSuffix);
    return WithoutSuffix(name, kCantSplitSuffix);
}

QString WholeDeviceLabel(const QString& description, bool canSplit) {
    return description + kSuffixSeparator + (canSplit ? kCanSplitSuffix : kCantSplitSuffix);
}

std::optional<platform::sound::DeviceId> DeviceList::IdOf(const DeviceEntry& entry) const {
    if (!entry.idSlot || *entry.idSlot < 0 || *entry.idSlot >= idCount_) return std::nullopt;
    return ids_[static_cast<size_t>(*entry.idSlot)];
}

void DeviceList::Fill(SoundDeviceProbe& probe) {
    main_.clear();
    headphones_.clear();
    idCount_ = 0;
    main_.push_back({QString(kDisabledLabel), std::nullopt});

    std::vector<SoundDeviceProbe::Reported> reported;
    const bool enumerated = probe.Enumerate(reported);
    for (const SoundDeviceProbe::Reported& device : reported) {
        std::optional<int> slot;
        if (device.id) {
            if (idCount_ == kMaxIds) continue;
            ids_[static_cast<size_t>(idCount_)] = *device.id;
            slot = idCount_++;
        }
        main_.push_back({QString::fromStdString(device.description), slot});
    }
    if (!enumerated) return;

    std::erase_if(main_, [](const DeviceEntry& entry) { return entry.label == kPrimarySoundDriver; });
    // The disabled entry stays first and is never tested.
    main_.erase(std::remove_if(main_.begin() + 1, main_.end(),
                               [&](const DeviceEntry& entry) { return !probe.CanCreate(IdOf(entry)); }),
                main_.end());
    for (auto entry = main_.begin() + 1; entry != main_.end(); ++entry)
        entry->label = WholeDeviceLabel(entry->label, probe.CanSplit(IdOf(*entry)));

    headphones_ = main_;
}

}  // namespace output
