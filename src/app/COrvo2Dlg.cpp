#include "app/COrvo2Dlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QWindowStateChangeEvent>

#include <algorithm>

#include "analysis/CZelAnalyzer.h"
#include "app/CAboutDlg.h"
#include "app/CZelSplashScreen.h"
#include "app/CZelTipOfTheDay.h"
#include "app/MainWindowKeys.h"
#include "app/Orvo2Art.h"
#include "deck/CZelDeck2.h"
#include "dsp/CZelEffects.h"
#include "dsp/CZelEqualizer2.h"
#include "engine/Engine.h"
#include "output/CZelMixerControls.h"
#include "output/CZelSoundDevices.h"
#include "platform/MessagePort.h"
#include "playlist/CZelPlayList2.h"
#include "settings/CZelSettings.h"
#include "ui/BackgroundMenu.h"
#include "ui/CZelToolWindow.h"
#include "ui/WindowArrangement.h"
#include "ui/WindowArranger.h"
#include "ui/controls/CZelButton.h"
#include "ui/controls/CZelGraph.h"
#include "ui/controls/CZelSlide.h"

namespace {

constexpr int kCpuTimerMs = 500;
constexpr int kSplashMs = 5000;
constexpr int kPendingCloseMs = 10;

}  // namespace

COrvo2Dlg::COrvo2Dlg(engine::EngineEvents& events, app::CZelCommandLineInfo& commandLine,
                     platform::sound::SoundSystem& sound, const CZelSettings& settings, QWidget* parent)
    : QDialog(parent),
      commandLine_(commandLine),
      settings_(settings),
      desk_(std::make_unique<app::MixingDesk>(events, sound, settings)) {
    setWindowTitle("Orvo 2");
    setWindowIcon(app::ApplicationIcon());
    // The splash shows while the window starts up, and goes when start-up ends.
    splash_ = std::make_unique<CZelSplashScreen>();
    splash_->Create(kSplashMs, this);
    setAttribute(Qt::WA_AlwaysShowToolTips);
    resize(app::MainWindowControls::kDesignSize);
    setMinimumSize(ui::MinimumInnerSize(ui::kMainWindowCode));
    controls_.Create(*this, helpTexts_);
    CreateToolWindows();
    CreateAboutAction();
    arranger_ = new WindowArranger(
        this,
        [this](int code, int deck) -> QWidget* {
            if (code == ui::kMainWindowCode) return this;
            return ToolWindow(code, deck);
        },
        [this](int code, int deck) {
            if (CZelButton* button = controls_.ShowButtonOf(code, deck)) button->SetValue(true);
        });
    soundDevices_ = std::make_unique<CZelSoundDevices>(desk_->Probe(), settings, this);
    desk_->SetView(this);

    // In the background the decks write further ahead, as when minimised.
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) { desk_->SetInBackground(state != Qt::ApplicationActive); });

    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &COrvo2Dlg::OnTimer);
    timer->start(kCpuTimerMs);

    controls_.ShowMixerState(desk_->Mixer());
    ConnectControls();
    ConnectShowButtons();
    keys_ = new app::MainWindowKeys(*this);

    quitQuestion_ = &COrvo2Dlg::AskToQuit;
    pendingClose_.setInterval(kPendingCloseMs);
    connect(&pendingClose_, &QTimer::timeout, this, [this] {
        if (closeRequested_ && !startingUp_ && !desk_->ActionUnderWay()) done(closeResult_);
    });

    // Start-up runs once the modal loop is running, so that the threads it
    // starts find the window's messages served.
    QTimer::singleShot(0, this, &COrvo2Dlg::StartUp);
}

COrvo2Dlg::~COrvo2Dlg() {
    // The key poll sends to the desk's message port: it ends before the desk.
    keys_->Poller().Stop();
    desk_->SetView(nullptr);
    // The analyzer window shows the desk's analyzer: it goes before the desk,
    // which goes before this window's children.
    std::erase(toolWindows_, analyzer_);
    delete analyzer_;
    desk_->SetPlayListPanel(nullptr);
    std::erase(toolWindows_, playList_);
    delete playList_;
}

