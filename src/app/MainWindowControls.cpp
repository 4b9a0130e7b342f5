#include "app/MainWindowControls.h"

#include <QLabel>
#include <QPalette>
#include <QSignalBlocker>

#include <iterator>

#include "output/CZelCrossFader.h"
#include "output/CZelMixerControls.h"
#include "ui/CZelCpuUsage.h"
#include "ui/CZelProportionalLayout.h"
#include "ui/ControlPlaces.h"
#include "ui/WindowArrangement.h"
#include "ui/controls/CZelButton.h"
#include "ui/controls/CZelGraph.h"
#include "ui/controls/CZelLed.h"
#include "ui/controls/CZelSlide.h"
#include "ui/controls/ControlColours.h"

namespace app {

namespace {

constexpr double kCaptionPoints = 8.0;
constexpr double kButtonPoints = 8.0;

enum class Kind { Toggle, Push, Vertical, Horizontal, Graph };

// One control: its object name, what it is, its caption and (slides) range
// and tick divisions, its place and text size, and its help texts.
struct Row {
    const char* name;
    Kind kind;
    const char* caption;
    double minimum;
    double maximum;
    int ticks;
    QRectF place;
    double points;
    const char* title;
    const char* description;
    const char* toolTip;
};

constexpr const char* kVolumeHelp = "Adjusts the Master and Wave volume level on the windows mixer.";
constexpr const char* kCpuTitle = "CPU Use indicator:";
constexpr const char* kCpuHelp = "Shows the combined CPU usage percent of your system.";
constexpr const char* kCpuTip = "combined processor usage";

// Places are drawn in pixels of the design size, a column as tall as it is
// wide and a half again, as the window stands between the decks.
constexpr QRectF Px(double x, double y, double w, double h) {
    return {x / 300.0, y / 460.0, w / 300.0, h / 460.0};
}

// In MainWindowControls::Id order. Top: the buttons that show the other
// windows, deck A's on the left, deck B's on the right, the shared ones in the
// middle. Then the cross fader graph with its curve beside it, the two cross
// faders under it with the cue switch, the deck levels with their lamps, the
// volumes with the balance under them and the processor load; the sound
// devices at the foot.
// clang-format off
const Row kRows[] = {
    {"showDeckAEqualizer", Kind::Toggle, "Show Deck A Equalizer", 0, 0, 0, Px(6, 6, 92, 34), kButtonPoints,
     "Show Deck A Equalizer:", "Shows the Deck A Equalizer.  Right click to reset its size and position.",
     "show deck A equalizer"},
    {"showAnalyzer", Kind::Toggle, "Show Analyzer", 0, 0, 0, Px(104, 6, 92, 34), kButtonPoints,
     "Show Analyzer:", "Shows the Analyzer.  Right click to reset its size and position.", "show analyzer"},
    {"showDeckBEqualizer", Kind::Toggle, "Show Deck B Equalizer", 0, 0, 0, Px(202, 6, 92, 34), kButtonPoints,
     "Show Deck B Equalizer:", "Shows the Deck B Equalizer.  Right click to reset its size and position.",
     "show deck B equalizer"},
    {"showDeckAEffects", Kind::Toggle, "Show Deck A Effects", 0, 0, 0, Px(6, 44, 92, 34), kButtonPoints,
     "Show Deck A Effects:", "Shows the Deck A Effects.  Right click to reset its size and position.",
     "show deck A effects"},
    {"showPlayList", Kind::Toggle, "Show Play List", 0, 0, 0, Px(104, 44, 92, 34), kButtonPoints,
     "Show Play List:", "Shows the Play List.  Right click to reset its size and position.", "show play list"},
    {"showDeckBEffects", Kind::Toggle, "Show Deck B Effects", 0, 0, 0, Px(202, 44, 92, 34), kButtonPoints,
     "Show Deck B Effects:", "Shows the Deck B Effects.  Right click to reset its size and position.",
     "show deck B effects"},
    {"showSoundDevices", Kind::Push, "Show Sound Devices", 0, 0, 0, Px(202, 424, 92, 32), kButtonPoints,
     "Show Sound Devices:", "Shows the sound device chooser.", "show sound devices"},
    {"levelDeckA", Kind::Vertical, "Deck A", 0.0, 1.0, 10, Px(6, 290, 42, 128), kCaptionPoints,
     "Deck A Level:", "Sets the level for Deck A.", "deck A level"},
    {"levelDeckB", Kind::Vertical, "Deck B", 0.0, 1.0, 10, Px(80, 290, 42, 128), kCaptionPoints,
     "Deck B Level:", "Sets the level for Deck B.", "deck B level"},
    {"crossFaderGraph", Kind::Graph, "", 0, 0, 0, Px(6, 86, 240, 120), 0.0, "Cross Fader Graph:",
     "Shows the cross fader curve, current position and the cross fader cue mark", "cross fader graph"},
    {"crossFaderCurve", Kind::Vertical, "Curve", -1.0, 1.0, 8, Px(252, 86, 42, 120), kCaptionPoints,
     "Cross Fader Curve Slide:", "Adjusts the shape of the cross fader curve.", "cross fader curve adjust"},
    {"crossFaderCueOn", Kind::Toggle, "Cue", 0, 0, 0, Px(252, 212, 42, 32), kButtonPoints,
     "Cross Fader Cue On Button:",
     "Puts a moveable mark on the cross fader graph that will trigger cueing when crossed by the cross fader.",
     "cross fader cue on"},
    {"mainCrossFader", Kind::Horizontal, "Main", -1.0, 1.0, 8, Px(6, 212, 240, 32), kCaptionPoints,
     "Main Cross Fader:", "Cross fader for the main sound device.", "main cross fader"},
    {"headphonesCrossFader", Kind::Horizontal, "Phones", -1.0, 1.0, 8, Px(6, 248, 240, 32), kCaptionPoints,
     "Headphones Cross Fader:", "Cross fader for the headphones sound device.", "headphones cross fader"},
    {"masterVolume", Kind::Vertical, "Master", 0.0, 1.0, 10, Px(132, 290, 44, 100), kCaptionPoints,
     "Master Volume:", kVolumeHelp, "main volume"},
    {"headphonesVolume", Kind::Vertical, "Phones", 0.0, 1.0, 10, Px(180, 290, 44, 100), kCaptionPoints,
     "Headphones Volume:", kVolumeHelp, "headphones volume"},
    {"balance", Kind::Horizontal, "Bal", -1.0, 1.0, 4, Px(132, 394, 114, 24), kCaptionPoints,
     "Balance Slide:", "Adjusts the main balance in the windows sound mixer", "balance"},
    {"cpuUse", Kind::Vertical, "CPU", 0.0, 100.0, 10, Px(252, 290, 42, 100), kCaptionPoints,
     kCpuTitle, kCpuHelp, kCpuTip},
    {"cpuUseCaption", Kind::Push, "", 0, 0, 0, Px(252, 394, 42, 24), kButtonPoints, kCpuTitle, kCpuHelp, kCpuTip},
};
// clang-format on
static_assert(std::size(kRows) == static_cast<size_t>(MainWindowControls::kCount));

QWidget* Make(const Row& row, QWidget& parent) {
    QWidget* control = nullptr;
    switch (row.kind) {
        case Kind::Toggle:
        case Kind::Push: {
            auto* button = new CZelButton(
                row.kind == Kind::Toggle ? CZelButton::Kind::Toggle : CZelButton::Kind::Push, &parent);
            button->SetCaption(row.caption);
            control = button;
            break;
        }
        case Kind::Vertical:
        case Kind::Horizontal: {
            auto* slide = new CZelSlide(row.kind == Kind::Vertical ? Qt::Vertical : Qt::Horizontal, &parent);
            slide->SetRange(row.minimum, row.maximum);
            slide->SetCaption(row.caption);
            slide->SetTicks(row.ticks);
            control = slide;
            break;
        }
        case Kind::Graph:
            control = new CZelGraph(&parent);
            break;
    }
    control->setObjectName(row.name);
    return control;
}

}  // namespace

const std::array<MainWindowControls::ShowButton, 6> MainWindowControls::kShowButtons = {{
    {kShowAnalyzer, ui::kAnalyzerCode, -1},
    {kShowPlayList, ui::kPlayListCode, -1},
    {kShowEqualizerA, ui::kEqualizerCode, 0},
    {kShowEqualizerB, ui::kEqualizerCode, 1},
    {kShowEffectsA, ui::kEffectsCode, 0},
    {kShowEffectsB, ui::kEffectsCode, 1},
}};

void MainWindowControls::Create(QWidget& window, CZelHelpTexts& helpTexts) {
    // The dark panel of the instrument controls, also behind the plain labels.
    QPalette dark = window.palette();
    dark.setColor(QPalette::Window, QColor(controlcolours::kPanel));
    dark.setColor(QPalette::WindowText, QColor(controlcolours::kText));
    window.setPalette(dark);
    window.setAutoFillBackground(true);

    std::array<ControlPlace, kCount> places{};
    for (size_t i = 0; i < kCount; ++i) {
        const Row& row = kRows[i];
        controls_[i] = Make(row, window);
        places[i] = {controls_[i], row.place, row.points, row.title, row.description, row.toolTip};
    }
    devices_ = new QLabel(&window);
    devices_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    CZelGraph* graph = Graph();
    graph->SetXRange(-1.0, 1.0);
    graph->SetYRange(0.0, 1.05);
    graph->SetGrid(8, 4);
    graph->AddPlot("Plot-1", QColor(controlcolours::kLedGreen));
    graph->AddPlot("Plot-2", QColor(controlcolours::kLedAmber));
    mainCursor_ = graph->AddCursor(QColor(controlcolours::kPointer), output::CZelMixerControls::kMainStart);
    cueCursor_ = graph->AddCursor(QColor(controlcolours::kSecondPointer),
                                  output::CZelMixerControls::kCueMarkReset, true);
    Slide(kCurve)->SetNeutralValue(output::CZelMixerControls::kCurveReset);
    Slide(kBalance)->SetNeutralValue(0.0);
    Slide(kCpuMeter)->SetMeter(true);
    Button(kCpuCaption)->SetCaption(CZelCpuUsage::Caption(0.0));
    Button(kCpuCaption)->SetGlow(false);
    Button(kShowSoundDevices)->SetGlow(false);
    // Until a device choice enables them.
    Slide(kMasterVolume)->setEnabled(false);
    Slide(kHeadphonesVolume)->setEnabled(false);

    // The cross faders' tracks start at one place, whatever their captions.
    Slide(kMainCrossFader)->SetCaptionShare(0.22);
    Slide(kHeadphonesCrossFader)->SetCaptionShare(0.22);

    layout_ = new CZelProportionalLayout(&window, kDesignSize);
    PlaceControls(*layout_, helpTexts, places);
    layout_->Add(devices_, Px(6, 424, 190, 32), kButtonPoints);
    // Ten lamps per deck beside its level slide, beside its track.
    for (int deck = 0; deck < 2; ++deck) {
        std::vector<QWidget*> column;
        for (int i = 0; i < kLampsPerDeck; ++i) {
            // Top down: red, two amber, then green.
            const QColor on(i == 0  ? controlcolours::kLedRed
                            : i < 3 ? controlcolours::kLedAmber
                                    : controlcolours::kLedGreen);
            auto* lamp = new CZelLed(&window);
            lamp->setObjectName(QString("levelLamp%1%2").arg(deck == 0 ? 'A' : 'B').arg(kLampsPerDeck - i));
            lamp->SetShape(CZelLed::Shape::Bar);
            lamp->SetColours(on, on.darker(500));
            lamps_[deck][kLampsPerDeck - 1 - i] = lamp;
            column.push_back(lamp);
        }
        layout_->AddGroup(column, Px(deck == 0 ? 51 : 65, 292, 12, 110), 1, kLampsPerDeck);
    }
}

CZelSlide* MainWindowControls::Slide(Id id) const {
    return static_cast<CZelSlide*>(controls_[id]);
}

CZelButton* MainWindowControls::Button(Id id) const {
    return static_cast<CZelButton*>(controls_[id]);
}

CZelButton* MainWindowControls::ShowButtonOf(int code, int deck) const {
    // Shared windows have one button; a deck's window has its deck's.
    for (const ShowButton& show : kShowButtons)
        if (show.code == code && (show.deck < 0 || show.deck == (deck == 1 ? 1 : 0))) return Button(show.id);
    return nullptr;
}

CZelGraph* MainWindowControls::Graph() const {
    return static_cast<CZelGraph*>(controls_[kGraph]);
}

void MainWindowControls::ShowMixerState(output::CZelMixerControls& mixer) {
    // The mixer already holds the saved values; the controls only show them.
    auto show = [this](Id id, double value) {
        QSignalBlocker quiet(controls_[id]);
        Slide(id)->SetValue(value);
    };
    show(kMainCrossFader, mixer.MainPosition());
    show(kHeadphonesCrossFader, mixer.HeadphonesPosition());
    show(kLevelA, mixer.Level(0));
    show(kLevelB, mixer.Level(1));
    show(kCurve, mixer.CurvePosition());
    Graph()->SetCursorX(mainCursor_, mixer.MainPosition());
    Graph()->SetCursorX(cueCursor_, mixer.CueMark());
    const bool cueOn = Button(kCueOn)->Value();
    mixer.OnCueOnChanged(cueOn);
    Graph()->SetCursorVisible(cueCursor_, cueOn);
    DrawCurves(mixer);
}

void MainWindowControls::DrawCurves(const output::CZelMixerControls& mixer) {
    const output::CZelCrossFader& fader = mixer.MainCrossFader();
    const auto& x = output::CZelCrossFader::GraphX();
    CZelGraph* graph = Graph();
    graph->SetPlotData(graph->PlotIndex("Plot-1"), x, fader.CurveA());
    graph->SetPlotData(graph->PlotIndex("Plot-2"), x, fader.CurveB());
}

void MainWindowControls::SetVolumeSlide(Id id, bool enabled, std::optional<double> value) {
    CZelSlide* slide = Slide(id);
    slide->setEnabled(enabled);
    if (!value) return;
    // Set by the program, an enabled slide notifies as a user's move does, so
    // the output keeps the volume its balance works from. A disabled one
    // drives nothing: with a split device it would silence the main output.
    std::optional<QSignalBlocker> quiet;
    if (!enabled) quiet.emplace(slide);
    slide->SetValue(*value);
}

}  // namespace app
