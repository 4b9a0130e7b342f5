#include "app/COrvo2Dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QEvent>
#include <QMenu>
#include <QScreen>
#include <QStyle>
#include <QWindowStateChangeEvent>

#include <algorithm>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QSignalBlocker>
#include <QTimer>

#include "app/CAboutDlg.h"
#include "app/CZelCommandLineInfo.h"
#include "app/CZelSplashScreen.h"
#include "app/CZelTipOfTheDay.h"
#include "app/Orvo2Art.h"
#include "engine/EngineEvents.h"
#include "deck/CZelDeck2.h"
#include "engine/Engine.h"
#include "engine/Playback.h"
#include "engine/StreamTime.h"
#include "output/CZelMixerControls.h"
#include "output/CZelOutput.h"
#include "output/CZelSoundDevices.h"
#include "platform/MessagePort.h"
#include "platform/sound/SoundSystem.h"
#include "ui/CZelCpuUsage.h"
#include "ui/CZelProportionalLayout.h"
#include "ui/ControlPlaces.h"
#include "ui/CZelToolWindow.h"
#include "ui/WindowArrangement.h"
#include "ui/controls/CZelButton.h"
#include "ui/controls/CZelGraph.h"
#include "ui/controls/CZelSlide.h"
#include "ui/controls/ControlColours.h"

using platform::Message;

namespace {

// The window size the control places and text sizes are drawn for.
constexpr QSize kDesignSize(640, 400);
constexpr double kCaptionPoints = 8.0;
constexpr double kButtonPoints = 8.0;
constexpr int kCpuTimerMs = 500;
constexpr int kSplashMs = 5000;
constexpr int kPendingCloseMs = 10;

CZelSlide* MakeSlide(QWidget* parent, const char* name, Qt::Orientation orientation, double minimum,
                     double maximum, const QString& caption, int ticks) {
    auto* slide = new CZelSlide(orientation, parent);
    slide->setObjectName(name);
    slide->SetRange(minimum, maximum);
    slide->SetCaption(caption);
    slide->SetTicks(ticks);
    return slide;
}

CZelButton* MakeButton(QWidget* parent, const char* name, CZelButton::Kind kind, const QString& caption) {
    auto* button = new CZelButton(kind, parent);
    button->setObjectName(name);
    button->SetCaption(caption);
    return button;
}

QLabel* MakeLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

}  // namespace

bool COrvo2Dlg::CueDecks::IsCueOn(int deck) const { return decks_[deck] && decks_[deck]->IsCueOn(); }

bool COrvo2Dlg::CueDecks::IsPlaying(int deck) const { return decks_[deck] && decks_[deck]->Playing(); }

void COrvo2Dlg::CueDecks::Start(int deck) {
    if (decks_[deck]) decks_[deck]->TogglePlay(false);
}

void COrvo2Dlg::VolumeSlides::Set(CZelSlide* slide, bool enabled, std::optional<double> value) {
    slide->setEnabled(enabled);
    if (!value) return;
    // Set by the program, an enabled slide notifies as a user's move does, so
    // the output keeps the volume its balance works from. A disabled one
    // drives nothing: with a split device it would silence the main output.
    std::optional<QSignalBlocker> quiet;
    if (!enabled) quiet.emplace(slide);
    slide->SetValue(*value);
}

void COrvo2Dlg::VolumeSlides::SetHeadphonesVolumeSlide(bool enabled, std::optional<double> value) {
    Set(headphones_, enabled, value);
}

void COrvo2Dlg::VolumeSlides::SetMasterVolumeSlide(bool enabled, std::optional<double> value) {
    Set(master_, enabled, value);
}

