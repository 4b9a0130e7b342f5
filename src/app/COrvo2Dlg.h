#pragma once

#include <QDialog>
#include <QTimer>

#include <array>
#include <vector>
#include <functional>
#include <memory>

#include "engine/DeckLink.h"
#include "output/CZelMixerControls.h"
#include "output/DeviceChoice.h"
#include "output/SoundSystemProbe.h"
#include "platform/Messages.h"
#include "ui/CZelCpuUsage.h"
#include "ui/CZelHelpTexts.h"

class CZelButton;
class CZelDeck2;
class CZelGraph;
class CZelProportionalLayout;
class CZelSettings;
class CZelToolWindow;
class CZelSlide;
class CZelSoundDevices;
class CZelSplashScreen;
class QLabel;

namespace app {
class CZelCommandLineInfo;
}  // namespace app
namespace engine {
struct EngineEvents;
class Engine;
class Playback;
}  // namespace engine
namespace platform {
class MessagePort;
}
namespace platform::sound {
class SoundSystem;
}
namespace output {
class CZelOutput;
}  // namespace output

// The main window: the mixer's controls (cross faders, levels, curve and its
// graph, volumes, balance, processor load) and the buttons that show the
// other windows. It owns the engine, the outputs and the deck windows and
// receives the engine's and the decks' messages.
class COrvo2Dlg : public QDialog {
    Q_OBJECT
public:
    COrvo2Dlg(engine::EngineEvents& events, app::CZelCommandLineInfo& commandLine,
              platform::sound::SoundSystem& sound, const CZelSettings& settings, QWidget* parent = nullptr);
    ~COrvo2Dlg() override;

    engine::Engine& Engine() { return *engine_; }
    engine::Playback& Playback() { return *playback_; }
    platform::MessagePort& MessagePort() { return *port_; }
    output::CZelOutput& HeadphonesOutput() { return *headphones_; }
    output::CZelOutput& MainOutput() { return *main_; }
    CZelSoundDevices& SoundDevices() { return *soundDevices_; }
    CZelDeck2& Deck(int deck) { return *decks_[deck]; }
    const output::CZelMixerControls& Mixer() const { return *mixer_; }
    const CZelHelpTexts& HelpTexts() const { return helpTexts_; }

    // The private-message dispatch table. UI thread only.
    intptr_t OnMessage(platform::Message message, const platform::Payload& payload);

    // Ends the program now, whatever plays and whatever is open over the
    // window (SIGTERM, SIGINT).
    void Terminate();
    // Asked before the window closes while a deck plays; true quits. Tests
    // put their answer here.
    using QuitQuestion = std::function<bool(QWidget* parent)>;
    void SetQuitQuestion(QuitQuestion question) { quitQuestion_ = std::move(question); }
    static bool AskToQuit(QWidget* parent);
    // What OK in the sound device window does: both decks unloaded, then the
    // outputs opened on the new choice.
    void OnNewDeviceChoice();

public slots:
    void done(int result) override;

protected:
    // Minimised, the decks write 60 blocks ahead instead of 20, so that they
    // ride out a busy desktop; restored, back to 20.
    void changeEvent(QEvent* event) override;
    // A right click on the window's background offers the About box.
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Escape does not close the main window.
    void keyPressEvent(QKeyEvent* event) override;
    // Closing while a deck plays asks first.
    void closeEvent(QCloseEvent* event) override;

private:
    // What the cross fader's cue mark needs of the deck windows.
    class CueDecks final : public output::CZelMixerControls::Decks {
    public:
        explicit CueDecks(const std::array<CZelDeck2*, 2>& decks) : decks_(decks) {}
        bool IsCueOn(int deck) const override;
        bool IsPlaying(int deck) const override;
        void Start(int deck) override;

    private:
        const std::array<CZelDeck2*, 2>& decks_;
    };

