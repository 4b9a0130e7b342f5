#include "deck/CZelDeck2.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QSignalBlocker>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "deck/Tempo.h"
#include "engine/Engine.h"
#include "engine/StreamTime.h"
#include "platform/MessagePort.h"
#include "ui/CZelProportionalLayout.h"
#include "ui/ControlPlaces.h"
#include "ui/WindowArrangement.h"
#include "ui/controls/CZelButton.h"
#include "ui/controls/CZelDualTextIndicator.h"
#include "ui/controls/CZelKnob.h"
#include "ui/controls/CZelLed.h"
#include "ui/controls/CZelSlide.h"
#include "ui/controls/CZelTextIndicator.h"
#include "ui/controls/ControlColours.h"

using platform::Message;

namespace {

// The window size the control places and text sizes are drawn for.
constexpr QSize kDesignSize(480, 460);
constexpr double kButtonPoints = 9.0;
constexpr double kDisplayPoints = 16.0;
constexpr double kCaptionPoints = 8.0;
// The jog dial's square and the lamps' size, as fractions of the window.
constexpr QRectF kJogPlace(0.12, 0.27, 0.44, 0.44);
constexpr double kLedFraction = 0.032;
constexpr int kChooserVisibleItems = 5;  // about 100 pixels of drop-down

// The file types offered first in the file dialog, shared with the play list.
constexpr const char* kAudioFileExtensions = "*.mp3; *.wav; *.wma";
constexpr const char* kZeroTime = "00:00:00";

QColor DeckColour(int deck) {
    return deck == 0 ? QColor(controlcolours::kSecondPointer) : QColor(controlcolours::kPointer);
}

double SecondsNow() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

CZelButton* MakeButton(QWidget* parent, const char* name, CZelButton::Kind kind, const QString& off,
                       const QString& on = {}) {
    auto* button = new CZelButton(kind, parent);
    button->setObjectName(name);
    button->SetCaptions(off, on.isEmpty() ? off : on);
    return button;
}

QStringList ChooseFilesWithDialog(QWidget* parent, const QString& filter) {
    // Existing files only; the dialog keeps to itself which folder it was in.
    return QFileDialog::getOpenFileNames(parent, QString(), QString(), filter);
}

}  // namespace

CZelDeck2::CZelDeck2(int deck, engine::Engine& engine, platform::MessagePort& mainWindow, QWidget* parent)
    : CZelToolWindow(ui::kDeckCode, deck, deck == 0 ? "Deck A" : "Deck B", mainWindow, parent),
      deck_(deck),
      engine_(engine),
      port_(mainWindow),
      chooseFiles_(ChooseFilesWithDialog),
      clock_(SecondsNow) {
    CreateControls();
    RegisterControls();
    ConnectControls();
    ResetLeds();
    leds_[litLed_]->SetOn(true);
    // A new deck starts with nothing loaded.
    FillSourceChooser();
    DoChooseSource(0);
}

CZelDeck2::~CZelDeck2() = default;

QString CZelDeck2::FileFilter() {
    // The dialog reads its patterns between the parentheses, separated by spaces.
    const QString patterns = QString(kAudioFileExtensions).remove(';');
    return "Files (" + patterns + ");;All Files (*)";
}