COrvo2Dlg::COrvo2Dlg(engine::EngineEvents& events, app::CZelCommandLineInfo& commandLine,
                     platform::sound::SoundSystem& sound, const CZelSettings& settings, QWidget* parent)
    : QDialog(parent),
      commandLine_(commandLine),
      settings_(settings),
      sound_(sound),
      port_(std::make_unique<platform::MessagePort>()),
      headphones_(std::make_unique<output::CZelOutput>(sound)),
      main_(std::make_unique<output::CZelOutput>(sound)),
      probe_(sound) {
    setWindowTitle("Orvo 2");
    setWindowIcon(app::ApplicationIcon());
    // The splash shows while the window starts up, and goes when start-up ends.
    splash_ = std::make_unique<CZelSplashScreen>();
    splash_->Create(kSplashMs, this);
    engine_ = std::make_unique<engine::Engine>(events, *port_);
    playback_ = std::make_unique<engine::Playback>(*engine_, events, *port_);
    playback_->SetOutputs(headphones_.get(), main_.get());
    CreateControls();
    CreateToolWindows();
    RegisterControls();
    soundDevices_ = std::make_unique<CZelSoundDevices>(probe_, settings, this);
    volumeSlides_ = std::make_unique<VolumeSlides>(masterVolume_, headphonesVolume_);

    // In the background the decks write further ahead, as when minimised.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        port_->Send(state == Qt::ApplicationActive ? Message::BufferLead20 : Message::BufferLead60);
    });

    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &COrvo2Dlg::OnTimer);
    timer->start(kCpuTimerMs);

    // The saved levels and curve decide each deck's gain on each output.
    mixer_ = std::make_unique<output::CZelMixerControls>(*main_, *headphones_, settings);
    mixer_->RestoreFromSettings();
    cueDecks_ = std::make_unique<CueDecks>(decks_);
    mixer_->SetDecks(cueDecks_.get());
    ShowMixerState();
    ConnectControls();
    playback_->SetMixLink(mixer_.get());
    for (int deck = 0; deck < 2; ++deck) engine_->SetDeckLink(deck, decks_[deck]);
    port_->SetHandler([this](Message m, const platform::Payload& p) { return OnMessage(m, p); });

    quitQuestion_ = &COrvo2Dlg::AskToQuit;
    pendingClose_.setInterval(kPendingCloseMs);
    connect(&pendingClose_, &QTimer::timeout, this, [this] {
        if (closeRequested_ && !startingUp_ && !ActionUnderWay()) done(closeResult_);
    });

    // Start-up runs once the modal loop is running, so that the threads it
    // starts find the window's messages served.
    QTimer::singleShot(0, this, &COrvo2Dlg::StartUp);
}

