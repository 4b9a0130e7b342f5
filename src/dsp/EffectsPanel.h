#pragma once

#include <QString>

#include "dsp/CZelEffectParameters.h"
#include "dsp/MessageSink.h"

namespace dsp {

// What a deck's effects window decides, apart from its widgets: the chosen
// effect, its two parameter slides and their value texts, the deck's entries
// in the effect parameter table, the on switch and the messages that make the
// output devices follow. The window shows what it is told through View and
// hands the user's actions here. UI thread only.
class EffectsPanel {
public:
    static constexpr int kParameters = 2;

    class View {
    public:
        virtual ~View() = default;
        // The chooser's selection.
        virtual void ShowEffect(const QString& name) = 0;
        // A slide's caption and range from `definition`, its value, and
        // whether the user may move it; set without reporting a change back.
        virtual void ShowSlide(int index, const EffectParameterDefinition& definition, double value,
                               bool enabled) = 0;
        // The text beside a slide.
        virtual void ShowValueText(int index, const QString& text) = 0;
    };

    EffectsPanel(int deck, CZelEffectParameters& parameters, View& view, MessageSink send);

    // "No Effect" chosen and shown (the switch starts off).
    void Initialise();

    // A new choice from the chooser (a name not in EffectNames() counts as
    // "No Effect"): both slides set to the effect's initial values, the table
    // and the texts follow, then, while on, the devices install the effect.
    void ChooseEffect(const QString& name);
    // Parameter slide `index` (0 or 1) moved to `value`.
    void SlideChanged(int index, double value);
    // The on/off button, as the user switched it (also when unchanged). Off
    // keeps the choice and the values for the next switch-on.
    void SetOn(bool on);

    int Deck() const { return deck_; }
    const QString& Effect() const { return effect_; }
    bool IsOn() const { return on_; }

private:
    void Send(platform::Message message, const platform::Payload& payload) const;

    const int deck_;
    CZelEffectParameters& parameters_;
    View& view_;
    MessageSink send_;
    QString effect_ = kNoEffect;
    bool on_ = false;
};

}  // namespace dsp
