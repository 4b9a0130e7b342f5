#pragma once

#include <QDialog>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "app/DeskView.h"
#include "app/MainWindowControls.h"
#include "app/MixingDesk.h"
#include "ui/CZelCpuUsage.h"
#include "ui/CZelHelpTexts.h"

class CZelAnalyzer;
class CZelPlayList2;
class CZelButton;
class CZelDeck2;
class CZelEffects;
class CZelEqualizer2;
class CZelSettings;
class CZelSoundDevices;
class CZelSplashScreen;
class CZelToolWindow;
class WindowArranger;
namespace app {
class MainWindowKeys;
}

namespace app {
class CZelCommandLineInfo;
}  // namespace app
namespace engine {
struct EngineEvents;
}  // namespace engine

// The main window: shows the mixing desk's controls (cross faders, levels,
// curve and its graph, volumes, balance, processor load) and the buttons that
// show the other windows, and binds them to the desk, which owns the engine,
// the outputs and the message handling. It owns the deck windows.
class COrvo2Dlg : public QDialog, public app::DeskView {
    Q_OBJECT
public:
    COrvo2Dlg(engine::EngineEvents& events, app::CZelCommandLineInfo& commandLine,
              platform::sound::SoundSystem& sound, const CZelSettings& settings, QWidget* parent = nullptr);
    ~COrvo2Dlg() override;

    app::MixingDesk& Desk() { return *desk_; }
    engine::Engine& Engine() { return desk_->Engine(); }
    engine::Playback& Playback() { return desk_->Playback(); }
    platform::MessagePort& MessagePort() { return desk_->MessagePort(); }
    output::CZelOutput& HeadphonesOutput() { return desk_->HeadphonesOutput(); }
    output::CZelOutput& MainOutput() { return desk_->MainOutput(); }
    CZelSoundDevices& SoundDevices() { return *soundDevices_; }
    CZelDeck2& Deck(int deck) { return *decks_[deck]; }
    CZelEqualizer2& Equalizer(int deck) { return *equalizers_[deck]; }
    CZelEffects& Effects(int deck) { return *effects_[deck]; }
    CZelAnalyzer& Analyzer() { return *analyzer_; }
    CZelPlayList2& PlayList() { return *playList_; }
    const output::CZelMixerControls& Mixer() const { return desk_->Mixer(); }
    const CZelHelpTexts& HelpTexts() const { return helpTexts_; }
    app::MainWindowControls& Controls() { return controls_; }
    app::MainWindowKeys& Keys() { return *keys_; }
    // Places the windows (102: all of them) by the window arrangement.
    WindowArranger& Arranger() { return *arranger_; }

    // The private-message dispatch. UI thread only.
    intptr_t OnMessage(platform::Message message, const platform::Payload& payload) {
        return desk_->OnMessage(message, payload);
    }

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
    void OnNewDeviceChoice() { desk_->ApplyNewDeviceChoice(ChosenDevices()); }

    // app::DeskView
    void SetHeadphonesVolumeSlide(bool enabled, std::optional<double> value) override;
    void SetMasterVolumeSlide(bool enabled, std::optional<double> value) override;
    // The on switches of the decks' equalizer and effects windows: switched
    // off as the user would, so the devices hear of it.
    void SwitchDeckProcessingOff(int deck) override;
    void EnableDeckProcessingSwitches(bool enabled) override;
    void ShowDevices(const QString& text) override;
    void OnToolWindowClosed(int code, int deck) override;
    bool DecksBusy() const override;
    void UnloadDecks() override;
    void OnHeldKey(int code) override;
    void OnForwardedKey(int code) override;

public slots:
    void done(int result) override;

protected:
    // Minimised, the decks write 60 blocks ahead instead of 20, so that they
    // ride out a busy desktop; restored, back to 20.
    void changeEvent(QEvent* event) override;
    // A right click on the window's background offers the About box (as F1 does).
    void contextMenuEvent(QContextMenuEvent* event) override;
    // The single-key shortcuts; Escape does not close the main window.
    void keyPressEvent(QKeyEvent* event) override;
    // Closing while a deck plays asks first.
    void closeEvent(QCloseEvent* event) override;

private:
    using Id = app::MainWindowControls::Id;

    void ConnectControls();
    void ConnectShowButtons();
    // The tool windows in the order: analyzer, play list, then per deck
    // debugger, deck, effects, equalizer. Those without contents yet are empty.
    void CreateToolWindows();
    CZelToolWindow* ToolWindow(int code, int deck) const;
    void CreateAboutAction();
    void StartUp();
    // Runs the device chooser (visible or not) and opens the outputs it chose.
    void ChooseSoundDevices(bool visible);
    app::MixingDesk::DeviceSelection ChosenDevices() const;
    void OnTimer();
    void ShowAbout();

    app::CZelCommandLineInfo& commandLine_;
    const CZelSettings& settings_;
    std::unique_ptr<CZelSplashScreen> splash_;  // during start-up only
    std::unique_ptr<app::MixingDesk> desk_;
    std::unique_ptr<CZelSoundDevices> soundDevices_;
    std::array<CZelDeck2*, 2> decks_{};            // children of this window
    std::array<CZelEqualizer2*, 2> equalizers_{};  // children of this window
    std::array<CZelEffects*, 2> effects_{};        // children of this window
    CZelAnalyzer* analyzer_ = nullptr;             // a child of this window
    CZelPlayList2* playList_ = nullptr;            // a child of this window
    std::vector<CZelToolWindow*> toolWindows_;     // children of this window
    WindowArranger* arranger_ = nullptr;           // child of this window
    app::MainWindowKeys* keys_ = nullptr;          // child of this window
    app::MainWindowControls controls_;
    CZelHelpTexts helpTexts_;
    CZelCpuUsage cpuUsage_;
    bool startingUp_ = false;
    bool closeRequested_ = false;
    int closeResult_ = 0;
    QTimer pendingClose_;  // carries out a close asked for during an action
    QuitQuestion quitQuestion_;
};
