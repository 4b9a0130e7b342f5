#include "analysis/CZelAnalyzer.h"

#include <QKeyEvent>
#include <QSignalBlocker>

#include <cmath>
#include <numeric>

#include "platform/MessagePort.h"
#include "ui/WindowArrangement.h"
#include "ui/controls/CZelButton.h"
#include "ui/controls/CZelGraph.h"
#include "ui/controls/ControlColours.h"

using analysis::AnalyzerPanel;
using analysis::DeckView;
using analysis::Mode;

namespace {

// The two shapes the window's places are drawn for (see dsp::PanelLayout): a
// strip under the main window, the graph beside the buttons, and a column,
// the graph above them.
constexpr QSize kWideDesign(452, 177);
constexpr QSize kTallDesign(250, 300);
constexpr double kButtonPoints = 8.0;
constexpr double kGraphPoints = 7.0;

constexpr QRectF Wide(double x, double y, double w, double h) {
    return dsp::DesignFraction(kWideDesign, x, y, w, h);
}
constexpr QRectF Tall(double x, double y, double w, double h) {
    return dsp::DesignFraction(kTallDesign, x, y, w, h);
}

// Octave bars: alone, a deck's bar is three quarters of a band wide; with
// both decks shown, deck A's and deck B's stand side by side in each band.
constexpr double kBarWidthAlone = 0.75;
constexpr double kBarWidthPaired = 0.4;
constexpr double kPairOffset = 0.21;
// The band axis reaches half a band past the first and last bands, so that
// their bars show whole.
constexpr double kBandMargin = 0.5;
constexpr int kOctaveYDivisions = 5;

// "24", "120", "1.1k", "17k": a band centre in two digits.
QString CentreLabel(double hertz) {
    return hertz >= 1000.0 ? QString::number(hertz / 1000.0, 'g', 2) + QLatin1Char('k')
                           : QString::number(std::round(hertz), 'f', 0);
}

}  // namespace

CZelAnalyzer::CZelAnalyzer(AnalyzerPanel& panel, platform::MessagePort& mainWindow, QWidget* parent)
    : CZelToolWindow(ui::kAnalyzerCode, -1, "Analyzer", mainWindow, parent),
      port_(mainWindow),
      panel_(panel),
      layout_(*this, kWideDesign, kTallDesign) {
    resize(kWideDesign);
    CreateControls();
    PlaceControls();
    ConnectControls();
    scopeX_.resize(AnalyzerPanel::kScopePoints);
    std::iota(scopeX_.begin(), scopeX_.end(), 0.0);
    panel_.SetView(this);
    panel_.Initialise();
}

CZelAnalyzer::~CZelAnalyzer() {
    panel_.SetView(nullptr);
}

void CZelAnalyzer::CreateControls() {
    graph_ = new CZelGraph(this);
    graph_->setObjectName("analyzerGraph");
    graph_->SetChartLength(30);
    // Plot 1 deck A, 2 deck A mirrored, 3 deck B, 4 deck B mirrored.
    for (int deck = 0; deck < 2; ++deck) {
        const QString name = deck == 0 ? "Deck A" : "Deck B";
        graph_->AddPlot(name, dsp::DeckColour(deck));
        graph_->AddPlot(name + " Mirrored", dsp::DeckColour(deck));
    }

    auto button = [this](const char* name, const char* caption, const QColor& glow) {
        auto* b = new CZelButton(CZelButton::Kind::Toggle, this);
        b->setObjectName(name);
        b->SetCaption(caption);
        b->SetGlowColour(glow);
        return b;
    };
    const QColor modeGlow(controlcolours::kLedAmber);
    modeButtons_ = {button("chart", "Chart", modeGlow), button("octave", "Octave", modeGlow),
                    button("scope", "Scope", modeGlow)};
    viewButtons_[static_cast<int>(DeckView::Both)] =
        button("bothDecks", "A + B", QColor(controlcolours::kText));
    viewButtons_[static_cast<int>(DeckView::DeckA)] = button("deckA", "A", dsp::DeckColour(0));
    viewButtons_[static_cast<int>(DeckView::DeckB)] = button("deckB", "B", dsp::DeckColour(1));
    on_ = button("analyzerOn", "On", QColor(controlcolours::kLedGreen));
    on_->SetValue(panel_.IsOn());
}

void CZelAnalyzer::PlaceControls() {
    struct Place {
        QWidget* control;
        QRectF wide;
        QRectF tall;
        double points;
        const char* title;
        const char* description;
        const char* toolTip;
    };
    CZelButton* const both = viewButtons_[static_cast<int>(DeckView::Both)];
    CZelButton* const deckA = viewButtons_[static_cast<int>(DeckView::DeckA)];
    CZelButton* const deckB = viewButtons_[static_cast<int>(DeckView::DeckB)];
    // Wide: the graph, then two columns of buttons (modes; deck views) and
    // the on switch under them. Tall: the graph over two rows of buttons.
    const Place places[] = {
        {graph_, Wide(4, 4, 318, 169), Tall(4, 4, 242, 218), kGraphPoints, "Analyzer Graph:",
         "Shows what the decks play: their level, their octave spectrum or their waveform.",
         "analyzer graph"},
        {modeButtons_[0], Wide(326, 4, 60, 38), Tall(4, 226, 58, 32), kButtonPoints,
         "Chart Analyzer:", "Sets the analyzer to chart mode.", "chart"},
        {modeButtons_[1], Wide(326, 46, 60, 38), Tall(66, 226, 58, 32), kButtonPoints,
         "Octave Analyzer:", "Sets the analyzer to octave mode.", "octave"},
        {modeButtons_[2], Wide(326, 88, 60, 38), Tall(128, 226, 58, 32), kButtonPoints,
         "Scope Analyzer:", "Sets the analyzer to scope mode.", "scope"},
        {both, Wide(390, 4, 58, 38), Tall(4, 264, 58, 32), kButtonPoints,
         "Both Decks:", "Shows Deck A and Deck B together.", "both decks"},
        {deckA, Wide(390, 46, 58, 38), Tall(66, 264, 58, 32), kButtonPoints, "Deck A:", "Shows Deck A only.",
         "deck a"},
        {deckB, Wide(390, 88, 58, 38), Tall(128, 264, 58, 32), kButtonPoints, "Deck B:", "Shows Deck B only.",
         "deck b"},
        {on_, Wide(326, 132, 122, 41), Tall(190, 226, 56, 70), kButtonPoints,
         "Analyzer On:", "Turns the analyzer on or off.", "analyzer on"},
    };
    for (const Place& place : places) {
        layout_.Add(place.control, place.wide, place.tall, place.points);
        helpTexts_.Register(place.control, place.title, place.description, place.toolTip);
    }
    layout_.Apply();
}

