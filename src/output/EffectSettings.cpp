#include "output/EffectSettings.h"

#include <algorithm>
#include <cmath>

#include "dsp/CZelEffectParameters.h"
#include "dsp/CZelFilterBank.h"
#include "platform/sound/fx/Chorus.h"
#include "platform/sound/fx/Compressor.h"
#include "platform/sound/fx/Distortion.h"
#include "platform/sound/fx/Echo.h"
#include "platform/sound/fx/Flanger.h"
#include "platform/sound/fx/Gargle.h"
#include "platform/sound/fx/Reverb.h"

namespace output {

using namespace platform::sound;
using dsp::EffectField;

namespace {

// Reads the effect's parameters, lets `change` set a field, writes them back.
template <typename Effect, typename Change>
bool Update(SoundEffect& effect, Change change) {
    Effect* typed = EffectCast<Effect>(&effect);
    if (!typed) return false;
    typename Effect::ParametersType parameters{};
    typed->GetAllParameters(&parameters);
    change(parameters);
    typed->SetAllParameters(parameters);
    return true;
}

}  // namespace

std::optional<EffectClassId> EffectClassOf(const QString& name) {
    if (name == dsp::kNoEffect) return std::nullopt;
    if (name == "Chorus") return fx::kChorusClassId;
    if (name == "Compressor") return fx::kCompressorClassId;
    if (name == "Distortion") return fx::kDistortionClassId;
    if (name == "Echo") return fx::kEchoClassId;
    if (name == "Flanger") return fx::kFlangerClassId;
    if (name == "Gargle") return fx::kGargleClassId;
    if (name == "Reverb") return fx::kReverbClassId;
    return fx::kParamEqClassId;  // no window offers another name
}

float BandGainDecibels(float bandGain) {
    return std::clamp((bandGain - 1.0f) * 100.0f, -15.0f, 15.0f);
}

void SetBandParameters(const CZelFilterBank& equalizer, int band, fx::ParamEqParameters& parameters) {
    const int bands = std::max(equalizer.NumberOfBands(), 1);
    parameters.fCenter = std::clamp(static_cast<float>(equalizer.CentreFrequency(band)), 80.0f, 16'000.0f);
    parameters.fBandwidth = 120.0f / static_cast<float>(bands);
    parameters.fGain = BandGainDecibels(equalizer.Gain(band));
}

bool ApplyEffectParameter(SoundEffect& effect, const QString& name, int index, double value) {
    if (index < 0 || index > 1) return false;
    const auto v = static_cast<float>(value);
    switch (dsp::EffectParameterDefinitions(name)[static_cast<size_t>(index)].field) {
        case EffectField::None:
            return false;
        case EffectField::ChorusFeedback:
            return Update<fx::Chorus>(effect, [v](auto& p) { p.fFeedback = v; });
        case EffectField::ChorusFrequency:
            return Update<fx::Chorus>(effect, [v](auto& p) { p.fFrequency = v; });
        case EffectField::CompressorGain:
            return Update<fx::Compressor>(effect, [v](auto& p) { p.fGain = v; });
        case EffectField::CompressorAttack:
            return Update<fx::Compressor>(effect, [v](auto& p) { p.fAttack = v; });
        case EffectField::DistortionGain:
            return Update<fx::Distortion>(effect, [v](auto& p) { p.fGain = v; });
        case EffectField::DistortionEdge:
            return Update<fx::Distortion>(effect, [v](auto& p) { p.fEdge = v; });
        case EffectField::EchoFeedback:
            return Update<fx::Echo>(effect, [v](auto& p) { p.fFeedback = v; });
        case EffectField::EchoDelay:
            return Update<fx::Echo>(effect, [v](auto& p) { p.fLeftDelay = p.fRightDelay = v; });
        case EffectField::FlangerFeedback:
            return Update<fx::Flanger>(effect, [v](auto& p) { p.fFeedback = v; });
        case EffectField::FlangerDelay:
            return Update<fx::Flanger>(effect, [v](auto& p) { p.fDelay = v; });
        case EffectField::GargleRate:
            return Update<fx::Gargle>(effect,
                                      [value](auto& p) { p.dwRateHz = static_cast<uint32_t>(value); });
        case EffectField::GargleWave:
            return Update<fx::Gargle>(effect, [value](auto& p) { p.dwWaveShape = value < 1.0 ? 1u : 0u; });
        case EffectField::ReverbTime:
            return Update<fx::Reverb>(effect, [v](auto& p) { p.fReverbTime = v; });
        case EffectField::ReverbHighFrequencyRatio:
            return Update<fx::Reverb>(effect, [v](auto& p) { p.fHighFreqRTRatio = v; });
    }
    return false;
}

}  // namespace output
