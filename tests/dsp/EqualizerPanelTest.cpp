// The equalizer window's decisions, driven without a window: what the band
// count, the band slides, the level buttons and the on switch do to the
// deck's filter bank, to what the window shows and to the messages the
// output devices act on.

#include <gmock/gmock.h>

#include <cmath>
#include <utility>

#include "dsp/CZelFilterBank.h"
#include "dsp/EqualizerPanel.h"
#include "dsp/SentMessages.h"

using dsp::EqualizerPanel;
using platform::Message;
using testing::Each;
using testing::ElementsAre;
using testing_support::Sent;
using testing_support::SentMessages;

namespace {

constexpr int kSlides = EqualizerPanel::kSlides;

// What the window would show.
struct ShownEqualizer final : EqualizerPanel::View {
    void ShowBandCount(int bands) override { bandCount = bands; }
    void ShowBandCaption(int slide, const QString& caption) override { captions[slide] = caption; }
    void ShowSlideShares(const std::array<double, kSlides>& s) override { shares = s; }
    void ShowBandValue(int slide, double gain) override { values[slide] = gain; }
    void ShowSecondPointer(int slide, double gain) override { second[slide] = gain; }
    void ShowPlot(int plot, std::span<const float> frequencies, std::span<const float> decibels) override {
        plots[plot] = {{frequencies.begin(), frequencies.end()}, {decibels.begin(), decibels.end()}};
        ++plotted[plot];
    }
    void ShowPlotVisible(int plot, bool visible) override { plotVisible[plot] = visible; }

    int bandCount = 0;
    std::array<QString, kSlides> captions;
    std::array<double, kSlides> shares{};
    std::array<double, kSlides> values{};
    std::array<double, kSlides> second{};
    std::array<std::pair<std::vector<float>, std::vector<float>>, EqualizerPanel::kPlots> plots;
    std::array<int, EqualizerPanel::kPlots> plotted{};
    std::array<bool, EqualizerPanel::kPlots> plotVisible{};
};

class EqualizerPanelTest : public ::testing::Test {
protected:
    // Deck B's, so that a message naming deck A would show.
    EqualizerPanelTest() : panel(1, bank, shown, messages.Sink()) {
        bank.Design(3);  // as the deck's shaping leaves it
        panel.Initialise();
    }

    // The plot point nearest to a frequency.
    static size_t NearestPoint(const std::vector<float>& frequencies, double hertz) {
        size_t nearest = 0;
        for (size_t i = 0; i < frequencies.size(); ++i)
            if (std::abs(std::log(frequencies[i] / hertz)) < std::abs(std::log(frequencies[nearest] / hertz)))
                nearest = i;
        return nearest;
    }

    CZelFilterBank bank;
    ShownEqualizer shown;
    SentMessages messages;
    EqualizerPanel panel;
};

}  // namespace

TEST_F(EqualizerPanelTest, BandCountsShareTheSlidesAndRebuildTheChainOnlyWhileOn) {
    // At the start: three bands at unity, their plots and the combined one shown, nothing sent.
    EXPECT_EQ(shown.bandCount, 3);
    EXPECT_EQ(bank.NumberOfBands(), 3);
    EXPECT_THAT(shown.shares, ElementsAre(1.0 / 3, 1.0 / 3, 1.0 / 3, 0.0, 0.0));
    EXPECT_THAT(shown.plotVisible, ElementsAre(true, true, true, false, false, true));
    EXPECT_THAT(shown.values, Each(1.0));
    EXPECT_THAT(shown.second, Each(1.0));
    EXPECT_EQ(shown.plots[EqualizerPanel::kCombinedPlot].first.size(), size_t{CZelFilterBank::kPlotPoints});
    EXPECT_TRUE(messages.Take().empty());

    // Off, a new band count only redesigns and replots.
    panel.ChooseBands(5);
    EXPECT_EQ(bank.NumberOfBands(), 5);
    EXPECT_EQ(shown.bandCount, 5);
    EXPECT_THAT(shown.shares, Each(0.2));
    EXPECT_THAT(shown.plotVisible, Each(true));
    panel.ChooseBands(2);
    EXPECT_THAT(shown.shares, ElementsAre(0.5, 0.5, 0.0, 0.0, 0.0));
    EXPECT_THAT(shown.plotVisible, ElementsAre(true, true, false, false, false, true));
    EXPECT_TRUE(messages.Take().empty());

    // On, the devices build the chain, and build it again for a new band count.
    panel.SetOn(true);
    panel.ChooseBands(5);
    panel.SetOn(false);
    panel.ChooseBands(3);
    EXPECT_THAT(messages.Take(), ElementsAre(Sent{Message::EqualizerOn, 1}, Sent{Message::EqualizerOn, 1},
                                             Sent{Message::EqualizerOff, 1}));
    EXPECT_FALSE(panel.IsOn());
}