void CZelDeck2::CreateControls() {
    resize(kDesignSize);
    setMinimumSize(240, 230);
    using Kind = CZelButton::Kind;
    const QColor colour = DeckColour(deck_);

    chooser_ = new QComboBox(this);
    chooser_->setObjectName("sourceChooser");
    chooser_->setMaxVisibleItems(kChooserVisibleItems);
    chooser_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    chooser_->setMinimumContentsLength(10);
    chooser_->setStyleSheet(QString("QComboBox { background: %1; color: %2; border: 1px solid %3; padding: 1px 6px; }"
                                    "QComboBox QAbstractItemView { background: %1; color: %2; "
                                    "selection-background-color: %4; }")
                                .arg(QColor(controlcolours::kPanelDeep).name(), QColor(controlcolours::kText).name(),
                                     QColor(controlcolours::kBevelLight).name(), colour.darker(160).name()));

    cue_ = MakeButton(this, "cue", Kind::Toggle, "Cue");
    cue_->SetGlowColour(QColor(controlcolours::kLedAmber));
    play_ = MakeButton(this, "playPause", Kind::Toggle, "Play", "Pause");
    play_->SetGlowColour(QColor(controlcolours::kLedGreen));
    reverse_ = MakeButton(this, "reversePlay", Kind::Push, "Rev");
    reverse_->SetGlowColour(QColor(controlcolours::kLedRed));
    rewind_ = MakeButton(this, "rewind", Kind::Push, "<<");
    fastForward_ = MakeButton(this, "fastForward", Kind::Push, ">>");
    previous_ = MakeButton(this, "previousTrack", Kind::Push, "|<");
    next_ = MakeButton(this, "nextTrack", Kind::Push, ">|");
    for (CZelButton* button : {rewind_, fastForward_, previous_, next_}) button->SetGlow(false);

    jog_ = new CZelKnob(this);
    jog_->setObjectName("jogDial");
    jog_->SetWrapping(true);
    jog_->SetRange(0.0, kJogTurnSeconds);
    jog_->SetStep(kJogTurnSeconds / 100.0);
    jog_->SetPointerColour(colour);

    tempoSlide_ = new CZelSlide(Qt::Vertical, this);
    tempoSlide_->setObjectName("tempoSlide");
    tempoSlide_->SetRange(-kTempoRange, kTempoRange);
    tempoSlide_->SetNeutralValue(0.0);
    tempoSlide_->SetStep(0.1);
    tempoSlide_->SetTicks(8);
    tempoSlide_->SetCaption("Tempo");
    tempoSlide_->SetPointerColour(colour);
    {
        QSignalBlocker quiet(tempoSlide_);
        tempoSlide_->SetValue(0.0);
    }
    tempoPercent_ = new CZelTextIndicator(this);
    tempoPercent_->setObjectName("tempoPercent");
    tempoPercent_->SetText(QString::fromStdString(deck::TempoPercentText(0.0)));

    time_ = new CZelDualTextIndicator(this);
    time_->setObjectName("time");
    time_->SetArrangement(CZelDualTextIndicator::Arrangement::Alternate);
    time_->SetLabels("TIME", "CUE");
    time_->SetSecondTextColour(QColor(controlcolours::kLedAmber));
    time_->SetText(kZeroTime);
    time_->SetSecondText(kZeroTime);
    trackNumber_ = new CZelTextIndicator(this);
    trackNumber_->setObjectName("trackNumber");
    trackNumber_->SetText("1");

    positionSlide_ = new CZelSlide(Qt::Horizontal, this);
    positionSlide_->setObjectName("positionSlide");
    positionSlide_->SetRange(0.0, 1.0);
    positionSlide_->SetTicks(10);
    positionSlide_->SetPointerColour(colour);
    positionSlide_->SetSecondPointerColour(QColor(controlcolours::kLedAmber));
    positionSlide_->setFocusPolicy(Qt::NoFocus);

    for (int k = 0; k < deck::kLedCount; ++k) {
        leds_[k] = new CZelLed(this);
        leds_[k]->setObjectName(QString("turntableLed%1").arg(k));
    }
}

void CZelDeck2::RegisterControls() {
    const ControlPlace places[] = {
        {chooser_, {0.03, 0.02, 0.94, 0.07}, kButtonPoints, "Audio Source Chooser:",
         "Selects the file or CD to play.", "select file or CD"},
        {time_, {0.03, 0.11, 0.45, 0.13}, kDisplayPoints, "Time Indicator:",
         "Indicates the time position of the track.", "time indicator"},
        {trackNumber_, {0.50, 0.11, 0.12, 0.13}, kDisplayPoints, "Track Number:",
         "Indicates the current track number in the play list.", "track number"},
        {tempoPercent_, {0.70, 0.11, 0.27, 0.13}, kDisplayPoints, "Tempo Percent Indicator:",
         "Indicates the tempo change percent of the track.", "tempo percent"},
        {jog_, kJogPlace, 0.0, "Jog Dial:", "Used for advancing or rewinding the track.", "jog dial"},
        {tempoSlide_, {0.76, 0.27, 0.15, 0.46}, kCaptionPoints, "Tempo Slide:",
         "Move up or down to change the tempo of the track.", "tempo slide"},
        {positionSlide_, {0.03, 0.76, 0.94, 0.09}, kCaptionPoints, "Track Position Slide:",
         "Indicates and controls the current track position.", "track position"},
        {previous_, {0.03, 0.87, 0.12, 0.10}, kButtonPoints, "Previous Track Button:",
         "Loads the previous track in the play list.", "load previous track"},
        {rewind_, {0.16, 0.87, 0.12, 0.10}, kButtonPoints, "Rewind Button:", "Hold down to rewind the track.",
         "rewind"},
        {reverse_, {0.29, 0.87, 0.12, 0.10}, kButtonPoints, "Reverse Play Button:",
         "Hold down to play the track backwards.", "play backwards"},
        {cue_, {0.42, 0.87, 0.14, 0.10}, kButtonPoints, "Cue Button:", "Cues the current time position.",
         "mark time position for cueing"},
        {play_, {0.57, 0.87, 0.14, 0.10}, kButtonPoints, "Play/Pause Button:",
         "Stops or starts the track when pressed.", "stop/start track"},
        {fastForward_, {0.72, 0.87, 0.12, 0.10}, kButtonPoints, "Fast Forward Button:",
         "Hold down to fast forward the current track.", "fast forward"},
        {next_, {0.85, 0.87, 0.12, 0.10}, kButtonPoints, "Next Track Button:",
         "Loads the next track in the play list.", "load next track"},
    };
    layout_ = new CZelProportionalLayout(this, kDesignSize);
    PlaceControls(*layout_, helpTexts_, places);
    PlaceLeds();
}

