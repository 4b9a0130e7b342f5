#pragma once

#include <QString>
#include <QStringList>

#include <array>

// The deck effects as the effects windows offer them: their names in the
// chooser's order, what each of the two slides sets, how its value is shown,
// and the table of the slides' values that the windows write and both output
// devices read. User-interface thread only.
namespace dsp {

inline constexpr int kEffectDecks = 2;

// "No Effect", then the seven effects.
const QStringList& EffectNames();
inline const QString kNoEffect = QStringLiteral("No Effect");

// The field of the effect's parameters a slide sets.
enum class EffectField {
    None,
    ChorusFeedback,
    ChorusFrequency,
    CompressorGain,
    CompressorAttack,
    DistortionGain,
    DistortionEdge,
    EchoFeedback,
    EchoDelay,  // both the left and the right delay
    FlangerFeedback,
    FlangerDelay,
    GargleRate,  // truncated to whole hertz
    GargleWave,  // 1 (square) below 1.0, else 0 (triangle)
    ReverbTime,
    ReverbHighFrequencyRatio,
};

struct EffectParameterDefinition {
    QString caption;  // "--" for no effect
    double minimum = 0.0;
    double maximum = 1.0;
    double initial = 0.0;
    EffectField field = EffectField::None;
};

// The two slides of an effect; for "No Effect" (and any unknown name) two
// disabled slides captioned "--".
const std::array<EffectParameterDefinition, 2>& EffectParameterDefinitions(const QString& effect);
// The text beside a slide: the value truncated to the effect's step, then its
// unit ("25%", "-18dB", "1s"); "--" for no effect.
QString EffectValueText(const QString& effect, double value);

// Each deck's chosen effect and its two slide values.
class CZelEffectParameters {
public:
    double Value(int deck, int index) const;
    void SetValue(int deck, int index, double value);
    // The effect the deck's chooser shows; "No Effect" at first.
    QString ChosenEffect(int deck) const;
    void SetChosenEffect(int deck, const QString& name);

private:
    std::array<std::array<double, 2>, kEffectDecks> values_{};
    std::array<QString, kEffectDecks> chosen_{kNoEffect, kNoEffect};
};

}  // namespace dsp
