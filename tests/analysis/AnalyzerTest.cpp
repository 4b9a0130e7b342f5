// The analyzer's numbers and the level meter's steps, on blocks made here.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "analysis/AnalyzerPanel.h"
#include "analysis/CZelLevelMeter.h"
#include "ui/controls/CZelLed.h"

using analysis::AnalyzerPanel;
using analysis::DeckView;
using analysis::Mode;

namespace {

using Block = std::vector<int16_t>;

// Frames alternating between +amplitude and -amplitude.
Block Square(int16_t amplitude) {
    Block block(engine::kBlockSamples);
    for (int frame = 0; frame < engine::kBlockFrames; ++frame)
        block[2 * frame] = block[2 * frame + 1] = frame % 2 ? amplitude : static_cast<int16_t>(-amplitude);
    return block;
}

// A tone continuing from block `index` of a run of blocks.
Block Tone(double hz, int index, double amplitude = 12'000.0) {
    Block block(engine::kBlockSamples);
    for (int frame = 0; frame < engine::kBlockFrames; ++frame) {
        const double t = (index * engine::kBlockFrames + frame) / 44'100.0;
        block[2 * frame] = block[2 * frame + 1] =
            static_cast<int16_t>(amplitude * std::sin(2.0 * M_PI * hz * t));
    }
    return block;
}

uint32_t PositionOf(int slot) {
    return static_cast<uint32_t>(slot * engine::kBlockBytes);
}

// Records what the panel shows.
struct RecordingView final : AnalyzerPanel::View {
    void SetUpGraph(Mode m, DeckView v, const analysis::GraphSetup& s) override {
        mode = m;
        view = v;
        setup = s;
        ++setUps;
    }
    void AppendChartPoint(int deck, double value) override { chart[deck].push_back(value); }
    void ShowOctave(int deck, std::span<const double, AnalyzerPanel::kBands> values) override {
        octave[deck].assign(values.begin(), values.end());
    }
    void ShowScope(int deck, std::span<const double, AnalyzerPanel::kScopePoints> points) override {
        scope[deck].assign(points.begin(), points.end());
    }

    Mode mode = Mode::Chart;
    DeckView view = DeckView::DeckA;
    analysis::GraphSetup setup;
    int setUps = 0;
    std::vector<double> chart[2], octave[2], scope[2];
};

class Analyzer : public ::testing::Test {
protected:
    Analyzer() {
        panel.SetView(&view);
        panel.Initialise();
    }
    // Stores the block in the slot and lets play reach it.
    void Play(int deck, int slot, const Block& block) {
        panel.StoreBlock(deck, block.data(), PositionOf(slot));
        panel.Update(deck, slot);
    }

    RecordingView view;
    AnalyzerPanel panel;
};

}  // namespace

