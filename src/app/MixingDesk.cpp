#include "app/MixingDesk.h"

#include <QTimer>

#include <array>

#include "app/CZelCommandLineInfo.h"
#include "app/DeskView.h"
#include "engine/DeckLink.h"
#include "engine/Engine.h"
#include "engine/Playback.h"
#include "engine/StreamTime.h"
#include "output/CZelOutput.h"
#include "platform/MessagePort.h"
#include "platform/keyboard/KeyboardEnabled.h"
#include "platform/sound/SoundSystem.h"
#include "playlist/PlayListPanel.h"

using platform::Message;

namespace app {

bool MixingDesk::LinkedDecks::IsCueOn(int deck) const {
    const engine::DeckLink* link = engine_.Link(deck);
    return link && link->IsCueOn();
}

bool MixingDesk::LinkedDecks::IsPlaying(int deck) const {
    const engine::DeckLink* link = engine_.Link(deck);
    return link && link->IsPlaying();
}

void MixingDesk::LinkedDecks::Start(int deck) {
    if (engine::DeckLink* link = engine_.Link(deck)) link->TogglePlay();
}

MixingDesk::MixingDesk(engine::EngineEvents& events, platform::sound::SoundSystem& sound,
                       const CZelSettings& settings)
    : sound_(sound),
      port_(std::make_unique<platform::MessagePort>()),
      headphones_(std::make_unique<output::CZelOutput>(sound, &shaping_)),
      main_(std::make_unique<output::CZelOutput>(sound, &shaping_)),
      probe_(sound) {
    engine_ = std::make_unique<engine::Engine>(events, *port_);
    playback_ = std::make_unique<engine::Playback>(*engine_, events, *port_);
    playback_->SetOutputs(headphones_.get(), main_.get());
    // The saved levels and curve decide each deck's gain on each output.
    mixer_ = std::make_unique<output::CZelMixerControls>(*main_, *headphones_, settings);
    mixer_->RestoreFromSettings();
    linkedDecks_ = std::make_unique<LinkedDecks>(*engine_);
    mixer_->SetDecks(linkedDecks_.get());
    playback_->SetMixLink(mixer_.get());
    playback_->SetAnalysisLink(&analysis_);
    port_->SetHandler([this](Message m, const platform::Payload& p) { return OnMessage(m, p); });
}

MixingDesk::~MixingDesk() {
    playback_->Shutdown();
    engine_->Shutdown();
    port_->Close();
    headphones_->Close();
    main_->Close();
}

void MixingDesk::SetPlayListPanel(playlist::PlayListPanel* panel) {
    playListPanel_ = panel;
    engine_->SetPlayListLink(panel);
}

intptr_t MixingDesk::OnLoadPlayListEntry(int deck, const platform::Payload&) {
    if (!playListPanel_) return 0;
    const auto loaded = playListPanel_->LoadedPosition(deck);
    engine::DeckLink* link = engine_->Link(deck);
    if (!loaded || !link) return 0;
    const playlist::PlayListEntry entry = *playList_.Entry(*loaded);
    if (entry.kind == playlist::PlayListEntry::Kind::CdTrack) {
        // Loading another disc first re-lists its tracks: the entry is found again by number.
        const int track = static_cast<int>(entry.trackNumber);
        if (link->LoadCdTrack(entry.path.toStdString(), track))
            playListPanel_->MarkCdTrackLoaded(deck, entry.trackNumber);
        return 0;
    }
    // A file the deck cannot open is marked so in the list, and the deck says why.
    // Found again: a CD the deck left has taken its tracks out of the list.
    if (!link->LoadPath(entry.path.toStdString()))
        if (const auto now = playListPanel_->LoadedPosition(deck)) playListPanel_->MarkUnplayable(*now);
    return 0;
}

intptr_t MixingDesk::OnAddFileAndSelect(int deck, const platform::Payload& payload) {
    if (!playListPanel_) return 0;
    if (const auto* track = std::get_if<platform::TrackArgs>(&payload)) {
        AddCdTrack(deck, track->track);
        const int added = playList_.Count() - 1;
        playListPanel_->MarkLoaded(added);
        playListPanel_->MoveCursor(added);
        return 0;
    }
    const std::string& path = engine_->FilePath(deck);
    if (path.empty()) return 0;
    playListPanel_->AddFileEntry(deck, QString::fromStdString(path), engine_->KnownLength(deck, path), {});
    const int added = playList_.Count() - 1;
    playListPanel_->MarkLoaded(added);
    playListPanel_->MoveCursor(added);
    return 0;
}

intptr_t MixingDesk::OnAddFile(int deck, const platform::Payload& payload) {
    if (!playListPanel_) return 0;
    if (const auto* track = std::get_if<platform::TrackArgs>(&payload)) AddCdTrack(deck, track->track);
    if (const auto* file = std::get_if<platform::FileArgs>(&payload))
        playListPanel_->AddFileEntry(deck, QString::fromStdString(file->path), -1.0, {});
    return 0;
}

void MixingDesk::AddCdTrack(int deck, int track) {
    if (engine_->Kind(deck) != engine::SourceKind::Cd) return;
    playListPanel_->AddCdEntry(deck, QString::fromStdString(engine_->CdSourcePath(deck)),
                               engine_->Cd().TrackLength(deck, track), static_cast<uint32_t>(track));
}

intptr_t MixingDesk::OnPreviousTrack(int deck, const platform::Payload&) {
    if (playListPanel_) playListPanel_->PreviousTrack(deck);
    return 0;
}

intptr_t MixingDesk::OnNextTrack(int deck, const platform::Payload&) {
    if (playListPanel_) playListPanel_->NextTrack(deck);
    return 0;
}

intptr_t MixingDesk::OnCdClosed(int deck, const platform::Payload&) {
    if (playListPanel_) playListPanel_->RemoveCdEntries(deck);
    return 0;
}

intptr_t MixingDesk::OnKeyCode(int, const platform::Payload& payload) {
    const auto* key = std::get_if<platform::KeyArgs>(&payload);
    if (key && view_) view_->OnHeldKey(key->key);
    return 0;
}

intptr_t MixingDesk::OnForwardedKey(int, const platform::Payload& payload) {
    const auto* key = std::get_if<platform::KeyArgs>(&payload);
    if (key && view_) view_->OnForwardedKey(key->key);
    return 0;
}

intptr_t MixingDesk::OnPlayListFindNext(int, const platform::Payload&) {
    if (playListPanel_) playListPanel_->FindNext();
    return 0;
}

void MixingDesk::SetDeckLink(int deck, engine::DeckLink* link) {
    engine_->SetDeckLink(deck, link);
}

MixingDesk::Handler MixingDesk::HandlerOf(Message message) {
    // Indexed by the message code from kFirstMessage on; messages without a
    // handler here do nothing.
    static constexpr auto kHandlers = [] {
        std::array<Handler, platform::kLastMessage - platform::kFirstMessage + 1> table{};
        auto set = [&table](Message m, Handler h) {
            table[static_cast<uint32_t>(m) - platform::kFirstMessage] = h;
        };
        set(Message::EndOfTrack, &MixingDesk::OnEndOfTrack);
        set(Message::TempoChanged, &MixingDesk::OnTempoChanged);
        set(Message::ReportQueuedBytes, &MixingDesk::OnReportQueuedBytes);
        set(Message::TrackLengthMeasured, &MixingDesk::OnTrackLengthMeasured);
        set(Message::LengthMeasured, &MixingDesk::OnLengthMeasured);
        set(Message::DeckPrimed, &MixingDesk::OnDeckPrimed);
        set(Message::ForwardNotify, &MixingDesk::OnForwardNotify);
        set(Message::BackwardNotify, &MixingDesk::OnBackwardNotify);
        set(Message::StartForward, &MixingDesk::OnStartForward);
        set(Message::StartBackward, &MixingDesk::OnStartBackward);
        set(Message::ResumeForward, &MixingDesk::OnResumeForward);
        set(Message::StopForward, &MixingDesk::OnStopForward);
        set(Message::StopBackward, &MixingDesk::OnStopBackward);
        set(Message::BufferLead60, &MixingDesk::OnBufferLead60);
        set(Message::BufferLead20, &MixingDesk::OnBufferLead20);
        set(Message::ChildWindowClosed, &MixingDesk::OnChildWindowClosed);
        set(Message::EffectOn, &MixingDesk::OnEffectOn);
        set(Message::EffectOff, &MixingDesk::OnEffectOff);
        set(Message::EffectParameter, &MixingDesk::OnEffectParameter);
        set(Message::EqualizerBandGain, &MixingDesk::OnEqualizerBandGain);
        set(Message::EqualizerOff, &MixingDesk::OnEqualizerOff);
        set(Message::EqualizerOn, &MixingDesk::OnEqualizerOn);
        set(Message::LoadPlayListEntry, &MixingDesk::OnLoadPlayListEntry);
        set(Message::AddFileAndSelect, &MixingDesk::OnAddFileAndSelect);
        set(Message::AddFile, &MixingDesk::OnAddFile);
        set(Message::PreviousTrack, &MixingDesk::OnPreviousTrack);
        set(Message::NextTrack, &MixingDesk::OnNextTrack);
        set(Message::CdClosed, &MixingDesk::OnCdClosed);
        set(Message::PlayListFindNext, &MixingDesk::OnPlayListFindNext);
        set(Message::KeyCode, &MixingDesk::OnKeyCode);
        set(Message::ForwardedKey, &MixingDesk::OnForwardedKey);
        return table;
    }();
    const uint32_t code = static_cast<uint32_t>(message);
    if (code < platform::kFirstMessage || code > platform::kLastMessage) return nullptr;
    return kHandlers[code - platform::kFirstMessage];
}

intptr_t MixingDesk::OnMessage(Message message, const platform::Payload& payload) {
    const Handler handler = HandlerOf(message);
    return handler ? (this->*handler)(platform::DeckOf(payload), payload) : 0;
}

intptr_t MixingDesk::OnEndOfTrack(int deck, const platform::Payload&) {
    // Earlier blocks still play; the deck follows when the next track reaches the play point.
    if (engine::DeckLink* link = engine_->Link(deck)) link->OnTrackChangePending();
    engine_->OnEndOfTrack(deck);
    return 0;
}

intptr_t MixingDesk::OnTempoChanged(int deck, const platform::Payload& payload) {
    const auto* tempo = std::get_if<platform::TempoArgs>(&payload);
    if (!tempo) return 0;
    for (output::CZelOutput* out : {headphones_.get(), main_.get()})
        if (output::CZelOutputDevice* device = out->Device()) device->SetFrequency(deck, tempo->frequencyHz);
    return 0;
}

intptr_t MixingDesk::OnReportQueuedBytes(int deck, const platform::Payload&) {
    if (engine::DeckLink* link = engine_->Link(deck))
        link->ShowQueuedTime(engine::OutputBufferedBytes(engine_->Ledger(deck)));
    return 0;
}

intptr_t MixingDesk::OnTrackLengthMeasured(int, const platform::Payload&) {
    engine_->OnTrackLengthMeasured();
    return 0;
}

intptr_t MixingDesk::OnLengthMeasured(int, const platform::Payload&) {
    engine_->OnLengthMeasured();
    return 0;
}

intptr_t MixingDesk::OnDeckPrimed(int deck, const platform::Payload&) {
    playback_->PrimeDeck(deck);
    return 0;
}

intptr_t MixingDesk::OnForwardNotify(int deck, const platform::Payload&) {
    playback_->OnForwardNotify(deck);
    return 0;
}

intptr_t MixingDesk::OnBackwardNotify(int deck, const platform::Payload&) {
    playback_->OnBackwardNotify(deck);
    return 0;
}

// The starts answer whether the deck plays, so the deck shows what it does.
intptr_t MixingDesk::OnStartForward(int deck, const platform::Payload&) {
    return playback_->StartForward(deck) ? 1 : 0;
}

intptr_t MixingDesk::OnStartBackward(int deck, const platform::Payload&) {
    return playback_->StartBackward(deck) ? 1 : 0;
}

intptr_t MixingDesk::OnResumeForward(int deck, const platform::Payload&) {
    return playback_->ResumeForward(deck) ? 1 : 0;
}

intptr_t MixingDesk::OnStopForward(int deck, const platform::Payload&) {
    playback_->StopForward(deck);
    return 0;
}

intptr_t MixingDesk::OnStopBackward(int deck, const platform::Payload&) {
    playback_->StopBackward(deck);
    return 0;
}

intptr_t MixingDesk::OnBufferLead60(int, const platform::Payload&) {
    playback_->SetBufferLead(engine::Playback::kBackgroundBufferLead);
    return 0;
}

intptr_t MixingDesk::OnBufferLead20(int, const platform::Payload&) {
    playback_->SetBufferLead(engine::Playback::kDefaultBufferLead);
    return 0;
}

intptr_t MixingDesk::OnChildWindowClosed(int deck, const platform::Payload& payload) {
    const auto* window = std::get_if<platform::WindowArgs>(&payload);
    if (window && view_) view_->OnToolWindowClosed(window->code, deck);
    return 0;
}

// The equalizer and effects windows' messages: each change goes to the
// deck's buffers on the headphones output, then on the main output. Their
// results are the devices' business; the windows show what was chosen.
template <typename Operation>
void MixingDesk::OnBothDevices(Operation operation) {
    for (output::CZelOutput* out : {headphones_.get(), main_.get()})
        if (output::CZelOutputDevice* device = out->Device()) operation(*device);
}

namespace {

int IndexOf(const platform::Payload& payload) {
    const auto* chain = std::get_if<platform::ChainArgs>(&payload);
    return chain ? chain->index : -1;
}

}  // namespace

intptr_t MixingDesk::OnEffectOn(int deck, const platform::Payload&) {
    const QString name = shaping_.EffectParameters().ChosenEffect(deck);
    OnBothDevices([&](output::CZelOutputDevice& device) { device.SetEffect(deck, name, fadeWait_); });
    return 0;
}

intptr_t MixingDesk::OnEffectOff(int deck, const platform::Payload&) {
    OnBothDevices(
        [&](output::CZelOutputDevice& device) { device.SetEffect(deck, dsp::kNoEffect, fadeWait_); });
    return 0;
}

intptr_t MixingDesk::OnEffectParameter(int deck, const platform::Payload& payload) {
    const int index = IndexOf(payload);
    OnBothDevices([&](output::CZelOutputDevice& device) { device.SetEffectParameter(deck, index); });
    return 0;
}

intptr_t MixingDesk::OnEqualizerBandGain(int deck, const platform::Payload& payload) {
    const int band = IndexOf(payload);
    OnBothDevices([&](output::CZelOutputDevice& device) { device.SetEqualizerBandGain(deck, band); });
    return 0;
}

intptr_t MixingDesk::OnEqualizerOff(int deck, const platform::Payload&) {
    OnBothDevices([&](output::CZelOutputDevice& device) { device.EqualizerOff(deck, fadeWait_); });
    return 0;
}

intptr_t MixingDesk::OnEqualizerOn(int deck, const platform::Payload&) {
    OnBothDevices([&](output::CZelOutputDevice& device) { device.EqualizerOn(deck, fadeWait_); });
    return 0;
}

void MixingDesk::SetFadeStepWait(const output::FadeStepWait& wait) {
    fadeWait_ = wait;
    playback_->SetFadeStepWait(wait);
}

void MixingDesk::SetMainVolume(double volume) {
    main_->Level().SetMasterVolume(volume);
    main_->Level().SetWaveVolume(volume);
}

void MixingDesk::SetHeadphonesVolume(double volume) {
    headphones_->Level().SetMasterVolume(volume);
    headphones_->Level().SetWaveVolume(volume);
}

void MixingDesk::SetBalance(double balance) {
    for (output::CZelOutput* out : {headphones_.get(), main_.get()}) {
        out->Level().SetMasterBalance(balance);
        out->Level().SetWaveBalance(balance);
    }
}

void MixingDesk::SetInBackground(bool background) {
    // Keys typed into another program are not the DJ's shortcuts.
    platform::keyboard::SetApplicationActive(!background);
    // Through the port, as every change of the buffer lead arrives.
    port_->Send(background ? Message::BufferLead60 : Message::BufferLead20);
}

void MixingDesk::ApplyDeviceChoice(const DeviceSelection& chosen) {
    // The latency first, so the outputs open with it; streams kept open take it too.
    if (chosen.latencyMs != sound_.OutputLatency()) {
        sound_.SetOutputLatency(chosen.latencyMs);
        sound_.ReopenStreams();
    }
    // Without a view the choice still opens the outputs; no slide shows it.
    struct NoControls final : output::DeviceChoiceControls {
        void SetHeadphonesVolumeSlide(bool, std::optional<double>) override {}
        void SetMasterVolumeSlide(bool, std::optional<double>) override {}
        void SwitchDeckProcessingOff(int) override {}
        void EnableDeckProcessingSwitches(bool) override {}
    } none;
    output::DeviceChoiceControls& controls =
        view_ ? static_cast<output::DeviceChoiceControls&>(*view_) : none;
    output::ApplyDeviceChoice(*headphones_, *main_, chosen.headphonesId, chosen.headphonesLabel,
                              chosen.mainId, chosen.mainLabel, controls);
    if (view_) view_->ShowDevices(DevicesText());
}

void MixingDesk::ApplyNewDeviceChoice(const DeviceSelection& chosen) {
    // Never inside an action that waits: the outputs must not change under it.
    if (ActionUnderWay()) {
        QTimer::singleShot(0, this, [this, chosen] { ApplyNewDeviceChoice(chosen); });
        return;
    }
    if (view_) view_->UnloadDecks();
    ApplyDeviceChoice(chosen);
}

QString MixingDesk::DevicesText() const {
    auto name = [](const output::CZelOutput& out) {
        if (!out.IsOpen()) return QStringLiteral("Disabled");
        return out.IsLost() ? out.DeviceName() + " (lost, reconnecting)" : out.DeviceName();
    };
    return "Main: " + name(*main_) + "\nHeadphones: " + name(*headphones_);
}

void MixingDesk::MaintainDevices() {
    // A device that went away is reopened when it is back, the decks' buffers
    // kept, so they play on where they were.
    sound_.MaintainStreams();
    if (view_) view_->ShowDevices(DevicesText());
}

uint64_t MixingDesk::Underruns() {
    return sound_.Underruns();
}

void MixingDesk::Start() {
    engine_->StartTrackLengthThread();
}

void MixingDesk::LoadCommandLineFiles(CZelCommandLineInfo& commandLine, const std::function<bool()>& stop) {
    // With no file the loop runs once with an empty path, which fails quietly.
    engine::DeckLink* deckA = engine_->Link(0);
    if (!deckA) return;
    bool isLast = false;
    do {
        const QString path = commandLine.GetNextFile(isLast);
        // Each file that loads is listed, as the deck's loaded entry.
        if (deckA->LoadPath(path.toStdString()) && playListPanel_) OnAddFileAndSelect(0, {});
    } while (!isLast && !(stop && stop()));
}

bool MixingDesk::ActionUnderWay() const {
    return platform::DispatchDepth() > 0 || playback_->Busy() || (view_ && view_->DecksBusy());
}

bool MixingDesk::AnyDeckPlaying() const {
    return linkedDecks_->IsPlaying(0) || linkedDecks_->IsPlaying(1);
}

void MixingDesk::Shutdown() {
    playback_->Shutdown();
    engine_->Shutdown();
    headphones_->Close();
    main_->Close();
}

}  // namespace app
