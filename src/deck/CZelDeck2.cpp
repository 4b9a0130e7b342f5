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

#include "engine/StreamTime.h"
#include "engine/Tempo.h"
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

using engine::DeckTransport;
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

QColor DeckColour(int deck) {
    return deck == 0 ? QColor(controlcolours::kSecondPointer) : QColor(controlcolours::kPointer);
}

double SecondsNow() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

QString TimeText(double seconds) {
    return QString::fromStdString(engine::FormatTime(seconds));
}

QStringList ChooseFilesWithDialog(QWidget* parent, const QString& filter) {
    // Existing files only; the dialog keeps to itself which folder it was in.
    return QFileDialog::getOpenFileNames(parent, QString(), QString(), filter);
}

QString ChooseCdImageWithDialog(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent, "Open CD Image", QString(),
                                        "CD Images (*.cue *.toc *.nrg);;All Files (*)");
}

}  // namespace

CZelDeck2::CZelDeck2(int deck, engine::Engine& engine, platform::MessagePort& mainWindow, QWidget* parent)
    : CZelToolWindow(ui::kDeckCode, deck, deck == 0 ? "Deck A" : "Deck B", mainWindow, parent),
      deck_(deck),
      port_(mainWindow),
      transport_(deck, engine, mainWindow, SecondsNow),
      chooseFiles_(ChooseFilesWithDialog),
      chooseCdImage_(ChooseCdImageWithDialog) {
    CreateControls();
    RegisterControls();
    ConnectControls();
    transport_.SetView(this);
}

CZelDeck2::~CZelDeck2() {
    transport_.SetView(nullptr);
}

QString CZelDeck2::FileFilter() {
    // The dialog reads its patterns between the parentheses, separated by spaces.
    const QString patterns = QString(kAudioFileExtensions).remove(';');
    return "Files (" + patterns + ");;All Files (*)";
}

void CZelDeck2::CreateControls() {
    resize(kDesignSize);
    const QColor colour = DeckColour(deck_);
    const QColor none;
    using Kind = CZelButton::Kind;
    struct ButtonRow {
        CZelButton** button;
        const char* name;
        Kind kind;
        const char* off;
        const char* on;
        QColor glow;  // invalid: the button does not glow
    };
    const ButtonRow buttons[] = {
        {&cue_, "cue", Kind::Toggle, "Cue", "Cue", QColor(controlcolours::kLedAmber)},
        {&play_, "playPause", Kind::Toggle, "Play", "Pause", QColor(controlcolours::kLedGreen)},
        {&reverse_, "reversePlay", Kind::Push, "Rev", "Rev", QColor(controlcolours::kLedRed)},
        {&rewind_, "rewind", Kind::Push, "<<", "<<", none},
        {&fastForward_, "fastForward", Kind::Push, ">>", ">>", none},
        {&previous_, "previousTrack", Kind::Push, "|<", "|<", none},
        {&next_, "nextTrack", Kind::Push, ">|", ">|", none},
    };
    for (const ButtonRow& row : buttons) {
        auto* button = *row.button = new CZelButton(row.kind, this);
        button->setObjectName(row.name);
        button->SetCaptions(row.off, row.on);
        if (row.glow.isValid())
            button->SetGlowColour(row.glow);
        else
            button->SetGlow(false);
    }

    chooser_ = new QComboBox(this);
    chooser_->setObjectName("sourceChooser");
    chooser_->setMaxVisibleItems(kChooserVisibleItems);
    chooser_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    chooser_->setMinimumContentsLength(10);
    chooser_->setStyleSheet(
        QString("QComboBox { background: %1; color: %2; border: 1px solid %3; padding: 1px 6px; }"
                "QComboBox QAbstractItemView { background: %1; color: %2; "
                "selection-background-color: %4; }")
            .arg(QColor(controlcolours::kPanelDeep).name(), QColor(controlcolours::kText).name(),
                 QColor(controlcolours::kBevelLight).name(), colour.darker(160).name()));

    jog_ = new CZelKnob(this);
    jog_->setObjectName("jogDial");
    jog_->SetWrapping(true);
    jog_->SetRange(0.0, engine::JogGesture::kTurnSeconds);
    jog_->SetStep(engine::JogGesture::kTurnSeconds / 100.0);
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

    time_ = new CZelDualTextIndicator(this);
    time_->setObjectName("time");
    time_->SetArrangement(CZelDualTextIndicator::Arrangement::Alternate);
    time_->SetLabels("TIME", "CUE");
    time_->SetSecondTextColour(QColor(controlcolours::kLedAmber));
    time_->SetSecondText(TimeText(0.0));
    trackNumber_ = new CZelTextIndicator(this);
    trackNumber_->setObjectName("trackNumber");

    positionSlide_ = new CZelSlide(Qt::Horizontal, this);
    positionSlide_->setObjectName("positionSlide");
    positionSlide_->SetRange(0.0, 1.0);
    positionSlide_->SetTicks(10);
    positionSlide_->SetSecondPointerColour(QColor(controlcolours::kLedAmber));
    positionSlide_->setFocusPolicy(Qt::NoFocus);

    for (int k = 0; k < deck::kLedCount; ++k) {
        leds_[k] = new CZelLed(this);
        leds_[k]->setObjectName(QString("turntableLed%1").arg(k));
    }
}

