#pragma once

#include <QString>

#include <optional>

#include "platform/sound/AudioBackend.h"

namespace output {

class CZelOutput;

// The main window's controls that a new device choice touches.
class DeviceChoiceControls {
public:
    virtual ~DeviceChoiceControls() = default;
    virtual void SetHeadphonesVolumeSlide(bool enabled, std::optional<double> value) = 0;
    virtual void SetMasterVolumeSlide(bool enabled, std::optional<double> value) = 0;
    // Switches the equalizer and the effect of a deck off.
    virtual void SwitchDeckProcessingOff(int deck) = 0;
    // Enables or disables the equalizer and effect on-switches of both decks.
    virtual void EnableDeckProcessingSwitches(bool enabled) = 0;
};

// Opens (or closes) both outputs for the identifiers the device chooser kept
// and sets the volume slides and the deck switches to match. When both outputs
// got the same identifier (nothing, or two halves of one device), the
// headphones volume and the decks' equalizers and effects are unavailable.
void ApplyDeviceChoice(CZelOutput& headphones, CZelOutput& main,
                       const std::optional<platform::sound::DeviceId>& headphonesId,
                       const QString& headphonesLabel, const std::optional<platform::sound::DeviceId>& mainId,
                       const QString& mainLabel, DeviceChoiceControls& controls);

}  // namespace output
