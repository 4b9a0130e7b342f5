#pragma once

#include <array>

#include "analysis/AnalyzerPanel.h"
#include "dsp/PanelLayout.h"
#include "ui/CZelHelpTexts.h"
#include "ui/CZelToolWindow.h"

class CZelButton;
class CZelGraph;

// The analyzer window: what the two decks play as a level chart, an octave
// spectrum of 31 bands or a scope, for deck A, deck B or both, with an on
// switch. Its AnalyzerPanel (kept by the mixing desk, which feeds it) decides;
// the window shows and forwards. UI thread only.
class CZelAnalyzer final : public CZelToolWindow, private analysis::AnalyzerPanel::View {
    Q_OBJECT
public:
    CZelAnalyzer(analysis::AnalyzerPanel& panel, platform::MessagePort& mainWindow,
                 QWidget* parent = nullptr);
    ~CZelAnalyzer() override;

    analysis::AnalyzerPanel& Panel() { return panel_; }
    CZelGraph& Graph() { return *graph_; }
    const CZelHelpTexts& HelpTexts() const { return helpTexts_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // analysis::AnalyzerPanel::View
    void SetUpGraph(analysis::Mode mode, analysis::DeckView view, const analysis::GraphSetup& setup) override;
    void AppendChartPoint(int deck, double value) override;
    void ShowOctave(int deck, std::span<const double, analysis::AnalyzerPanel::kBands> decibels) override;
    void ShowScope(int deck, std::span<const double, analysis::AnalyzerPanel::kScopePoints> points) override;

    void CreateControls();
    void PlaceControls();
    void ConnectControls();

    platform::MessagePort& port_;
    analysis::AnalyzerPanel& panel_;
    CZelHelpTexts helpTexts_;
    dsp::PanelLayout layout_;
    CZelGraph* graph_ = nullptr;
    std::array<CZelButton*, 3> modeButtons_{};  // chart, octave, scope
    std::array<CZelButton*, 3> viewButtons_{};  // deck A, deck B, both: by DeckView
    CZelButton* on_ = nullptr;
    // The x values of the plots now: each deck's octave bars side by side,
    // the scope's points.
    std::array<std::vector<double>, 2> octaveX_;
    std::vector<double> scopeX_;
};
