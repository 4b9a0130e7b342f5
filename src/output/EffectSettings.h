#pragma once

#include <QString>

#include <optional>

#include "platform/sound/SoundEffect.h"
#include "platform/sound/fx/ParamEq.h"

class CZelFilterBank;

// How the decks' equalizer bands and effect slides become the parameters of
// the standard effects that carry them.
namespace output {

// The class an effect's name installs; none for "No Effect".
std::optional<platform::sound::EffectClassId> EffectClassOf(const QString& name);

// An equalizer band as a peaking filter: its centre (kept within 80 to
// 16,000 Hz), a bandwidth of 120 / n semitones for n bands, and a gain of
// (band gain - 1) x 100 dB within -15 to +15 dB. `parameters` keeps its
// other fields.
void SetBandParameters(const CZelFilterBank& equalizer, int band,
                       platform::sound::fx::ParamEqParameters& parameters);
float BandGainDecibels(float bandGain);

// Puts a slide's value into the field it feeds of the named effect, which
// must be of that effect's class; the effect's other fields keep their values.
// Returns false when the effect is not of the name's class.
bool ApplyEffectParameter(platform::sound::SoundEffect& effect, const QString& name, int index, double value);

}  // namespace output
