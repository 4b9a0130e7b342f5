#include "dsp/EqualizerPanel.h"

#include <algorithm>

using platform::Message;

namespace dsp {

EqualizerPanel::EqualizerPanel(int deck, CZelFilterBank& bank, View& view, MessageSink send)
    : deck_(deck), bank_(bank), view_(view), send_(std::move(send)) {
    // The slides start at unity, as the bank's gains do.
    gains_.fill(kUnityGain);
}

void EqualizerPanel::Initialise() {
    for (int slide = 0; slide < kSlides; ++slide) {
        view_.ShowBandValue(slide, gains_[slide]);
        view_.ShowSecondPointer(slide, gains_[slide]);
    }
    ChooseBands(kInitialBands);
}

double EqualizerPanel::Gain(int slide) const {
    return slide >= 0 && slide < kSlides ? gains_[slide] : kUnityGain;
}

QString EqualizerPanel::FrequencyCaption(double hertz) {
    return QString::asprintf("%lg", hertz) + QStringLiteral(" Hz");
}

void EqualizerPanel::ChooseBands(int bands) {
    bands_ = std::clamp(bands, 2, kSlides);
    view_.ShowBandCount(bands_);
    bank_.Design(bands_);
    bank_.CopyPlotFrequencies(frequencies_.data());
    std::array<double, kSlides> shares{};
    for (int band = 0; band < kSlides; ++band) {
        const bool used = band < bands_;
        if (used) {
            view_.ShowBandCaption(band, FrequencyCaption(bank_.CentreFrequency(band)));
            PlotBand(band);
            shares[band] = 1.0 / bands_;
        }
        view_.ShowPlotVisible(band, used);
    }
    PlotCombined();
    view_.ShowPlotVisible(kCombinedPlot, true);
    view_.ShowSlideShares(shares);
    // The devices build their chains from the bank's layout: a new layout
    // needs a new chain, but only where one is installed.
    if (on_) Send(Message::EqualizerOn, platform::DeckArgs{deck_});
}

void EqualizerPanel::BandChanged(int slide, double gain) {
    if (slide < 0 || slide >= kSlides) return;
    gains_[slide] = std::clamp(gain, kMinimumGain, kMaximumGain);
    bank_.SetBandGain(slide, static_cast<float>(gains_[slide]));
    // The devices read the gain from the bank, so it is set first. They are
    // told even while off: the message changes nothing audible then.
    Send(Message::EqualizerBandGain, platform::ChainArgs{deck_, slide});
    if (slide < bands_) {
        PlotBand(slide);
        PlotCombined();
    }
    view_.ShowSecondPointer(slide, gains_[slide]);
}

void EqualizerPanel::StepBand(int slide, double step) {
    if (slide < 0 || slide >= kSlides) return;
    const double gain = std::clamp(gains_[slide] + step, kMinimumGain, kMaximumGain);
    if (gain == gains_[slide]) return;
    view_.ShowBandValue(slide, gain);
    BandChanged(slide, gain);
}

void EqualizerPanel::LevelUp() {
    for (int slide = 0; slide < kSlides; ++slide) StepBand(slide, +kLevelStep);
}

void EqualizerPanel::LevelDown() {
    for (int slide = 0; slide < kSlides; ++slide) StepBand(slide, -kLevelStep);
}

void EqualizerPanel::SetOn(bool on) {
    on_ = on;
    Send(on ? Message::EqualizerOn : Message::EqualizerOff, platform::DeckArgs{deck_});
}

void EqualizerPanel::PlotBand(int band) {
    bank_.ScaleBandResponse(band);
    bank_.CopyScaledBandResponse(band, response_.data());
    view_.ShowPlot(band, frequencies_, response_);
}

void EqualizerPanel::PlotCombined() {
    bank_.ComputeCombinedResponse();
    view_.ShowPlot(kCombinedPlot, frequencies_, bank_.CombinedResponse());
}

void EqualizerPanel::Send(Message message, const platform::Payload& payload) const {
    if (send_) send_(message, payload);
}

}  // namespace dsp
