#include "app/COrvo2Dlg.h"

#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include "app/CZelCommandLineInfo.h"
#include "app/EngineEvents.h"
#include "engine/Engine.h"
#include "engine/Playback.h"
#include "engine/StreamTime.h"
#include "output/CZelMixerControls.h"
#include "output/CZelOutput.h"
#include "output/CZelSoundDevices.h"
#include "platform/MessagePort.h"
#include "platform/sound/SoundSystem.h"

using platform::Message;

COrvo2Dlg::DeckLabel::DeckLabel(QLabel* label, const QString& deckName) : label_(label), deckName_(deckName) {
    ShowNothingLoaded();
}

void COrvo2Dlg::DeckLabel::ShowNothingLoaded() { label_->setText(deckName_ + ": Nothing Loaded"); }

void COrvo2Dlg::DeckLabel::TakeLoadedFile(const std::string& path, const std::string& title, double lengthSeconds) {
    const QString shown = title.empty() ? QFileInfo(QString::fromStdString(path)).fileName() : QString::fromStdString(title);
    label_->setText(deckName_ + ": " + shown + "   " + QString::fromStdString(engine::FormatTime(lengthSeconds)));
}

void COrvo2Dlg::OutputControls::SetHeadphonesVolumeSlide(bool enabled, std::optional<double> value) {
    headphonesEnabled_ = enabled;
    if (value) headphonesVolume_ = *value;
}

void COrvo2Dlg::OutputControls::SetMasterVolumeSlide(bool enabled, std::optional<double> value) {
    masterEnabled_ = enabled;
    if (value) masterVolume_ = *value;
}

void COrvo2Dlg::OutputControls::Show(const output::CZelOutput& main, const output::CZelOutput& headphones) {
    auto line = [](const char* name, const output::CZelOutput& out, bool enabled, double volume) {
        const QString device = out.IsOpen() ? out.DeviceName() : QStringLiteral("Disabled");
        const QString level = enabled ? QString(" at %1 %").arg(static_cast<int>(volume * 100)) : QString();
        return QString(name) + ": " + device + level;
    };
    label_->setText(line("Main", main, masterEnabled_, masterVolume_) + "\n" +
                    line("Headphones", headphones, headphonesEnabled_, headphonesVolume_));
}

void COrvo2Dlg::DeckLabel::OnEndOfTrack() {
    if (endOfTrack) endOfTrack();
}

void COrvo2Dlg::DeckLabel::OnTrackChanged(const std::string& path, const std::string& title, double lengthSeconds) {
    TakeLoadedFile(path, title, lengthSeconds);
}

COrvo2Dlg::COrvo2Dlg(app::EngineEvents& events, app::CZelCommandLineInfo& commandLine,
                     platform::sound::SoundSystem& sound, const CZelSettings& settings, QWidget* parent)
    : QDialog(parent),
      commandLine_(commandLine),
      port_(std::make_unique<platform::MessagePort>()),
      headphones_(std::make_unique<output::CZelOutput>(sound)),
      main_(std::make_unique<output::CZelOutput>(sound)),
      probe_(sound) {
    setWindowTitle("Orvo 2");
    setMinimumSize(480, 200);
    auto* layout = new QVBoxLayout(this);
    for (int deck = 0; deck < 2; ++deck) {
        auto* label = new QLabel(this);
        layout->addWidget(label);
        deckLabels_[deck] = std::make_unique<DeckLabel>(label, deck == 0 ? "Deck A" : "Deck B");
    }
    auto* outputs = new QLabel(this);
    layout->addWidget(outputs);
    outputControls_ = std::make_unique<OutputControls>(outputs);
    showSoundDevices_ = new QPushButton("Show Sound Devices", this);
    showSoundDevices_->setCheckable(true);
    showSoundDevices_->setToolTip("show sound devices");
    layout->addWidget(showSoundDevices_);
    connect(showSoundDevices_, &QPushButton::toggled, this, [this](bool on) {
        if (on) ChooseSoundDevices(true);
    });
    soundDevices_ = std::make_unique<CZelSoundDevices>(probe_, settings, this);

    // Until the deck window exists, Deck A plays and pauses from here.
    playDeckA_ = new QPushButton("Play Deck A", this);
    playDeckA_->setCheckable(true);
    layout->addWidget(playDeckA_);
    connect(playDeckA_, &QPushButton::toggled, this, [this](bool on) {
        port_->Send(on ? Message::StartForward : Message::StopForward, 0);
    });
    deckLabels_[0]->playing = [this] { return playDeckA_->isChecked(); };
    deckLabels_[0]->pause = [this] { playDeckA_->setChecked(false); };
    deckLabels_[0]->endOfTrack = [this] {
        // Posted: this runs inside the handling of a play notification.
        QSignalBlocker quiet(playDeckA_);
        playDeckA_->setChecked(false);
        port_->Post(Message::StopForward, 0);
    };

    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &COrvo2Dlg::OnTimer);
    timer->start(500);

    engine_ = std::make_unique<engine::Engine>(events, *port_);
    playback_ = std::make_unique<engine::Playback>(*engine_, events, *port_);
    playback_->SetOutputs(headphones_.get(), main_.get());
    // The saved levels and curve decide each deck's gain on each output.
    mixer_ = std::make_unique<output::CZelMixerControls>(*main_, *headphones_, settings);
    mixer_->RestoreFromSettings();
    playback_->SetMixLink(mixer_.get());
    for (int deck = 0; deck < 2; ++deck) engine_->SetDeckLink(deck, deckLabels_[deck].get());
    port_->SetHandler([this](Message m, uintptr_t w, intptr_t l) { return OnMessage(m, w, l); });

    // Start-up runs once the modal loop is running, so that the threads it
    // starts find the window's messages served.
    QTimer::singleShot(0, this, &COrvo2Dlg::StartUp);
}