void CZelDeck2::ConnectControls() {
    connect(chooser_, &QComboBox::activated, this, [this](int index) { ChooseSource(index); });
    connect(play_, &CZelButton::Clicked, this, [this] { TogglePlay(false); });
    connect(cue_, &CZelButton::ValueChanged, this, [this](bool on) { OnCueChanged(on); });
    connect(&cueBlinkTimer_, &QTimer::timeout, this, [this] { OnCueBlink(); });
    connect(jog_, &CZelKnob::ValueChanged, this, [this](double angle) { OnJog(angle); });
    connect(jog_, &CZelKnob::Pressed, this, [this] {
        jogHeld_ = true;
        wheelGesture_ = false;
        jogIdleTimer_.stop();
        BeginJog();
    });
    connect(jog_, &CZelKnob::Released, this, [this] {
        jogHeld_ = false;
        OnJogReleased();
    });
    jogIdleTimer_.setSingleShot(true);
    jogIdleTimer_.setInterval(static_cast<int>(kJogIdleSeconds * 1000));
    connect(&jogIdleTimer_, &QTimer::timeout, this, [this] {
        EndIdleWheelGesture();
        if (wheelGesture_) jogIdleTimer_.start();
    });
    connect(reverse_, &CZelButton::ValueChanged, this, [this](bool on) { OnReverseButton(on); });
    connect(tempoSlide_, &CZelSlide::ValueChanged, this, [this](double) { ApplyTempo(); });

    // Winding moves only the slide while the button is held; the sound
    // follows when it is released.
    fastForwardTimer_.setInterval(kWindMs);
    rewindTimer_.setInterval(kWindMs);
    connect(&fastForwardTimer_, &QTimer::timeout, this, [this] { Wind(1.0); });
    connect(&rewindTimer_, &QTimer::timeout, this, [this] { Wind(-1.0); });
    connect(fastForward_, &CZelButton::Pressed, this, [this] { StartWinding(fastForwardTimer_); });
    connect(fastForward_, &CZelButton::Released, this, [this] { StopWinding(fastForwardTimer_); });
    connect(rewind_, &CZelButton::Pressed, this, [this] { StartWinding(rewindTimer_); });
    connect(rewind_, &CZelButton::Released, this, [this] { StopWinding(rewindTimer_); });

    connect(positionSlide_, &CZelSlide::Pressed, this, [this] { dragging_ = true; });
    connect(positionSlide_, &CZelSlide::Released, this, [this] { SeekToSlide(); });
    connect(previous_, &CZelButton::Clicked, this, [this] { Send(Message::PreviousTrack); });
    connect(next_, &CZelButton::Clicked, this, [this] { Send(Message::NextTrack); });

    cueBlinkTimer_.setInterval(kCueBlinkMs);
    pendingBlinkTimer_.setInterval(kPendingBlinkMs);
    connect(&pendingBlinkTimer_, &QTimer::timeout, this, [this] {
        pendingBlinkOn_ = !pendingBlinkOn_;
        positionSlide_->SetPointerColour(pendingBlinkOn_ ? QColor(controlcolours::kMetalMid) : DeckColour(deck_));
    });
    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(kRefreshAfterLoadMs);
    connect(&refreshTimer_, &QTimer::timeout, this, [this] { Send(Message::ReportQueuedBytes); });
}