void COrvo2Dlg::CreateControls() {
    // The dark panel of the instrument controls, also behind the plain labels.
    QPalette dark = palette();
    dark.setColor(QPalette::Window, QColor(controlcolours::kPanel));
    dark.setColor(QPalette::WindowText, QColor(controlcolours::kText));
    setPalette(dark);
    setAutoFillBackground(true);
    resize(kDesignSize);
    setMinimumSize(320, 200);

    using Kind = CZelButton::Kind;
    showEqualizers_[0] = MakeButton(this, "showDeckAEqualizer", Kind::Toggle, "Show Deck A Equalizer");
    showAnalyzer_ = MakeButton(this, "showAnalyzer", Kind::Toggle, "Show Analyzer");
    showEqualizers_[1] = MakeButton(this, "showDeckBEqualizer", Kind::Toggle, "Show Deck B Equalizer");
    showEffects_[0] = MakeButton(this, "showDeckAEffects", Kind::Toggle, "Show Deck A Effects");
    showPlayList_ = MakeButton(this, "showPlayList", Kind::Toggle, "Show Play List");
    showEffects_[1] = MakeButton(this, "showDeckBEffects", Kind::Toggle, "Show Deck B Effects");
    showSoundDevices_ = MakeButton(this, "showSoundDevices", Kind::Push, "Show Sound Devices");
    showSoundDevices_->SetGlow(false);
    devices_ = MakeLabel(this);

    levels_[0] = MakeSlide(this, "levelDeckA", Qt::Vertical, 0.0, 1.0, "Deck A", 10);
    levels_[1] = MakeSlide(this, "levelDeckB", Qt::Vertical, 0.0, 1.0, "Deck B", 10);
    graph_ = new CZelGraph(this);
    graph_->setObjectName("crossFaderGraph");
    graph_->SetXRange(-1.0, 1.0);
    graph_->SetYRange(0.0, 1.05);
    graph_->SetGrid(8, 4);
    graph_->AddPlot("Plot-1", QColor(controlcolours::kLedGreen));
    graph_->AddPlot("Plot-2", QColor(controlcolours::kLedAmber));
    mainCursor_ = graph_->AddCursor(QColor(controlcolours::kPointer), output::CZelMixerControls::kMainStart);
    cueCursor_ = graph_->AddCursor(QColor(controlcolours::kSecondPointer),
                                   output::CZelMixerControls::kCueMarkReset, true);
    curve_ = MakeSlide(this, "crossFaderCurve", Qt::Vertical, -1.0, 1.0, "Curve", 8);
    curve_->SetNeutralValue(output::CZelMixerControls::kCurveReset);
    cueOn_ = MakeButton(this, "crossFaderCueOn", Kind::Toggle, "Cue");
    mainCrossFader_ = MakeSlide(this, "mainCrossFader", Qt::Horizontal, -1.0, 1.0, "Main", 8);
    headphonesCrossFader_ = MakeSlide(this, "headphonesCrossFader", Qt::Horizontal, -1.0, 1.0, "Phones", 8);
    masterVolume_ = MakeSlide(this, "masterVolume", Qt::Vertical, 0.0, 1.0, "Master", 10);
    headphonesVolume_ = MakeSlide(this, "headphonesVolume", Qt::Vertical, 0.0, 1.0, "Phones", 10);
    balance_ = MakeSlide(this, "balance", Qt::Horizontal, -1.0, 1.0, "Bal", 4);
    balance_->SetNeutralValue(0.0);
    cpuMeter_ = MakeSlide(this, "cpuUse", Qt::Vertical, 0.0, 100.0, "CPU", 10);
    cpuMeter_->SetMeter(true);
    cpuCaption_ = MakeButton(this, "cpuUseCaption", Kind::Push, CZelCpuUsage::Caption(0.0));
    cpuCaption_->SetGlow(false);
    // Until a device choice enables them.
    masterVolume_->setEnabled(false);
    headphonesVolume_->setEnabled(false);
}

