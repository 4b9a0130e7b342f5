// The analyzer's cost per played block: both decks' Update in each mode on
// blocks of music-like noise, and the level meters' block level. realtime_x
// is seconds of audio analysed per CPU second, counting both decks' blocks.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <vector>

#include "analysis/AnalyzerPanel.h"
#include "analysis/CZelAnalyzer.h"
#include "platform/MessagePort.h"
#include "support/AudioFixtures.h"
#include "ui/controls/CZelGraph.h"

namespace {

constexpr int kSlots = analysis::AnalyzerPanel::kSlots;

// Each deck's copy filled with a buffer's worth of noise, as play would leave it.
void Fill(analysis::AnalyzerPanel& panel) {
    for (int deck = 0; deck < 2; ++deck) {
        const std::vector<int16_t> noise = fixtures::Noise(kSlots * engine::kBlockFrames, 2, 7 + deck, 0.5);
        for (int slot = 0; slot < kSlots; ++slot)
            panel.StoreBlock(deck, noise.data() + slot * engine::kBlockSamples,
                             static_cast<uint32_t>(slot * engine::kBlockBytes));
    }
}

// One iteration: a block of each deck reached, as two play notifications.
void BM_AnalyzerUpdate(benchmark::State& state) {
    analysis::AnalyzerPanel panel;
    panel.Initialise();
    panel.SetMode(static_cast<analysis::Mode>(state.range(0)));
    Fill(panel);
    int slot = 0;
    for (auto _ : state) {
        panel.Update(0, slot);
        panel.Update(1, slot);
        slot = (slot + 1) % kSlots;
        benchmark::DoNotOptimize(panel.ChartValue(0));
        benchmark::DoNotOptimize(panel.OctaveValues(0).data());
    }
    state.counters["realtime_x"] = benchmark::Counter(2.0 * engine::kBlockFrames / engine::kDefaultSampleRate,
                                                      benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_AnalyzerUpdate)->ArgName("mode")->Arg(0)->Arg(1)->Arg(2);

// The level meters' measure of one block.
void BM_BlockLevel(benchmark::State& state) {
    analysis::AnalyzerPanel panel;
    Fill(panel);
    int slot = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(panel.BlockLevel(0, slot));
        slot = (slot + 1) % kSlots;
    }
    state.counters["realtime_x"] =
        benchmark::Counter(static_cast<double>(engine::kBlockFrames) / engine::kDefaultSampleRate,
                           benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_BlockLevel);

// One repaint of the analyzer's graph at its usual size after both decks'
// blocks, in each mode: what the window costs per pair of notifications.
void BM_AnalyzerGraphPaint(benchmark::State& state) {
    platform::MessagePort port;
    analysis::AnalyzerPanel panel;
    CZelAnalyzer window(panel, port);
    window.resize(452, 177);
    window.show();
    panel.SetMode(static_cast<analysis::Mode>(state.range(0)));
    Fill(panel);
    CZelGraph& graph = window.Graph();
    QImage image(graph.size(), QImage::Format_RGB32);
    int slot = 0;
    for (auto _ : state) {
        panel.Update(0, slot);
        panel.Update(1, slot);
        slot = (slot + 1) % kSlots;
        QPainter painter(&image);
        graph.render(&painter);
    }
}
BENCHMARK(BM_AnalyzerGraphPaint)->ArgName("mode")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