intptr_t CZelDeck2::Send(Message message) { return port_.Send(message, platform::DeckArgs{deck_}); }

intptr_t CZelDeck2::Send(Message message, platform::Payload payload) {
    return port_.Send(message, std::move(payload));
}

template <typename Action>
void CZelDeck2::Transport(Action&& action) {
    if (busy_) {
        ShowTransportState();
        return;
    }
    busy_ = true;
    action();
    SettleReverse();
    busy_ = false;
    ShowTransportState();
}

// ---- Source chooser ----

void CZelDeck2::FillSourceChooser() {
    QSignalBlocker quiet(chooser_);
    chooser_->clear();
    chooser_->addItem("Nothing Loaded", kNothingLoadedEntry);
    chooser_->addItem("Browse...", kBrowseEntry);
    chooser_->setCurrentIndex(0);
}

void CZelDeck2::SelectChooserEntryOfSource() {
    QSignalBlocker quiet(chooser_);
    const int pathEntry = chooser_->findData(kPathEntry);
    chooser_->setCurrentIndex(!path_.isEmpty() && pathEntry >= 0 ? pathEntry : 0);
}

void CZelDeck2::ChooseSource(int index) {
    Transport([&] { DoChooseSource(index); });
}

void CZelDeck2::DoChooseSource(int index) {
    if (index < 0 || index >= chooser_->count()) return;
    {
        QSignalBlocker quiet(chooser_);
        chooser_->setCurrentIndex(index);
    }
    if (index == 0) {
        cue_->SetValue(false);
        if (playing_) DoTogglePlay(true);
        UnloadSource();
        ShowNothingLoaded();
        return;
    }
    if (index == 1) {
        Browse();
        return;
    }
    // The loaded file chosen again: nothing changes.
}

void CZelDeck2::UnloadSource() {
    if (kind_ == SourceKind::File) engine_.Unload(deck_);
    kind_ = SourceKind::None;
}

void CZelDeck2::Browse() {
    Send(Message::DeckBrowsing);
    Send(Message::BufferLead60);
    const QStringList files = chooseFiles_(this, FileFilter());
    if (files.isEmpty()) {
        SelectChooserEntryOfSource();
    } else if (!LoadFile(files.front())) {
        QMessageBox box(QMessageBox::Warning, "Orvo 2", "File Not Recognized", QMessageBox::Ok, this);
        box.setObjectName("fileNotRecognized");
        box.exec();
        FillSourceChooser();
    } else {
        Send(Message::AddFileAndSelect);
        for (qsizetype i = 1; i < files.size(); ++i)
            Send(Message::AddFile, platform::FileArgs{deck_, files[i].toStdString()});
    }
    chooser_->setFocus();
    Send(Message::BufferLead20);
}

bool CZelDeck2::LoadFile(const QString& path) {
    const bool loaded = engine_.LoadFile(deck_, path.toStdString());
    if (loaded) {
        kind_ = SourceKind::File;
        atEnd_ = false;
        refreshTimer_.start();
    }
    ShowTransportState();
    return loaded;
}

void CZelDeck2::ShowNothingLoaded() {
    kind_ = SourceKind::None;
    playing_ = false;
    atEnd_ = false;
    path_.clear();
    title_.clear();
    length_ = 0.0;
    position_ = 0.0;
    EndTrackChangePending();
    ShowTrackNumber(-1);
    time_->SetText(kZeroTime);
    {
        QSignalBlocker quiet(positionSlide_);
        positionSlide_->SetValue(0.0);
    }
    FillSourceChooser();
    ShowTransportState();
}

void CZelDeck2::SetPath(const QString& path) {
    cue_->SetValue(false);
    if (!path.isEmpty()) {
        QSignalBlocker quiet(chooser_);
        for (int i = chooser_->count() - 1; i >= 0; --i)
            if (chooser_->itemData(i).toInt() == kPathEntry) chooser_->removeItem(i);
        chooser_->addItem(path, kPathEntry);
        chooser_->setCurrentIndex(chooser_->count() - 1);
    }
    path_ = path;
    EndTrackChangePending();
}

