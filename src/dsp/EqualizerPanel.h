#pragma once

#include <QString>

#include <array>
#include <span>

#include "dsp/CZelFilterBank.h"
#include "dsp/MessageSink.h"

namespace dsp {

// What a deck's equalizer window decides, apart from its widgets: the band
// count and its layout in the deck's filter bank, the five band slides' gains,
// the frequency plot, the on switch and the messages that make the output
// devices follow. The window shows what it is told through View and hands the
// user's actions here. UI thread only.
class EqualizerPanel {
public:
    static constexpr int kSlides = 5;
    // Plots 0..4 are the bands' scaled responses, plot 5 their combination.
    static constexpr int kPlots = kSlides + 1;
    static constexpr int kCombinedPlot = kSlides;
    static constexpr double kMinimumGain = 0.85;
    static constexpr double kMaximumGain = 1.15;
    static constexpr double kUnityGain = 1.0;
    // What "EQ Level Up" and "EQ Level Down" add to every slide.
    static constexpr double kLevelStep = 0.1;
    static constexpr std::array<int, 3> kBandCounts{2, 3, 5};
    static constexpr int kInitialBands = 3;

    class View {
    public:
        virtual ~View() = default;
        // The band count button of `bands` pressed, the other two released.
        virtual void ShowBandCount(int bands) = 0;
        virtual void ShowBandCaption(int slide, const QString& caption) = 0;
        // Each slide's part of the band area: equal for the bands in use, 0 for the rest.
        virtual void ShowSlideShares(const std::array<double, kSlides>& shares) = 0;
        // The slide's pointer, moved without reporting a change back.
        virtual void ShowBandValue(int slide, double gain) = 0;
        virtual void ShowSecondPointer(int slide, double gain) = 0;
        // Decibels against the plot frequencies (Hz).
        virtual void ShowPlot(int plot, std::span<const float> frequencies,
                              std::span<const float> decibels) = 0;
        virtual void ShowPlotVisible(int plot, bool visible) = 0;
    };

    // The slides start at the bank's gains.
    EqualizerPanel(int deck, CZelFilterBank& bank, View& view, MessageSink send);

    // Shows every slide and chooses the initial band count.
    void Initialise();

    // Lays out `bands` bands (2 to 5) and shows them; while on, the devices
    // rebuild their chains for the new bands.
    void ChooseBands(int bands);
    // A band slide moved to `gain`: the bank, the devices and the plot follow.
    void BandChanged(int slide, double gain);
    // Moves a slide by `step`, kept in the slide's range, and follows it as a
    // moved slide; nothing happens when the slide is at the end already.
    void StepBand(int slide, double step);
    // Every one of the five slides up or down by kLevelStep, also those of
    // bands not in use: the bank keeps their gains for a larger band count.
    void LevelUp();
    void LevelDown();
    // "EQ On Button": on or off, as the user switched it (also when unchanged).
    void SetOn(bool on);

    int Deck() const { return deck_; }
    int Bands() const { return bands_; }
    bool IsOn() const { return on_; }
    double Gain(int slide) const;

    // A centre frequency as a band slide's caption: "%lg Hz".
    static QString FrequencyCaption(double hertz);

private:
    void PlotBand(int band);
    void PlotCombined();
    void Send(platform::Message message, const platform::Payload& payload) const;

    const int deck_;
    CZelFilterBank& bank_;
    View& view_;
    MessageSink send_;
    int bands_ = 0;
    bool on_ = false;
    std::array<double, kSlides> gains_{};
    std::array<float, CZelFilterBank::kPlotPoints> frequencies_{};
    std::array<float, CZelFilterBank::kPlotPoints> response_{};
};

}  // namespace dsp
