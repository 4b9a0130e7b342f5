#include "dsp/CZelEffectParameters.h"

#include <cmath>

namespace dsp {

namespace {

using Definitions = std::array<EffectParameterDefinition, 2>;

// Limits that were fixed as single-precision constants.
const double kAttackMinimum = static_cast<double>(0.01f);
const double kRatioMinimum = static_cast<double>(0.001f);
const double kRatioMaximum = static_cast<double>(0.999f);
constexpr float kStepTenth = 0.1f;
constexpr float kStepHundredth = 0.01f;

struct EffectEntry {
    QString name;
    Definitions definitions;
};

const std::array<EffectEntry, 8>& Entries() {
    using F = EffectField;
    static const std::array<EffectEntry, 8> entries{{
        {kNoEffect, {{{"--", 0, 1, 0, F::None}, {"--", 0, 1, 0, F::None}}}},
        {"Chorus",
         {{{"feedback", -99, 99, 25, F::ChorusFeedback}, {"frequency", 0, 10, 1.1, F::ChorusFrequency}}}},
        {"Compressor",
         {{{"gain", -60, 60, 0, F::CompressorGain},
           {"attack", kAttackMinimum, 500, 10, F::CompressorAttack}}}},
        {"Distortion", {{{"gain", -60, 0, -18, F::DistortionGain}, {"edge", 0, 100, 15, F::DistortionEdge}}}},
        {"Echo", {{{"feedback", 0, 100, 50, F::EchoFeedback}, {"delay", 1, 2000, 500, F::EchoDelay}}}},
        {"Flanger", {{{"feedback", -99, 99, -50, F::FlangerFeedback}, {"delay", 0, 4, 2, F::FlangerDelay}}}},
        {"Gargle", {{{"rate", 1, 1000, 20, F::GargleRate}, {"wave", 0, 2, 0, F::GargleWave}}}},
        {"Reverb",
         {{{"length", kRatioMinimum, 3000, 1000, F::ReverbTime},
           {"high freq %", kRatioMinimum, kRatioMaximum, kRatioMinimum, F::ReverbHighFrequencyRatio}}}},
    }};
    return entries;
}

// In single precision, as the steps are: 1.1 shows as 1.1, not 1.
double TruncateToStep(double value, float step) {
    return static_cast<double>(std::trunc(static_cast<float>(value) / step) * step);
}

}  // namespace

const QStringList& EffectNames() {
    static const QStringList names = [] {
        QStringList list;
        for (const EffectEntry& entry : Entries()) list << entry.name;
        return list;
    }();
    return names;
}

const Definitions& EffectParameterDefinitions(const QString& effect) {
    for (const EffectEntry& entry : Entries())
        if (entry.name == effect) return entry.definitions;
    return Entries().front().definitions;
}

QString EffectValueText(const QString& effect, double value) {
    double shown = 0.0;
    const char* unit = "";
    if (effect == "Chorus") {
        shown = TruncateToStep(value, kStepTenth), unit = "%";
    } else if (effect == "Compressor" || effect == "Distortion") {
        shown = TruncateToStep(value, kStepTenth), unit = "dB";
    } else if (effect == "Echo" || effect == "Flanger") {
        shown = TruncateToStep(value, kStepHundredth), unit = "%";
    } else if (effect == "Gargle") {
        shown = std::trunc(value), unit = "Hz";
    } else if (effect == "Reverb") {
        shown = TruncateToStep(value / 1000.0, kStepHundredth), unit = "s";
    } else {
        return QStringLiteral("--");
    }
    return QString::asprintf("%g", shown) + QLatin1String(unit);
}

double CZelEffectParameters::Value(int deck, int index) const {
    if (deck < 0 || deck >= kEffectDecks || index < 0 || index > 1) return 0.0;
    return values_[deck][index];
}

void CZelEffectParameters::SetValue(int deck, int index, double value) {
    if (deck < 0 || deck >= kEffectDecks || index < 0 || index > 1) return;
    values_[deck][index] = value;
}

QString CZelEffectParameters::ChosenEffect(int deck) const {
    return deck >= 0 && deck < kEffectDecks ? chosen_[deck] : kNoEffect;
}

void CZelEffectParameters::SetChosenEffect(int deck, const QString& name) {
    if (deck >= 0 && deck < kEffectDecks) chosen_[deck] = name;
}

}  // namespace dsp
