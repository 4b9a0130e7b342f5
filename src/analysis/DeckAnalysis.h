#pragma once

#include <array>

#include "analysis/AnalyzerPanel.h"
#include "analysis/CZelLevelMeter.h"
#include "engine/AnalysisLink.h"

namespace analysis {

// The analyzer and the decks' level meters, fed by the block feeder and the
// play notifications: every block written is copied, and every block play
// reaches is shown on the deck's meter and, while the analyzer is on, in the
// analyzer. UI thread only.
class DeckAnalysis final : public engine::AnalysisLink {
public:
    static constexpr int kMeterLeds = 10;
    static constexpr double kMeterBottom = 40.0;
    static constexpr double kMeterTop = 96.0;

    AnalyzerPanel& Analyzer() { return analyzer_; }
    CZelLevelMeter& Meter(int deck) { return meters_[deck]; }

    // engine::AnalysisLink
    void StoreBlock(int deck, const engine::SampleBlock& block, uint32_t bytePosition) override;
    void BlockReached(int deck, int slot) override;
    void LevelMeterOff(int deck) override;

private:
    AnalyzerPanel analyzer_;
    std::array<CZelLevelMeter, 2> meters_;
};

}  // namespace analysis
