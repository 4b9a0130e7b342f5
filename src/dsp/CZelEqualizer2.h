#pragma once

#include <array>

#include "dsp/EqualizerPanel.h"
#include "dsp/PanelLayout.h"
#include "ui/CZelHelpTexts.h"
#include "ui/CZelToolWindow.h"

class CZelButton;
class CZelFilterBank;
class CZelGraph;
class CZelSlide;

// The equalizer window of one deck, "Deck A Equalizer" or "Deck B Equalizer":
// five band slides (the bands in use share the room), the band count buttons,
// the on switch, the level buttons and the frequency plot of the deck's
// filter bank. Its EqualizerPanel decides; the window shows and forwards.
// UI thread only.
class CZelEqualizer2 final : public CZelToolWindow, private dsp::EqualizerPanel::View {
    Q_OBJECT
public:
    CZelEqualizer2(int deck, CZelFilterBank& bank, platform::MessagePort& mainWindow,
                   QWidget* parent = nullptr);

    dsp::EqualizerPanel& Panel() { return panel_; }
    const CZelHelpTexts& HelpTexts() const { return helpTexts_; }

    // What a new sound device choice does to the window: the switch goes off
    // as if the user had switched it, or is made unavailable (split devices).
    void SwitchOff();
    void EnableSwitch(bool enabled);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // dsp::EqualizerPanel::View
    void ShowBandCount(int bands) override;
    void ShowBandCaption(int slide, const QString& caption) override;
    void ShowSlideShares(const std::array<double, dsp::EqualizerPanel::kSlides>& shares) override;
    void ShowBandValue(int slide, double gain) override;
    void ShowSecondPointer(int slide, double gain) override;
    void ShowPlot(int plot, std::span<const float> frequencies, std::span<const float> decibels) override;
    void ShowPlotVisible(int plot, bool visible) override;

    void CreateControls();
    void PlaceControls();
    void ConnectControls();
    // The band slides in use side by side in the band area, the others hidden.
    void PlaceBandSlides();

    platform::MessagePort& port_;
    dsp::EqualizerPanel panel_;
    CZelHelpTexts helpTexts_;
    dsp::PanelLayout layout_;

    std::array<CZelSlide*, dsp::EqualizerPanel::kSlides> slides_{};
    std::array<double, dsp::EqualizerPanel::kSlides> shares_{};
    std::array<QString, dsp::EqualizerPanel::kSlides> captions_;  // as the panel gave them
    std::array<CZelButton*, dsp::EqualizerPanel::kBandCounts.size()> countButtons_{};
    CZelButton* on_ = nullptr;
    CZelButton* levelUp_ = nullptr;
    CZelButton* levelDown_ = nullptr;
    CZelGraph* graph_ = nullptr;
    // Where the band slides go; never shown, only placed by the layout.
    QWidget* bandArea_ = nullptr;
};