void COrvo2Dlg::RegisterControls() {
    const char* showSuffix = ".  Right click to reset its size and position.";
    const QString analyzer = QString("Shows the Analyzer") + showSuffix;
    const QString equalizerA = QString("Shows the Deck A Equalizer") + showSuffix;
    const QString equalizerB = QString("Shows the Deck B Equalizer") + showSuffix;
    const QString effectsA = QString("Shows the Deck A Effects") + showSuffix;
    const QString effectsB = QString("Shows the Deck B Effects") + showSuffix;
    const QString playList = QString("Shows the Play List") + showSuffix;
    const QByteArray texts[] = {analyzer.toUtf8(), equalizerA.toUtf8(), equalizerB.toUtf8(),
                                effectsA.toUtf8(), effectsB.toUtf8(),   playList.toUtf8()};
    const char* volumeHelp = "Adjusts the Master and Wave volume level on the windows mixer.";
    const char* cpuTitle = "CPU Use indicator:";
    const char* cpuHelp = "Shows the combined CPU usage percent of your system.";
    const char* cpuTip = "combined processor usage";

    // Top: the buttons that show the other windows, deck A's on the left,
    // deck B's on the right, the shared ones in the middle.
    const ControlPlace places[] = {
        {showEqualizers_[0],
         {0.02, 0.02, 0.22, 0.07},
         kButtonPoints,
         "Show Deck A Equalizer:",
         texts[1].constData(),
         "show deck A equalizer"},
        {showAnalyzer_,
         {0.26, 0.02, 0.22, 0.07},
         kButtonPoints,
         "Show Analyzer:",
         texts[0].constData(),
         "show analyzer"},
        {showEqualizers_[1],
         {0.50, 0.02, 0.22, 0.07},
         kButtonPoints,
         "Show Deck B Equalizer:",
         texts[2].constData(),
         "show deck B equalizer"},
        {showEffects_[0],
         {0.02, 0.10, 0.22, 0.07},
         kButtonPoints,
         "Show Deck A Effects:",
         texts[3].constData(),
         "show deck A effects"},
        {showPlayList_,
         {0.26, 0.10, 0.22, 0.07},
         kButtonPoints,
         "Show Play List:",
         texts[5].constData(),
         "show play list"},
        {showEffects_[1],
         {0.50, 0.10, 0.22, 0.07},
         kButtonPoints,
         "Show Deck B Effects:",
         texts[4].constData(),
         "show deck B effects"},
        {showSoundDevices_,
         {0.76, 0.02, 0.22, 0.07},
         kButtonPoints,
         "Show Sound Devices:",
         "Shows the sound device chooser.",
         "show sound devices"},
        // Left: the deck levels.
        {levels_[0],
         {0.02, 0.27, 0.07, 0.58},
         kCaptionPoints,
         "Deck A Level:",
         "Sets the level for Deck A.",
         "deck A level"},
        {levels_[1],
         {0.10, 0.27, 0.07, 0.58},
         kCaptionPoints,
         "Deck B Level:",
         "Sets the level for Deck B.",
         "deck B level"},
        // Middle: the curve, its graph, the cue switch and the cross faders.
        {graph_,
         {0.19, 0.27, 0.44, 0.40},
         0.0,
         "Cross Fader Graph:",
         "Shows the cross fader curve, current position and the cross fader cue mark",
         "cross fader graph"},
        {curve_,
         {0.64, 0.27, 0.07, 0.48},
         kCaptionPoints,
         "Cross Fader Curve Slide:",
         "Adjusts the shape of the cross fader curve.",
         "cross fader curve adjust"},
        {cueOn_,
         {0.64, 0.77, 0.07, 0.07},
         kButtonPoints,
         "Cross Fader Cue On Button:",
         "Puts a moveable mark on the cross fader graph that will trigger cueing when crossed by the cross "
         "fader.",
         "cross fader cue on"},
        {mainCrossFader_,
         {0.19, 0.69, 0.44, 0.09},
         kCaptionPoints,
         "Main Cross Fader:",
         "Cross fader for the main sound device.",
         "main cross fader"},
        {headphonesCrossFader_,
         {0.19, 0.79, 0.44, 0.09},
         kCaptionPoints,
         "Headphones Cross Fader:",
         "Cross fader for the headphones sound device.",
         "headphones cross fader"},
        // Right: the outputs' volumes and balance, and the processor load.
        {masterVolume_,
         {0.74, 0.27, 0.07, 0.48},
         kCaptionPoints,
         "Master Volume:",
         volumeHelp,
         "main volume"},
        {headphonesVolume_,
         {0.82, 0.27, 0.07, 0.48},
         kCaptionPoints,
         "Headphones Volume:",
         volumeHelp,
         "headphones volume"},
        {balance_,
         {0.74, 0.77, 0.15, 0.07},
         kCaptionPoints,
         "Balance Slide:",
         "Adjusts the main balance in the windows sound mixer",
         "balance"},
        {cpuMeter_, {0.91, 0.27, 0.07, 0.48}, kCaptionPoints, cpuTitle, cpuHelp, cpuTip},
        {cpuCaption_, {0.91, 0.77, 0.07, 0.07}, kButtonPoints, cpuTitle, cpuHelp, cpuTip},
    };
    layout_ = new CZelProportionalLayout(this, kDesignSize);
    PlaceControls(*layout_, helpTexts_, places);
    layout_->Add(devices_, {0.02, 0.89, 0.96, 0.09}, kButtonPoints);
}

