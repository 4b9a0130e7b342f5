#include "dsp/EffectsPanel.h"

#include <algorithm>
#include <array>

using platform::Message;

namespace dsp {

EffectsPanel::EffectsPanel(int deck, CZelEffectParameters& parameters, View& view, MessageSink send)
    : deck_(deck), parameters_(parameters), view_(view), send_(std::move(send)) {}

void EffectsPanel::Initialise() {
    ChooseEffect(kNoEffect);
}

void EffectsPanel::ChooseEffect(const QString& name) {
    effect_ = EffectNames().contains(name) ? name : kNoEffect;
    parameters_.SetChosenEffect(deck_, effect_);  // what the devices install on EffectOn
    view_.ShowEffect(effect_);
    const auto& definitions = EffectParameterDefinitions(effect_);
    // Without an effect the slides rest, disabled, at their minimum.
    const bool adjustable = effect_ != kNoEffect;
    std::array<double, kParameters> values{};
    for (int index = 0; index < kParameters; ++index) {
        const EffectParameterDefinition& definition = definitions[index];
        values[index] = adjustable ? definition.initial : definition.minimum;
        view_.ShowSlide(index, definition, values[index], adjustable);
    }
    // The parameters go out before the effect itself: a device applies them
    // to the effect it has until the new one is installed, which then takes
    // them from the table again.
    for (int index = 0; index < kParameters; ++index) SlideChanged(index, values[index]);
    if (on_) Send(Message::EffectOn, platform::DeckArgs{deck_});
}

void EffectsPanel::SlideChanged(int index, double value) {
    if (index < 0 || index >= kParameters) return;
    const EffectParameterDefinition& definition = EffectParameterDefinitions(effect_)[index];
    const double kept = std::clamp(value, std::min(definition.minimum, definition.maximum),
                                   std::max(definition.minimum, definition.maximum));
    parameters_.SetValue(deck_, index, kept);
    view_.ShowValueText(index, EffectValueText(effect_, kept));
    if (on_) Send(Message::EffectParameter, platform::ChainArgs{deck_, index});
}

void EffectsPanel::SetOn(bool on) {
    on_ = on;
    Send(on ? Message::EffectOn : Message::EffectOff, platform::DeckArgs{deck_});
}

void EffectsPanel::Send(Message message, const platform::Payload& payload) const {
    if (send_) send_(message, payload);
}

}  // namespace dsp