void CZelDeck2::RegisterControls() {
    const ControlPlace places[] = {
        {chooser_,
         {0.03, 0.02, 0.94, 0.07},
         kButtonPoints,
         "Audio Source Chooser:",
         "Selects the file or CD to play.",
         "select file or CD"},
        {time_,
         {0.03, 0.11, 0.45, 0.13},
         kDisplayPoints,
         "Time Indicator:",
         "Indicates the time position of the track.",
         "time indicator"},
        {trackNumber_,
         {0.50, 0.11, 0.12, 0.13},
         kDisplayPoints,
         "Track Number:",
         "Indicates the current track number in the play list.",
         "track number"},
        {tempoPercent_,
         {0.70, 0.11, 0.27, 0.13},
         kDisplayPoints,
         "Tempo Percent Indicator:",
         "Indicates the tempo change percent of the track.",
         "tempo percent"},
        {jog_, kJogPlace, 0.0, "Jog Dial:", "Used for advancing or rewinding the track.", "jog dial"},
        {tempoSlide_,
         {0.76, 0.27, 0.15, 0.46},
         kCaptionPoints,
         "Tempo Slide:",
         "Move up or down to change the tempo of the track.",
         "tempo slide"},
        {positionSlide_,
         {0.03, 0.76, 0.94, 0.09},
         kCaptionPoints,
         "Track Position Slide:",
         "Indicates and controls the current track position.",
         "track position"},
        {previous_,
         {0.03, 0.87, 0.12, 0.10},
         kButtonPoints,
         "Previous Track Button:",
         "Loads the previous track in the play list.",
         "load previous track"},
        {rewind_,
         {0.16, 0.87, 0.12, 0.10},
         kButtonPoints,
         "Rewind Button:",
         "Hold down to rewind the track.",
         "rewind"},
        {reverse_,
         {0.29, 0.87, 0.12, 0.10},
         kButtonPoints,
         "Reverse Play Button:",
         "Hold down to play the track backwards.",
         "play backwards"},
        {cue_,
         {0.42, 0.87, 0.14, 0.10},
         kButtonPoints,
         "Cue Button:",
         "Cues the current time position.",
         "mark time position for cueing"},
        {play_,
         {0.57, 0.87, 0.14, 0.10},
         kButtonPoints,
         "Play/Pause Button:",
         "Stops or starts the track when pressed.",
         "stop/start track"},
        {fastForward_,
         {0.72, 0.87, 0.12, 0.10},
         kButtonPoints,
         "Fast Forward Button:",
         "Hold down to fast forward the current track.",
         "fast forward"},
        {next_,
         {0.85, 0.87, 0.12, 0.10},
         kButtonPoints,
         "Next Track Button:",
         "Loads the next track in the play list.",
         "load next track"},
    };
    layout_ = new CZelProportionalLayout(this, kDesignSize);
    PlaceControls(*layout_, helpTexts_, places);
    PlaceLeds();
}