void CZelDeck2::TakeLoadedFile(const std::string& path, const std::string& title, double lengthSeconds) {
    SetPath(QString::fromStdString(path));
    title_ = QString::fromStdString(title);
    length_ = lengthSeconds;
    position_ = 0.0;
    time_->SetText(kZeroTime);
    QSignalBlocker quiet(positionSlide_);
    positionSlide_->SetValue(0.0);
}

void CZelDeck2::OnTrackChanged(const std::string& path, const std::string& title, double lengthSeconds) {
    SetPath(QString::fromStdString(path));
    title_ = QString::fromStdString(title);
    length_ = lengthSeconds;
}

void CZelDeck2::OnLengthKnown(double seconds) {
    // The slide and the cue mark are fractions of the length: they follow it.
    length_ = seconds;
    ShowPositionSlide();
    if (IsCueOn() && length_ > 0.0) positionSlide_->SetSecondValue(cuePoint_ / length_);
}

void CZelDeck2::SelectCdTrack(int track, double trackLengthSeconds) {
    cue_->SetValue(false);
    EndTrackChangePending();
    cdTrack_ = track;
    length_ = trackLengthSeconds;
}

// ---- Play, pause, cue ----

void CZelDeck2::TogglePlay(bool internal) {
    Transport([&] { DoTogglePlay(internal); });
}

void CZelDeck2::Pause() {
    if (playing_) DoTogglePlay(true);
}

void CZelDeck2::DoTogglePlay(bool internal) {
    if (kind_ == SourceKind::None) return;
    if (!playing_) {
        atEnd_ = false;
        playing_ = true;
        ShowTransportState();
        // Not started (the source will never be ready): the deck stays stopped.
        if (!Send(Message::StartForward)) playing_ = false;
        ShowPlayTime();
        return;
    }
    if (reversing_) {
        // Paused while playing backwards: the forward buffers are already stopped.
        reversing_ = false;
        reverseWanted_ = false;
        Send(Message::StopBackward);
    }
    playing_ = false;
    ShowTransportState();
    Send(Message::StopForward);
    if (!internal && IsCueOn()) ReturnToCue();
}

bool CZelDeck2::IsCueOn() const { return cue_->Value(); }

void CZelDeck2::ReturnToCue() {
    if (length_ <= 0.0) return;
    dragging_ = true;
    {
        QSignalBlocker quiet(positionSlide_);
        positionSlide_->SetValue(cuePoint_ / length_);
    }
    DoSeekToSlide();
    ShowCueTime();
}

void CZelDeck2::OnCueChanged(bool on) {
    if (on) {
        if (chooser_->currentIndex() == 0) {
            cue_->SetValue(false);
            return;
        }
        cuePoint_ = position_;
        time_->SetSecondText(QString::fromStdString(engine::FormatTime(cuePoint_)));
        cueBlinkCount_ = 0;
        cueBlinkTimer_.start();
    } else {
        cuePoint_ = 0.0;
        cueBlinkTimer_.stop();
        cueBlinkCount_ = 0;
        ShowPlayTime();
    }
    positionSlide_->SetSecondPointerVisible(on);
    if (length_ > 0.0) positionSlide_->SetSecondValue(cuePoint_ / length_);
}

void CZelDeck2::OnCueBlink() {
    time_->SetShown(time_->Shown() == 0 ? 1 : 0);
    if (++cueBlinkCount_ <= kCueBlinkTicks) return;
    cueBlinkTimer_.stop();
    cueBlinkCount_ = 0;
    if (!playing_ && IsCueOn())
        ShowCueTime();
    else
        ShowPlayTime();
}

void CZelDeck2::ShowPlayTime() { time_->SetShown(0); }

void CZelDeck2::ShowCueTime() { time_->SetShown(1); }

// ---- Seeking and winding ----

void CZelDeck2::SeekToSlide() {
    Transport([&] { DoSeekToSlide(); });
}

void CZelDeck2::DoSeekToSlide() {
    if (kind_ != SourceKind::File) {
        dragging_ = false;
        return;
    }
    const bool wasPlaying = playing_;
    if (wasPlaying) DoTogglePlay(true);
    // The engine goes back to this deck's file should its source have gone on
    // into the next one or read to the end.
    EndTrackChangePending();
    if (!engine_.SeekFile(deck_, positionSlide_->Value())) {
        dragging_ = false;
        ShowFileUnreadable();
        return;
    }
    atEnd_ = false;
    position_ = positionSlide_->Value() * length_;
    time_->SetText(QString::fromStdString(engine::FormatTime(position_)));
    if (wasPlaying) DoTogglePlay(true);
    dragging_ = false;
}

