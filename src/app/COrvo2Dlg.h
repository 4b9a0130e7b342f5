#pragma once

#include <QDialog>

#include <array>
#include <functional>
#include <memory>

#include "engine/DeckLink.h"
#include "output/DeviceChoice.h"
#include "output/SoundSystemProbe.h"
#include "platform/Messages.h"

class CZelSettings;
class CZelSoundDevices;
class QLabel;
class QPushButton;

namespace app {
class CZelCommandLineInfo;
struct EngineEvents;
}  // namespace app
namespace engine {
class Engine;
class Playback;
}
namespace platform {
class MessagePort;
}
namespace platform::sound {
class SoundSystem;
}
namespace output {
class CZelOutput;
class CZelMixerControls;
}

// The main window. It owns the engine and receives the engine's messages; for
// now it shows what each deck holds, until the mixer and the deck windows
// take its place.
class COrvo2Dlg : public QDialog {
    Q_OBJECT
public:
    COrvo2Dlg(app::EngineEvents& events, app::CZelCommandLineInfo& commandLine, platform::sound::SoundSystem& sound,
              const CZelSettings& settings, QWidget* parent = nullptr);
    ~COrvo2Dlg() override;

    engine::Engine& Engine() { return *engine_; }
    engine::Playback& Playback() { return *playback_; }
    platform::MessagePort& MessagePort() { return *port_; }
    output::CZelOutput& HeadphonesOutput() { return *headphones_; }
    output::CZelOutput& MainOutput() { return *main_; }
    CZelSoundDevices& SoundDevices() { return *soundDevices_; }

    // The private-message dispatch table. UI thread only.
    intptr_t OnMessage(platform::Message message, uintptr_t wParam, intptr_t lParam);

public slots:
    void done(int result) override;

private:
    // What the deck windows will do; here a line of text per deck.
    class DeckLabel final : public engine::DeckLink {
    public:
        DeckLabel(QLabel* label, const QString& deckName);
        bool IsPlaying() const override { return playing && playing(); }
        void Pause() override {
            if (pause) pause();
        }
        void ShowNothingLoaded() override;
        void TakeLoadedFile(const std::string& path, const std::string& title, double lengthSeconds) override;
        void ResetLeds() override {}
        void OnEndOfTrack() override;
        void OnTrackChanged(const std::string& path, const std::string& title, double lengthSeconds) override;
        // Until the deck window exists: what ends play at the end of a track.
        std::function<void()> endOfTrack;
        std::function<bool()> playing;
        std::function<void()> pause;

    private:
        QLabel* label_;
        QString deckName_;
    };

    // The volume slides and deck switches a device choice sets; until the
    // mixer controls exist, what they would show is kept and written out.
    class OutputControls final : public output::DeviceChoiceControls {
    public:
        explicit OutputControls(QLabel* label) : label_(label) {}
        void SetHeadphonesVolumeSlide(bool enabled, std::optional<double> value) override;
        void SetMasterVolumeSlide(bool enabled, std::optional<double> value) override;
        void SwitchDeckProcessingOff(int) override {}
        void EnableDeckProcessingSwitches(bool) override {}
        void Show(const output::CZelOutput& main, const output::CZelOutput& headphones);

    private:
        QLabel* label_;
        bool headphonesEnabled_ = false;
        bool masterEnabled_ = false;
        double headphonesVolume_ = 0.0;
        double masterVolume_ = 0.0;
    };

    void StartUp();
    void LoadCommandLineFiles();
    // Runs the device chooser (visible or not) and opens the outputs it chose.
    void ChooseSoundDevices(bool visible);
    void ApplyDeviceChoice();
    void OnTimer();

    app::CZelCommandLineInfo& commandLine_;
    std::unique_ptr<platform::MessagePort> port_;
    std::unique_ptr<engine::Engine> engine_;
    std::unique_ptr<engine::Playback> playback_;
    std::array<std::unique_ptr<DeckLabel>, 2> deckLabels_;
    std::unique_ptr<output::CZelOutput> headphones_;
    std::unique_ptr<output::CZelOutput> main_;
    std::unique_ptr<output::CZelMixerControls> mixer_;
    output::SoundSystemProbe probe_;
    std::unique_ptr<CZelSoundDevices> soundDevices_;
    std::unique_ptr<OutputControls> outputControls_;
    QPushButton* showSoundDevices_ = nullptr;
    QPushButton* playDeckA_ = nullptr;  // until the deck window exists
    bool startingUp_ = false;
    bool closeRequested_ = false;
    int closeResult_ = 0;
};