void COrvo2Dlg::ConnectControls() {
    output::CZelMixerControls* mixer = &desk_->Mixer();
    for (int deck = 0; deck < 2; ++deck)
        desk_->Analysis().Meter(deck).Init(app::MainWindowControls::kLampsPerDeck, controls_.Lamps(deck),
                                           analysis::DeckAnalysis::kMeterBottom,
                                           analysis::DeckAnalysis::kMeterTop);
    for (int deck = 0; deck < 2; ++deck) {
        connect(controls_.Slide(deck == 0 ? Id::kLevelA : Id::kLevelB), &CZelSlide::ValueChanged, this,
                [mixer, deck](double level) { mixer->OnLevelChanged(deck, level); });
    }
    // The levels and the curve are saved once their slide is let go (or has
    // rested a moment), not at every tick.
    for (Id id : {Id::kLevelA, Id::kLevelB, Id::kCurve})
        connect(controls_.Slide(id), &CZelSlide::Released, this, [this] { settings_.FlushPendingWrites(); });
    connect(controls_.Slide(Id::kHeadphonesCrossFader), &CZelSlide::ValueChanged, this,
            [mixer](double x) { mixer->OnHeadphonesCrossFaderChanged(x); });
    CZelGraph* graph = controls_.Graph();
    connect(controls_.Slide(Id::kMainCrossFader), &CZelSlide::ValueChanged, this,
            [this, graph, mixer](double x) {
                // The cursor first, so that the cue mark test sees the fader where the graph shows it.
                graph->SetCursorX(controls_.MainCursor(), x);
                mixer->OnMainCrossFaderChanged(x);
            });
    // A right release sets the curve slide to its neutral value, the straight line.
    connect(controls_.Slide(Id::kCurve), &CZelSlide::ValueChanged, this, [this, mixer](double p) {
        mixer->OnCurveChanged(p);
        controls_.DrawCurves(*mixer);
    });
    connect(controls_.Button(Id::kCueOn), &CZelButton::ValueChanged, this, [this, graph, mixer](bool on) {
        mixer->OnCueOnChanged(on);
        graph->SetCursorVisible(controls_.CueCursor(), on);
    });
    connect(graph, &CZelGraph::CursorMoved, this, [this, mixer](int cursor, double x) {
        if (cursor == controls_.CueCursor()) mixer->OnCueMarkMoved(x);
    });
    connect(graph, &CZelControl::RightReleased, this, [this, graph, mixer] {
        mixer->ResetCueMark();
        graph->SetCursorX(controls_.CueCursor(), mixer->CueMark());
    });
    connect(controls_.Slide(Id::kMasterVolume), &CZelSlide::ValueChanged, this,
            [this](double volume) { desk_->SetMainVolume(volume); });
    connect(controls_.Slide(Id::kHeadphonesVolume), &CZelSlide::ValueChanged, this,
            [this](double volume) { desk_->SetHeadphonesVolume(volume); });
    // A right release centres the balance (its neutral value).
    connect(controls_.Slide(Id::kBalance), &CZelSlide::ValueChanged, this,
            [this](double balance) { desk_->SetBalance(balance); });
    // Queued: the chooser runs its own loop, better not inside the button's release.
    connect(
        controls_.Button(Id::kShowSoundDevices), &CZelButton::Clicked, this,
        [this] { ChooseSoundDevices(true); }, Qt::QueuedConnection);
}

void COrvo2Dlg::ConnectShowButtons() {
    // Show buttons show and hide their windows; a right release puts the
    // window back in its place.
    for (const auto& [id, code, deck] : app::MainWindowControls::kShowButtons) {
        CZelButton* button = controls_.Button(id);
        connect(button, &CZelButton::ValueChanged, this, [this, code, deck](bool on) {
            if (CZelToolWindow* tool = ToolWindow(code, deck)) tool->setVisible(on);
        });
        connect(button, &CZelButton::RightReleased, this,
                [this, code, deck] { arranger_->Arrange(code, deck); });
    }
}

void COrvo2Dlg::CreateAboutAction() {
    // F1 from any of the program's windows, and in every window's background
    // menu; the main window's background tells where to find it.
    auto* about = new QAction("&About Orvo2 ...", this);
    about->setObjectName("aboutAction");
    about->setShortcut(QKeySequence(Qt::Key_F1));
    about->setShortcutContext(Qt::ApplicationShortcut);
    connect(about, &QAction::triggered, this, &COrvo2Dlg::ShowAbout);
    addAction(about);
    for (CZelToolWindow* tool : toolWindows_) tool->addAction(about);
    setToolTip("Right click here or press F1 for About Orvo2");
}