    // The volume slides and deck switches a device choice sets.
    class VolumeSlides final : public output::DeviceChoiceControls {
    public:
        VolumeSlides(CZelSlide* master, CZelSlide* headphones) : master_(master), headphones_(headphones) {}
        void SetHeadphonesVolumeSlide(bool enabled, std::optional<double> value) override;
        void SetMasterVolumeSlide(bool enabled, std::optional<double> value) override;
        // The deck windows' equalizer and effect switches come with those windows.
        void SwitchDeckProcessingOff(int) override {}
        void EnableDeckProcessingSwitches(bool) override {}

    private:
        static void Set(CZelSlide* slide, bool enabled, std::optional<double> value);
        CZelSlide* master_;
        CZelSlide* headphones_;
    };

    // A deck action or an engine operation is under way, or a wait that
    // dispatches messages: the outputs must not change, nor the window close.
    bool ActionUnderWay() const;
    void CreateControls();
    // Help texts and proportional places of every control.
    void RegisterControls();
    void ConnectControls();
    // The controls and the graph as the mixer restored them from the settings.
    void ShowMixerState();
    void DrawCurves();
    void ShowDevices();
    // The tool windows, created empty until their contents are built, in the
    // order: analyzer, play list, then per deck debugger, deck, effects, equalizer.
    void CreateToolWindows();
    CZelToolWindow* ToolWindow(int code, int deck) const;
    CZelButton* ShowButtonOf(int code, int deck) const;
    // Places (and shows) the windows a window code names: 102 all of them.
    void ArrangeWindows(int code, int deck);
    void StartUp();
    void LoadCommandLineFiles();
    // Runs the device chooser (visible or not) and opens the outputs it chose.
    void ChooseSoundDevices(bool visible);
    void ApplyDeviceChoice();
    void OnTimer();
    void ShowAbout();

    app::CZelCommandLineInfo& commandLine_;
    const CZelSettings& settings_;
    platform::sound::SoundSystem& sound_;
    std::unique_ptr<CZelSplashScreen> splash_;  // during start-up only
    std::unique_ptr<platform::MessagePort> port_;
    std::unique_ptr<engine::Engine> engine_;
    std::unique_ptr<engine::Playback> playback_;
    std::array<CZelDeck2*, 2> decks_{};  // children of this window
    std::unique_ptr<CueDecks> cueDecks_;
    std::unique_ptr<output::CZelOutput> headphones_;
    std::unique_ptr<output::CZelOutput> main_;
    std::unique_ptr<output::CZelMixerControls> mixer_;
    output::SoundSystemProbe probe_;
    std::unique_ptr<CZelSoundDevices> soundDevices_;
    std::unique_ptr<VolumeSlides> volumeSlides_;
    CZelHelpTexts helpTexts_;
    CZelProportionalLayout* layout_ = nullptr;
    CZelCpuUsage cpuUsage_;

    CZelSlide* mainCrossFader_ = nullptr;
    CZelSlide* headphonesCrossFader_ = nullptr;
    std::array<CZelSlide*, 2> levels_{};
    CZelSlide* curve_ = nullptr;
    CZelGraph* graph_ = nullptr;
    int mainCursor_ = 0;
    int cueCursor_ = 1;
    CZelButton* cueOn_ = nullptr;
    CZelSlide* masterVolume_ = nullptr;
    CZelSlide* headphonesVolume_ = nullptr;
    CZelSlide* balance_ = nullptr;
    CZelSlide* cpuMeter_ = nullptr;
    CZelButton* cpuCaption_ = nullptr;
    CZelButton* showAnalyzer_ = nullptr;
    std::array<CZelButton*, 2> showEqualizers_{};
    std::array<CZelButton*, 2> showEffects_{};
    CZelButton* showPlayList_ = nullptr;
    CZelButton* showSoundDevices_ = nullptr;
    QLabel* devices_ = nullptr;
    std::vector<CZelToolWindow*> toolWindows_;  // children of this window
    bool startingUp_ = false;
    bool closeRequested_ = false;
    int closeResult_ = 0;
    QTimer pendingClose_;  // carries out a close asked for during an action
    QuitQuestion quitQuestion_;
};