void CZelAnalyzer::ConnectControls() {
    // A click flips a two-state button; the panel's set-up then presses the
    // chosen one and releases the others, also when it was pressed already.
    const Mode modes[] = {Mode::Chart, Mode::Octave, Mode::Scope};
    for (int i = 0; i < 3; ++i)
        connect(modeButtons_[i], &CZelButton::Clicked, this,
                [this, mode = modes[i]] { panel_.SetMode(mode); });
    for (int i = 0; i < 3; ++i)
        connect(viewButtons_[i], &CZelButton::Clicked, this,
                [this, view = static_cast<DeckView>(i)] { panel_.SetDeckView(view); });
    connect(on_, &CZelButton::ValueChanged, this, [this](bool on) { panel_.SetOn(on); });
}

// ---- What the panel shows ----

void CZelAnalyzer::SetUpGraph(Mode mode, DeckView view, const analysis::GraphSetup& setup) {
    for (int i = 0; i < 3; ++i) {
        QSignalBlocker quietMode(modeButtons_[i]);
        modeButtons_[i]->SetValue(static_cast<int>(mode) == i);
        QSignalBlocker quietView(viewButtons_[i]);
        viewButtons_[i]->SetValue(static_cast<int>(view) == i);
    }

    const bool octave = mode == Mode::Octave;
    graph_->SetTickLabels(octave);
    if (octave) {
        graph_->SetXRange(setup.xMinimum - kBandMargin, setup.xMaximum + kBandMargin);
        // A centre frequency under every third band, from the top one down.
        std::vector<std::pair<double, QString>> ticks;
        for (int band = AnalyzerPanel::kBands - 2; band >= 0; band -= 3)
            ticks.emplace_back(band, CentreLabel(panel_.BandCentre(band)));
        graph_->SetXTicks(std::move(ticks));
        graph_->SetGrid(10, kOctaveYDivisions);
    } else {
        graph_->SetXRange(setup.xMinimum, setup.xMaximum);
        graph_->SetXTicks({});
        graph_->SetGrid(mode == Mode::Chart ? 6 : 10, 8);
    }
    graph_->SetYRange(setup.yMinimum, setup.yMaximum);
    graph_->SetCaptions({}, setup.yCaption);

    const CZelGraph::PlotStyle style = mode == Mode::Chart    ? CZelGraph::PlotStyle::Area
                                       : mode == Mode::Octave ? CZelGraph::PlotStyle::Bars
                                                              : CZelGraph::PlotStyle::Line;
    const bool paired = view == DeckView::Both;
    for (int plot = 0; plot < analysis::kPlots; ++plot) {
        graph_->ClearPlot(plot);
        graph_->SetPlotStyle(plot, style);
        graph_->SetPlotVisible(plot, setup.visible[plot]);
        graph_->SetBarWidth(plot, paired ? kBarWidthPaired : kBarWidthAlone);
    }
    for (int deck = 0; deck < 2; ++deck) {
        std::vector<double>& x = octaveX_[deck];
        x.resize(AnalyzerPanel::kBands);
        const double offset = paired ? (deck == 0 ? -kPairOffset : kPairOffset) : 0.0;
        for (int band = 0; band < AnalyzerPanel::kBands; ++band) x[band] = band + offset;
        // What the deck showed last in this mode shows again at once.
        if (octave) ShowOctave(deck, panel_.OctaveValues(deck));
        if (mode == Mode::Scope) ShowScope(deck, panel_.ScopeValues(deck));
    }
}

void CZelAnalyzer::AppendChartPoint(int deck, double value) {
    graph_->AppendChartPoint(analysis::PlotOf(deck), value);
    graph_->AppendChartPoint(analysis::MirrorPlotOf(deck), -value);
}

void CZelAnalyzer::ShowOctave(int deck, std::span<const double, AnalyzerPanel::kBands> decibels) {
    graph_->SetPlotData(analysis::PlotOf(deck), octaveX_[deck], decibels);
}

void CZelAnalyzer::ShowScope(int deck, std::span<const double, AnalyzerPanel::kScopePoints> points) {
    graph_->SetPlotData(analysis::PlotOf(deck), scopeX_, points);
}

// ---- Window ----

void CZelAnalyzer::resizeEvent(QResizeEvent* event) {
    CZelToolWindow::resizeEvent(event);
    layout_.Apply();
}

void CZelAnalyzer::keyPressEvent(QKeyEvent* event) {
    // The keyboard works the whole program: keys go to the main window.
    ForwardKey(*event);
}