TEST_F(Analyzer, BlockLevelAndChartFollowTheSlotsOfEachDeck) {
    EXPECT_EQ(view.mode, Mode::Octave);
    EXPECT_EQ(view.view, DeckView::Both);
    panel.SetMode(Mode::Chart);

    Play(0, 7, Square(32'767));
    EXPECT_NEAR(panel.BlockLevel(0, 7), 90.309, 0.001) << "a full-scale square block";
    ASSERT_EQ(view.chart[0].size(), 1u);
    EXPECT_NEAR(view.chart[0][0], 50.309, 0.001);
    EXPECT_TRUE(view.chart[1].empty());

    // The deviation is taken as an integer: 0s and 5s, around 2.5, deviate by
    // 2.5, which counts as 2.
    Block offset(engine::kBlockSamples);
    for (int i = 0; i < engine::kBlockSamples; ++i) offset[i] = static_cast<int16_t>((i / 2) % 2 ? 5 : 0);
    panel.StoreBlock(1, offset.data(), PositionOf(119));
    EXPECT_NEAR(panel.BlockLevel(1, 119), 20.0 * std::log10(2.0), 1e-9);
    EXPECT_EQ(panel.BlockLevel(0, 119), 0.0) << "each deck has its own copy";

    // Silence, and a slot never written, read as 0 dB: the chart stays at its floor.
    Play(1, 3, Block(engine::kBlockSamples, 0));
    Play(1, 4, Square(100));  // 40 dB: at the floor
    panel.Update(1, 50);
    EXPECT_EQ(view.chart[1], (std::vector<double>{0.0, 0.0, 0.0}));
    panel.Update(1, 120);  // outside the buffer: nothing
    EXPECT_EQ(view.chart[1].size(), 3u);

    // A block written across the end of the buffer wraps to its start: slot
    // 0, silent before, holds its second half.
    const Block loud = Square(20'000);
    panel.StoreBlock(0, loud.data(), PositionOf(119) + engine::kBlockBytes / 2);
    EXPECT_NEAR(panel.BlockLevel(0, 0), 20.0 * std::log10(14'142.0), 1e-9);
}

TEST_F(Analyzer, OctaveBandsShowATonesBandAndDecayByAThirdInSilence) {
    EXPECT_NEAR(panel.BandCentre(17), 1093.07, 0.01);
    for (int block = 0; block < 6; ++block) Play(0, block, Tone(1000.0, block));
    ASSERT_EQ(view.octave[0].size(), 31u);
    const std::vector<double> lit = view.octave[0];
    // The band whose edges enclose 1 kHz reads highest, near the tone's level
    // (1 kHz is close to its lower edge, which its 256 taps cannot make sharp).
    EXPECT_EQ(std::max_element(lit.begin(), lit.end()) - lit.begin(), 17);
    EXPECT_GT(lit[17], lit[18] + 20.0);
    EXPECT_NEAR(lit[17], 20.0 * std::log10(12'000.0 / std::sqrt(2.0)) - 1.5, 1.0) << "the tone's level in dB";
    EXPECT_TRUE(view.octave[1].empty()) << "deck B played nothing";

    // Once the filters' memory of the tone has passed (one silent block),
    // each silent block keeps a third of every band's value.
    Play(0, 6, Block(engine::kBlockSamples, 0));
    for (int block = 7; block < 10; ++block) {
        const std::vector<double> before = view.octave[0];
        Play(0, block, Block(engine::kBlockSamples, 0));
        for (int band = 0; band < 31; ++band)
            EXPECT_NEAR(view.octave[0][band], before[band] * 0.334, 1e-9) << "band " << band;
    }

    // Values persist across modes; in chart mode the octave values stand still.
    const std::vector<double> kept = view.octave[0];
    panel.SetMode(Mode::Chart);
    Play(0, 10, Tone(1000.0, 10));
    panel.SetMode(Mode::Octave);
    EXPECT_EQ(std::vector<double>(panel.OctaveValues(0).begin(), panel.OctaveValues(0).end()), kept);
}

TEST_F(Analyzer, ScopePointsAreMeansOfTwentyNineMonoFrames) {
    panel.SetMode(Mode::Scope);
    Block block(engine::kBlockSamples);
    for (int frame = 0; frame < engine::kBlockFrames; ++frame) {
        // Left and right differ so that the mono mix counts: mono = frame - 1000
        // (a negative odd sum rounds down when halved).
        block[2 * frame] = static_cast<int16_t>(frame - 1000);
        block[2 * frame + 1] = static_cast<int16_t>(frame - 1000);
    }
    block[1] = -1001;  // frame 0: (-1000 + -1001) >> 1 = -1001
    for (int frame = 2900; frame < engine::kBlockFrames; ++frame)
        block[2 * frame] = block[2 * frame + 1] = 32'000;
    Play(1, 5, block);
    ASSERT_EQ(view.scope[1].size(), 100u);
    // Point 0: frames 0..28 give -1001 + (-999 ... -972) = mean -986.03 -> -986.
    EXPECT_EQ(view.scope[1][0], -986.0);
    EXPECT_EQ(view.scope[1][50], 50 * 29 + 14 - 1000);
    EXPECT_EQ(view.scope[1][99], 99 * 29 + 14 - 1000) << "the frames past the last point are not shown";
}

TEST(AnalyzerGraph, ModesAndDeckViewsSetAxesAndShowTheirPlots) {
    using V = std::array<bool, 4>;
    const analysis::GraphSetup chartB = analysis::GraphSetupFor(Mode::Chart, DeckView::DeckB);
    EXPECT_EQ(chartB.visible, (V{false, false, true, true}));
    EXPECT_EQ(analysis::GraphSetupFor(Mode::Chart, DeckView::DeckA).visible, (V{true, true, false, false}));
    EXPECT_EQ(analysis::GraphSetupFor(Mode::Chart, DeckView::Both).visible, (V{true, true, true, true}));
    EXPECT_EQ(analysis::GraphSetupFor(Mode::Octave, DeckView::Both).visible, (V{true, false, true, false}));
    EXPECT_EQ(analysis::GraphSetupFor(Mode::Scope, DeckView::DeckA).visible, (V{true, false, false, false}));

    EXPECT_EQ(std::tie(chartB.xMinimum, chartB.xMaximum, chartB.yMinimum, chartB.yMaximum),
              std::make_tuple(0.0, 29.0, -96.33, 96.33));
    const auto octave = analysis::GraphSetupFor(Mode::Octave, DeckView::DeckB);
    EXPECT_EQ(std::tie(octave.xMaximum, octave.yMinimum, octave.yMaximum), std::make_tuple(30.0, 0.0, 100.0));
    EXPECT_EQ(octave.yCaption, "dB");
    const auto scope = analysis::GraphSetupFor(Mode::Scope, DeckView::DeckB);
    EXPECT_EQ(std::tie(scope.xMaximum, scope.yMinimum, scope.yMaximum),
              std::make_tuple(99.0, -32768.0, 32767.0));
    EXPECT_TRUE(scope.yCaption.isEmpty());
}

TEST(LevelMeter, StepsAtMostThreeLampsTowardTheLevel) {
    std::array<CZelLed, 10> leds;
    std::array<CZelLed*, 10> column{};
    for (size_t i = 0; i < leds.size(); ++i) column[i] = &leds[i];
    auto lit = [&] {  // the lamps lit, and that they are the lowest ones
        const auto count =
            std::count_if(leds.begin(), leds.end(), [](const CZelLed& led) { return led.IsOn(); });
        EXPECT_TRUE(
            std::all_of(leds.begin(), leds.begin() + count, [](const CZelLed& l) { return l.IsOn(); }));
        return static_cast<int>(count);
    };

    CZelLevelMeter meter;
    meter.Show(96.0);  // before Init: no lamps to light
    meter.Init(10, column, 40.0, 96.0);
    EXPECT_EQ(lit(), 0);

    // A full-scale block (90.3 dB) targets trunc(10 x 50.3 / 56) = 8 lamps: 3, 6, 8.
    std::vector<int> rise;
    for (int block = 0; block < 4; ++block) {
        meter.Show(90.309);
        rise.push_back(lit());
    }
    EXPECT_EQ(rise, (std::vector<int>{3, 6, 8, 8}));

    meter.Show(200.0);
    meter.Show(96.0);
    EXPECT_EQ(lit(), 10);
    std::vector<int> fall;
    for (int block = 0; block < 4; ++block) {
        meter.Show(0.0);  // a silent block
        fall.push_back(lit());
    }
    EXPECT_EQ(fall, (std::vector<int>{7, 4, 1, 0}));

    meter.Show(45.59);
    EXPECT_EQ(lit(), 0) << "the first lamp lights from 45.6 dB";
    meter.Show(45.61);
    EXPECT_EQ(lit(), 1);
    meter.Show(std::nan(""));
    EXPECT_EQ(lit(), 0);

    meter.Show(96.0);
    meter.Clear();
    EXPECT_EQ(lit(), 0);
    EXPECT_EQ(meter.Lit(), 0);
}