void COrvo2Dlg::ConnectControls() {
    for (int deck = 0; deck < 2; ++deck) {
        connect(levels_[deck], &CZelSlide::ValueChanged, this,
                [this, deck](double level) { mixer_->OnLevelChanged(deck, level); });
    }
    // The levels and the curve are saved once their slide is let go (or has
    // rested a moment), not at every tick.
    for (CZelSlide* slide : {levels_[0], levels_[1], curve_})
        connect(slide, &CZelSlide::Released, this, [this] { settings_.FlushPendingWrites(); });
    connect(headphonesCrossFader_, &CZelSlide::ValueChanged, this,
            [this](double x) { mixer_->OnHeadphonesCrossFaderChanged(x); });
    connect(mainCrossFader_, &CZelSlide::ValueChanged, this, [this](double x) {
        // The cursor first, so that the cue mark test sees the fader where the graph shows it.
        graph_->SetCursorX(mainCursor_, x);
        mixer_->OnMainCrossFaderChanged(x);
    });
    // A right release sets the curve slide to its neutral value, the straight line.
    connect(curve_, &CZelSlide::ValueChanged, this, [this](double p) {
        mixer_->OnCurveChanged(p);
        DrawCurves();
    });
    connect(cueOn_, &CZelButton::ValueChanged, this, [this](bool on) {
        mixer_->OnCueOnChanged(on);
        graph_->SetCursorVisible(cueCursor_, on);
    });
    connect(graph_, &CZelGraph::CursorMoved, this, [this](int cursor, double x) {
        if (cursor == cueCursor_) mixer_->OnCueMarkMoved(x);
    });
    connect(graph_, &CZelControl::RightReleased, this, [this] {
        mixer_->ResetCueMark();
        graph_->SetCursorX(cueCursor_, mixer_->CueMark());
    });
    connect(masterVolume_, &CZelSlide::ValueChanged, this, [this](double volume) {
        main_->Level().SetMasterVolume(volume);
        main_->Level().SetWaveVolume(volume);
    });
    connect(headphonesVolume_, &CZelSlide::ValueChanged, this, [this](double volume) {
        headphones_->Level().SetMasterVolume(volume);
        headphones_->Level().SetWaveVolume(volume);
    });
    // A right release centres the balance (its neutral value).
    connect(balance_, &CZelSlide::ValueChanged, this, [this](double balance) {
        for (output::CZelOutput* out : {headphones_.get(), main_.get()}) {
            out->Level().SetMasterBalance(balance);
            out->Level().SetWaveBalance(balance);
        }
    });
    // Show buttons show and hide their windows; a right release puts the
    // window back in its place.
    const std::vector<std::pair<CZelButton*, std::pair<int, int>>> shows = {
        {showAnalyzer_, {ui::kAnalyzerCode, -1}},   {showPlayList_, {ui::kPlayListCode, -1}},
        {showEqualizers_[0], {ui::kEqualizerCode, 0}}, {showEqualizers_[1], {ui::kEqualizerCode, 1}},
        {showEffects_[0], {ui::kEffectsCode, 0}},      {showEffects_[1], {ui::kEffectsCode, 1}}};
    for (const auto& [button, window] : shows) {
        const auto [code, deck] = window;
        connect(button, &CZelButton::ValueChanged, this, [this, code, deck](bool on) {
            if (CZelToolWindow* tool = ToolWindow(code, deck)) tool->setVisible(on);
        });
        connect(button, &CZelButton::RightReleased, this, [this, code, deck] { ArrangeWindows(code, deck); });
    }

    // Queued: the chooser runs its own loop, better not inside the button's release.
    connect(
        showSoundDevices_, &CZelButton::Clicked, this, [this] { ChooseSoundDevices(true); },
        Qt::QueuedConnection);
}

