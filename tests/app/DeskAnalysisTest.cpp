// The analyzer window and the main window's level lamps in the program: they
// follow the block a deck plays as it is heard, and the analyzer's buttons
// choose what it draws. The numbers themselves are tested on the panel alone.

#include <algorithm>

#include "analysis/CZelAnalyzer.h"
#include "app/SteppedDesk.h"
#include "ui/controls/CZelGraph.h"
#include "ui/controls/CZelLed.h"

using testing_support::Find;
using testing_support::SteppedDesk;

namespace {

constexpr int kRate = SteppedDesk::kRate;
constexpr int kBlock = engine::kBlockFrames;

int LitLamps(COrvo2Dlg& window, int deck) {
    int lit = 0;
    for (int i = 1; i <= 10; ++i) {
        auto* lamp = Find<CZelLed>(
            window, QString("levelLamp%1%2").arg(deck == 0 ? 'A' : 'B').arg(i).toUtf8().constData());
        if (lamp->IsOn()) {
            EXPECT_EQ(lit, i - 1) << "lamps light from the lowest";
            ++lit;
        }
    }
    return lit;
}

// Silence for exactly 21 blocks, then a full-scale 441 Hz square.
std::vector<int16_t> SilenceThenSquare(double squareSeconds) {
    std::vector<int16_t> samples(2 * 21 * kBlock, 0);
    for (int frame = 0; frame < static_cast<int>(squareSeconds * kRate); ++frame) {
        const int16_t value = (frame / 50) % 2 ? 32'767 : -32'767;
        samples.insert(samples.end(), {value, value});
    }
    return samples;
}

double LargestMagnitude(const std::vector<double>& values) {
    double largest = 0.0;
    for (double v : values) largest = std::max(largest, std::abs(v));
    return largest;
}

}  // namespace

