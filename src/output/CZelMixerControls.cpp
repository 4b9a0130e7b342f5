#include "output/CZelMixerControls.h"

#include "settings/CZelSettings.h"

namespace output {

CZelMixerControls::CZelMixerControls(CZelOutput& main, CZelOutput& headphones, const CZelSettings& settings)
    : main_(main), headphones_(headphones), settings_(settings) {
    levels_.fill(static_cast<double>(CZelSettings::kDefaultLevel));
}

void CZelMixerControls::RestoreFromSettings() {
    // A failed read holds the setting's default, which is what to use then.
    for (int deck = 0; deck < kDeckCount; ++deck) levels_[deck] = settings_.Level(deck).value;
    OnCurveChanged(settings_.CrossFaderCurvePosition().value);
}

void CZelMixerControls::ApplyBothCrossFaders() {
    headphones_.Apply(headphonesPosition_, levels_[CZelCrossFader::kDeckA], levels_[CZelCrossFader::kDeckB]);
    main_.Apply(mainPosition_, levels_[CZelCrossFader::kDeckA], levels_[CZelCrossFader::kDeckB]);
}

void CZelMixerControls::OnLevelChanged(int deck, double level) {
    if (deck < 0 || deck >= kDeckCount) return;
    levels_[deck] = level;
    ApplyBothCrossFaders();
    // Written once the slide rests, not at every tick.
    settings_.WriteLevelLater(deck, static_cast<float>(level));
}

void CZelMixerControls::OnHeadphonesCrossFaderChanged(double x) {
    headphonesPosition_ = x;
    ApplyBothCrossFaders();
}

void CZelMixerControls::OnMainCrossFaderChanged(double x) {
    mainPosition_ = x;
    ApplyBothCrossFaders();
    TestCueMark(x);
    previousMainPosition_ = x;
}

void CZelMixerControls::OnCurveChanged(double p) {
    curvePosition_ = p;
    headphones_.SetCurve(p);
    main_.SetCurve(p);
    ApplyBothCrossFaders();
    settings_.WriteCrossFaderCurvePositionLater(static_cast<float>(p));
}

void CZelMixerControls::TestCueMark(double x) {
    if (!cueOn_) return;
    // Arriving exactly on the mark from the other side counts as crossing it.
    if (x >= cueMark_ && previousMainPosition_ < cueMark_) {
        StartIfCued(CZelCrossFader::kDeckB);
    } else if (x <= cueMark_ && previousMainPosition_ > cueMark_) {
        StartIfCued(CZelCrossFader::kDeckA);
    }
}

void CZelMixerControls::StartIfCued(int deck) {
    if (decks_ && decks_->IsCueOn(deck) && !decks_->IsPlaying(deck)) decks_->Start(deck);
}

}  // namespace output