void CZelDeck2::ConnectControls() {
    DeckTransport& t = transport_;
    connect(chooser_, &QComboBox::activated, this, [&t](int index) { t.ChooseSource(index); });
    connect(play_, &CZelButton::Clicked, this, [&t] { t.TogglePlay(false); });
    connect(cue_, &CZelButton::ValueChanged, this, [&t](bool on) { t.SetCue(on); });
    connect(reverse_, &CZelButton::ValueChanged, this, [&t](bool on) { t.SetReverse(on); });
    connect(jog_, &CZelKnob::ValueChanged, this, [&t](double angle) { t.Jog(angle); });
    connect(jog_, &CZelKnob::Pressed, this, [&t] { t.JogPressed(); });
    connect(jog_, &CZelKnob::Released, this, [&t] { t.JogReleased(); });
    connect(tempoSlide_, &CZelSlide::ValueChanged, this, [&t](double percent) { t.SetTempo(percent); });
    connect(fastForward_, &CZelButton::Pressed, this, [&t] { t.Wind(+1); });
    connect(fastForward_, &CZelButton::Released, this, [&t] { t.Wind(0); });
    connect(rewind_, &CZelButton::Pressed, this, [&t] { t.Wind(-1); });
    connect(rewind_, &CZelButton::Released, this, [&t] { t.Wind(0); });
    // The transport sets the slide with its signals blocked: what arrives here is the user's.
    connect(positionSlide_, &CZelSlide::ValueChanged, this, [&t](double fraction) { t.SetSlide(fraction); });
    connect(positionSlide_, &CZelSlide::Pressed, this, [&t] { t.BeginSlideDrag(); });
    connect(positionSlide_, &CZelSlide::Released, this, [&t] { t.SeekToSlide(); });
    connect(previous_, &CZelButton::Clicked, this,
            [this] { port_.Send(Message::PreviousTrack, platform::DeckArgs{deck_}); });
    connect(next_, &CZelButton::Clicked, this,
            [this] { port_.Send(Message::NextTrack, platform::DeckArgs{deck_}); });
    for (size_t k = 0; k < timers_.size(); ++k) {
        const auto timer = static_cast<Timer>(k);
        connect(&timers_[k], &QTimer::timeout, this, [&t, timer] { t.OnTimer(timer); });
    }
}

// ---- Showing the transport ----

void CZelDeck2::Changed(unsigned parts) {
    if (parts & DeckTransport::kButtons) ShowButtons();
    if (parts & DeckTransport::kTime) ShowTimes();
    if (parts & DeckTransport::kSlide) {
        QSignalBlocker quiet(positionSlide_);
        positionSlide_->SetValue(transport_.Slide());
    }
    if (parts & DeckTransport::kCueMark) {
        positionSlide_->SetSecondPointerVisible(transport_.IsCueOn());
        if (transport_.Length() > 0.0) positionSlide_->SetSecondValue(transport_.CueMark());
        positionSlide_->SetPointerColour(transport_.PendingBlinkOn() ? QColor(controlcolours::kMetalMid)
                                                                     : DeckColour(deck_));
    }
    if (parts & DeckTransport::kChooser) ShowChooser();
    if (parts & (DeckTransport::kLamps | DeckTransport::kLampColours))
        ShowLamps((parts & DeckTransport::kLampColours) != 0);
    if (parts & DeckTransport::kTempo)
        tempoPercent_->SetText(QString::fromStdString(engine::TempoPercentText(transport_.Tempo())));
    if (parts & DeckTransport::kTrackNumber) trackNumber_->SetText(QString::number(transport_.TrackNumber()));
}

void CZelDeck2::ShowButtons() {
    for (auto [button, on] : {std::pair{play_, transport_.Playing()}, std::pair{cue_, transport_.IsCueOn()},
                              std::pair{reverse_, transport_.ReverseHeld()}}) {
        QSignalBlocker quiet(button);
        if (button->Value() != on) button->SetValue(on);
    }
    // Reverse play is for a playing deck only.
    reverse_->setEnabled(transport_.Playing());
}