TEST(DeskAnalysis, TheLampsAndTheAnalyzerFollowTheBlockBeingHeardAndGoDarkOnStop) {
    SteppedDesk desk;
    COrvo2Dlg& window = desk.Window();
    CZelAnalyzer& analyzer = window.Analyzer();
    CZelGraph& graph = analyzer.Graph();
    desk.Load(0, desk.files.Wav("step.wav", SilenceThenSquare(3.0)));
    engine::DeckTransport& deck = desk.Deck(0).Transport();

    std::vector<int16_t> heard;
    desk.Heard("Desk");
    deck.TogglePlay(false);
    ASSERT_TRUE(desk.RenderUntil([&] {
        const auto more = desk.Heard("Desk");
        heard.insert(heard.end(), more.begin(), more.end());
        return LitLamps(window, 0) > 0;
    }));
    // The square was written to the buffers 20 blocks ahead of the listener;
    // the lamps light only once it is heard, within a period of its start.
    const size_t step = testing_support::FirstSound(heard);
    const size_t lit = heard.size() / 2;
    ASSERT_LT(step, lit) << "the square is heard before the lamps light";
    EXPECT_LE(lit - step, static_cast<size_t>(SteppedDesk::kPeriodFrames));
    EXPECT_EQ(LitLamps(window, 0), 3) << "three lamps a block";

    // Full scale targets 8 of 10 lamps, reached at the third block.
    std::vector<int> rise{3};
    for (int block = 0; block < 3; ++block) {
        desk.Render(kBlock / SteppedDesk::kPeriodFrames + 1);
        rise.push_back(LitLamps(window, 0));
    }
    EXPECT_EQ(rise, (std::vector<int>{3, 6, 8, 8}));
    EXPECT_EQ(LitLamps(window, 1), 0) << "Deck B plays nothing";

    // The analyzer shows deck A's bands in octave mode (its start), deck B none.
    ASSERT_EQ(graph.PlotY(0).size(), 31u);
    EXPECT_GT(LargestMagnitude(graph.PlotY(0)), 70.0);
    EXPECT_EQ(LargestMagnitude(graph.PlotY(2)), 0.0);
    QTest::mouseClick(Find<CZelButton>(analyzer, "scope"), Qt::LeftButton);
    desk.Render(kBlock / SteppedDesk::kPeriodFrames + 1);
    ASSERT_EQ(graph.PlotY(0).size(), 100u);
    EXPECT_GT(LargestMagnitude(graph.PlotY(0)), 30'000.0) << "the square's waveform";

    // Switched off, the analyzer stands still; the lamps go on.
    QTest::mouseClick(Find<CZelButton>(analyzer, "chart"), Qt::LeftButton);
    desk.Render(kBlock / SteppedDesk::kPeriodFrames + 1);
    ASSERT_FALSE(graph.PlotY(0).empty());
    EXPECT_NEAR(graph.PlotY(0).back(), 50.3, 0.1);
    EXPECT_NEAR(graph.PlotY(1).back(), -50.3, 0.1) << "mirrored below zero";
    QTest::mouseClick(Find<CZelButton>(analyzer, "analyzerOn"), Qt::LeftButton);
    const size_t points = graph.PlotY(0).size();
    desk.Render(3 * kBlock / SteppedDesk::kPeriodFrames);
    EXPECT_EQ(graph.PlotY(0).size(), points);
    EXPECT_EQ(LitLamps(window, 0), 8);

    // Stopped, the column goes dark at once; played again, it lights again.
    deck.TogglePlay(false);
    EXPECT_EQ(LitLamps(window, 0), 0);
    desk.Render(kBlock / SteppedDesk::kPeriodFrames + 1);
    EXPECT_EQ(LitLamps(window, 0), 0);
    deck.TogglePlay(false);
    ASSERT_TRUE(desk.RenderUntil([&] { return LitLamps(window, 0) > 0; }));
    // Backward play shows the blocks it plays back over too.
    deck.SetReverse(true);
    desk.Render(2 * kBlock / SteppedDesk::kPeriodFrames);
    EXPECT_GT(LitLamps(window, 0), 0);
}

TEST(DeskAnalysis, TheAnalyzerButtonsChooseTheModeAndTheDecksShown) {
    SteppedDesk desk;
    CZelAnalyzer& analyzer = desk.Window().Analyzer();
    CZelGraph& graph = analyzer.Graph();
    auto button = [&](const char* name) { return Find<CZelButton>(analyzer, name); };
    auto pressed = [&](std::initializer_list<const char*> names) {
        std::vector<QString> on;
        for (const char* name : names)
            if (button(name)->Value()) on.push_back(name);
        return on;
    };
    auto shown = [&] {
        std::vector<bool> visible;
        for (int plot = 0; plot < 4; ++plot) visible.push_back(graph.IsPlotVisible(plot));
        return visible;
    };
    const auto modes = {"chart", "octave", "scope"};
    const auto views = {"bothDecks", "deckA", "deckB"};
    EXPECT_EQ(analyzer.windowTitle(), "Analyzer");
    EXPECT_EQ(pressed(modes), std::vector<QString>{"octave"});
    EXPECT_EQ(pressed(views), std::vector<QString>{"bothDecks"});
    EXPECT_EQ(shown(), (std::vector<bool>{true, false, true, false}));
    EXPECT_TRUE(button("analyzerOn")->Value());

    QTest::mouseClick(button("chart"), Qt::LeftButton);
    EXPECT_EQ(pressed(modes), std::vector<QString>{"chart"});
    EXPECT_EQ(shown(), (std::vector<bool>{true, true, true, true}));
    QTest::mouseClick(button("deckB"), Qt::LeftButton);
    EXPECT_EQ(pressed(views), std::vector<QString>{"deckB"});
    EXPECT_EQ(shown(), (std::vector<bool>{false, false, true, true}));
    QTest::mouseClick(button("deckB"), Qt::LeftButton);  // a second click keeps it chosen
    EXPECT_EQ(pressed(views), std::vector<QString>{"deckB"});
    QTest::mouseClick(button("scope"), Qt::LeftButton);
    EXPECT_EQ(shown(), (std::vector<bool>{false, false, true, false}));
    EXPECT_EQ(graph.StyleOfPlot(2), CZelGraph::PlotStyle::Line);
    QTest::mouseClick(button("deckA"), Qt::LeftButton);
    EXPECT_EQ(shown(), (std::vector<bool>{true, false, false, false}));
    EXPECT_EQ(pressed(modes), std::vector<QString>{"scope"});

    // Keys typed in the analyzer are the main window's.
    std::vector<int> keys;
    desk.Window().MessagePort().SetHandler([&](platform::Message message, const platform::Payload& payload) {
        if (const auto* key = std::get_if<platform::KeyArgs>(&payload);
            key && message == platform::Message::ForwardedKey)
            keys.push_back(key->key);
        return desk.Window().OnMessage(message, payload);
    });
    QTest::keyClick(&analyzer, Qt::Key_Q);
    EXPECT_EQ(keys, std::vector<int>{Qt::Key_Q});
}