void COrvo2Dlg::CreateToolWindows() {
    auto make = [this](int code, int deck, const QString& title) {
        toolWindows_.push_back(new CZelToolWindow(code, deck, title, desk_->MessagePort(), this));
    };
    analyzer_ = new CZelAnalyzer(desk_->Analysis().Analyzer(), desk_->MessagePort(), this);
    toolWindows_.push_back(analyzer_);
    playList_ = new CZelPlayList2(desk_->PlayList(), desk_->MessagePort(), this);
    playList_->SetLengthRequester(
        [this](const QString& path) { return desk_->Engine().RequestTrackLength(path.toStdString()); });
    desk_->SetPlayListPanel(&playList_->Panel());
    toolWindows_.push_back(playList_);
    for (int deck = 0; deck < 2; ++deck) {
        const QString name = deck == 0 ? "Deck A" : "Deck B";
        make(ui::kDebuggerCode, deck, name + " Debugger");
        // The deck windows are the decks' links to the engine and the mixer.
        decks_[deck] = new CZelDeck2(deck, desk_->Engine(), desk_->MessagePort(), this);
        desk_->SetDeckLink(deck, &decks_[deck]->Transport());
        toolWindows_.push_back(decks_[deck]);
        dsp::DeckShaping& shaping = desk_->Shaping();
        effects_[deck] = new CZelEffects(deck, shaping.EffectParameters(), desk_->MessagePort(), this);
        toolWindows_.push_back(effects_[deck]);
        equalizers_[deck] = new CZelEqualizer2(deck, shaping.Equalizer(deck), desk_->MessagePort(), this);
        toolWindows_.push_back(equalizers_[deck]);
    }
}

CZelToolWindow* COrvo2Dlg::ToolWindow(int code, int deck) const {
    for (CZelToolWindow* tool : toolWindows_)
        if (tool->Code() == code && (tool->Deck() == deck || tool->Deck() < 0)) return tool;
    return nullptr;
}

void COrvo2Dlg::StartUp() {
    startingUp_ = true;
    arranger_->Arrange(ui::kMainWindowCode, 0);
    ChooseSoundDevices(false);
    desk_->Start();
    keys_->Poller().Start();
    setFocus();
    // The splash gives way to the tip of the day, which must be on top.
    if (settings_.ShowTipOfTheDay().value) splash_.reset();
    CZelTipOfTheDay::ShowAtStartUpIfWanted(settings_, this);
    // Every loadable file is loaded in turn; Deck A ends holding the last one.
    if (!closeRequested_) desk_->LoadCommandLineFiles(commandLine_, [this] { return closeRequested_; });
    splash_.reset();
    startingUp_ = false;
    if (closeRequested_) done(closeResult_);
}

void COrvo2Dlg::ChooseSoundDevices(bool visible) {
    // Never inside an action that waits (a fade, a priming: they dispatch
    // messages): the outputs it works on must not change under it. Asked
    // again once it is over.
    if (desk_->ActionUnderWay()) {
        QTimer::singleShot(0, this, [this, visible] { ChooseSoundDevices(visible); });
        return;
    }
    if (soundDevices_->Run(visible) != QDialog::Accepted) return;
    if (visible) {
        OnNewDeviceChoice();
    } else {
        desk_->ApplyDeviceChoice(ChosenDevices());
    }
}

app::MixingDesk::DeviceSelection COrvo2Dlg::ChosenDevices() const {
    return {soundDevices_->ChosenHeadphonesId(), soundDevices_->ChosenHeadphonesLabel(),
            soundDevices_->ChosenMainId(), soundDevices_->ChosenMainLabel(),
            soundDevices_->ChosenLatencyMs()};
}

void COrvo2Dlg::SetHeadphonesVolumeSlide(bool enabled, std::optional<double> value) {
    controls_.SetVolumeSlide(Id::kHeadphonesVolume, enabled, value);
}

void COrvo2Dlg::SetMasterVolumeSlide(bool enabled, std::optional<double> value) {
    controls_.SetVolumeSlide(Id::kMasterVolume, enabled, value);
}

void COrvo2Dlg::SwitchDeckProcessingOff(int deck) {
    if (deck < 0 || deck > 1) return;
    equalizers_[deck]->SwitchOff();
    effects_[deck]->SwitchOff();
}

void COrvo2Dlg::EnableDeckProcessingSwitches(bool enabled) {
    for (int deck = 0; deck < 2; ++deck) {
        equalizers_[deck]->EnableSwitch(enabled);
        effects_[deck]->EnableSwitch(enabled);
    }
}

