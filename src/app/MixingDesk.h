#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "analysis/DeckAnalysis.h"
#include "dsp/DeckShaping.h"
#include "output/CZelMixerControls.h"
#include "output/CZelOutputDevice.h"
#include "output/SoundSystemProbe.h"
#include "platform/Messages.h"
#include "platform/sound/AudioBackend.h"
#include "playlist/PlayListModel.h"

class CZelSettings;

namespace engine {
class DeckLink;
class Engine;
struct EngineEvents;
class Playback;
}  // namespace engine
namespace output {
class CZelOutput;
}
namespace platform {
class MessagePort;
}
namespace platform::sound {
class SoundSystem;
}

namespace app {

class CZelCommandLineInfo;
class DeskView;
}  // namespace app
namespace playlist {
class PlayListPanel;
}
namespace app {

// The program's core without a window: the message port, the engine and
// playback, the headphones and main outputs, the mixer controls, the sound
// system probe and the device choice, and the handling of the private
// messages. It reaches the decks only through their engine::DeckLink and the
// window through a DeskView. UI thread only.
class MixingDesk final : public QObject {
public:
    // The devices and latency a device choice confirmed.
    struct DeviceSelection {
        std::optional<platform::sound::DeviceId> headphonesId;
        QString headphonesLabel;
        std::optional<platform::sound::DeviceId> mainId;
        QString mainLabel;
        int latencyMs = 0;
    };

    MixingDesk(engine::EngineEvents& events, platform::sound::SoundSystem& sound,
               const CZelSettings& settings);
    ~MixingDesk() override;

    // Without a view the desk shows nothing and takes the decks as idle.
    void SetView(DeskView* view) { view_ = view; }
    // The deck's window (or whatever stands for it); the engine and the
    // cross fader's cue mark reach the deck through it.
    void SetDeckLink(int deck, engine::DeckLink* link);

    engine::Engine& Engine() { return *engine_; }
    engine::Playback& Playback() { return *playback_; }
    platform::MessagePort& MessagePort() { return *port_; }
    output::CZelOutput& HeadphonesOutput() { return *headphones_; }
    output::CZelOutput& MainOutput() { return *main_; }
    output::CZelMixerControls& Mixer() { return *mixer_; }
    const output::CZelMixerControls& Mixer() const { return *mixer_; }
    output::SoundDeviceProbe& Probe() { return probe_; }
    // The decks' equalizers and effect parameters, for their windows.
    dsp::DeckShaping& Shaping() { return shaping_; }
    // The analyzer and the decks' level meters, fed by playback.
    analysis::DeckAnalysis& Analysis() { return analysis_; }
    // The play list's entries, and the window's decisions once it exists:
    // the decks' next tracks come from it.
    playlist::PlayListModel& PlayList() { return playList_; }
    void SetPlayListPanel(playlist::PlayListPanel* panel);

    // The private-message dispatch; the port calls it, tests may too.
    intptr_t OnMessage(platform::Message message, const platform::Payload& payload);

    // The volume slides set both the master and the wave volume; the balance
    // slide both balances of both outputs.
    void SetMainVolume(double volume);
    void SetHeadphonesVolume(double volume);
    void SetBalance(double balance);
    // The wait between the steps of the fades around a change of a playing
    // deck's effect chain, and of playback's own fades.
    void SetFadeStepWait(const output::FadeStepWait& wait);
    // In the background (or minimised) the decks write further ahead and the
    // keyboard shortcuts rest.
    void SetInBackground(bool background);

    // Opens both outputs on the selection, with its latency, and shows them.
    void ApplyDeviceChoice(const DeviceSelection& chosen);
    // A choice the user confirmed: both decks are unloaded first. Carried out
    // once no action is under way.
    void ApplyNewDeviceChoice(const DeviceSelection& chosen);
    // "Main: <device>" and "Headphones: <device>" on two lines, with closed and
    // lost ones marked.
    QString DevicesText() const;
    // Reopens devices that came back and shows the devices again; the timer's work.
    void MaintainDevices();
    uint64_t Underruns();

    // Starts what runs for the whole session besides the decks.
    void Start();
    // Loads every command-line file in turn into deck A, which ends holding
    // the last one it could load, and lists each that loads in the play list;
    // stops early once `stop` says so.
    void LoadCommandLineFiles(CZelCommandLineInfo& commandLine, const std::function<bool()>& stop);

