#pragma once

#include <QDialog>

#include <array>
#include <optional>

#include "output/SoundDeviceChoice.h"
#include "platform/sound/AudioBackend.h"

#include "settings/CZelSettings.h"
class QComboBox;
class QPushButton;
class QSpinBox;

namespace output {
class SoundDeviceProbe;
}

// The modal "Select Sound Devices" window: picks the device of the main and of
// the headphones output, and splits a four-channel device into its front and
// rear halves or joins them again. One instance lives for the whole run; the
// choice confirmed last is what the main window opens. UI thread only.
class CZelSoundDevices : public QDialog {
    Q_OBJECT
public:
    CZelSoundDevices(output::SoundDeviceProbe& probe, const CZelSettings& settings,
                     QWidget* parent = nullptr);

    // Fills the lists and restores the saved choice, then waits for OK or
    // Cancel. The first run, and any run that is not to be visible, confirms
    // the restored choice at once without showing the window.
    QDialog::DialogCode Run(bool visible = true);

    // The choice at the last OK; none before the first one. Cancel keeps it.
    const std::optional<platform::sound::DeviceId>& ChosenMainId() const {
        return choice_.Confirmed().main.id;
    }
    const std::optional<platform::sound::DeviceId>& ChosenHeadphonesId() const {
        return choice_.Confirmed().headphones.id;
    }
    const QString& ChosenMainLabel() const { return choice_.Confirmed().main.label; }
    const QString& ChosenHeadphonesLabel() const { return choice_.Confirmed().headphones.label; }
    // The output latency at the last OK, in milliseconds.
    int ChosenLatencyMs() const { return chosenLatencyMs_; }

public slots:
    void accept() override;

private:
    using Side = output::SoundDeviceChoice::Side;

    struct SideControls {
        QComboBox* list = nullptr;
        QPushButton* split = nullptr;
        QPushButton* join = nullptr;
    };

    QWidget* MakeGroup(Side side, const QString& title, const QString& objectPrefix);
    // Keeps the choice and saves both labels.
    void Confirm();
    // Shows the lists' entries and selections in the drop-down lists.
    void ShowLists();

    output::SoundDeviceProbe& probe_;
    const CZelSettings& settings_;
    output::SoundDeviceChoice choice_;
    std::array<SideControls, 2> controls_;
    QSpinBox* latency_ = nullptr;
    int chosenLatencyMs_ = CZelSettings::kDefaultOutputLatencyMs;
};