TEST_F(EqualizerPanelTest, ABandSlideTellsTheDevicesAndReplotsWhileTheSecondPointerFollows) {
    const int combinedBefore = shown.plotted[EqualizerPanel::kCombinedPlot];
    const int bandBefore = shown.plotted[1];
    panel.BandChanged(1, 1.1);
    EXPECT_EQ(panel.Gain(1), 1.1);
    EXPECT_EQ(shown.second[1], 1.1);
    EXPECT_EQ(shown.plotted[1], bandBefore + 1);
    EXPECT_EQ(shown.plotted[EqualizerPanel::kCombinedPlot], combinedBefore + 1);
    // A slide of a band not in use still reaches the bank and the devices,
    // which keep its gain for a larger band count; its plot stays hidden.
    panel.BandChanged(4, 0.9);
    EXPECT_EQ(shown.second[4], 0.9);
    EXPECT_FALSE(shown.plotVisible[4]);
    EXPECT_THAT(messages.Take(),
                ElementsAre(Sent{Message::EqualizerBandGain, 1, 1}, Sent{Message::EqualizerBandGain, 1, 4}));
}

TEST_F(EqualizerPanelTest, LevelButtonsMoveEverySlideAndStopAtTheEnds) {
    panel.BandChanged(0, 1.1);
    messages.Take();
    panel.LevelUp();
    EXPECT_THAT(shown.values, ElementsAre(1.15, 1.1, 1.1, 1.1, 1.1)) << "the first slide stops at the top";
    panel.LevelUp();
    EXPECT_THAT(shown.values, Each(1.15)) << "twice from unity reaches the top";
    EXPECT_THAT(shown.second, Each(1.15));
    EXPECT_EQ(messages.Take().size(), 9u) << "a gain message for every slide that moved";
    panel.LevelUp();
    EXPECT_THAT(shown.values, Each(1.15));
    EXPECT_TRUE(messages.Take().empty()) << "a third press changes nothing";

    for (int press = 0; press < 4; ++press) panel.LevelDown();
    EXPECT_THAT(shown.values, Each(EqualizerPanel::kMinimumGain)) << "kept at the bottom";
    const std::vector<Sent> sent = messages.Take();
    ASSERT_EQ(sent.size(), 15u);
    EXPECT_EQ(sent[4], (Sent{Message::EqualizerBandGain, 1, 4})) << "every band of every press, in order";
}

// The bank's layout: n bands, each the n-th root of ten octaves above the
// next lower one, the highest centred on 12 kHz.
TEST_F(EqualizerPanelTest, CaptionsAndPlotsComeFromTheBanksLayoutAndGains) {
    for (const int bands : EqualizerPanel::kBandCounts) {
        panel.ChooseBands(bands);
        const double ratio = std::pow(2.0, 10.0 / bands);
        for (int band = 0; band < bands; ++band)
            EXPECT_EQ(shown.captions[band],
                      QString::asprintf("%lg Hz", 12'000.0 / std::pow(ratio, bands - 1 - band)))
                << bands << " bands, band " << band;
    }
    EXPECT_THAT(shown.captions, ElementsAre("46.875 Hz", "187.5 Hz", "750 Hz", "3000 Hz", "12000 Hz"));

    // Raising a band raises its curve and the combined one where the band is.
    const auto& frequencies = shown.plots[2].first;
    ASSERT_EQ(frequencies.size(), size_t{CZelFilterBank::kPlotPoints});
    const size_t centre = NearestPoint(frequencies, 750.0);
    const float bandBefore = shown.plots[2].second[centre];
    const float combinedBefore = shown.plots[EqualizerPanel::kCombinedPlot].second[centre];
    panel.BandChanged(2, EqualizerPanel::kMaximumGain);
    EXPECT_FLOAT_EQ(bank.Gain(2), static_cast<float>(EqualizerPanel::kMaximumGain));
    EXPECT_GT(shown.plots[2].second[centre], bandBefore);
    EXPECT_GT(shown.plots[EqualizerPanel::kCombinedPlot].second[centre], combinedBefore);

    // The bank keeps the gain of a band out of use for the next larger layout.
    panel.ChooseBands(2);
    panel.BandChanged(4, 0.9);
    panel.ChooseBands(5);
    EXPECT_FLOAT_EQ(bank.Gain(4), 0.9f);
}