void COrvo2Dlg::ShowMixerState() {
    // The mixer already holds the saved values; the controls only show them.
    auto show = [](CZelSlide* slide, double value) {
        QSignalBlocker quiet(slide);
        slide->SetValue(value);
    };
    show(mainCrossFader_, mixer_->MainPosition());
    show(headphonesCrossFader_, mixer_->HeadphonesPosition());
    for (int deck = 0; deck < 2; ++deck) show(levels_[deck], mixer_->Level(deck));
    show(curve_, mixer_->CurvePosition());
    graph_->SetCursorX(mainCursor_, mixer_->MainPosition());
    graph_->SetCursorX(cueCursor_, mixer_->CueMark());
    mixer_->OnCueOnChanged(cueOn_->Value());
    graph_->SetCursorVisible(cueCursor_, cueOn_->Value());
    DrawCurves();
}

void COrvo2Dlg::DrawCurves() {
    const output::CZelCrossFader& fader = mixer_->MainCrossFader();
    const auto& x = output::CZelCrossFader::GraphX();
    graph_->SetPlotData(graph_->PlotIndex("Plot-1"), x, fader.CurveA());
    graph_->SetPlotData(graph_->PlotIndex("Plot-2"), x, fader.CurveB());
}

COrvo2Dlg::~COrvo2Dlg() {
    playback_->Shutdown();
    engine_->Shutdown();
    port_->Close();
    headphones_->Close();
    main_->Close();
}

void COrvo2Dlg::CreateToolWindows() {
    auto make = [this](int code, int deck, const QString& title) {
        toolWindows_.push_back(new CZelToolWindow(code, deck, title, *port_, this));
    };
    make(ui::kAnalyzerCode, -1, "Analyzer");
    make(ui::kPlayListCode, -1, "Play List");
    for (int deck = 0; deck < 2; ++deck) {
        const QString name = deck == 0 ? "Deck A" : "Deck B";
        make(ui::kDebuggerCode, deck, name + " Debugger");
        decks_[deck] = new CZelDeck2(deck, *engine_, *port_, this);
        toolWindows_.push_back(decks_[deck]);
        make(ui::kEffectsCode, deck, name + " Effects");
        make(ui::kEqualizerCode, deck, name + " Equalizer");
    }
}

CZelToolWindow* COrvo2Dlg::ToolWindow(int code, int deck) const {
    for (CZelToolWindow* tool : toolWindows_)
        if (tool->Code() == code && (tool->Deck() == deck || tool->Deck() < 0)) return tool;
    return nullptr;
}

CZelButton* COrvo2Dlg::ShowButtonOf(int code, int deck) const {
    const int d = deck == 1 ? 1 : 0;
    switch (code) {
        case ui::kAnalyzerCode: return showAnalyzer_;
        case ui::kPlayListCode: return showPlayList_;
        case ui::kEqualizerCode: return showEqualizers_[d];
        case ui::kEffectsCode: return showEffects_[d];
        default: return nullptr;
    }
}

void COrvo2Dlg::ArrangeWindows(int code, int deck) {
    const QRect area = screen() ? screen()->availableGeometry() : QRect(0, 0, 1280, 800);
    const int caption = style()->pixelMetric(QStyle::PM_TitleBarHeight);
    for (const ui::WindowPlacement& place : ui::ArrangeWindows(area, caption, caption, code, deck)) {
        QWidget* window = place.code == ui::kMainWindowCode ? static_cast<QWidget*>(this)
                                                            : ToolWindow(place.code, place.deck);
        if (!window) continue;
        window->setGeometry(place.rect);
        if (place.hidden) {
            window->hide();
            continue;
        }
        window->show();
        if (CZelButton* button = ShowButtonOf(place.code, place.deck)) button->SetValue(true);
    }
}

void COrvo2Dlg::StartUp() {
    startingUp_ = true;
    ArrangeWindows(ui::kMainWindowCode, 0);
    ChooseSoundDevices(false);
    engine_->StartTrackLengthThread();
    setFocus();
    CZelTipOfTheDay::ShowAtStartUpIfWanted(settings_, this);
    if (!closeRequested_) LoadCommandLineFiles();
    splash_.reset();
    startingUp_ = false;
    if (closeRequested_) done(closeResult_);
}