void COrvo2Dlg::ShowDevices(const QString& text) {
    // A line per output, shortened to the label's width; the tool tip has it whole.
    QLabel* label = controls_.Devices();
    QStringList lines = text.split('\n');
    for (QString& line : lines) line = label->fontMetrics().elidedText(line, Qt::ElideRight, label->width());
    const QString shown = lines.join('\n');
    if (label->text() != shown) label->setText(shown);
    if (label->toolTip() != text) label->setToolTip(text);
}

void COrvo2Dlg::OnToolWindowClosed(int code, int deck) {
    if (CZelButton* button = controls_.ShowButtonOf(code, deck)) button->SetValue(false);
}

bool COrvo2Dlg::DecksBusy() const {
    return std::any_of(decks_.begin(), decks_.end(), [](const CZelDeck2* d) { return d && d->Busy(); });
}

void COrvo2Dlg::UnloadDecks() {
    for (CZelDeck2* deck : decks_) deck->ChooseSource(engine::DeckTransport::kNothingLoadedEntry);
}

void COrvo2Dlg::OnTimer() {
    const double usage = cpuUsage_.Read();
    CZelSlide* meter = controls_.Slide(Id::kCpuMeter);
    CZelButton* caption = controls_.Button(Id::kCpuCaption);
    meter->SetValue(usage);
    caption->SetCaption(CZelCpuUsage::Caption(usage));
    desk_->MaintainDevices();
    const QString tip = QString("combined processor usage; sound underruns: %1").arg(desk_->Underruns());
    for (QWidget* control : {static_cast<QWidget*>(meter), static_cast<QWidget*>(caption)})
        if (control->toolTip() != tip) control->setToolTip(tip);
}

void COrvo2Dlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    if (windowState() & Qt::WindowMaximized) {
        // Maximising does not enlarge the main window: it shows every tool
        // window and puts all of them in their places again.
        for (const auto& show : app::MainWindowControls::kShowButtons)
            controls_.Button(show.id)->SetValue(true);
        QTimer::singleShot(0, this, [this] {
            showNormal();
            arranger_->Arrange(ui::kMainWindowCode, 0);
        });
        return;
    }
    const bool minimised = windowState() & Qt::WindowMinimized;
    const bool wasMinimised = static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMinimized;
    if (minimised != wasMinimised) desk_->SetInBackground(minimised);
}

void COrvo2Dlg::contextMenuEvent(QContextMenuEvent* event) {
    ui::ShowBackgroundMenu(*this, event);
}

void COrvo2Dlg::ShowAbout() {
    CAboutDlg about(this);
    about.exec();
}

void COrvo2Dlg::keyPressEvent(QKeyEvent* event) {
    using platform::keyboard::KeyState;
    if (!event->isAutoRepeat() && keys_->Shortcuts().OnKeyDown(KeyState::CodeOf(KeyState::ScanOf(*event)))) {
        event->accept();
        return;
    }
    // Escape would reject the dialog and end the program, music and all.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void COrvo2Dlg::OnHeldKey(int code) {
    keys_->Shortcuts().OnHeldKey(code);
}

void COrvo2Dlg::OnForwardedKey(int code) {
    keys_->Shortcuts().OnKeyDown(code);
}

void COrvo2Dlg::closeEvent(QCloseEvent* event) {
    if (desk_->AnyDeckPlaying() && !quitQuestion_(this)) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

bool COrvo2Dlg::AskToQuit(QWidget* parent) {
    return QMessageBox::question(parent, "Orvo 2", "Stop the music and quit?",
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void COrvo2Dlg::Terminate() {
    // Whatever runs a loop of its own over the window goes first: menus, then
    // dialogs (the tip of the day, a file dialog, a question).
    for (int open = 0; open < 16; ++open) {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
            continue;
        }
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!modal || modal == this) break;
        modal->reject();
    }
    done(QDialog::Rejected);
}

void COrvo2Dlg::done(int result) {
    // A close asked for while start-up or an action on the decks is under way
    // (a fade, a wait for a thread: they dispatch messages, and this may come
    // from inside one) is carried out once it has returned, so nothing is torn
    // down under its feet. Meanwhile fades finish at once and waits for what
    // will not come give up.
    if (startingUp_ || desk_->ActionUnderWay()) {
        closeRequested_ = true;
        closeResult_ = result;
        platform::AbandonWaits(true);
        if (!pendingClose_.isActive()) pendingClose_.start();
        return;
    }
    pendingClose_.stop();
    keys_->Poller().Stop();
    desk_->Shutdown();
    settings_.FlushPendingWrites();
    platform::AbandonWaits(false);
    QDialog::done(result);
}