COrvo2Dlg::~COrvo2Dlg() {
    playback_->Shutdown();
    engine_->Shutdown();
    port_->Close();
    headphones_->Close();
    main_->Close();
}

void COrvo2Dlg::StartUp() {
    startingUp_ = true;
    ChooseSoundDevices(false);
    engine_->StartTrackLengthThread();
    setFocus();
    LoadCommandLineFiles();
    startingUp_ = false;
    if (closeRequested_) done(closeResult_);
}

void COrvo2Dlg::LoadCommandLineFiles() {
    // Every loadable file is loaded in turn; Deck A ends holding the last one.
    // With no file the loop runs once with an empty path, which fails quietly.
    bool isLast = false;
    do {
        const QString path = commandLine_.GetNextFile(isLast);
        engine_->LoadFile(0, path.toStdString());
    } while (!isLast && !closeRequested_);
}

void COrvo2Dlg::ChooseSoundDevices(bool visible) {
    const bool confirmed = soundDevices_->Run(visible) == QDialog::Accepted;
    if (confirmed) {
        if (visible) {
            // A new choice unloads both decks before the outputs change.
            for (int deck = 0; deck < 2; ++deck) engine_->LoadFile(deck, std::string());
        }
        ApplyDeviceChoice();
    }
    showSoundDevices_->setChecked(false);
}

void COrvo2Dlg::ApplyDeviceChoice() {
    output::ApplyDeviceChoice(*headphones_, *main_, soundDevices_->ChosenHeadphonesId(),
                              soundDevices_->ChosenHeadphonesLabel(), soundDevices_->ChosenMainId(),
                              soundDevices_->ChosenMainLabel(), *outputControls_);
    outputControls_->Show(*main_, *headphones_);
}

void COrvo2Dlg::OnTimer() {
    // A device that vanished leaves its output idle; the program plays on.
    if (headphones_->CloseIfFailed() | main_->CloseIfFailed()) outputControls_->Show(*main_, *headphones_);
}

void COrvo2Dlg::done(int result) {
    // A close asked for while start-up waits on a thread is carried out when
    // start-up has finished, so nothing is torn down under its feet.
    if (startingUp_) {
        closeRequested_ = true;
        closeResult_ = result;
        return;
    }
    playback_->Shutdown();
    engine_->Shutdown();
    headphones_->Close();
    main_->Close();
    QDialog::done(result);
}

intptr_t COrvo2Dlg::OnMessage(Message message, uintptr_t wParam, intptr_t /*lParam*/) {
    const int deck = wParam == 1 ? 1 : 0;
    switch (message) {
        case Message::BlockDecoded:
            break;  // nothing to do: a block was decoded
        case Message::EndOfTrack:
            engine_->OnEndOfTrack(deck);
            break;
        case Message::TrackLengthMeasured:
            engine_->OnTrackLengthMeasured();
            break;
        case Message::DeckPrimed:
            playback_->PrimeDeck(deck);
            break;
        case Message::ForwardNotify:
            playback_->OnForwardNotify(deck);
            break;
        case Message::BackwardNotify:
            playback_->OnBackwardNotify(deck);
            break;
        case Message::StartForward:
            playback_->StartForward(deck);
            break;
        case Message::StartBackward:
            playback_->StartBackward(deck);
            break;
        case Message::ResumeForward:
            playback_->ResumeForward(deck);
            break;
        case Message::StopForward:
            playback_->StopForward(deck);
            break;
        case Message::StopBackward:
            playback_->StopBackward(deck);
            break;
        case Message::BufferLead60:
            playback_->SetBufferLead(engine::Playback::kBackgroundBufferLead);
            break;
        case Message::BufferLead20:
            playback_->SetBufferLead(engine::Playback::kDefaultBufferLead);
            break;
        default:
            break;
    }
    return 0;
}