void CZelDeck2::ShowFileUnreadable() {
    // Not modal: whatever else plays goes on while the DJ reads it.
    auto* box = new QMessageBox(QMessageBox::Warning, "Orvo 2",
                                "The file can no longer be read:\n" + path_, QMessageBox::Ok, this);
    box->setObjectName("fileUnreadable");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void CZelDeck2::StartWinding(QTimer& timer) {
    if (kind_ == SourceKind::None || length_ <= 0.0) return;
    dragging_ = true;
    timer.start();
}

void CZelDeck2::StopWinding(QTimer& timer) {
    if (!timer.isActive()) return;
    timer.stop();
    SeekToSlide();
}

void CZelDeck2::Wind(double seconds) {
    if (length_ <= 0.0) return;
    QSignalBlocker quiet(positionSlide_);
    positionSlide_->SetValue(positionSlide_->Value() + seconds / length_);
}

// ---- Reverse play and the jog dial ----

void CZelDeck2::OnReverseButton(bool on) {
    reverseWanted_ = on;
    if (busy_) return;  // the action in progress carries out the last wish
    busy_ = true;
    SettleReverse();
    busy_ = false;
    ShowTransportState();
}

void CZelDeck2::SettleReverse() {
    // The button may go down and up again while the engine fades: each pass
    // brings the deck to what the button shows now.
    while (reversing_ != reverseWanted_) {
        if (reverseWanted_ && !playing_) {
            reverseWanted_ = false;
            break;
        }
        reversing_ = reverseWanted_;
        bool started = false;
        if (reversing_) {
            Send(Message::StopForward);
            started = Send(Message::StartBackward) != 0;
        } else {
            Send(Message::StopBackward);
            started = Send(Message::ResumeForward) != 0;
        }
        if (!started) {
            // The engine could not play (its source stopped before it was
            // ready): the deck shows what it does, which is nothing.
            playing_ = reversing_ = reverseWanted_ = false;
            break;
        }
    }
}

void CZelDeck2::OnJog(double angle) {
    double step = angle - jogAngle_;
    const double range = jog_->Maximum() - jog_->Minimum();
    if (std::abs(step) > range / 2.0) {
        // The dial crossed its end: a small step, not a whole turn.
        step = step > 0.0 ? angle - (range + jogAngle_) : (angle + range) - jogAngle_;
    }
    jogAngle_ = angle;
    const double now = clock_();
    if (!jogHeld_) {
        // The wheel turns the dial without a press: a pause in its turning
        // ends the gesture as a release would, so no reverse is left held.
        if (!wheelGesture_) {
            wheelGesture_ = true;
            BeginJog();
        }
        lastJogAt_ = now;
        if (wallClock_) jogIdleTimer_.start();
    }
    jogAccumulated_ += now - jogTime_;
    jogTime_ = now;

    if (!playing_ || jogAccumulated_ <= kJogDecisionSeconds) {
        if (IsCueOn()) {
            cuePoint_ = std::clamp(cuePoint_ + step, 0.0, std::max(length_, 0.0));
            time_->SetSecondText(QString::fromStdString(engine::FormatTime(cuePoint_)));
            if (length_ > 0.0) positionSlide_->SetSecondValue(cuePoint_ / length_);
        }
        return;
    }
    jogAccumulated_ = 0.0;
    reverse_->SetValue(step < 0.0);
}

void CZelDeck2::EndIdleWheelGesture() {
    if (!wheelGesture_ || jogHeld_ || clock_() - lastJogAt_ < kJogIdleSeconds) return;
    wheelGesture_ = false;
    // Called as blocks play, inside the engine's handling of a notification:
    // the release acts once that handling has returned.
    QTimer::singleShot(0, this, [this] { OnJogReleased(); });
}

void CZelDeck2::BeginJog() {
    jogTime_ = clock_();
    jogAccumulated_ = 0.0;
}

void CZelDeck2::OnJogReleased() {
    if (!playing_ && IsCueOn()) {
        // A cue point moved with the dial becomes the play position.
        Transport([&] { ReturnToCue(); });
    } else if (playing_) {
        reverse_->SetValue(false);
    }
}

// ---- Tempo ----

void CZelDeck2::ApplyTempo() {
    const double percent = tempoSlide_->Value();
    const int rate = kind_ == SourceKind::Cd ? 44'100 : engine_.FileSource(deck_).SampleRate();
    Send(Message::TempoChanged, platform::TempoArgs{deck_, static_cast<uint32_t>(deck::TempoFrequency(percent, rate))});
    tempoPercent_->SetText(QString::fromStdString(deck::TempoPercentText(percent)));
}

void CZelDeck2::OnPrimed(uint32_t) { ApplyTempo(); }

// ---- What the engine reports ----

void CZelDeck2::EndOfTrack() {
    // This runs inside the handling of a play notification: the stop is posted.
    while (!port_.Post(Message::StopForward, platform::DeckArgs{deck_}) && !port_.IsClosed()) {
    }
    playing_ = false;
    EndTrackChangePending();
    atEnd_ = true;
    ShowTransportState();
}

void CZelDeck2::TrackChangePending() {
    trackChangePending_ = true;
    pendingBlinkTimer_.start();
}

void CZelDeck2::EndTrackChangePending() {
    pendingBlinkTimer_.stop();
    pendingBlinkOn_ = false;
    positionSlide_->SetPointerColour(DeckColour(deck_));
    trackChangePending_ = false;
}

void CZelDeck2::ShowTime(int bytesAhead) {
    if (dragging_ || kind_ != SourceKind::File) return;
    engine::CZelFileSource& source = engine_.FileSource(deck_);
    const int buffered =
        engine::DiscBufferedBytes(engine_.Ring(deck_), trackChangePending_, path_.toStdString()) + bytesAhead;
    position_ = std::max(0.0, engine::PlayPositionSeconds(source.PositionSeconds(), buffered, source.SampleRate()));
    time_->SetText(QString::fromStdString(engine::FormatTime(position_)));
}

void CZelDeck2::ShowPositionSlide() {
    if (dragging_ || length_ <= 0.0) return;
    QSignalBlocker quiet(positionSlide_);
    positionSlide_->SetValue(position_ / length_);
}

void CZelDeck2::RefreshTime(int bytesWrittenAhead) {
    ShowTime(bytesWrittenAhead);
    ShowPositionSlide();
}

void CZelDeck2::ShowTrackNumber(int number) {
    if (number != -1) trackNumber_->SetText(QString::number(number));
}

void CZelDeck2::ShowTransportState() {
    {
        QSignalBlocker quiet(play_);
        if (play_->Value() != playing_) play_->SetValue(playing_);
    }
    // Reverse play is for a playing deck only.
    reverse_->setEnabled(playing_);
    if (!reverseWanted_ && reverse_->Value()) {
        QSignalBlocker quiet(reverse_);
        reverse_->SetValue(false);
    }
}

// ---- Turntable lamps ----

void CZelDeck2::ResetLeds() {
    const QColor on = DeckColour(deck_);
    for (CZelLed* led : leds_) led->SetColours(on, on.darker(500));
}

void CZelDeck2::AdvanceLeds() {
    EndIdleWheelGesture();
    leds_[litLed_]->SetOn(false);
    litLed_ = deck::NextLed(litLed_);
    leds_[litLed_]->SetOn(true);
}

void CZelDeck2::RetreatLeds() {
    EndIdleWheelGesture();
    leds_[litLed_]->SetOn(false);
    litLed_ = deck::PreviousLed(litLed_);
    leds_[litLed_]->SetOn(true);
}

void CZelDeck2::PlaceLeds() {
    const int side = static_cast<int>(std::min(width(), height()) * kLedFraction);
    const auto places = deck::LedRingPlaces(jog_->geometry(), std::max(side, 4));
    for (int k = 0; k < deck::kLedCount; ++k) leds_[k]->setGeometry(places[k]);
}

// ---- Window ----

void CZelDeck2::resizeEvent(QResizeEvent* event) {
    CZelToolWindow::resizeEvent(event);
    // The layout has placed the dial already; the lamps go round it.
    PlaceLeds();
}

void CZelDeck2::keyPressEvent(QKeyEvent* event) {
    // The keyboard works the whole program: keys go to the main window.
    Send(Message::KeyCode, platform::KeyArgs{deck_, event->key()});
}

void CZelDeck2::closeEvent(QCloseEvent* event) {
    // The deck's source is stopped and closed before the window goes.
    ChooseSource(0);
    CZelToolWindow::closeEvent(event);
}