    // A deck action or an engine operation is under way, or a wait that
    // dispatches messages: the outputs must not change, nor the window close.
    bool ActionUnderWay() const;
    bool AnyDeckPlaying() const;
    // Stops every thread and closes the outputs; the desk may not play again.
    void Shutdown();

private:
    // The cue mark's view of the decks, through their links.
    class LinkedDecks final : public output::CZelMixerControls::Decks {
    public:
        explicit LinkedDecks(const engine::Engine& engine) : engine_(engine) {}
        bool IsCueOn(int deck) const override;
        bool IsPlaying(int deck) const override;
        void Start(int deck) override;

    private:
        const engine::Engine& engine_;
    };

    using Handler = intptr_t (MixingDesk::*)(int deck, const platform::Payload& payload);
    static Handler HandlerOf(platform::Message message);
    // One handler per message; `deck` is the one the payload names (0 or 1).
    intptr_t OnEndOfTrack(int deck, const platform::Payload&);
    intptr_t OnTempoChanged(int deck, const platform::Payload& payload);
    intptr_t OnReportQueuedBytes(int deck, const platform::Payload&);
    intptr_t OnTrackLengthMeasured(int, const platform::Payload&);
    intptr_t OnLengthMeasured(int, const platform::Payload&);
    intptr_t OnDeckPrimed(int deck, const platform::Payload&);
    intptr_t OnForwardNotify(int deck, const platform::Payload&);
    intptr_t OnBackwardNotify(int deck, const platform::Payload&);
    intptr_t OnStartForward(int deck, const platform::Payload&);
    intptr_t OnStartBackward(int deck, const platform::Payload&);
    intptr_t OnResumeForward(int deck, const platform::Payload&);
    intptr_t OnStopForward(int deck, const platform::Payload&);
    intptr_t OnStopBackward(int deck, const platform::Payload&);
    intptr_t OnBufferLead60(int, const platform::Payload&);
    intptr_t OnBufferLead20(int, const platform::Payload&);
    intptr_t OnChildWindowClosed(int deck, const platform::Payload& payload);
    intptr_t OnEffectOn(int deck, const platform::Payload&);
    intptr_t OnEffectOff(int deck, const platform::Payload&);
    intptr_t OnEffectParameter(int deck, const platform::Payload& payload);
    intptr_t OnEqualizerBandGain(int deck, const platform::Payload& payload);
    intptr_t OnEqualizerOff(int deck, const platform::Payload&);
    intptr_t OnEqualizerOn(int deck, const platform::Payload&);
    intptr_t OnLoadPlayListEntry(int deck, const platform::Payload&);
    intptr_t OnAddFileAndSelect(int deck, const platform::Payload& payload);
    intptr_t OnAddFile(int deck, const platform::Payload& payload);
    intptr_t OnPreviousTrack(int deck, const platform::Payload&);
    intptr_t OnNextTrack(int deck, const platform::Payload&);
    intptr_t OnCdClosed(int deck, const platform::Payload&);
    // Lists a track of the deck's CD.
    void AddCdTrack(int deck, int track);
    intptr_t OnPlayListFindNext(int, const platform::Payload&);
    intptr_t OnKeyCode(int, const platform::Payload& payload);
    intptr_t OnForwardedKey(int, const platform::Payload& payload);
    // Runs `operation` on the headphones output's device, then the main output's.
    template <typename Operation>
    void OnBothDevices(Operation operation);

    platform::sound::SoundSystem& sound_;
    dsp::DeckShaping shaping_;
    analysis::DeckAnalysis analysis_;
    playlist::PlayListModel playList_;
    playlist::PlayListPanel* playListPanel_ = nullptr;
    DeskView* view_ = nullptr;
    std::unique_ptr<platform::MessagePort> port_;
    std::unique_ptr<engine::Engine> engine_;
    std::unique_ptr<engine::Playback> playback_;
    std::unique_ptr<output::CZelOutput> headphones_;
    std::unique_ptr<output::CZelOutput> main_;
    std::unique_ptr<output::CZelMixerControls> mixer_;
    std::unique_ptr<LinkedDecks> linkedDecks_;
    output::SoundSystemProbe probe_;
    output::FadeStepWait fadeWait_ = output::DefaultFadeStepWait;
};

}  // namespace app
