#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/SampleBlock.h"

class CZelFilterBank;

namespace analysis {

enum class Mode { Chart = 0, Octave = 1, Scope = 2 };
enum class DeckView { DeckA = 0, DeckB = 1, Both = 2 };

// The graph's plots: deck A, deck A mirrored, deck B, deck B mirrored. The
// mirrored ones are drawn in chart mode only.
constexpr int kPlots = 4;
constexpr int PlotOf(int deck) {
    return deck * 2;
}
constexpr int MirrorPlotOf(int deck) {
    return deck * 2 + 1;
}

// Axis ranges, caption and plot visibility of a mode and deck view.
struct GraphSetup {
    double xMinimum = 0.0;
    double xMaximum = 0.0;
    double yMinimum = 0.0;
    double yMaximum = 0.0;
    QString yCaption;
    std::array<bool, kPlots> visible{};
};
GraphSetup GraphSetupFor(Mode mode, DeckView view);

// What the analyzer window decides, apart from its widgets: a copy of each
// deck's sound buffer, slot for slot, filled as blocks are written to the
// buffers; the level of a slot; and, as play reaches a slot, the chart point,
// the 31 smoothed octave band levels or the 100-point scope of the deck's
// block, handed to the View. Everything is allocated at construction.
// UI thread only.
class AnalyzerPanel {
public:
    static constexpr int kSlots = engine::kOutputBlocks;
    static constexpr int kBands = 31;
    static constexpr int kScopePoints = 100;
    static constexpr int kScopeStride = 29;  // mono samples averaged into one scope point
    static constexpr double kChartFloor = 40.0;
    static constexpr double kChartRange = 96.33;
    static constexpr double kOctaveTop = 100.0;
    // The octave values follow each block's band levels by two thirds.
    static constexpr double kKeep = 0.334;
    static constexpr double kTake = 0.666;

    class View {
    public:
        virtual ~View() = default;
        // A new mode or deck view: the graph is set up afresh and the chosen
        // buttons show pressed.
        virtual void SetUpGraph(Mode mode, DeckView view, const GraphSetup& setup) = 0;
        // Chart mode: the deck's level joins its chart, mirrored below zero.
        virtual void AppendChartPoint(int deck, double value) = 0;
        virtual void ShowOctave(int deck, std::span<const double, kBands> decibels) = 0;
        virtual void ShowScope(int deck, std::span<const double, kScopePoints> points) = 0;
    };

    AnalyzerPanel();
    ~AnalyzerPanel();
    AnalyzerPanel(const AnalyzerPanel&) = delete;
    AnalyzerPanel& operator=(const AnalyzerPanel&) = delete;

    // The window that shows the analysis; without one nothing is shown, but
    // the copy and the octave values are kept.
    void SetView(View* view);
    // Octave mode, both decks; the octave values at 0.
    void Initialise();

    // Copies a block written at `bytePosition` of the deck's forward buffer.
    void StoreBlock(int deck, const int16_t* samples, uint32_t bytePosition);
    // 20 log10 of the slot's standard deviation (an integer, all 5880 samples
    // as one series); 0.0 when it is 0.
    double BlockLevel(int deck, int slot) const;
    // Play reached the slot: the deck's display follows it in the current mode.
    void Update(int deck, int slot);

    void SetMode(Mode mode);
    void SetDeckView(DeckView view);
    Mode CurrentMode() const { return mode_; }
    DeckView CurrentDeckView() const { return view_; }
    // The on switch: while off, play does not update the analyzer.
    void SetOn(bool on) { on_ = on; }
    bool IsOn() const { return on_; }

    // The deck's last chart point, octave values and scope points.
    double ChartValue(int deck) const { return chart_[deck]; }
    std::span<const double, kBands> OctaveValues(int deck) const { return octave_[deck]; }
    std::span<const double, kScopePoints> ScopeValues(int deck) const { return scope_[deck]; }
    double BandCentre(int band) const;

private:
    static constexpr int kCopySamples = kSlots * engine::kBlockSamples;
    // The slot's 5880 samples, or null for a slot outside the copy.
    const int16_t* SlotOf(int deck, int slot) const;
    void SetUpGraph();
    void UpdateOctave(int deck, const int16_t* samples);
    void UpdateScope(int deck, const int16_t* samples);

    Mode mode_ = Mode::Octave;
    DeckView view_ = DeckView::Both;
    bool on_ = true;
    View* viewer_ = nullptr;
    // Each deck's copy of its 120 output blocks, as its forward buffer holds them.
    std::array<std::vector<int16_t>, 2> copy_;
    std::unique_ptr<CZelFilterBank> bank_;
    std::array<double, 2> chart_{};
    std::array<std::array<double, kBands>, 2> octave_{};
    std::array<std::array<double, kScopePoints>, 2> scope_{};
    std::array<float, engine::kBlockFrames> mono_{};
};

}  // namespace analysis