void COrvo2Dlg::LoadCommandLineFiles() {
    // Every loadable file is loaded in turn; Deck A ends holding the last one.
    // With no file the loop runs once with an empty path, which fails quietly.
    bool isLast = false;
    do {
        const QString path = commandLine_.GetNextFile(isLast);
        decks_[0]->LoadFile(path);
    } while (!isLast && !closeRequested_);
}

void COrvo2Dlg::ChooseSoundDevices(bool visible) {
    // Never inside an action that waits (a fade, a priming: they dispatch
    // messages): the outputs it works on must not change under it. Asked
    // again once it is over.
    if (ActionUnderWay()) {
        QTimer::singleShot(0, this, [this, visible] { ChooseSoundDevices(visible); });
        return;
    }
    const bool confirmed = soundDevices_->Run(visible) == QDialog::Accepted;
    if (confirmed) {
        if (visible) {
            OnNewDeviceChoice();
        } else {
            ApplyDeviceChoice();
        }
    }
}

bool COrvo2Dlg::ActionUnderWay() const {
    return platform::DispatchDepth() > 0 || playback_->Busy() ||
           std::any_of(decks_.begin(), decks_.end(), [](const CZelDeck2* d) { return d && d->Busy(); });
}

void COrvo2Dlg::OnNewDeviceChoice() {
    if (ActionUnderWay()) {
        QTimer::singleShot(0, this, [this] { OnNewDeviceChoice(); });
        return;
    }
    // A new choice unloads both decks before the outputs change.
    for (CZelDeck2* deck : decks_) deck->ChooseSource(0);
    ApplyDeviceChoice();
}

void COrvo2Dlg::ApplyDeviceChoice() {
    // The latency first, so the outputs open with it; streams kept open take it too.
    if (const int latency = soundDevices_->ChosenLatencyMs(); latency != sound_.OutputLatency()) {
        sound_.SetOutputLatency(latency);
        sound_.ReopenStreams();
    }
    output::ApplyDeviceChoice(*headphones_, *main_, soundDevices_->ChosenHeadphonesId(),
                              soundDevices_->ChosenHeadphonesLabel(), soundDevices_->ChosenMainId(),
                              soundDevices_->ChosenMainLabel(), *volumeSlides_);
    ShowDevices();
}

void COrvo2Dlg::ShowDevices() {
    auto name = [](const output::CZelOutput& out) {
        if (!out.IsOpen()) return QStringLiteral("Disabled");
        return out.IsLost() ? out.DeviceName() + " (lost, reconnecting)" : out.DeviceName();
    };
    const QString text = "Main: " + name(*main_) + "      Headphones: " + name(*headphones_);
    if (devices_->text() != text) devices_->setText(text);
}

void COrvo2Dlg::OnTimer() {
    const double usage = cpuUsage_.Read();
    cpuMeter_->SetValue(usage);
    cpuCaption_->SetCaption(CZelCpuUsage::Caption(usage));
    // A device that went away is reopened when it is back, the decks' buffers
    // kept, so they play on where they were.
    sound_.MaintainStreams();
    ShowDevices();
    const QString tip = QString("combined processor usage; sound underruns: %1").arg(sound_.Underruns());
    for (QWidget* control : {static_cast<QWidget*>(cpuMeter_), static_cast<QWidget*>(cpuCaption_)})
        if (control->toolTip() != tip) control->setToolTip(tip);
}

