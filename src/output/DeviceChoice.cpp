#include "output/DeviceChoice.h"

#include "output/CZelOutput.h"

namespace output {

void ApplyDeviceChoice(CZelOutput& headphones, CZelOutput& main,
                       const std::optional<platform::sound::DeviceId>& headphonesId,
                       const QString& headphonesLabel, const std::optional<platform::sound::DeviceId>& mainId,
                       const QString& mainLabel, DeviceChoiceControls& controls) {
    if (headphonesId) {
        headphones.Open(headphonesId, headphonesLabel);
        controls.SetHeadphonesVolumeSlide(true, std::nullopt);
    } else {
        headphones.Close();
        controls.SetHeadphonesVolumeSlide(false, 0.0);
    }
    if (mainId) {
        main.Open(mainId, mainLabel);
        controls.SetMasterVolumeSlide(true, std::nullopt);
    } else {
        main.Close();
        controls.SetMasterVolumeSlide(false, 0.0);
    }

    for (int deck = 0; deck < 2; ++deck) controls.SwitchDeckProcessingOff(deck);

    if (headphonesId == mainId) {
        // One device for both: its own volume control is the main one.
        controls.SetHeadphonesVolumeSlide(false, 0.0);
        controls.EnableDeckProcessingSwitches(false);
    } else {
        // Two devices, or main alone: each deck buffer can carry its chain.
        controls.EnableDeckProcessingSwitches(true);
    }
    if (headphonesId && headphonesId != mainId) {
        controls.SetHeadphonesVolumeSlide(true, std::nullopt);
        const double volume = headphones.Level().GetMasterVolume();
        controls.SetHeadphonesVolumeSlide(true, volume);
        headphones.Level().SetWaveVolume(volume);
    }
    if (mainId) {
        const double volume = main.Level().GetMasterVolume();
        controls.SetMasterVolumeSlide(true, volume);
        main.Level().SetWaveVolume(volume);
    }
}

}  // namespace output