void CZelDeck2::ShowTimes() {
    time_->SetText(TimeText(transport_.Position()));
    // The cue time keeps its last value while the cue is off.
    if (transport_.IsCueOn()) time_->SetSecondText(TimeText(transport_.CuePoint()));
    time_->SetShown(transport_.TimeShown());
}

void CZelDeck2::ShowChooser() {
    QSignalBlocker quiet(chooser_);
    QStringList texts;
    for (const std::string& text : transport_.ChooserTexts()) texts += QString::fromStdString(text);
    QStringList shown;
    for (int i = 0; i < chooser_->count(); ++i) shown += chooser_->itemText(i);
    if (shown != texts) {
        chooser_->clear();
        chooser_->addItems(texts);
    }
    chooser_->setCurrentIndex(transport_.ChooserEntry());
}

void CZelDeck2::ShowLamps(bool colours) {
    if (colours) {
        const QColor on = DeckColour(deck_);
        for (CZelLed* led : leds_) led->SetColours(on, on.darker(500));
    }
    const int lit = transport_.LitLamp();
    if (lit == shownLed_) return;
    if (shownLed_ >= 0) leds_[shownLed_]->SetOn(false);
    leds_[lit]->SetOn(true);
    shownLed_ = lit;
}

void CZelDeck2::StartTimer(Timer timer, int milliseconds, bool once) {
    QTimer& t = timers_[static_cast<size_t>(timer)];
    t.setSingleShot(once);
    t.start(milliseconds);
}

void CZelDeck2::StopTimer(Timer timer) {
    timers_[static_cast<size_t>(timer)].stop();
}

// ---- Dialogs ----

std::vector<std::string> CZelDeck2::ChooseFiles() {
    std::vector<std::string> files;
    for (const QString& file : chooseFiles_(this, FileFilter())) files.push_back(file.toStdString());
    return files;
}

void CZelDeck2::TellFileNotRecognized() {
    QMessageBox box(QMessageBox::Warning, "Orvo 2", "File Not Recognized", QMessageBox::Ok, this);
    box.setObjectName("fileNotRecognized");
    box.exec();
}

void CZelDeck2::TellFileUnreadable(const std::string& path) {
    // Not modal: whatever else plays goes on while the DJ reads it.
    auto* box = new QMessageBox(QMessageBox::Warning, "Orvo 2",
                                "The file can no longer be read:\n" + QString::fromStdString(path),
                                QMessageBox::Ok, this);
    box->setObjectName("fileUnreadable");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

std::string CZelDeck2::ChooseCdImage() {
    return chooseCdImage_(this).toStdString();
}

void CZelDeck2::TellCdUnreadable(const std::string& why) {
    // Not modal: the other deck plays on while the DJ reads it.
    auto* box =
        new QMessageBox(QMessageBox::Warning, "Orvo 2", QString::fromStdString(why), QMessageBox::Ok, this);
    box->setObjectName("cdUnreadable");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void CZelDeck2::FocusChooser() {
    chooser_->setFocus();
}

// ---- Window ----

void CZelDeck2::PlaceLeds() {
    const int side = static_cast<int>(std::min(width(), height()) * kLedFraction);
    const auto places = deck::LedRingPlaces(jog_->geometry(), std::max(side, 4));
    for (int k = 0; k < deck::kLedCount; ++k) leds_[k]->setGeometry(places[k]);
}

void CZelDeck2::resizeEvent(QResizeEvent* event) {
    CZelToolWindow::resizeEvent(event);
    // The layout has placed the dial already; the lamps go round it.
    PlaceLeds();
}

void CZelDeck2::keyPressEvent(QKeyEvent* event) {
    // The keyboard works the whole program: keys go to the main window.
    ForwardKey(*event);
}

void CZelDeck2::closeEvent(QCloseEvent* event) {
    // The deck's source is stopped and closed before the window goes.
    transport_.ChooseSource(DeckTransport::kNothingLoadedEntry);
    CZelToolWindow::closeEvent(event);
}