void COrvo2Dlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    if (windowState() & Qt::WindowMaximized) {
        // Maximising does not enlarge the main window: it shows every tool
        // window and puts all of them in their places again.
        for (CZelButton* button : {showAnalyzer_, showPlayList_, showEqualizers_[0], showEqualizers_[1],
                                   showEffects_[0], showEffects_[1]})
            button->SetValue(true);
        QTimer::singleShot(0, this, [this] {
            showNormal();
            ArrangeWindows(ui::kMainWindowCode, 0);
        });
        return;
    }
    const bool minimised = windowState() & Qt::WindowMinimized;
    const bool wasMinimised = static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMinimized;
    if (minimised && !wasMinimised) port_->Send(Message::BufferLead60);
    if (!minimised && wasMinimised) port_->Send(Message::BufferLead20);
}

void COrvo2Dlg::contextMenuEvent(QContextMenuEvent* event) {
    // Over a control the right button resets it; only the background has a menu.
    QWidget* under = childAt(event->pos());
    if (under && !qobject_cast<QLabel*>(under)) return;
    QMenu menu(this);
    menu.addAction("&About Orvo2 ...", this, &COrvo2Dlg::ShowAbout);
    menu.exec(event->globalPos());
}

void COrvo2Dlg::ShowAbout() {
    CAboutDlg about(this);
    about.exec();
}

void COrvo2Dlg::keyPressEvent(QKeyEvent* event) {
    // Escape would reject the dialog and end the program, music and all.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void COrvo2Dlg::closeEvent(QCloseEvent* event) {
    const bool playing = std::any_of(decks_.begin(), decks_.end(), [](CZelDeck2* d) { return d && d->Playing(); });
    if (playing && !quitQuestion_(this)) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

bool COrvo2Dlg::AskToQuit(QWidget* parent) {
    return QMessageBox::question(parent, "Orvo 2", "Stop the music and quit?", QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
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
    if (startingUp_ || ActionUnderWay()) {
        closeRequested_ = true;
        closeResult_ = result;
        platform::AbandonWaits(true);
        if (!pendingClose_.isActive()) pendingClose_.start();
        return;
    }
    pendingClose_.stop();
    playback_->Shutdown();
    engine_->Shutdown();
    headphones_->Close();
    main_->Close();
    settings_.FlushPendingWrites();
    platform::AbandonWaits(false);
    QDialog::done(result);
}

intptr_t COrvo2Dlg::OnMessage(Message message, const platform::Payload& payload) {
    const int deck = platform::DeckOf(payload);
    switch (message) {
        case Message::BlockDecoded:
            break;  // nothing to do: a block was decoded
        case Message::EndOfTrack:
            // Earlier blocks still play; the deck follows when the next track reaches the play point.
            decks_[deck]->TrackChangePending();
            engine_->OnEndOfTrack(deck);
            break;
        case Message::TempoChanged:
            if (const auto* tempo = std::get_if<platform::TempoArgs>(&payload))
                for (output::CZelOutput* out : {headphones_.get(), main_.get()})
                    if (output::CZelOutputDevice* device = out->Device()) device->SetFrequency(deck, tempo->frequencyHz);
            break;
        case Message::ReportQueuedBytes:
            decks_[deck]->ShowTime(engine::OutputBufferedBytes(engine_->Ledger(deck)));
            break;
        case Message::PreviousTrack:
        case Message::NextTrack:
        case Message::AddFileAndSelect:
        case Message::AddFile:
        case Message::DeckBrowsing:
            break;  // the play list's: nothing to do without one
        case Message::TrackLengthMeasured:
            engine_->OnTrackLengthMeasured();
            break;
        case Message::LengthMeasured:
            engine_->OnLengthMeasured();
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
        // The starts answer whether the deck plays, so the deck shows what it does.
        case Message::StartForward:
            return playback_->StartForward(deck) ? 1 : 0;
        case Message::StartBackward:
            return playback_->StartBackward(deck) ? 1 : 0;
        case Message::ResumeForward:
            return playback_->ResumeForward(deck) ? 1 : 0;
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
        case Message::ChildWindowClosed:
            if (const auto* window = std::get_if<platform::WindowArgs>(&payload))
                if (CZelButton* button = ShowButtonOf(window->code, deck)) button->SetValue(false);
            break;
        default:
            break;
    }
    return 0;
}
